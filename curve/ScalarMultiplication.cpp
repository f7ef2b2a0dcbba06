#include "curve/ScalarMultiplication.h"

#include <array>
#include <cstddef>
#include <cstdlib>
#include <optional>
#include <tuple>
#include <utility>
#include <vector>

#include "bignum/MontgomeryField.h"

namespace curve {

using bignum::Modular;
using bignum::MontgomeryField;
using bignum::Natural;

namespace {

// The group law in Jacobian coordinates, x = X / Z^2 and y = Y / Z^3, on the Montgomery field,
// so that a step needs neither an allocation nor an inversion (formulas of H. Cohen, A. Miyaji
// and T. Ono, "Efficient elliptic curve exponentiation using mixed coordinates", ASIACRYPT 1998).
// Each sum takes the course operator+ takes and is the same rational function of its summands,
// so it gives the same point wherever every Z is invertible, as every Z is for a prime q; where
// operator+ would throw (a tangent with a zero denominator), the step is refused.
template <std::size_t N>
class JacobianCurve {
  public:
    using Field = MontgomeryField<N>;
    using Residue = typename Field::Residue;

    // A point at infinity keeps its affine coordinates in X and Y, with Z = 1, as CurvePoint
    // keeps them. W = A Z^4 holds while twice alone changes the point, as it does the running
    // point of a multiplication; a sum leaves W stale, and refreshW restores it.
    struct Point {
        Residue X;
        Residue Y;
        Residue Z;
        Residue W;
        bool atInfinity;
    };

    JacobianCurve(const Field& field, const Residue& A, const Residue& one)
        : field_(field), A_(A), one_(one), spentZ_(one) {}

    // The point at infinity with zero coordinates, as operator+ makes it.
    Point infinity() const noexcept { return Point{Residue{}, Residue{}, one_, A_, true}; }

    bool load(const CurvePoint& point, Point& P) const noexcept {
        P = infinity();
        P.atInfinity = point.atInfinity();
        return field_.load(point.x().value(), P.X) && field_.load(point.y().value(), P.Y);
    }

    // Writes both points back in affine coordinates; false, nothing written, where some Z met on
    // the way has no inverse (q composite): a sum may then have been judged on coordinates that
    // do not stand for a point, and only the group law can tell. One inversion of the product of
    // all those Z serves both points (Montgomery's trick: P. L. Montgomery, "Speeding the Pollard
    // and elliptic curve methods of factorization", Math. Comp. 48, 1987), with 5 products.
    bool store(Point& first, CurvePoint& firstPoint, Point& second, CurvePoint& secondPoint) {
        Residue firstInverse;
        Residue secondInverse;
        field_.multiply(firstInverse, first.Z, second.Z);
        field_.multiply(secondInverse, firstInverse, spentZ_);
        if (!field_.invert(secondInverse, secondInverse)) {
            return false;
        }
        field_.multiply(secondInverse, secondInverse, spentZ_);
        field_.multiply(firstInverse, secondInverse, second.Z);
        field_.multiply(secondInverse, secondInverse, first.Z);
        for (auto [P, point, inverse] : {std::tuple{&first, &firstPoint, &firstInverse},
                                         {&second, &secondPoint, &secondInverse}}) {
            if (!P->atInfinity) {
                Residue power;
                field_.multiply(power, *inverse, *inverse);
                field_.multiply(P->X, P->X, power);
                field_.multiply(power, power, *inverse);
                field_.multiply(P->Y, P->Y, power);
            }
            field_.store(P->X, point->x().value());
            field_.store(P->Y, point->y().value());
            point->setAtInfinity(P->atInfinity);
        }
        return true;
    }

    void negate(Point& P) const noexcept { field_.negate(P.Y, P.Y); }

    // W <- A Z^4, 1M + 2S.
    void refreshW(Point& P) const noexcept {
        field_.multiply(P.W, P.Z, P.Z);
        field_.multiply(P.W, P.W, P.W);
        field_.multiply(P.W, A_, P.W);
    }

    // P1 <- P1 + P2; false, P1 untouched, where operator+ would throw. Two different points by
    // Cohen, Miyaji and Ono's addition in Jacobian coordinates, 12M + 4S.
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
            // x1 = x2 but y1 != -y2: the same point, or (q composite) operator+ takes the tangent
            // at P1 all the same, and throws where that tangent is vertical.
            if (field_.isZero(P1.Y)) {
                return false;
            }
            refreshW(P1);
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

