#pragma once

// Test plumbing in one place: the seed and iteration count that reproduce a randomised run,
// results or messages as text, temporary folders, whole-file reads and writes, and a global
// operator new that fails on request (in the test executables that link FailingNew.cpp).

#include <stdlib.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <functional>
#include <random>
#include <stdexcept>
#include <string>
#include <string_view>
#include <system_error>

namespace kxtest {

// KX_TEST_SEED and KX_TEST_ITERATIONS reproduce or lengthen a run; tests print the seed.
inline std::uint64_t testSeed() {
    static const std::uint64_t seed = std::getenv("KX_TEST_SEED")
                                          ? std::strtoull(std::getenv("KX_TEST_SEED"), nullptr, 0)
                                          : std::random_device{}();
    return seed;
}
#ifdef KX_SANITIZED_BUILD
inline constexpr bool sanitized = true;  // ten times slower: the long loops take fewer turns
#else
inline constexpr bool sanitized = false;
#endif

inline std::size_t testIterations(std::size_t fallback) {
    const char* text = std::getenv("KX_TEST_ITERATIONS");
    return text != nullptr ? std::strtoull(text, nullptr, 0) : fallback;
}

// The step's result, or the message of the exception it threw, so that a computation and its
// oracle compare as two texts whether they succeed or fail.
inline std::string outcome(const std::function<std::string()>& step) {
    try {
        return step();
    } catch (const std::exception& failure) {
        return failure.what();
    }
}

// A fresh folder, removed with all it holds at the end of the test.
struct TempDir {
    TempDir() {
        std::string pattern = (std::filesystem::temp_directory_path() / "kx-test-XXXXXX").string();
        if (::mkdtemp(pattern.data()) == nullptr) {
            throw std::runtime_error("cannot create a temporary folder");
        }
        path = pattern;
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    ~TempDir() {
        std::error_code ignored;
        std::filesystem::remove_all(path, ignored);
    }
    std::filesystem::path operator/(std::string_view name) const { return path / name; }

    std::filesystem::path path;
};

inline void writeFile(const std::filesystem::path& path, std::string_view bytes) {
    std::ofstream(path, std::ios::binary)
        .write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

// The whole file; empty when it cannot be read.
inline std::string readFile(const std::filesystem::path& path) {
    std::error_code failed;
    const std::uintmax_t size = std::filesystem::file_size(path, failed);
    std::string bytes(failed ? 0 : static_cast<std::size_t>(size), '\0');
    std::ifstream(path, std::ios::binary)
        .read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return bytes;
}

// Runs the operation with its n-th allocation failing (n from 1) and returns how many it made
// until it ended or failed; the std::bad_alloc does not leave it.
std::size_t runFailingAllocation(std::size_t n, const std::function<void()>& operation);

// Makes the next allocation fail, for a failure at a point that only a callback marks, such as a
// window's event; runFailingAllocation disarms it.
void failNextAllocation();

}  // namespace kxtest
