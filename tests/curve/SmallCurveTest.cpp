#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <bit>
#include <numeric>
#include <stdexcept>
#include <tuple>

#include "CurveTestSupport.h"

namespace curve::test {
namespace {

using ::testing::StrEq;
using ::testing::ThrowsMessage;

// The oracle: the same curve in plain word arithmetic, without the big-number code.
struct ReferenceCurve {
    std::uint64_t q, a, b;

    bool contains(std::uint64_t x, std::uint64_t y) const {
        return y * y % q == (x * x * x + a * x + b) % q;
    }
    std::vector<WordPoint> points() const {  // infinity, then every (x, y) found by trying all
        std::vector<WordPoint> all{std::nullopt};
        for (std::uint64_t x = 0; x < q; ++x) {
            for (std::uint64_t y = 0; y < q; ++y) {
                if (contains(x, y)) {
                    all.push_back(affine(x, y));
                }
            }
        }
        return all;
    }
    // Throws std::domain_error for a zero denominator; one without inverse (composite q) is used
    // as it is.
    WordPoint add(const WordPoint& p1, const WordPoint& p2) const {
        if (!p1 || !p2) {
            return p2 ? p2 : p1;
        }
        const auto [x1, y1] = *p1;
        const auto [x2, y2] = *p2;
        if (x1 == x2 && (y1 + y2) % q == 0) {
            return std::nullopt;
        }
        const std::uint64_t n = x1 == x2 ? (3 * x1 * x1 + a) % q : (y2 + q - y1) % q;
        const std::uint64_t d = x1 == x2 ? 2 * y1 % q : (x2 + q - x1) % q;
        if (d == 0) {
            throw std::domain_error("zero denominator");
        }
        std::uint64_t inverse = 1;
        while (std::gcd(d, q) == 1 && d * inverse % q != 1) {
            ++inverse;
        }
        const std::uint64_t slope = n * (std::gcd(d, q) == 1 ? inverse : d) % q;
        const std::uint64_t x3 = (slope * slope + 2 * q - x1 - x2) % q;
        return affine(x3, (slope * (x1 + q - x3) + q - y1) % q);
    }
};

struct SmallCurve {
    const char* name;
    std::uint64_t q, a, b;
    std::size_t maxK;  // multiply is checked for k = 0 ... min(maxK, 2 * order)
};

void PrintTo(const SmallCurve& c, std::ostream* os) {
    *os << c.name;
}

class SmallCurveTest : public ::testing::TestWithParam<SmallCurve> {
  protected:
    SmallCurveTest()
        : curve_(GetParam().q, GetParam().a, GetParam().b),
          reference_{GetParam().q, GetParam().a, GetParam().b},
          elements_(reference_.points()) {
        for (const WordPoint& p : elements_) {
            points_.push_back(curve_.point(p));
        }
    }
    std::size_t indexOf(const CurvePoint& p) const {
        return static_cast<std::size_t>(std::find(elements_.begin(), elements_.end(), words(p)) -
                                        elements_.begin());
    }

