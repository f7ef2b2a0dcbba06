#include "curve/CurvePoint.h"

#include <algorithm>
#include <bit>
#include <cstddef>
#include <new>
#include <optional>
#include <span>
#include <string_view>
#include <utility>
#include <vector>

#include "bignum/ModulusWords.h"

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

namespace {

using bignum::ModulusWords;
using Residue = ModulusWords::Residue;

// A point of the word ladder. Coordinates are kept at infinity, as CurvePoint keeps them.
struct WordPoint {
    Residue x;
    Residue y;
    bool atInfinity = false;
};

// How operator+ forms P1 + P2: as P1 itself (P2 at infinity), as a copy of P2 (P1 at
// infinity), as infinity (P1 = -P2), or from a slope.
enum class Course { keepP1, copyP2, infinity, slope };

// The slope of a chord or tangent before its division.
struct Slope {
    Residue numerator;
    Residue denominator;
};

// The course of P1 + P2 for reduced residues, and for a chord or tangent its slope; nothing
// changes. P2 may be P1.
Course courseOf(const ModulusWords& field, const Residue& A, const WordPoint& P1,
                const WordPoint& P2, Slope& slope) {
    if (P2.atInfinity) {
        return Course::keepP1;
    }
    if (P1.atInfinity) {
        return Course::copyP2;
    }
    const bool sameX = field.equal(P1.x, P2.x);
    if (sameX) {
        field.negate(slope.denominator, P2.y);
        if (field.equal(P1.y, slope.denominator)) {
            return Course::infinity;
        }
        field.add(slope.denominator, P1.y, P1.y);
        Residue xSquared;
        field.multiply(xSquared, P1.x, P1.x);
        field.add(slope.numerator, xSquared, xSquared);
        field.add(slope.numerator, slope.numerator, xSquared);
        field.add(slope.numerator, slope.numerator, A);
    } else {
        field.subtract(slope.denominator, P2.x, P1.x);
        field.subtract(slope.numerator, P2.y, P1.y);
    }
    return Course::slope;
}

// P1 <- P1 + P2 along a course other than a slope.
void takeCourse(const ModulusWords& field, Course course, WordPoint& P1, const WordPoint& P2) {
    switch (course) {
        case Course::copyP2:
            field.copy(P1.x, P2.x);
            field.copy(P1.y, P2.y);
            P1.atInfinity = false;
            break;
        case Course::infinity:
            field.setZero(P1.x);
            field.setZero(P1.y);
            P1.atInfinity = true;
            break;
        case Course::keepP1:
        case Course::slope:
            break;
    }
}

// P1 <- P1 + P2 on the line through them with slope lambda.
void addAlong(const ModulusWords& field, const Residue& lambda, WordPoint& P1,
              const WordPoint& P2) {
    Residue x3;
    field.multiply(x3, lambda, lambda);
    field.subtract(x3, x3, P1.x);
    field.subtract(x3, x3, P2.x);
    Residue rise;
    field.subtract(rise, P1.x, x3);
    field.multiply(rise, lambda, rise);
    field.subtract(P1.y, rise, P1.y);
    field.copy(P1.x, x3);
}

// P1 <- P1 + P2 exactly as operator+ computes it, for reduced residues; P2 may be P1. Returns
// false, P1 untouched, where operator+ would throw: a tangent with a zero denominator.
bool addOnWords(const ModulusWords& field, const Residue& A, WordPoint& P1, const WordPoint& P2) {
    Slope slope;
    const Course course = courseOf(field, A, P1, P2, slope);
    if (course != Course::slope) {
        takeCourse(field, course, P1, P2);
        return true;
    }
    if (field.isZero(slope.denominator)) {
        return false;
    }
    Residue lambda;
    if (!field.invert(lambda, slope.denominator)) {
        // Without an inverse the quotient multiplies by the denominator itself.
        field.copy(lambda, slope.denominator);
    }
    field.multiply(lambda, lambda, slope.numerator);
    addAlong(field, lambda, P1, P2);
    return true;
}

// sum <- sum + running, then running <- running + running, as addOnWords takes them one after
// the other; returns how many of the two were taken. When both need a slope, one inversion
// serves both denominators (Montgomery's trick): an inverse is unique, so each slope comes out
// as its own inversion would give it. Otherwise, or when the product of the denominators has
// no inverse, the two are taken one by one.
std::size_t addThenDouble(const ModulusWords& field, const Residue& A, WordPoint& sum,
                          WordPoint& running) {
    Slope forSum;
    Slope forRunning;
    if (courseOf(field, A, sum, running, forSum) == Course::slope &&
        courseOf(field, A, running, running, forRunning) == Course::slope) {
        Residue both;
        field.multiply(both, forSum.denominator, forRunning.denominator);
        Residue inverse;
        if (!field.isZero(both) && field.invert(inverse, both)) {
            Residue lambda;
            field.multiply(lambda, inverse, forRunning.denominator);
            field.multiply(lambda, lambda, forSum.numerator);
            addAlong(field, lambda, sum, running);
            field.multiply(lambda, inverse, forSum.denominator);
            field.multiply(lambda, lambda, forRunning.numerator);
            addAlong(field, lambda, running, running);
            return 2;
        }
    }
    if (!addOnWords(field, A, sum, running)) {
        return 0;
    }
    return addOnWords(field, A, running, running) ? 2 : 1;
}

bool loadPoint(const ModulusWords& field, const CurvePoint& point, WordPoint& words) {
    words.atInfinity = point.atInfinity();
    return field.load(point.x().value(), words.x) && field.load(point.y().value(), words.y);
}

void storePoint(const ModulusWords& field, const WordPoint& words, CurvePoint& point) {
    field.store(words.x, point.x().value());
    field.store(words.y, point.y().value());
    point.setAtInfinity(words.atInfinity);
}

// k >> shift, less one when dropLowBit is set (which the caller does for an odd k >> shift).
std::vector<Limb> shiftedScalar(std::span<const Limb> k, std::size_t shift, bool dropLowBit) {
    constexpr std::size_t limbBits = 32;
    const std::size_t skip = shift / limbBits;
    const auto offset = static_cast<unsigned>(shift % limbBits);
    std::vector<Limb> limbs(k.size() > skip ? k.size() - skip : 0);
    for (std::size_t i = 0; i < limbs.size(); ++i) {
        const Limb low = k[skip + i] >> offset;
        const Limb high =
            offset != 0 && skip + i + 1 < k.size() ? k[skip + i + 1] << (limbBits - offset) : 0;
        limbs[i] = low | high;
    }
    if (dropLowBit) {
        limbs[0] &= ~Limb{1};
    }
    return limbs;
}

// Runs the loop of multiplyInPlace on machine words, with no allocation per step, for as long
// as it takes the usual course, then writes R, k and result back. Returns the number of steps
// taken: none when the operands do not suit (a modulus the words cannot hold, a value not
// reduced, parts that live on other objects than R's q, A and B), and it stops before a step
// at which operator+ would throw, which the caller then takes through operator+.
std::size_t multiplyOnWords(CurvePoint& R, Natural& k, CurvePoint& result) {
    Natural& q = R.q();
    const bool sameObjects = &result.q() == &q && &result.A() == &R.A() && &result.B() == &R.B() &&
                             &R.A().modulus() == &q && &R.x().modulus() == &q &&
                             &R.y().modulus() == &q && &result.x().modulus() == &q &&
                             &result.y().modulus() == &q;
    // Unreduced values keep failing, step after step: turn them away before the modulus's
    // constants are worked out.
    const bool reduced = R.A().value().lessThan(q) && R.x().value().lessThan(q) &&
                         R.y().value().lessThan(q) && result.x().value().lessThan(q) &&
                         result.y().value().lessThan(q);
    if (!sameObjects || !reduced) {
        return 0;
    }
    const std::optional<ModulusWords> field = ModulusWords::of(q);
    if (!field) {
        return 0;
    }
    Residue A;
    WordPoint running;
    WordPoint sum;
    if (!field->load(R.A().value(), A) || !loadPoint(*field, R, running) ||
        !loadPoint(*field, result, sum)) {
        return 0;
    }
    // k is consumed from its low end: bit `position` is the low bit of what is left of it, and
    // `added` records that the addition for that bit is done, i.e. that the bit is cleared.
    const std::span<const Limb> scalar = k.limbs();
    const std::size_t bitCount =
        32 * scalar.size() - static_cast<std::size_t>(std::countl_zero(scalar.back()));
    const auto bitAt = [&](std::size_t i) { return ((scalar[i / 32] >> (i % 32)) & 1U) != 0; };
    std::size_t position = 0;
    bool added = false;
    std::size_t steps = 0;
    while (position + 1 < bitCount || (position + 1 == bitCount && !added)) {
        const bool addNext = !added && bitAt(position);
        if (addNext && position + 1 < bitCount) {
            const std::size_t taken = addThenDouble(*field, A, sum, running);
            steps += taken;
            if (taken != 2) {
                added = taken == 1;
                break;
            }
            ++position;
        } else if (addNext) {
            if (!addOnWords(*field, A, sum, running)) {
                break;
            }
            added = true;
            ++steps;
        } else {
            if (!addOnWords(*field, A, running, running)) {
                break;
            }
            ++position;
            added = false;
            ++steps;
        }
    }
    if (steps == 0) {
        return 0;
    }
    const std::vector<Limb> rest = shiftedScalar(scalar, position, added);
    storePoint(*field, running, R);
    storePoint(*field, sum, result);
    k.setLimbs(rest);
    return steps;
}

}  // namespace

void multiplyInPlace(CurvePoint& R, Natural& k, CurvePoint& result) {
    result = CurvePoint(R.q(), R.A(), R.B());
    while (k.differsFrom(0)) {
        if (multiplyOnWords(R, k, result) != 0) {
            continue;
        }
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
