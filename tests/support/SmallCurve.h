#pragma once

// Affine curve arithmetic modulo q < 2^63 on machine words: the oracle of the curve, application
// and shell tests, sharing nothing with the program's numbers (the Windows shell's driver is
// cross-built, without GMP). It takes the program's rule for a composite q: a denominator that
// has no inverse is multiplied by instead of divided by.

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace kxtest {

__extension__ using Wide = unsigned __int128;

struct AffinePoint {
    bool atInfinity = true;
    std::uint64_t x = 0;
    std::uint64_t y = 0;
    bool operator==(const AffinePoint&) const = default;
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

    // u^-1 by Euclid, or nothing when u shares a divisor with q.
    std::optional<std::uint64_t> inverse(std::uint64_t u) const {
        std::int64_t r0 = static_cast<std::int64_t>(q), r1 = static_cast<std::int64_t>(u % q);
        std::int64_t t0 = 0, t1 = 1;
        while (r1 != 0) {
            const std::int64_t k = r0 / r1;
            r0 = std::exchange(r1, r0 - k * r1);
            t0 = std::exchange(t1, t0 - k * t1);
        }
        if (r0 != 1) {
            return std::nullopt;
        }
        return static_cast<std::uint64_t>(t0 < 0 ? t0 + static_cast<std::int64_t>(q) : t0);
    }

    bool contains(const AffinePoint& p) const {
        return p.atInfinity ||
               times(p.y, p.y) == plus(times(times(p.x, p.x), p.x), plus(times(A, p.x), B));
    }

    // The chord-and-tangent law as the program takes it: the tangent at l whenever the x agree
    // and r is not -l. Throws std::domain_error where the program divides by zero.
    AffinePoint add(const AffinePoint& l, const AffinePoint& r) const {
        if (l.atInfinity || r.atInfinity) {
            return r.atInfinity ? l : r;
        }
        if (l.x == r.x && plus(l.y, r.y) == 0) {
            return {};
        }
        const bool tangent = l.x == r.x;
        const std::uint64_t n = tangent ? plus(times(3, times(l.x, l.x)), A) : minus(r.y, l.y);
        const std::uint64_t d = tangent ? times(2, l.y) : minus(r.x, l.x);
        if (d == 0) {
            throw std::domain_error("divide by 0 error");
        }
        const std::uint64_t slope = times(n, inverse(d).value_or(d));
        const std::uint64_t x = minus(minus(times(slope, slope), l.x), r.x);
        return {false, x, minus(times(slope, minus(l.x, x)), l.y)};
    }

    // k P for k in hex digits of either case, as a user types it, in the program's order: from
    // the lowest bit, the sum grows by P for each set bit and P doubles before each next bit.
    AffinePoint multiply(std::string_view kHex, AffinePoint P) const {
        std::vector<bool> bits;  // lowest first
        for (auto digit = kHex.rbegin(); digit != kHex.rend(); ++digit) {
            const auto value = std::string_view("0123456789abcdef0123456789ABCDEF").find(*digit);
            if (value == std::string_view::npos) {
                throw std::invalid_argument("oracle: the scalar is not hex");
            }
            for (unsigned bit = 0; bit < 4; ++bit) {
                bits.push_back(((value % 16 >> bit) & 1U) != 0);
            }
        }
        while (!bits.empty() && !bits.back()) {
            bits.pop_back();
        }
        AffinePoint sum;
        for (std::size_t i = 0; i < bits.size(); ++i) {
            sum = bits[i] ? add(sum, P) : sum;
            P = i + 1 < bits.size() ? add(P, P) : P;
        }
        return sum;
    }

    // The point at infinity, then every (x, y) on the curve, found by trying them all.
    std::vector<AffinePoint> points() const {
        std::vector<AffinePoint> all{AffinePoint{}};
        for (std::uint64_t x = 0; x < q; ++x) {
            for (std::uint64_t y = 0; y < q; ++y) {
                if (contains({false, x, y})) {
                    all.push_back({false, x, y});
                }
            }
        }
        return all;
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
    // append, not "(" + ..., which GCC 12 at -O3 misreads as an overlapping copy.
    return point.atInfinity ? "(uendelig)"
                            : std::string("(")
                                  .append(hexText(point.x))
                                  .append(", ")
                                  .append(hexText(point.y))
                                  .append(")");
}

}  // namespace kxtest
