#pragma once

#include <cstdio>
#include <initializer_list>
#include <source_location>
#include <string>
#include <string_view>

// Expectations of the Wine driver: each failure is printed with its place and both values, and
// counted; none stops the run, so one fault does not hide the next.
namespace kxtest {

// Joins texts; also keeps clear of a false -Wrestrict alarm that GCC 12 raises for
// "literal" + std::string at -O3.
inline std::string concat(std::initializer_list<std::string_view> parts) {
    std::string joined;
    for (const std::string_view part : parts) {
        joined.append(part);
    }
    return joined;
}

// Bytes as readable text: printable ASCII as is, everything else as \xHH.
inline std::string printable(std::string_view bytes) {
    std::string shown;
    for (const char character : bytes) {
        const auto byte = static_cast<unsigned char>(character);
        if (byte >= 0x20 && byte < 0x7F && character != '\\') {
            shown += character;
        } else {
            char escape[5];
            std::snprintf(escape, sizeof escape, "\\x%02X", static_cast<unsigned>(byte));
            shown += escape;
        }
    }
    return shown;
}

class Expectations {
  public:
    bool check(bool passed, std::string_view what,
               std::source_location where = std::source_location::current()) {
        if (!passed) {
            fail(what, "", where);
        }
        return passed;
    }

    bool equal(std::string_view actual, std::string_view expected, std::string_view what,
               std::source_location where = std::source_location::current()) {
        if (actual == expected) {
            return true;
        }
        fail(what,
             concat({"\n    actual:   \"", printable(actual), "\"\n    expected: \"",
                     printable(expected), "\""}),
             where);
        return false;
    }

    bool equal(long long actual, long long expected, std::string_view what,
               std::source_location where = std::source_location::current()) {
        if (actual == expected) {
            return true;
        }
        fail(what,
             concat({"\n    actual:   ", std::to_string(actual),
                     "\n    expected: ", std::to_string(expected)}),
             where);
        return false;
    }

    void section(std::string_view name) {
        std::printf("-- %.*s\n", static_cast<int>(name.size()), name.data());
        std::fflush(stdout);
    }

    int failures() const { return failures_; }

  private:
    void fail(std::string_view what, const std::string& details, std::source_location where) {
        ++failures_;
        std::printf("FAILED %s:%u: %.*s%s\n", where.file_name(),
                    static_cast<unsigned>(where.line()), static_cast<int>(what.size()), what.data(),
                    details.c_str());
        std::fflush(stdout);
    }

    int failures_ = 0;
};

}  // namespace kxtest
