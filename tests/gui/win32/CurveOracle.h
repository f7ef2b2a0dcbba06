#pragma once

#include <charconv>
#include <cinttypes>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

// A second, independent curve arithmetic for checking the program from outside: affine points
// modulo a prime below 2^63 in 64-bit words with 128-bit products, inverses by Fermat's little
// theorem. Only as fast and as general as the driver needs.
namespace kxtest {

__extension__ typedef unsigned __int128 Wide;

struct OraclePoint {
    bool atInfinity = true;
    std::uint64_t x = 0;
    std::uint64_t y = 0;
};

// 1 to 16 hex digits of either case; nothing for anything else.
inline std::optional<std::uint64_t> parseHex(std::string_view text) {
    std::uint64_t value = 0;
    const char* end = text.data() + text.size();
    const auto [stop, error] = std::from_chars(text.data(), end, value, 16);
    return !text.empty() && error == std::errc{} && stop == end ? std::optional(value)
                                                                : std::nullopt;
}

// Upper-case hex without leading zeros, as the program shows numbers.
inline std::string hexText(std::uint64_t value) {
    char text[20];
    std::snprintf(text, sizeof text, "%" PRIX64, value);
    return text;
}

// The program's point text: "(X, Y)", or "(uendelig)" at infinity.
inline std::string pointText(const OraclePoint& point) {
    return point.atInfinity ? "(uendelig)"
                            : std::string("(")
                                  .append(hexText(point.x))
                                  .append(", ")
                                  .append(hexText(point.y))
                                  .append(")");
}

class CurveOracle {
  public:
    // q must be an odd prime below 2^63.
    CurveOracle(std::uint64_t q, std::uint64_t A, std::uint64_t B) : q_(q), A_(A % q), B_(B % q) {}

    bool isOnCurve(const OraclePoint& p) const {
        return p.atInfinity ||
               mul(p.y, p.y) == (Wide{mul(mul(p.x, p.x), p.x)} + mul(A_, p.x) + B_) % q_;
    }

    OraclePoint add(const OraclePoint& left, const OraclePoint& right) const {
        if (left.atInfinity || right.atInfinity) {
            return left.atInfinity ? right : left;
        }
        std::uint64_t slope = 0;
        if (left.x == right.x) {
            if ((Wide{left.y} + right.y) % q_ == 0) {
                return {};
            }
            // Tangent: (3x^2 + A) / 2y.
            slope = mul(static_cast<std::uint64_t>((Wide{3} * mul(left.x, left.x) + A_) % q_),
                        inverse(static_cast<std::uint64_t>(Wide{2} * left.y % q_)));
        } else {
            // Chord: (y2 - y1) / (x2 - x1).
            slope = mul((right.y + q_ - left.y) % q_, inverse((right.x + q_ - left.x) % q_));
        }
        OraclePoint sum{false, 0, 0};
        sum.x = static_cast<std::uint64_t>(
            (Wide{mul(slope, slope)} + 2 * Wide{q_} - left.x - right.x) % q_);
        sum.y = static_cast<std::uint64_t>(
            (Wide{mul(slope, (left.x + q_ - sum.x) % q_)} + q_ - left.y) % q_);
        return sum;
    }

    // scalar * point by double-and-add from the top bit; the scalar is hex text of any length.
    OraclePoint multiply(std::string_view scalarHex, const OraclePoint& point) const {
        OraclePoint result;
        for (std::size_t index = 0; index < scalarHex.size(); ++index) {
            const std::optional<std::uint64_t> digit = parseHex(scalarHex.substr(index, 1));
            if (!digit) {
                throw std::invalid_argument("oracle: scalar is not hex");
            }
            for (int bit = 3; bit >= 0; --bit) {
                result = add(result, result);
                if (((*digit >> bit) & 1) != 0) {
                    result = add(result, point);
                }
            }
        }
        return result;
    }

  private:
    std::uint64_t mul(std::uint64_t left, std::uint64_t right) const {
        return static_cast<std::uint64_t>(Wide{left} * right % q_);
    }

    std::uint64_t inverse(std::uint64_t value) const {
        std::uint64_t result = 1;
        std::uint64_t base = value;
        for (std::uint64_t exponent = q_ - 2; exponent != 0; exponent >>= 1) {
            result = (exponent & 1) != 0 ? mul(result, base) : result;
            base = mul(base, base);
        }
        // Guards the oracle itself: a composite q or a zero divisor would give nonsense silently.
        if (mul(result, value) != 1) {
            throw std::logic_error("oracle: no inverse; q is not prime or the divisor is zero");
        }
        return result;
    }

    std::uint64_t q_;
    std::uint64_t A_;
    std::uint64_t B_;
};

}  // namespace kxtest