    // P <- P + P, for a P whose W holds; false, P untouched, where operator+ would throw. Cohen,
    // Miyaji and Ono's doubling in modified Jacobian coordinates (X, Y, Z, W = A Z^4), 4M + 4S,
    // with 2Y formed first, so that 4Y^2, 4XY^2 and 16Y^4 need no further additions.
    bool twice(Point& P) noexcept {
        if (P.atInfinity) {
            return true;
        }
        if (field_.isZero(P.Y)) {
            makeInfinity(P);
            return true;
        }
        // The tangent: slope M / (2 Y Z) with M = 3 X^2 + A Z^4.
        Residue M;
        field_.multiply(M, P.X, P.X);
        Residue XX = M;
        field_.add(M, M, XX);
        field_.add(M, M, XX);
        field_.add(M, M, P.W);
        // With T = 4 Y^2 and S = X T: X3 = M^2 - 2 S, Y3 = M (S - X3) - T^2 / 2, Z3 = 2 Y Z,
        // W3 = T^2 W.
        Residue T;
        field_.add(T, P.Y, P.Y);
        field_.multiply(P.Z, T, P.Z);
        field_.multiply(T, T, T);
        Residue S;
        field_.multiply(S, P.X, T);
        field_.multiply(T, T, T);
        field_.multiply(P.W, P.W, T);
        field_.halve(T);
        field_.multiply(P.X, M, M);
        field_.subtract(P.X, P.X, S);
        field_.subtract(P.X, P.X, S);
        field_.subtract(S, S, P.X);
        field_.multiply(S, M, S);
        field_.subtract(P.Y, S, T);
        return true;
    }

  private:
    // The point becomes infinity with zero coordinates, as operator+ makes it; its Z is kept
    // for the check in store.
    void makeInfinity(Point& P) noexcept {
        field_.multiply(spentZ_, spentZ_, P.Z);
        P = infinity();
    }

