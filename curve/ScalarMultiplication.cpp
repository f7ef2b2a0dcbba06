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

// The row of the bit being worked on, for an observer: it goes to the observer once R has
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

// The double-and-add of multiplyInPlace on machine words, in Montgomery's form and in Jacobian
// coordinates (x = X / Z^2, y = Y / Z^3), so that a step needs neither an allocation nor an
// inversion. Each sum takes the course operator+ takes and is the same rational function of its
// summands, so it gives the same point wherever every Z is invertible; where operator+ would
// throw (a tangent with a zero denominator), the ladder stops before the step.
template <std::size_t N>
class WordLadder {
  public:
    using Field = MontgomeryField<N>;
    using Residue = typename Field::Residue;

    // W = A Z^4 is carried along for the doublings, which then need two products fewer. A point
    // at infinity keeps its affine coordinates in X and Y, as CurvePoint keeps them.
    struct Point {
        Residue X;
        Residue Y;
        Residue Z;
        Residue W;
        bool atInfinity = false;
    };

    WordLadder(const Field& field, const Residue& A, const Residue& one)
        : field_(field), A_(A), one_(one), spentZ_(one) {}

    bool load(const CurvePoint& point, Point& words) const noexcept {
        words.atInfinity = point.atInfinity();
        words.Z = one_;
        words.W = A_;
        return field_.load(point.x().value(), words.X) && field_.load(point.y().value(), words.Y);
    }

    // Writes both points back in affine coordinates; false, nothing written, where some Z met on
    // the way had no inverse (q composite): a sum may then have been judged on coordinates that
    // do not stand for a point, and only the group law can tell.
    bool store(Point& first, CurvePoint& firstPoint, Point& second, CurvePoint& secondPoint) {
        Residue unused;
        if (field_.isZero(spentZ_) || !field_.invert(unused, spentZ_) || !toAffine(first) ||
            !toAffine(second)) {
            return false;
        }
        for (auto [words, point] : {std::pair{&first, &firstPoint}, {&second, &secondPoint}}) {
            field_.store(words->X, point->x().value());
            field_.store(words->Y, point->y().value());
            point->setAtInfinity(words->atInfinity);
        }
        return true;
    }

    // P1 <- P1 + P2 for two different points; false, P1 untouched, where operator+ would throw.
    bool add(Point& P1, const Point& P2) noexcept {
        if (P2.atInfinity) {
            return true;
        }
        if (P1.atInfinity) {
            P1 = P2;
            return true;
        }
        Residue Z1Z1;
        Residue Z2Z2;
        field_.multiply(Z1Z1, P1.Z, P1.Z);
        field_.multiply(Z2Z2, P2.Z, P2.Z);
        Residue U1;
        Residue U2;
        field_.multiply(U1, P1.X, Z2Z2);
        field_.multiply(U2, P2.X, Z1Z1);
        Residue S1;
        Residue S2;
        field_.multiply(S1, P2.Z, Z2Z2);
        field_.multiply(S1, P1.Y, S1);
        field_.multiply(S2, P1.Z, Z1Z1);
        field_.multiply(S2, P2.Y, S2);
        if (field_.equal(U1, U2)) {
            Residue ySum;
            field_.add(ySum, S1, S2);
            if (field_.isZero(ySum)) {
                makeInfinity(P1);
                return true;
            }
            // x1 = x2 but y1 != -y2 (q composite): operator+ takes the tangent at P1, and throws
            // where that tangent is vertical.
            if (field_.isZero(P1.Y)) {
                return false;
            }
            field_.multiply(P1.W, Z1Z1, Z1Z1);
            field_.multiply(P1.W, A_, P1.W);
            return twice(P1);
        }
        // The chord: slope r / H in these coordinates.
        Residue H;
        Residue r;
        field_.subtract(H, U2, U1);
        field_.subtract(r, S2, S1);
        Residue HH;
        Residue HHH;
        Residue V;
        field_.multiply(HH, H, H);
        field_.multiply(HHH, H, HH);
        field_.multiply(V, U1, HH);
        // X3 = r^2 - H^3 - 2 V, Y3 = r (V - X3) - S1 H^3, Z3 = Z1 Z2 H.
        field_.multiply(P1.X, r, r);
        field_.subtract(P1.X, P1.X, HHH);
        field_.subtract(P1.X, P1.X, V);
        field_.subtract(P1.X, P1.X, V);
        field_.subtract(V, V, P1.X);
        field_.multiply(V, r, V);
        field_.multiply(S1, S1, HHH);
        field_.subtract(P1.Y, V, S1);
        field_.multiply(P1.Z, P1.Z, P2.Z);
        field_.multiply(P1.Z, P1.Z, H);
        return true;
    }

