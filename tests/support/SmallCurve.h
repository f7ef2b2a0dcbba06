#pragma once

// Affine curve arithmetic modulo q < 2^62 on machine words: the oracle of the curve, application
// and shell tests, sharing nothing with the program's numbers (the Windows shell's driver is
// cross-built, without GMP). It takes the program's rule for a composite q: a denominator that
// has no inverse is multiplied by instead of divided by.

#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>

namespace kxtest {

__extension__ using Wide = unsigned __int128;

struct AffinePoint {
    bool atInfinity = true;
    std::uint64_t x = 0, y = 0;
};

struct SmallCurve {
    std::uint64_t q, A, B;

    std::uint64_t times(std::uint64_t u, std::uint64_t v) const {
        return static_cast<std::uint64_t>(Wide{u} * v % q);
    }
    std::uint64_t minus(std::uint64_t u, std::uint64_t v) const {
        return static_cast<std::uint64_t>((Wide{u} + q - v % q) % q);
    }
    // u^-1 by Euclid, or u itself when it shares a divisor with q.
    std::uint64_t inverseOr(std::uint64_t u) const {
        std::int64_t r0 = static_cast<std::int64_t>(q), r1 = static_cast<std::int64_t>(u), t0 = 0,
                     t1 = 1;
        while (r1 != 0) {
            const std::int64_t k = r0 / r1, r = r0 - k * r1, t = t0 - k * t1;
            r0 = r1, r1 = r, t0 = t1, t1 = t;
        }
        return r0 != 1
                   ? u
                   : static_cast<std::uint64_t>(t0 < 0 ? t0 + static_cast<std::int64_t>(q) : t0);
    }
    bool contains(const AffinePoint& p) const {
        return p.atInfinity ||
               times(p.y, p.y) == (times(times(p.x, p.x), p.x) + times(A, p.x) + B) % q;
    }
    // The chord-and-tangent law as the program takes it: the tangent at l whenever the x agree
    // and r is not -l. Throws where the program divides by zero.
    AffinePoint add(const AffinePoint& l, const AffinePoint& r) const {
        if (l.atInfinity || r.atInfinity) {
            return r.atInfinity ? l : r;
        }
        if (l.x == r.x && (l.y + r.y) % q == 0) {
            return {};
        }
        const bool tangent = l.x == r.x;
        const std::uint64_t n = tangent ? (3 * times(l.x, l.x) + A) % q : minus(r.y, l.y);
        const std::uint64_t d = tangent ? 2 * l.y % q : minus(r.x, l.x);
        if (d == 0) {
            throw std::domain_error("divide by 0 error");
        }
        const std::uint64_t slope = times(n, inverseOr(d)),
                            x = minus(minus(times(slope, slope), l.x), r.x);
        return {false, x, minus(times(slope, minus(l.x, x)), l.y)};
    }
    // k P for k in hex of either case: from the lowest bit, the sum takes P for each set bit, P
    // doubling at each step, as the program's right-to-left loop does (a doubling past the top bit
    // changes nothing, for an odd q).
    AffinePoint multiply(std::string_view kHex, AffinePoint P) const {
        AffinePoint sum;
        for (auto digit = kHex.rbegin(); digit != kHex.rend(); ++digit) {
            const auto value =
                std::string_view("0123456789abcdef0123456789ABCDEF").find(*digit) % 16;
            for (unsigned bit = 0; bit < 4; ++bit, P = add(P, P)) {
                sum = ((value >> bit) & 1U) != 0 ? add(sum, P) : sum;
            }
        }
        return sum;
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

inline std::string pointText(const AffinePoint& p) {
    return p.atInfinity ? "(uendelig)" : "(" + hexText(p.x) + ", " + hexText(p.y) + ")";
}

// A public-data file: the curve, P and Pa as the program saves them.
inline std::string publicData(const SmallCurve& c, const AffinePoint& P, const AffinePoint& Pa) {
    return hexText(c.q) + "*" + hexText(c.A) + "*" + hexText(c.B) + "*" + hexText(P.x) + "*" +
           hexText(P.y) + "*" + pointText(Pa) + '\0';
}

}  // namespace kxtest
