#include "curve/CurvePoint.h"

#include <algorithm>
#include <cstddef>
#include <new>
#include <string_view>
#include <utility>
#include <vector>

namespace curve {

using bignum::Limb;
using bignum::Modular;
using bignum::Natural;

namespace {

constexpr std::string_view infinityText = "(uendelig)";
constexpr std::size_t nibblesPerLimb = 8;

std::unique_ptr<char[]> freshTextBuffer(std::size_t size) {
    return std::make_unique_for_overwrite<char[]>(size);
}

// Point text takes every byte as a digit: "0"-"9" give 0-9 and everything else counts on from
// "A" = 10, wrapping modulo 256, so "a"-"f" give 42-47.
std::uint8_t digitValue(char c) {
    const auto byte = static_cast<std::uint8_t>(c);
    const auto decimal = static_cast<std::uint8_t>(byte - 48U);
    return decimal < 10 ? decimal : static_cast<std::uint8_t>(byte - 55U);
}

// The limbs of v after v <- 16*v + d for every digit, in one pass: a digit value d = lo + 16*hi
// puts lo at its own nibble position and hi one nibble higher, and the two nibble arrays are added
// at the end. Throws std::bad_alloc when v would not fit in Natural::maxLimbs limbs.
std::vector<Limb> accumulateDigits(std::string_view digits) {
    const auto first =
        std::find_if(digits.begin(), digits.end(), [](char c) { return digitValue(c) != 0; });
    const auto count = static_cast<std::size_t>(digits.end() - first);
    if (count == 0) {
        return {};
    }
    // v >= 16^(count - 1): refuse before allocating anything for an oversized text.
    if (count - 1 >= Natural::maxLimbs * nibblesPerLimb) {
        throw std::bad_alloc();
    }
    const std::size_t limbCount = count / nibblesPerLimb + 2;
    std::vector<Limb> low(limbCount, 0);
    std::vector<Limb> high(limbCount, 0);
    std::size_t position = count;  // counts down to each digit's nibble, 0 for the last one
    for (auto it = first; it != digits.end(); ++it) {
        --position;
        const std::uint8_t d = digitValue(*it);
        const std::size_t highPosition = position + 1;
        low[position / nibblesPerLimb] |= static_cast<Limb>(d & 0xFU)
                                          << (4 * (position % nibblesPerLimb));
        high[highPosition / nibblesPerLimb] |= static_cast<Limb>(d >> 4U)
                                               << (4 * (highPosition % nibblesPerLimb));
    }
    std::uint64_t carry = 0;
    for (std::size_t i = 0; i < limbCount; ++i) {
        const std::uint64_t total = std::uint64_t{low[i]} + high[i] + carry;
        low[i] = static_cast<Limb>(total);
        carry = total >> 32;
    }
    while (!low.empty() && low.back() == 0) {
        low.pop_back();
    }
    if (low.size() > Natural::maxLimbs) {
        throw std::bad_alloc();
    }
    return low;
}

void parseCoordinate(Modular& coordinate, std::string_view digits) {
    const std::vector<Limb> limbs = accumulateDigits(digits);
    coordinate.value().setLimbs(limbs);
    coordinate.value().reduce(coordinate.modulus());
}

}  // namespace

CurvePoint::CurvePoint(Natural& q, const Modular& A, const Modular& B)
    : q_(&q), A_(&A), B_(&B), x_(q), y_(q), atInfinity_(1), text_(freshTextBuffer(1)) {}

CurvePoint::CurvePoint(Natural& q, const Modular& A, const Modular& B, Modular x, Modular y)
    : q_(&q),
      A_(&A),
      B_(&B),
      x_(std::move(x)),
      y_(std::move(y)),
      atInfinity_(0),
      text_(freshTextBuffer(1)) {}

CurvePoint::CurvePoint(const CurvePoint& source)
    : q_(source.q_),
      A_(source.A_),
      B_(source.B_),
      x_(source.x_),
      y_(source.y_),
      atInfinity_(source.atInfinity_),
      text_(freshTextBuffer(1)) {}

CurvePoint& CurvePoint::operator=(const CurvePoint& source) {
    if (this != &source) {
        q_ = source.q_;
        A_ = source.A_;
        B_ = source.B_;
        x_.assign(source.x_);
        y_.assign(source.y_);
        atInfinity_ = source.atInfinity_;
    }
    return *this;
}

bool operator==(const CurvePoint& a, const CurvePoint& b) {
    if (a.A_ != b.A_ || a.B_ != b.B_) {
        return false;
    }
    if (a.atInfinity() || b.atInfinity()) {
        return a.atInfinity() && b.atInfinity();
    }
    return a.x_.equals(b.x_) && a.y_.equals(b.y_);
}

CurvePoint CurvePoint::operator-() const {
    CurvePoint negation(*this);
    if (!negation.atInfinity()) {
        negation.y_.negate();
    }
    return negation;
}

const char* CurvePoint::toText() const {
    if (atInfinity()) {
        auto buffer = freshTextBuffer(infinityText.size() + 1);
        std::copy(infinityText.begin(), infinityText.end(), buffer.get());
        buffer[infinityText.size()] = '\0';
        text_ = std::move(buffer);
        return text_.get();
    }
    const std::string_view xHex = x_.value().toHex();
    const std::string_view yHex = y_.value().toHex();
    auto buffer = freshTextBuffer(xHex.size() + yHex.size() + 5);
    char* out = buffer.get();
    *out++ = '(';
    out = std::copy(xHex.begin(), xHex.end(), out);
    *out++ = ',';
    *out++ = ' ';
    out = std::copy(yHex.begin(), yHex.end(), out);
    *out++ = ')';
    *out = '\0';
    text_ = std::move(buffer);
    return text_.get();
}

void CurvePoint::fromText(std::string_view text) {
    text = text.substr(0, text.find('\0'));
    if (text.size() > 1 && text[1] == 'u') {
        atInfinity_ = 1;
        return;
    }
    atInfinity_ = 0;
    // The first character is never examined: it is "(" in any text this program writes.
    const std::string_view afterOpening = text.size() > 1 ? text.substr(1) : std::string_view{};
    const std::size_t comma = afterOpening.find(',');
    parseCoordinate(x_, afterOpening.substr(0, comma));
    // The separator is a comma and one more character, whatever that is.
    std::string_view yText;
    if (comma != std::string_view::npos && comma + 2 <= afterOpening.size()) {
        yText = afterOpening.substr(comma + 2);
    }
    parseCoordinate(y_, yText.substr(0, yText.find(')')));
}

bool CurvePoint::isOnCurve() const {
    if (atInfinity()) {
        return true;
    }
    const Modular linear = product(x_, *A_);
    const Modular cubic = cube(x_);
    const Modular withoutB = sum(cubic, linear);
    const Modular right = sum(withoutB, *B_);
    const Modular left = square(y_);
    return left.equals(right);
}

CurvePoint operator+(const CurvePoint& P1, const CurvePoint& P2) {
    if (P2.atInfinity()) {
        return P1;
    }
    if (P1.atInfinity()) {
        return P2;
    }
    if (-P2 == P1) {
        return CurvePoint(P1.q(), P1.A(), P1.B());
    }
    const Modular& x1 = P1.x();
    const Modular& y1 = P1.y();
    const Modular& x2 = P2.x();
    const Modular& y2 = P2.y();
    // A denominator without inverse (composite q) is not an error: quotient multiplies by it.
    const Modular lambda = [&] {
        if (x1.equals(x2)) {
            const Modular denominator = timesSmall(y1, 2);
            const Modular xSquared = square(x1);
            const Modular threeXSquared = timesSmall(xSquared, 3);
            const Modular numerator = sum(threeXSquared, P1.A());
            return quotient(numerator, denominator);
        }
        const Modular denominator = difference(x2, x1);
        const Modular numerator = difference(y2, y1);
        return quotient(numerator, denominator);
    }();
    const Modular lambdaSquared = square(lambda);
    const Modular withoutX1 = difference(lambdaSquared, x1);
    Modular x3 = difference(withoutX1, x2);
    const Modular run = difference(x1, x3);
    const Modular rise = product(lambda, run);
    return CurvePoint(P1.q(), P1.A(), P1.B(), std::move(x3), difference(rise, y1));
}

void multiplyInPlace(CurvePoint& R, Natural& k, CurvePoint& result) {
    result = CurvePoint(R.q(), R.A(), R.B());
    while (k.differsFrom(0)) {
        if ((k.limbs()[0] & 1U) != 0) {
            result = result + R;
            k.decrementFrom(0);
        } else {
            R = R + R;
            k.halve();
        }
    }
}

CurvePoint multiply(const CurvePoint& P, Natural k) {
    CurvePoint running(P);
    CurvePoint result(P.q(), P.A(), P.B());
    multiplyInPlace(running, k, result);
    return result;
}

}  // namespace curve
