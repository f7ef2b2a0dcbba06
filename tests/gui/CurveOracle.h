#pragma once

// Affine arithmetic on curves with a prime below 2^63 in 64-bit words with 128-bit products,
// inverses by Fermat's little theorem: an oracle that shares nothing with the program's own big
// numbers, for the tests of both shells (the Windows one is cross-built, without GMP).

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

namespace kxtest {

__extension__ using Wide = unsigned __int128;

struct AffinePoint {
    bool atInfinity = true;
    std::uint64_t x = 0;
    std::uint64_t y = 0;
};

struct SmallCurve {
    std::uint64_t q, A, B;

    std::uint64_t times(std::uint64_t u, std::uint64_t v) const {
        return static_cast<std::uint64_t>(Wide{u} * v % q);
    }
    std::uint64_t plus(std::uint64_t u, std::uint64_t v) const {
        return static_cast<std::uint64_t>((Wide{u} + v) % q);
    }
    std::uint64_t minus(std::uint64_t u, std::uint64_t v) const { return plus(u, q - v % q); }
    std::uint64_t inverse(std::uint64_t u) const {  // q is prime: u^(q-2)
        std::uint64_t result = 1;
        for (std::uint64_t base = u % q, exponent = q - 2; exponent != 0; exponent >>= 1) {
            result = (exponent & 1U) != 0 ? times(result, base) : result;
            base = times(base, base);
        }
        return result;
    }
    bool contains(const AffinePoint& p) const {
        return p.atInfinity ||
               times(p.y, p.y) == plus(times(times(p.x, p.x), p.x), plus(times(A, p.x), B));
    }
    AffinePoint add(const AffinePoint& l, const AffinePoint& r) const {
        if (l.atInfinity || r.atInfinity) {
            return l.atInfinity ? r : l;
        }
        if (l.x == r.x && plus(l.y, r.y) == 0) {
            return {};
        }
        const std::uint64_t slope =
            l.x == r.x ? times(plus(times(3, times(l.x, l.x)), A), inverse(times(2, l.y)))
                       : times(minus(r.y, l.y), inverse(minus(r.x, l.x)));
        const std::uint64_t x = minus(minus(times(slope, slope), l.x), r.x);
        return {false, x, minus(times(slope, minus(l.x, x)), l.y)};
    }
    AffinePoint multiply(std::uint64_t scalar, AffinePoint point) const {
        AffinePoint result;
        for (; scalar != 0; scalar >>= 1, point = add(point, point)) {
            result = (scalar & 1U) != 0 ? add(result, point) : result;
        }
        return result;
    }
    // The scalar as hex text of any length and either case, as a user may type it.
    AffinePoint multiply(std::string_view scalarHex, const AffinePoint& point) const {
        AffinePoint result;
        for (const char digit : scalarHex) {
            const auto value = std::string_view("0123456789abcdef0123456789ABCDEF").find(digit);
            if (value == std::string_view::npos) {
                throw std::invalid_argument("oracle: scalar is not hex");
            }
            for (int bit = 3; bit >= 0; --bit) {
                result = add(result, result);
                result = ((value % 16 >> bit) & 1U) != 0 ? add(result, point) : result;
            }
        }
        return result;
    }
};

// The program's built-in test values.
inline constexpr SmallCurve testCurve{0x725F8E91CC4087, 0x3B5AF16DF11649, 0x40B77BE2CBBEDC};
inline constexpr AffinePoint testPoint{false, 0x6C4AE1678418BE, 0x10695272AE2CD6};

inline std::string hexText(std::uint64_t value) {
    std::string text;
    do {
        text.insert(text.begin(), "0123456789ABCDEF"[value % 16]);
    } while ((value /= 16) != 0);
    return text;
}

inline std::string pointText(const AffinePoint& point) {
    // append rather than "(" + ..., which GCC 12 at -O3 misreads as an overlapping copy.
    return point.atInfinity ? "(uendelig)"
                            : std::string("(")
                                  .append(hexText(point.x))
                                  .append(", ")
                                  .append(hexText(point.y))
                                  .append(")");
}

// Canonical upper-case hex of at most 16 digits, as the program writes it; nothing otherwise.
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