    const Field& field_;
    const Residue& A_;
    const Residue& one_;
    Residue spentZ_;  // the product of the Zs of the points that went to infinity
};

// The digits of k, one per bit and one above the top, signed, odd where not zero, below
// 2^(width - 1) in size, and at most one not zero in any `width` in a row: the width-w
// non-adjacent form (J. A. Solinas, "Efficient arithmetic on Koblitz curves", Designs, Codes
// and Cryptography 19, 2000), taken from the low end. Width 1 gives the bits.
std::vector<int> signedDigits(const Natural& k, unsigned width) {
    const std::size_t bits = k.bitLength();
    std::vector<int> digits(bits + 1, 0);
    int carry = 0;
    for (std::size_t i = 0; i < bits;) {
        if (static_cast<int>(k.bit(i)) == carry) {
            ++i;
            continue;
        }
        int window = carry;
        for (unsigned j = 0; j < width; ++j) {
            window += static_cast<int>(k.bit(i + j)) << j;
        }
        carry = window > 1 << (width - 1) ? 1 : 0;
        digits[i] = window - (carry << width);
        i += width;
    }
    digits[bits] = carry;
    return digits;
}

// The width with the fewest additions: about bits / (w + 1) for the digits and 2^(w - 1) to sum
// the buckets, so w + 1 pays once bits > (w + 1) (w + 2) 2^(w - 1).
unsigned windowWidth(std::size_t bits) {
    unsigned width = 2;
    while (bits > std::size_t{(width + 1) * (width + 2)} << (width - 1)) {
        ++width;
    }
    return width;
}

// multiplyInPlace on words, in Jacobian coordinates, right to left over signed digits of k (the
// right-to-left m-ary method of A. C.-C. Yao, "On the evaluation of powers", SIAM J. Comput. 5,
// 1976): R doubles once per bit, as in the definition's loop, and each digit d adds +-R into
// bucket |d| / 2, so that in the end k R = sum over j of (2j + 1) bucket_j. For a q shown prime the
// digits take the width with the fewest additions (about one per bits / 6 on a 521-bit scalar), and
// every addition chain gives the group law's point. For any other q the width is 1: the digits are
// the bits, bucket 0 is the result, and each step is the definition's own, for as long as it takes
// its usual course; then R, k and result are written back where it stopped. Nothing changes where
// the words cannot vouch for the result: operands the field cannot hold (a value not below q, an
// even q), a first step at which operator+ throws, or a Z without an inverse.
template <std::size_t N>
void multiplyBySignedWindows(CurvePoint& R, Natural& k, CurvePoint& result) {
    // The field of the last q met, with its verdict on primality, which costs about half a
    // multiplication to reach.
    thread_local Natural lastQ;
    thread_local std::optional<MontgomeryField<N>> field;
    if (!(lastQ == R.q())) {
        const std::optional<MontgomeryField<N>> fresh = MontgomeryField<N>::of(R.q());
        lastQ.assign(R.q());
        field = fresh;
    }
    using Curve = JacobianCurve<N>;
    typename Curve::Residue A;
    typename Curve::Residue one;
    if (!field || !field->load(R.A().value(), A) || !field->load(Natural(1), one)) {
        return;
    }
    Curve curve(*field, A, one);
    typename Curve::Point running;
    if (!curve.load(R, running)) {
        return;
    }
    const std::size_t bits = k.bitLength();
    const unsigned width = field->provenPrime() ? windowWidth(bits) : 1;
    const std::vector<int> digits = signedDigits(k, width);
    std::vector<typename Curve::Point> buckets(width == 1 ? 1 : std::size_t{1} << (width - 2),
                                               curve.infinity());
    // `position` doublings are done, and `added` says that the digit at `position` is added.
    std::size_t position = 0;
    bool added = false;
    bool done = false;
    for (;;) {
        if (digits[position] != 0) {
            typename Curve::Point term = running;
            if (digits[position] < 0) {
                curve.negate(term);
            }
            if (!curve.add(buckets[static_cast<std::size_t>(std::abs(digits[position]) / 2)],
                           term)) {
                break;
            }
            added = true;
        }
        if (position + 1 == bits) {
            done = true;
            break;
        }
        if (!curve.twice(running)) {
            break;
        }
        ++position;
        added = false;
    }
    // The carry out of the top digit adds 2^bits R; then sum (2j + 1) B_j = 2 sum j B_j + sum B_j,
    // by running sums from the top bucket: 2 J additions and one doubling for J buckets. Never
    // short of the end for a prime q.
    const auto sumBuckets = [&](typename Curve::Point& sum) {
        typename Curve::Point top = running;
        if (digits[bits] != 0 && !(curve.twice(top) && curve.add(buckets[0], top))) {
            return false;
        }
        typename Curve::Point weighted = curve.infinity();
        for (std::size_t j = buckets.size(); j-- > 1;) {
            if (!curve.add(sum, buckets[j]) || !curve.add(weighted, sum)) {
                return false;
            }
        }
        curve.refreshW(weighted);
        if (!curve.add(sum, buckets[0]) || !curve.twice(weighted) || !curve.add(weighted, sum)) {
            return false;
        }
        sum = weighted;
        return true;
    };
    typename Curve::Point sum = width == 1 ? buckets[0] : curve.infinity();
    if (width == 1 ? position == 0 && !added : !done || !sumBuckets(sum)) {
        return;
    }
    Natural rest;
    if (!done) {
        rest.assign(k);
        for (std::size_t i = 0; i < position; ++i) {
            rest.halve();
        }
        if (added) {
            rest.decrementFrom(0);
        }
    }
    if (curve.store(running, R, sum, result)) {
        k.swap(rest);
    }
}

using WordRunner = void (*)(CurvePoint&, Natural&, CurvePoint&);

// The multiplication unrolled for each word count up to the longest, and at index 0 the one for any
// count.
template <std::size_t... I>
constexpr std::array<WordRunner, sizeof...(I)> wordRunners(std::index_sequence<I...>) {
    return {&multiplyBySignedWindows<I>...};
}
constexpr auto runners = wordRunners(std::make_index_sequence<bignum::longestUnrolledField + 1>{});

// Whether A and R's coordinates live on R's q and are reduced below it, as the words need (the
// result starts as the point at infinity on the same curve). Unreduced values would keep
// failing, step after step: they are turned away before the modulus's constants are worked out.
bool suitsTheWords(const CurvePoint& R) {
    const auto onQ = [&](const Modular& v) {
        return &v.modulus() == &R.q() && v.value().lessThan(R.q());
    };
    return onQ(R.A()) && onQ(R.x()) && onQ(R.y());
}

}  // namespace

void multiplyInPlace(CurvePoint& R, Natural& k, CurvePoint& result,
                     MultiplicationObserver* observer) {
    result = CurvePoint(R.q(), R.A(), R.B());
    // The words take every step they can; the group law takes the rest (a step at which it
    // throws, or all of them where the words cannot vouch for their result), and it alone is
    // watched, so that a trace shows every line it draws.
    if (observer == nullptr && k.differsFrom(0) && suitsTheWords(R)) {
        const std::size_t words = MontgomeryField<0>::wordsOf(R.q());
        runners[words < runners.size() ? words : 0](R, k, result);
    }
    // The definition's loop, a row per bit: an odd k adds R and loses its low bit, and then a k
    // that is not yet zero doubles R and halves.
    for (std::size_t position = 0; k.differsFrom(0); ++position) {
        MultiplicationStep row;
        row.position = position;
        row.bit = k.bit(0);
        if (row.bit) {
            result = add(result, R, observer != nullptr ? &row.additionSlope : nullptr);
            k.decrementFrom(0);
        }
        row.doubled = k.differsFrom(0);
        if (row.doubled) {
            R = add(R, R, observer != nullptr ? &row.doublingSlope : nullptr);
            k.halve();
        }
        if (observer != nullptr) {
            row.result = &result;
            row.R = &R;
            observer->step(row);
        }
    }
}

CurvePoint multiply(const CurvePoint& P, Natural k, MultiplicationObserver* observer) {
    CurvePoint running(P);
    CurvePoint result(P.q(), P.A(), P.B());
    multiplyInPlace(running, k, result, observer);
    return result;
}

}  // namespace curve
