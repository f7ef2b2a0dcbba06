#include "curve/ScalarMultiplication.h"

#include <array>
#include <bit>
#include <cstddef>
#include <optional>
#include <span>
#include <utility>
#include <vector>

#include "bignum/MontgomeryField.h"

namespace curve {

using bignum::Limb;
using bignum::Modular;
using bignum::MontgomeryField;
using bignum::Natural;

namespace {

// The row of the bit being worked on, for an observer. The word ladder and operator+ fill it in
// turn (one may add for a bit and the other double), and it goes to the observer once R has
// doubled, or once the top bit is added.
class StepRecorder {
  public:
    explicit StepRecorder(MultiplicationObserver& observer) : observer_(observer) {}

    std::optional<Modular>& additionSlope() noexcept { return row_.additionSlope; }
    std::optional<Modular>& doublingSlope() noexcept { return row_.doublingSlope; }
    void added() noexcept { row_.bit = true; }
    void doubled(const CurvePoint& result, const CurvePoint& R) {
        row_.doubled = true;
        hand(result, R);
    }
    void finish(const CurvePoint& result, const CurvePoint& R) {
        if (row_.bit) {
            hand(result, R);
        }
    }

  private:
    void hand(const CurvePoint& result, const CurvePoint& R) {
        row_.result = &result;
        row_.R = &R;
        observer_.step(row_);
        const std::size_t next = row_.position + 1;
        row_ = MultiplicationStep{};
        row_.position = next;
    }

    MultiplicationObserver& observer_;
    MultiplicationStep row_;
};

// The double-and-add of multiplyInPlace on machine words, in Montgomery's form, with no
// allocation per step. Each addition takes the course operator+ takes and gives the same point;
// where operator+ would throw (a tangent with a zero denominator), the ladder stops before the
// step, and the caller takes it through operator+.
template <std::size_t N>
class WordLadder {
  public:
    using Field = MontgomeryField<N>;
    using Residue = typename Field::Residue;

    // A point of the ladder; its coordinates are kept at infinity, as CurvePoint keeps them.
    struct Point {
        Residue x;
        Residue y;
        bool atInfinity = false;
    };

    // The slope of the line a sum was drawn on, asked for by an observer only.
    struct Slope {
        Residue value;
        bool drawn = false;
    };

    WordLadder(const Field& field, const Residue& A) : field_(field), A_(A) {}

    bool load(const CurvePoint& point, Point& words) const noexcept {
        words.atInfinity = point.atInfinity();
        return field_.load(point.x().value(), words.x) && field_.load(point.y().value(), words.y);
    }

    void store(const Point& words, CurvePoint& point) const {
        field_.store(words.x, point.x().value());
        field_.store(words.y, point.y().value());
        point.setAtInfinity(words.atInfinity);
    }

    // P1 <- P1 + P2; false, P1 untouched, where operator+ would throw. P2 may be P1. A slope, when
    // asked for, is left undrawn for a sum without a line.
    bool add(Point& P1, const Point& P2, Slope* slope) const noexcept {
        if (slope != nullptr) {
            slope->drawn = false;
        }
        Line line;
        switch (classify(P1, P2, line)) {
            case Sum::isP1:
                return true;
            case Sum::isP2:
                P1 = P2;
                return true;
            case Sum::isInfinity:
                P1 = Point{Residue{}, Residue{}, true};
                return true;
            case Sum::onLine:
                break;
        }
        if (field_.isZero(line.denominator)) {
            return false;
        }
        Residue lambda;
        if (!field_.invert(lambda, line.denominator)) {
            // Without an inverse (q composite) the quotient multiplies by the denominator.
            lambda = line.denominator;
        }
        field_.multiply(lambda, lambda, line.numerator);
        keep(lambda, slope);
        addAlong(lambda, P1, P2);
        return true;
    }

    // sum <- sum + running, then running <- running + running, when both sums lie on a line and
    // one inversion serves both denominators (Montgomery's trick: an inverse is unique, so each
    // slope comes out as its own inversion would give it). False, nothing changed, otherwise.
    bool addAndDouble(Point& sum, Point& running, Slope* sumSlope,
                      Slope* runningSlope) const noexcept {
        Line forSum;
        Line forRunning;
        if (classify(sum, running, forSum) != Sum::onLine ||
            classify(running, running, forRunning) != Sum::onLine) {
            return false;
        }
        Residue both;
        field_.multiply(both, forSum.denominator, forRunning.denominator);
        Residue inverse;
        if (field_.isZero(both) || !field_.invert(inverse, both)) {
            return false;
        }
        Residue lambda;
        field_.multiply(lambda, inverse, forRunning.denominator);
        field_.multiply(lambda, lambda, forSum.numerator);
        keep(lambda, sumSlope);
        addAlong(lambda, sum, running);
        field_.multiply(lambda, inverse, forSum.denominator);
        field_.multiply(lambda, lambda, forRunning.numerator);
        keep(lambda, runningSlope);
        addAlong(lambda, running, running);
        return true;
    }