    // P <- P + P; false, P untouched, where operator+ would throw.
    bool twice(Point& P) noexcept {
        if (P.atInfinity) {
            return true;
        }
        if (field_.isZero(P.Y)) {
            makeInfinity(P);
            return true;
        }
        Residue XX;
        Residue YY;
        Residue YYYY;
        field_.multiply(XX, P.X, P.X);
        field_.multiply(YY, P.Y, P.Y);
        field_.multiply(YYYY, YY, YY);
        // The tangent: slope M / (2 Y Z) with M = 3 X^2 + A Z^4.
        Residue M;
        field_.add(M, P.W, XX);
        field_.add(M, M, XX);
        field_.add(M, M, XX);
        // S = 4 X Y^2; X3 = M^2 - 2 S, Y3 = M (S - X3) - 8 Y^4, Z3 = 2 Y Z, W3 = 16 Y^4 W.
        Residue S;
        field_.multiply(S, P.X, YY);
        field_.add(S, S, S);
        field_.add(S, S, S);
        field_.multiply(P.Z, P.Y, P.Z);
        field_.add(P.Z, P.Z, P.Z);
        field_.multiply(P.X, M, M);
        field_.subtract(P.X, P.X, S);
        field_.subtract(P.X, P.X, S);
        field_.subtract(S, S, P.X);
        field_.multiply(S, M, S);
        field_.add(YYYY, YYYY, YYYY);
        field_.add(YYYY, YYYY, YYYY);
        field_.add(YYYY, YYYY, YYYY);
        field_.subtract(P.Y, S, YYYY);
        field_.multiply(P.W, P.W, YYYY);
        field_.add(P.W, P.W, P.W);
        return true;
    }

  private:
    // The point becomes infinity with zero coordinates, as operator+ makes it; its Z is kept
    // for the check in store.
    void makeInfinity(Point& P) noexcept {
        field_.multiply(spentZ_, spentZ_, P.Z);
        P = Point{Residue{}, Residue{}, one_, A_, true};
    }

    bool toAffine(Point& P) const noexcept {
        if (P.atInfinity) {
            return true;
        }
        Residue inverse;
        if (field_.isZero(P.Z) || !field_.invert(inverse, P.Z)) {
            return false;
        }
        Residue power;
        field_.multiply(power, inverse, inverse);
        field_.multiply(P.X, P.X, power);
        field_.multiply(power, power, inverse);
        field_.multiply(P.Y, P.Y, power);
        P.Z = one_;
        return true;
    }

    const Field& field_;
    const Residue& A_;
    const Residue& one_;
    Residue spentZ_;  // the product of the Zs of the points that went to infinity
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
// then writes R, k and result back. Nothing changes where the words cannot vouch for the result:
// operands the field cannot hold (a value not below q, an even q), a first step at which
// operator+ throws, or a Z without an inverse.
template <std::size_t N>
void multiplyOnWords(CurvePoint& R, Natural& k, CurvePoint& result) {
    const std::optional<MontgomeryField<N>> field = MontgomeryField<N>::of(R.q());
    typename MontgomeryField<N>::Residue A;
    typename MontgomeryField<N>::Residue one;
    const std::array<Limb, 1> oneLimb{1};
    Natural oneValue;
    oneValue.setLimbs(oneLimb);
    if (!field || !field->load(R.A().value(), A) || !field->load(oneValue, one)) {
        return;
    }
    WordLadder<N> ladder(*field, A, one);
    typename WordLadder<N>::Point running;
    typename WordLadder<N>::Point sum;
    if (!ladder.load(R, running) || !ladder.load(result, sum)) {
        return;
    }
    // k is consumed from its low end: `position` halvings are done, and `added` says that the
    // addition for the bit at `position` is done, which clears that bit.
    const std::span<const Limb> scalar = k.limbs();
    const std::size_t bits =
        32 * scalar.size() - static_cast<std::size_t>(std::countl_zero(scalar.back()));
    const auto bitAt = [&](std::size_t i) { return ((scalar[i / 32] >> (i % 32)) & 1U) != 0; };
    std::size_t position = 0;
    bool added = false;
    for (;;) {
        if (!added && bitAt(position)) {
            if (!ladder.add(sum, running)) {
                break;
            }
            added = true;
            if (position + 1 == bits) {
                break;
            }
        }
        if (!ladder.twice(running)) {
            break;
        }
        ++position;
        added = false;
    }
    if (position == 0 && !added) {
        return;
    }
    const std::vector<Limb> rest = shiftedScalar(scalar, position, added);
    if (ladder.store(running, R, sum, result)) {
        k.setLimbs(rest);
    }
}

using WordRunner = void (*)(CurvePoint&, Natural&, CurvePoint&);

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
    // The words take every step they can; the group law takes the rest one by one (a step at
    // which it throws, or all of them where the words cannot vouch for their result), and it alone
    // is watched, so that a trace shows every line it draws.
    if (recorder == nullptr && k.differsFrom(0) && suitsTheWords(R, result)) {
        const std::size_t words = MontgomeryField<0>::wordsOf(R.q());
        runners[words < runners.size() ? words : 0](R, k, result);
    }
    while (k.differsFrom(0)) {
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