    TestCurve curve_;
    ReferenceCurve reference_;
    std::vector<WordPoint> elements_;  // brute force, the point at infinity first
    std::vector<CurvePoint> points_;   // the same points, in the same order
};

// isOnCurve on every (x, y), and every sum of two points including the reported zero
// denominators of a composite q.
TEST_P(SmallCurveTest, CurveTestAndAdditionAgreeWithReference) {
    for (std::uint64_t x = 0; x < GetParam().q; ++x) {
        for (std::uint64_t y = 0; y < GetParam().q; ++y) {
            EXPECT_EQ(curve_.point(x, y).isOnCurve(), reference_.contains(x, y)) << x << ", " << y;
        }
    }
    EXPECT_TRUE(curve_.infinity().isOnCurve());
    for (std::size_t i = 0; i < points_.size(); ++i) {
        for (std::size_t j = 0; j < points_.size(); ++j) {
            SCOPED_TRACE(testing::Message() << points_[i] << " + " << points_[j]);
            try {
                const WordPoint expected = reference_.add(elements_[i], elements_[j]);
                EXPECT_EQ(words(points_[i] + points_[j]), expected);
            } catch (const std::domain_error&) {
                EXPECT_THAT([&] { (void)(points_[i] + points_[j]); },
                            ThrowsMessage<std::invalid_argument>(StrEq("divide by 0 error")));
            }
        }
    }
}

const SmallCurve primeCurves[] = {
    {"Q17A1B1", 0x17, 1, 1, SIZE_MAX},  // q = 3 mod 4, one point with y = 0; every k
    {"Q1FA0B7", 0x1F, 0, 7, 9},         // A = 0, odd order
    {"Q1DA1CB0", 0x1D, 0x1C, 0, 9},     // B = 0, q = 1 mod 4, three points with y = 0
    {"Q25A2B3", 0x25, 2, 3, 9},         // q = 1 mod 4
    {"Q5A1B1", 5, 1, 1, SIZE_MAX},
};
// Several square roots per value: x1 = x2 with y2 other than +-y1 takes the tangent at P1.
const SmallCurve compositeCurves[] = {{"Q15A1B1", 0x15, 1, 1, 0}, {"Q9A1B0", 9, 1, 0, 0}};
const auto curveName = [](const auto& info) { return std::string(info.param.name); };

INSTANTIATE_TEST_SUITE_P(PrimeModulus, SmallCurveTest, ::testing::ValuesIn(primeCurves), curveName);
INSTANTIATE_TEST_SUITE_P(CompositeModulus, SmallCurveTest, ::testing::ValuesIn(compositeCurves),
                         curveName);

// The group law, on non-singular curves over a prime.
using SmallGroupTest = SmallCurveTest;

TEST_P(SmallGroupTest, ClosureCommutativityAssociativityNeutralAndInverse) {
    const std::size_t n = points_.size();
    std::vector<std::vector<std::size_t>> sums(n, std::vector<std::size_t>(n));
    for (std::size_t i = 0; i < n; ++i) {
        for (std::size_t j = 0; j < n; ++j) {
            sums[i][j] = indexOf(points_[i] + points_[j]);
            ASSERT_LT(sums[i][j], n) << "outside the group: " << points_[i] + points_[j];
        }
    }
    for (std::size_t i = 0; i < n; ++i) {
        EXPECT_EQ(sums[0][i], i);
        const std::size_t negation = indexOf(-points_[i]);
        ASSERT_LT(negation, n) << "outside the group: " << -points_[i];
        EXPECT_EQ(sums[i][negation], 0U) << points_[i];
        EXPECT_EQ(std::count(sums[i].begin(), sums[i].end(), 0U), 1) << points_[i];
        for (std::size_t j = 0; j < n; ++j) {
            ASSERT_EQ(sums[i][j], sums[j][i]) << points_[i] << " + " << points_[j];
            for (std::size_t k = 0; k < n; ++k) {
                ASSERT_EQ(sums[sums[i][j]][k], sums[i][sums[j][k]])
                    << points_[i] << " + " << points_[j] << " + " << points_[k];
            }
        }
    }
}

// Against repeated addition: multiply for small k and for k = order * 2^64 + r (three limbs,
// borrows and halvings across limbs); multiplyInPlace also leaves the scalar at zero and the
// running point doubled once per bit below the top one.
TEST_P(SmallGroupTest, ScalarMultiplicationAgreesWithRepeatedAddition) {
    const std::size_t order = points_.size();
    const std::size_t maxK = std::min(GetParam().maxK, 2 * order);
    for (const CurvePoint& p : points_) {
        std::vector<CurvePoint> expected{curve_.infinity()};
        while (expected.size() <= std::max(maxK, order)) {
            expected.push_back(expected.back() + p);
        }
        for (std::size_t k = 0; k <= maxK; ++k) {
            EXPECT_EQ(multiply(p, natural(k)), expected[k]) << p << " times " << k;
            CurvePoint running(p);
            bignum::Natural scalar = natural(k);
            CurvePoint result = curve_.point(1, 2);
            multiplyInPlace(running, scalar, result);
            EXPECT_EQ(result, expected[k]) << p << " times " << k;
            EXPECT_FALSE(scalar.differsFrom(0));
            EXPECT_EQ(running, expected[k == 0 ? 1 : std::bit_floor(k)]) << p << " times " << k;
        }
        for (const std::size_t r : {std::size_t{0}, std::size_t{1}, order / 2, order - 1}) {
            bignum::Natural k;
            const std::array<bignum::Limb, 3> limbs{static_cast<bignum::Limb>(r), 0,
                                                    static_cast<bignum::Limb>(order)};
            k.setLimbs(limbs);
            EXPECT_EQ(multiply(p, k), expected[r]) << p << " times order * 2^64 + " << r;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(PrimeModulus, SmallGroupTest, ::testing::ValuesIn(primeCurves), curveName);

// Known answers on y^2 = x^3 + x + 1 modulo 0x17, where (3, A) has order 0x1C.
class WorkedExampleTest : public ::testing::Test {
  protected:
    TestCurve curve_{0x17, 1, 1};
    const WordPoint P = affine(3, 0xA);
};

TEST_F(WorkedExampleTest, SumsAndMultiples) {
    const std::tuple<WordPoint, WordPoint, const char*> sums[] = {
        {P, std::nullopt, "(3, A)"},
        {std::nullopt, P, "(3, A)"},
        {std::nullopt, std::nullopt, "(uendelig)"},
        {P, affine(3, 0xD), "(uendelig)"},
        {P, affine(9, 7), "(11, 14)"},
        {affine(9, 7), P, "(11, 14)"},
        {P, P, "(7, C)"},
        {affine(4, 0), affine(4, 0), "(uendelig)"}};
    for (const auto& [p1, p2, text] : sums) {
        EXPECT_STREQ((curve_.point(p1) + curve_.point(p2)).toText(), text)
            << curve_.point(p1) << " + " << curve_.point(p2);
    }
    const std::pair<std::uint64_t, const char*> multiples[] = {
        {0, "(uendelig)"}, {1, "(3, A)"},   {2, "(7, C)"},        {3, "(13, 5)"},
        {5, "(9, 10)"},    {0xE, "(4, 0)"}, {0x1C, "(uendelig)"}, {0x1D, "(3, A)"}};
    for (const auto& [k, text] : multiples) {
        EXPECT_STREQ(multiply(curve_.point(P), natural(k)).toText(), text) << k;
    }
    EXPECT_STREQ((-curve_.point(P)).toText(), "(3, D)");
    EXPECT_STREQ((-curve_.point(4, 0)).toText(), "(4, 0)");
}

// The flag alone marks infinity: negation and infinity + infinity (a copy of the left operand)
// keep the coordinates.
TEST_F(WorkedExampleTest, InfinityKeepsItsCoordinates) {
    CurvePoint left = curve_.point(5, 6);
    left.setAtInfinity(true);
    CurvePoint right = curve_.point(7, 8);
    right.setAtInfinity(true);
    for (const CurvePoint& r : {left + right, -left}) {
        EXPECT_TRUE(r.atInfinity());
        EXPECT_EQ(coordinates(r), "(5, 6)");
    }
}

// (4, 5) is off the curve: the tangent at (4, 0) has the denominator 2*0. A y above q cannot be
// negated, which the addition tries first.
TEST_F(WorkedExampleTest, Errors) {
    const CurvePoint high = curve_.point(9, 0x30);
    const auto throws = [](auto f, const char* message) {
        EXPECT_THAT(f, ThrowsMessage<std::invalid_argument>(StrEq(message)));
    };
    throws([&] { (void)(curve_.point(4, 0) + curve_.point(4, 5)); }, "divide by 0 error");
    throws([&] { (void)(curve_.point(P) + high); }, "result would be negative");
    throws([&] { (void)multiply(high, natural(2)); }, "result would be negative");
}

// q = 0x15: the chord from (0, 1) to (7, 6) has d = 7, sharing 7 with q, so the slope is
// n*d = 5*7 = 14, x3 = 14^2 - 7 = 0, y3 = -1. Tangent at (7, 6): d = 0xC shares 3, n = 1.
TEST(CompositeModulusTest, DenominatorWithoutInverseMultipliesInstead) {
    TestCurve curve(0x15, 1, 1);
    EXPECT_STREQ((curve.point(0, 1) + curve.point(7, 6)).toText(), "(0, 14)");
    EXPECT_STREQ((curve.point(7, 6) + curve.point(7, 6)).toText(), "(4, 9)");
}

class PointIdentityTest : public ::testing::Test {
  protected:
    TestCurve curve_{0x17, 1, 1};
    TestCurve twin_{0x17, 1, 1};  // equal values, other objects
    bignum::Natural otherQ_ = natural(0x17);
    bignum::Natural largerQ_ = natural(0x1D);
    CurvePoint on(bignum::Natural& q, std::uint64_t x, std::uint64_t y) {
        return CurvePoint(q, curve_.A, curve_.B, bignum::Modular(q, natural(x)),
                          bignum::Modular(q, natural(y)));
    }
};

// A and B by address, q and the coordinates by value, the coordinates not at infinity.
TEST_F(PointIdentityTest, Equality) {
    CurvePoint hidden = curve_.point(9, 7);
    hidden.setAtInfinity(true);
    const CurvePoint P = curve_.point(3, 0xA);
    EXPECT_EQ(P, curve_.point(3, 0xA));
    EXPECT_EQ(on(otherQ_, 3, 0xA), P);
    EXPECT_EQ(hidden, curve_.infinity());
    const CurvePoint otherA(curve_.q, twin_.A, curve_.B, curve_.residue(3), curve_.residue(0xA));
    const CurvePoint otherB(curve_.q, curve_.A, twin_.B, curve_.residue(3), curve_.residue(0xA));
    for (const CurvePoint& other : {otherA, otherB, curve_.point(3, 0xD), curve_.point(9, 0xA),
                                    curve_.infinity(), on(largerQ_, 3, 0xA)}) {
        EXPECT_NE(P, other);
        EXPECT_NE(other, P);
    }
    EXPECT_NE(curve_.infinity(), twin_.infinity());
}

// Apart from the copies made for an infinite operand, a sum lies on the left operand's q.
TEST_F(PointIdentityTest, SumRefersToLeftOperandsModulus) {
    const CurvePoint P = on(otherQ_, 3, 0xA);
    for (const CurvePoint& other : {curve_.point(9, 7), curve_.point(3, 0xD), P}) {
        EXPECT_EQ(&(P + other).q(), &otherQ_) << other;
        EXPECT_EQ(&(other + P).q(), &other.q()) << other;
    }
    EXPECT_EQ(&(P + curve_.infinity()).q(), &otherQ_);
    EXPECT_EQ(&(curve_.infinity() + P).q(), &otherQ_);
}

// Copies render into their own buffer; assignment (self-assignment too) keeps the target's.
TEST_F(PointIdentityTest, CopyAndAssignment) {
    CurvePoint target = curve_.point(3, 0xA);
    const char* rendered = target.toText();
    const CurvePoint source = twin_.point(9, 7);
    const char* sourceText = source.toText();
    target = source;
    const CurvePoint& alias = target;
    target = alias;
    EXPECT_EQ(target, source);
    EXPECT_EQ(&target.q(), &twin_.q);
    EXPECT_STREQ(rendered, "(3, A)");
    EXPECT_STREQ(target.toText(), "(9, 7)");
    CurvePoint copy(source);
    EXPECT_EQ(copy, source);
    copy.y() = twin_.residue(0x14);
    EXPECT_STREQ(copy.toText(), "(9, 14)");
    EXPECT_STREQ(sourceText, "(9, 7)");
}

}  // namespace
}  // namespace curve::test
