#include "curve/CurvePoint.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

namespace curve {

using bignum::Modular;
using bignum::Natural;

namespace {

constexpr std::string_view infinityText = "(uendelig)";
// Point text takes every byte as a digit: "0"-"9" give 0-9 and everything else counts on from
// "A" = 10, wrapping modulo 256, so "a"-"f" give 42-47.
constexpr Natural::DigitValues pointDigitValues = [] {
    Natural::DigitValues table{};
    for (unsigned c = 0; c < 256; ++c) {
        const unsigned decimal = (c - 48U) & 0xFFU;
        table[c] = static_cast<std::uint8_t>(decimal < 10 ? decimal : (c - 55U) & 0xFFU);
    }
    return table;
}();

// The coordinate's value becomes the number the digits denote, reduced modulo its modulus.
void parseCoordinate(Modular& coordinate, std::string_view digits) {
    Natural v;
    v.fromDigits(digits, pointDigitValues);
    coordinate.value().assign(v);
    coordinate.value().reduce(coordinate.modulus());
}

}  // namespace

CurvePoint::CurvePoint(Natural& q, const Modular& A, const Modular& B)
    : q_(&q), A_(&A), B_(&B), x_(q), y_(q), atInfinity_(1), text_(std::make_unique<char[]>(1)) {}

CurvePoint::CurvePoint(Natural& q, const Modular& A, const Modular& B, Modular x, Modular y)
    : q_(&q),
      A_(&A),
      B_(&B),
      x_(std::move(x)),
      y_(std::move(y)),
      atInfinity_(0),
      text_(std::make_unique<char[]>(1)) {}

CurvePoint::CurvePoint(const CurvePoint& source)
    : CurvePoint(*source.q_, *source.A_, *source.B_, source.x_, source.y_) {
    atInfinity_ = source.atInfinity_;
}

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
    // Appended piece by piece: GCC 12 at -O3 warns falsely of overlap in "(" + std::string.
    std::string text(atInfinity() ? infinityText : "(");
    if (!atInfinity()) {
        text.append(x_.value().toHex()).append(", ").append(y_.value().toHex()).append(")");
    }
    auto buffer = std::make_unique<char[]>(text.size() + 1);
    std::copy(text.c_str(), text.c_str() + text.size() + 1, buffer.get());
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
    return square(y_).equals(sum(sum(cube(x_), product(x_, *A_)), *B_));
}

CurvePoint add(const CurvePoint& P1, const CurvePoint& P2, std::optional<Modular>* slope) {
    if (slope != nullptr) {
        slope->reset();
    }
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
    if (slope != nullptr) {
        slope->emplace(lambda);
    }
    const Modular lambdaSquared = square(lambda);
    const Modular withoutX1 = difference(lambdaSquared, x1);
    Modular x3 = difference(withoutX1, x2);
    const Modular run = difference(x1, x3);
    const Modular rise = product(lambda, run);
    return CurvePoint(P1.q(), P1.A(), P1.B(), std::move(x3), difference(rise, y1));
}

CurvePoint operator+(const CurvePoint& P1, const CurvePoint& P2) {
    return add(P1, P2, nullptr);
}

}  // namespace curve