  private:
    // What P1 + P2 is, as operator+ decides it: P1 itself (P2 at infinity), a copy of P2 (P1 at
    // infinity), the point at infinity (P2 = -P1), or a point on the chord or tangent.
    enum class Sum { isP1, isP2, isInfinity, onLine };

    // The slope of a chord or tangent before its division.
    struct Line {
        Residue numerator;
        Residue denominator;
    };

    // What P1 + P2 is, and for a point on a line the line's slope. Changes nothing.
    Sum classify(const Point& P1, const Point& P2, Line& line) const noexcept {
        if (P2.atInfinity) {
            return Sum::isP1;
        }
        if (P1.atInfinity) {
            return Sum::isP2;
        }
        if (field_.equal(P1.x, P2.x)) {
            field_.negate(line.denominator, P2.y);
            if (field_.equal(P1.y, line.denominator)) {
                return Sum::isInfinity;
            }
            // The tangent: (3 x1^2 + A) / (2 y1).
            field_.add(line.denominator, P1.y, P1.y);
            Residue xSquared;
            field_.multiply(xSquared, P1.x, P1.x);
            field_.add(line.numerator, xSquared, xSquared);
            field_.add(line.numerator, line.numerator, xSquared);
            field_.add(line.numerator, line.numerator, A_);
        } else {
            field_.subtract(line.denominator, P2.x, P1.x);
            field_.subtract(line.numerator, P2.y, P1.y);
        }
        return Sum::onLine;
    }

    static void keep(const Residue& lambda, Slope* slope) noexcept {
        if (slope != nullptr) {
            slope->value = lambda;
            slope->drawn = true;
        }
    }

    // P1 <- the third point of the line of slope lambda through P1 and P2, reflected.
    void addAlong(const Residue& lambda, Point& P1, const Point& P2) const noexcept {
        Residue x3;
        field_.multiply(x3, lambda, lambda);
        field_.subtract(x3, x3, P1.x);
        field_.subtract(x3, x3, P2.x);
        Residue rise;
        field_.subtract(rise, P1.x, x3);
        field_.multiply(rise, lambda, rise);
        field_.subtract(P1.y, rise, P1.y);
        P1.x = x3;
    }

