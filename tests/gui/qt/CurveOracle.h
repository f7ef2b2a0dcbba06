#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// Affine arithmetic on curves with a prime below 2^63 in 128-bit machine words: an oracle that
// shares nothing with the program's own big numbers.
namespace kxtest {

__extension__ using Wide = unsigned __int128;

struct AffinePoint {
    bool atInfinity = true;
    std::uint64_t x = 0;
    std::uint64_t y = 0;
};

struct SmallCurve {
    std::uint64_t q;
    std::uint64_t A;
    std::uint64_t B;

    std::uint64_t times(std::uint64_t u, std::uint64_t v) const {
        return static_cast<std::uint64_t>(Wide{u} * v % q);
    }
    std::uint64_t plus(std::uint64_t u, std::uint64_t v) const {
        return static_cast<std::uint64_t>((Wide{u} + v) % q);
    }
    std::uint64_t minus(std::uint64_t u, std::uint64_t v) const { return plus(u, q - v % q); }
    // q is prime: u^(q-2).
    std::uint64_t inverse(std::uint64_t u) const {
        std::uint64_t result = 1;
        std::uint64_t base = u % q;
        for (std::uint64_t exponent = q - 2; exponent != 0; exponent >>= 1) {
            if ((exponent & 1U) != 0) {
                result = times(result, base);
            }
            base = times(base, base);
        }
        return result;
    }

    bool contains(const AffinePoint& point) const {
        const std::uint64_t right =
            plus(times(times(point.x, point.x), point.x), plus(times(A, point.x), B));
        return point.atInfinity || times(point.y, point.y) == right;
    }

    AffinePoint add(const AffinePoint& left, const AffinePoint& right) const {
        if (left.atInfinity) {
            return right;
        }
        if (right.atInfinity) {
            return left;
        }
        std::uint64_t slope = 0;
        if (left.x == right.x) {
            if (plus(left.y, right.y) == 0) {
                return {};
            }
            slope = times(plus(times(3, times(left.x, left.x)), A), inverse(times(2, left.y)));
        } else {
            slope = times(minus(right.y, left.y), inverse(minus(right.x, left.x)));
        }
        const std::uint64_t x = minus(minus(times(slope, slope), left.x), right.x);
        const std::uint64_t y = minus(times(slope, minus(left.x, x)), left.y);
        return {false, x, y};
    }

    AffinePoint multiply(std::uint64_t scalar, AffinePoint point) const {
        AffinePoint result;
        for (; scalar != 0; scalar >>= 1) {
            if ((scalar & 1U) != 0) {
                result = add(result, point);
            }
            point = add(point, point);
        }
        return result;
    }
};

// The program's built-in test values.
inline constexpr SmallCurve testCurve{0x725F8E91CC4087, 0x3B5AF16DF11649, 0x40B77BE2CBBEDC};
inline constexpr AffinePoint testPoint{false, 0x6C4AE1678418BE, 0x10695272AE2CD6};

inline std::string hexText(std::uint64_t value) {
    static constexpr std::string_view digits = "0123456789ABCDEF";
    std::string text;
    do {
        text.insert(text.begin(), digits[value % 16]);
        value /= 16;
    } while (value != 0);
    return text;
}

inline std::string pointText(const AffinePoint& point) {
    if (point.atInfinity) {
        return "(uendelig)";
    }
    return "(" + hexText(point.x) + ", " + hexText(point.y) + ")";
}

// Canonical upper-case hex of at most 16 digits, as the program writes it.
inline std::optional<std::uint64_t> parseHexText(std::string_view text) {
    if (text.empty() || text.size() > 16 || (text.size() > 1 && text.front() == '0')) {
        return std::nullopt;
    }
    std::uint64_t value = 0;
    for (const char digit : text) {
        const auto position = std::string_view("0123456789ABCDEF").find(digit);
        if (position == std::string_view::npos) {
            return std::nullopt;
        }
        value = value * 16 + position;
    }
    return value;
}

}  // namespace kxtest
