#pragma once

// Test plumbing shared by the application and dispatch tests: seeds, temporary folders, whole-file
// reads and writes, and names for parameterised cases.

#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <set>
#include <stdexcept>
#include <string>
#include <string_view>
#include <system_error>

namespace kxtest {

// KX_TEST_SEED and KX_TEST_ITERATIONS reproduce or lengthen a run; tests print the seed they
// used with SCOPED_TRACE.
inline std::uint64_t testSeed() {
    if (const char* text = std::getenv("KX_TEST_SEED")) {
        return std::strtoull(text, nullptr, 0);
    }
    static const std::uint64_t seed = std::random_device{}();
    return seed;
}

inline int testIterations(int fallback) {
    if (const char* text = std::getenv("KX_TEST_ITERATIONS")) {
        const long value = std::strtol(text, nullptr, 0);
        if (value > 0) {
            return static_cast<int>(value);
        }
    }
    return fallback;
}

// A fresh folder, removed with everything in it at the end of the test.
class TempDir {
  public:
    TempDir() {
        std::string pattern = (std::filesystem::temp_directory_path() / "kx-test-XXXXXX").string();
        if (::mkdtemp(pattern.data()) == nullptr) {
            throw std::runtime_error("cannot create a temporary folder");
        }
        path_ = pattern;
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    ~TempDir() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }

    const std::filesystem::path& path() const { return path_; }
    std::filesystem::path operator/(std::string_view name) const { return path_ / name; }

    // The names in the folder, to see that nothing was left behind.
    std::set<std::string> entries() const {
        std::set<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator(path_)) {
            names.insert(entry.path().filename().string());
        }
        return names;
    }

  private:
    std::filesystem::path path_;
};

inline void writeFile(const std::filesystem::path& path, std::string_view bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out) {
        throw std::runtime_error("cannot write " + path.string());
    }
}

inline std::string readFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::string bytes(static_cast<std::size_t>(std::filesystem::file_size(path)), '\0');
    in.read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!in) {
        throw std::runtime_error("cannot read " + path.string());
    }
    return bytes;
}

// Names parameterised cases after their name member.
struct CaseName {
    template <class Param>
    std::string operator()(const ::testing::TestParamInfo<Param>& info) const {
        return std::string(info.param.name);
    }
};

}  // namespace kxtest