    const Field& field_;
    const Residue& A_;
};

// k >> shift, less one when dropLowBit is set (for an odd k >> shift).
std::vector<Limb> shiftedScalar(std::span<const Limb> k, std::size_t shift, bool dropLowBit) {
    constexpr std::size_t limbBits = 32;
    const std::size_t skip = shift / limbBits;
    const auto offset = static_cast<unsigned>(shift % limbBits);
    std::vector<Limb> limbs(k.size() > skip ? k.size() - skip : 0);
    for (std::size_t i = 0; i < limbs.size(); ++i) {
        const Limb high =
            offset != 0 && skip + i + 1 < k.size() ? k[skip + i + 1] << (limbBits - offset) : 0;
        limbs[i] = (k[skip + i] >> offset) | high;
    }
    if (dropLowBit) {
        limbs[0] &= ~Limb{1};
    }
    return limbs;
}

// Runs the loop of multiplyInPlace on words for as long as the steps take their usual course,
// then writes R, k and result back. False, nothing changed, when no step was taken: operands the
// field cannot hold (a value not below q, an even q) or a first step at which operator+ throws.
// Only with a recorder are slopes and points written out step by step.
template <std::size_t N>
bool multiplyOnWords(CurvePoint& R, Natural& k, CurvePoint& result, StepRecorder* recorder) {
    const std::optional<MontgomeryField<N>> field = MontgomeryField<N>::of(R.q());
    typename MontgomeryField<N>::Residue A;
    if (!field || !field->load(R.A().value(), A)) {
        return false;
    }
    const WordLadder<N> ladder(*field, A);
    typename WordLadder<N>::Point running;
    typename WordLadder<N>::Point sum;
    if (!ladder.load(R, running) || !ladder.load(result, sum)) {
        return false;
    }
    // k is consumed from its low end: `position` halvings are done, and `added` says that the
    // addition for the bit at `position` is done, which clears that bit.
    const std::span<const Limb> scalar = k.limbs();
    const std::size_t bits =
        32 * scalar.size() - static_cast<std::size_t>(std::countl_zero(scalar.back()));
    const auto bitAt = [&](std::size_t i) { return ((scalar[i / 32] >> (i % 32)) & 1U) != 0; };
    std::size_t position = 0;
    bool added = false;
    bool progressed = false;
    typename WordLadder<N>::Slope additionSlope;
    typename WordLadder<N>::Slope doublingSlope;
    auto* const additionAsked = recorder != nullptr ? &additionSlope : nullptr;
    auto* const doublingAsked = recorder != nullptr ? &doublingSlope : nullptr;
    const auto record = [&](const typename WordLadder<N>::Slope& slope,
                            std::optional<Modular>& into) {
        into.reset();
        if (slope.drawn) {
            field->store(slope.value, into.emplace(R.q()).value());
        }
    };
    const auto recordAddition = [&] {
        record(additionSlope, recorder->additionSlope());
        recorder->added();
    };
    const auto recordDoubling = [&] {
        record(doublingSlope, recorder->doublingSlope());
        ladder.store(running, R);
        ladder.store(sum, result);
        recorder->doubled(result, R);
    };
    for (;;) {
        const bool last = position + 1 == bits;
        if (!added && bitAt(position)) {
            if (!last && ladder.addAndDouble(sum, running, additionAsked, doublingAsked)) {
                ++position;
                progressed = true;
                if (recorder != nullptr) {
                    recordAddition();
                    recordDoubling();
                }
                continue;
            }
            if (!ladder.add(sum, running, additionAsked)) {
                break;
            }
            added = true;
            progressed = true;
            if (recorder != nullptr) {
                recordAddition();
            }
            if (last) {
                break;
            }
        }
        if (!ladder.add(running, running, doublingAsked)) {
            break;
        }
        ++position;
        added = false;
        progressed = true;
        if (recorder != nullptr) {
            recordDoubling();
        }
    }
    if (!progressed) {
        return false;
    }
    const std::vector<Limb> rest = shiftedScalar(scalar, position, added);
    ladder.store(running, R);
    ladder.store(sum, result);
    k.setLimbs(rest);
    return true;
}

using WordRunner = bool (*)(CurvePoint&, Natural&, CurvePoint&, StepRecorder*);

// The ladder unrolled for each word count up to the longest, and at index 0 the one for any
// count.
template <std::size_t... I>
constexpr std::array<WordRunner, sizeof...(I)> wordRunners(std::index_sequence<I...>) {
    return {&multiplyOnWords<I>...};
}
constexpr auto runners = wordRunners(std::make_index_sequence<bignum::longestUnrolledField + 1>{});

// Whether every part of the multiplication lives on R's q, A and B and is reduced below q, as
// the word ladder needs. Unreduced values would keep failing, step after step: they are turned
// away before the modulus's constants are worked out.
bool suitsTheWords(const CurvePoint& R, const CurvePoint& result) {
    const Natural& q = R.q();
    const auto onQ = [&](const bignum::Modular& v) {
        return &v.modulus() == &q && v.value().lessThan(q);
    };
    return &result.q() == &q && &result.A() == &R.A() && &result.B() == &R.B() && onQ(R.A()) &&
           onQ(R.x()) && onQ(R.y()) && onQ(result.x()) && onQ(result.y());
}

}  // namespace

void multiplyInPlace(CurvePoint& R, Natural& k, CurvePoint& result,
                     MultiplicationObserver* observer) {
    std::optional<StepRecorder> row;
    if (observer != nullptr) {
        row.emplace(*observer);
    }
    StepRecorder* const recorder = row ? &*row : nullptr;
    result = CurvePoint(R.q(), R.A(), R.B());
    while (k.differsFrom(0)) {
        const std::size_t words = MontgomeryField<0>::wordsOf(R.q());
        if (suitsTheWords(R, result) &&
            runners[words < runners.size() ? words : 0](R, k, result, recorder)) {
            continue;
        }
        if ((k.limbs()[0] & 1U) != 0) {
            result = add(result, R, recorder != nullptr ? &recorder->additionSlope() : nullptr);
            k.decrementFrom(0);
            if (recorder != nullptr) {
                recorder->added();
            }
        } else {
            R = add(R, R, recorder != nullptr ? &recorder->doublingSlope() : nullptr);
            k.halve();
            if (recorder != nullptr) {
                recorder->doubled(result, R);
            }
        }
    }
    if (recorder != nullptr) {
        recorder->finish(result, R);
    }
}

CurvePoint multiply(const CurvePoint& P, Natural k, MultiplicationObserver* observer) {
    CurvePoint running(P);
    CurvePoint result(P.q(), P.A(), P.B());
    multiplyInPlace(running, k, result, observer);
    return result;
}

}  // namespace curve
