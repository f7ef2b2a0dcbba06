#include "CurveOracle.h"

#include <algorithm>
#include <stdexcept>

namespace kxtest {

namespace {

__extension__ typedef unsigned __int128 Wide;

int hexDigit(char character) {
    if (character >= '0' && character <= '9') {
        return character - '0';
    }
    if (character >= 'A' && character <= 'F') {
        return character - 'A' + 10;
    }
    if (character >= 'a' && character <= 'f') {
        return character - 'a' + 10;
    }
    return -1;
}

}  // namespace

CurveOracle::CurveOracle(std::uint64_t q, std::uint64_t A, std::uint64_t B)
    : q_(q), A_(A % q), B_(B % q) {}

std::uint64_t CurveOracle::multiplyMod(std::uint64_t left, std::uint64_t right) const {
    return static_cast<std::uint64_t>(Wide{left} * right % q_);
}

std::uint64_t CurveOracle::inverse(std::uint64_t value) const {
    std::uint64_t result = 1;
    std::uint64_t base = value % q_;
    for (std::uint64_t exponent = q_ - 2; exponent != 0; exponent >>= 1) {
        if ((exponent & 1) != 0) {
            result = multiplyMod(result, base);
        }
        base = multiplyMod(base, base);
    }
    // Guards the oracle itself: a composite q or a zero divisor would give nonsense silently.
    if (multiplyMod(result, value) != 1) {
        throw std::logic_error("oracle: no inverse; q is not prime or the divisor is zero");
    }
    return result;
}

bool CurveOracle::isOnCurve(const OraclePoint& point) const {
    if (point.atInfinity) {
        return true;
    }
    const std::uint64_t left = multiplyMod(point.y, point.y);
    const std::uint64_t cube = multiplyMod(multiplyMod(point.x, point.x), point.x);
    const std::uint64_t right =
        static_cast<std::uint64_t>((Wide{cube} + multiplyMod(A_, point.x) + B_) % q_);
    return left == right;
}

OraclePoint CurveOracle::add(const OraclePoint& left, const OraclePoint& right) const {
    if (left.atInfinity) {
        return right;
    }
    if (right.atInfinity) {
        return left;
    }
    std::uint64_t slope = 0;
    if (left.x == right.x) {
        if ((Wide{left.y} + right.y) % q_ == 0) {
            return {};
        }
        // Tangent: (3x^2 + A) / 2y.
        const std::uint64_t numerator =
            static_cast<std::uint64_t>((Wide{3} * multiplyMod(left.x, left.x) + A_) % q_);
        slope = multiplyMod(numerator, inverse(static_cast<std::uint64_t>(Wide{2} * left.y % q_)));
    } else {
        // Chord: (y2 - y1) / (x2 - x1).
        const std::uint64_t rise = (right.y + q_ - left.y) % q_;
        const std::uint64_t run = (right.x + q_ - left.x) % q_;
        slope = multiplyMod(rise, inverse(run));
    }
    OraclePoint sum{false, 0, 0};
    sum.x = static_cast<std::uint64_t>(
        (Wide{multiplyMod(slope, slope)} + 2 * Wide{q_} - left.x - right.x) % q_);
    sum.y = static_cast<std::uint64_t>(
        (Wide{multiplyMod(slope, (left.x + q_ - sum.x) % q_)} + q_ - left.y) % q_);
    return sum;
}

OraclePoint CurveOracle::multiply(std::string_view scalarHex, const OraclePoint& point) const {
    OraclePoint result;
    OraclePoint power = point;
    for (auto digit = scalarHex.rbegin(); digit != scalarHex.rend(); ++digit) {
        const int value = hexDigit(*digit);
        if (value < 0) {
            throw std::invalid_argument("oracle: scalar is not hex");
        }
        for (int bit = 0; bit < 4; ++bit) {
            if (((value >> bit) & 1) != 0) {
                result = add(result, power);
            }
            power = add(power, power);
        }
    }
    return result;
}

std::string hexText(std::uint64_t value) {
    static constexpr char digits[] = "0123456789ABCDEF";
    std::string text;
    do {
        text += digits[value & 0xF];
        value >>= 4;
    } while (value != 0);
    std::reverse(text.begin(), text.end());
    return text;
}

std::string pointText(const OraclePoint& point) {
    if (point.atInfinity) {
        return "(uendelig)";
    }
    std::string text = "(";
    text += hexText(point.x);
    text += ", ";
    text += hexText(point.y);
    text += ')';
    return text;
}

std::optional<std::uint64_t> parseHex(std::string_view text) {
    if (text.empty() || text.size() > 16) {
        return std::nullopt;
    }
    std::uint64_t value = 0;
    for (const char character : text) {
        const int digit = hexDigit(character);
        if (digit < 0) {
            return std::nullopt;
        }
        value = value << 4 | static_cast<std::uint64_t>(digit);
    }
    return value;
}

}  // namespace kxtest
