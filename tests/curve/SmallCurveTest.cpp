#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <array>
#include <bit>
#include <map>
#include <memory>
#include <numeric>
#include <stdexcept>

#include "CurveTestSupport.h"

namespace curve::test {
namespace {

using ::testing::StrEq;
using ::testing::ThrowsMessage;

// The same curve in plain 64-bit arithmetic, written without the big-number code, as the oracle
// for every small-curve test.
class ReferenceCurve {
  public:
    ReferenceCurve(std::int64_t q, std::int64_t a, std::int64_t b) : q_(q), a_(a), b_(b) {}

    bool contains(std::int64_t x, std::int64_t y) const {
        return mod(y * y - (x * x * x + a_ * x + b_)) == 0;
    }
    bool singular() const { return mod(4 * a_ * a_ * a_ + 27 * b_ * b_) == 0; }

    // The point at infinity first, then every solution (x, y) found by trying all pairs.
    std::vector<WordPoint> points() const {
        std::vector<WordPoint> all{std::nullopt};
        for (std::int64_t x = 0; x < q_; ++x) {
            for (std::int64_t y = 0; y < q_; ++y) {
                if (contains(x, y)) {
                    all.emplace_back(
                        std::pair{static_cast<std::uint64_t>(x), static_cast<std::uint64_t>(y)});
                }
            }
        }
        return all;
    }

    // Throws std::domain_error where a zero denominator has to be reported.
    WordPoint add(const WordPoint& p1, const WordPoint& p2) const {
        if (!p2) {
            return p1;
        }
        if (!p1) {
            return p2;
        }
        const auto x1 = static_cast<std::int64_t>(p1->first);
        const auto y1 = static_cast<std::int64_t>(p1->second);
        const auto x2 = static_cast<std::int64_t>(p2->first);
        const auto y2 = static_cast<std::int64_t>(p2->second);
        if (x1 == x2 && mod(y1 + y2) == 0) {
            return std::nullopt;
        }
        const bool tangent = x1 == x2;
        const std::int64_t numerator = tangent ? mod(3 * x1 * x1 + a_) : mod(y2 - y1);
        const std::int64_t denominator = tangent ? mod(2 * y1) : mod(x2 - x1);
        const std::int64_t slope = mod(numerator * reciprocalOrSelf(denominator));
        const std::int64_t x3 = mod(slope * slope - x1 - x2);
        const std::int64_t y3 = mod(slope * (x1 - x3) - y1);
        return std::pair{static_cast<std::uint64_t>(x3), static_cast<std::uint64_t>(y3)};
    }

  private:
    std::int64_t mod(std::int64_t v) const {
        const std::int64_t r = v % q_;
        return r < 0 ? r + q_ : r;
    }
    // With a composite q a denominator may have no inverse; the slope then uses it as it is.
    std::int64_t reciprocalOrSelf(std::int64_t d) const {
        if (d == 0) {
            throw std::domain_error("zero denominator");
        }
        if (std::gcd(d, q_) != 1) {
            return d;
        }
        for (std::int64_t candidate = 1;; ++candidate) {
            if (mod(d * candidate) == 1) {
                return candidate;
            }
        }
    }

    std::int64_t q_;
    std::int64_t a_;
    std::int64_t b_;
};

struct SmallCurve {
    const char* name;
    std::uint64_t q;
    std::uint64_t a;
    std::uint64_t b;
};

void PrintTo(const SmallCurve& c, std::ostream* os) {
    *os << c.name;
}

std::string curveName(const ::testing::TestParamInfo<SmallCurve>& info) {
    return info.param.name;
}

class SmallCurveTest : public ::testing::TestWithParam<SmallCurve> {
  protected:
    SmallCurveTest()
        : curve_(GetParam().q, GetParam().a, GetParam().b),
          reference_(static_cast<std::int64_t>(GetParam().q),
                     static_cast<std::int64_t>(GetParam().a),
                     static_cast<std::int64_t>(GetParam().b)),
          elements_(reference_.points()) {
        for (const WordPoint& p : elements_) {
            points_.push_back(p ? curve_.point(p->first, p->second) : curve_.infinity());
        }
    }

    std::size_t indexOf(const CurvePoint& p) const {
        const auto it = std::find(elements_.begin(), elements_.end(), words(p));
        return static_cast<std::size_t>(it - elements_.begin());
    }

    TestCurve curve_;
    ReferenceCurve reference_;
    std::vector<WordPoint> elements_;  // brute force, the point at infinity first
    std::vector<CurvePoint> points_;   // the same points, in the same order
};

// Every sum of two curve points, compared with the 64-bit oracle, including the reported zero
// denominators of a composite q.
TEST_P(SmallCurveTest, AdditionAgreesWithReferenceOnEveryPair) {
    for (const CurvePoint& p1 : points_) {
        for (const CurvePoint& p2 : points_) {
            // One rendering at a time: p1 and p2 may be the same point.
            std::string sumText = p1.toText();
            sumText += " + ";
            sumText += p2.toText();
            SCOPED_TRACE(sumText);
            WordPoint expected;
            try {
                expected = reference_.add(words(p1), words(p2));
            } catch (const std::domain_error&) {
                EXPECT_THAT([&] { (void)(p1 + p2); },
                            ThrowsMessage<std::invalid_argument>(StrEq("divide by 0 error")));
                continue;
            }
            EXPECT_EQ(describe(words(p1 + p2)), describe(expected));
        }
    }
}

TEST_P(SmallCurveTest, CurveTestAgreesWithBruteForce) {
    const auto q = GetParam().q;
    for (std::uint64_t x = 0; x < q; ++x) {
        for (std::uint64_t y = 0; y < q; ++y) {
            EXPECT_EQ(
                curve_.point(x, y).isOnCurve(),
                reference_.contains(static_cast<std::int64_t>(x), static_cast<std::int64_t>(y)))
                << x << ", " << y;
        }
    }
    EXPECT_TRUE(curve_.infinity().isOnCurve());
}

const SmallCurve primeCurves[] = {
    {"Q17A1B1", 0x17, 1, 1},      // q = 3 mod 4, one point with y = 0
    {"Q1FA0B7", 0x1F, 0, 7},      // A = 0, odd order
    {"Q1DA1CB0", 0x1D, 0x1C, 0},  // B = 0, q = 1 mod 4, three points with y = 0
    {"Q25A2B3", 0x25, 2, 3},      // q = 1 mod 4
    {"Q5A1B1", 5, 1, 1},
};
// Several square roots per value: x1 = x2 with y2 other than y1 or -y1 takes the tangent at P1.
const SmallCurve compositeCurves[] = {{"Q15A1B1", 0x15, 1, 1}, {"Q9A1B0", 9, 1, 0}};

INSTANTIATE_TEST_SUITE_P(PrimeModulus, SmallCurveTest, ::testing::ValuesIn(primeCurves), curveName);
INSTANTIATE_TEST_SUITE_P(CompositeModulus, SmallCurveTest, ::testing::ValuesIn(compositeCurves),
                         curveName);

// The group law holds only on non-singular curves over a prime.
class SmallGroupTest : public SmallCurveTest {
  protected:
    void SetUp() override {
        ASSERT_FALSE(reference_.singular());
        const std::size_t n = points_.size();
        sums_.assign(n, std::vector<std::size_t>(n));
        for (std::size_t i = 0; i < n; ++i) {
            for (std::size_t j = 0; j < n; ++j) {
                const CurvePoint sum = points_[i] + points_[j];
                ASSERT_TRUE(sum.isOnCurve()) << sum;
                sums_[i][j] = indexOf(sum);
                ASSERT_LT(sums_[i][j], n) << "sum outside the group: " << sum;
            }
        }
    }

    std::size_t order() const { return points_.size(); }

    // k*P by repeated addition, for k = 0 ... count - 1.
    std::vector<CurvePoint> multiples(const CurvePoint& p, std::size_t count) {
        std::vector<CurvePoint> result{curve_.infinity()};
        while (result.size() < count) {
            result.push_back(result.back() + p);
        }
        return result;
    }

    std::vector<std::vector<std::size_t>> sums_;  // indices into points_
};

TEST_P(SmallGroupTest, AdditionIsCommutativeAndAssociative) {
    const std::size_t n = order();
    for (std::size_t i = 0; i < n; ++i) {
        for (std::size_t j = 0; j < n; ++j) {
            ASSERT_EQ(sums_[i][j], sums_[j][i]) << points_[i] << " + " << points_[j];
            for (std::size_t k = 0; k < n; ++k) {
                ASSERT_EQ(sums_[sums_[i][j]][k], sums_[i][sums_[j][k]])
                    << points_[i] << " + " << points_[j] << " + " << points_[k];
            }
        }
    }
}

TEST_P(SmallGroupTest, InfinityIsNeutralAndNegationIsTheInverse) {
    for (std::size_t i = 0; i < order(); ++i) {
        EXPECT_EQ(sums_[0][i], i);
        EXPECT_EQ(sums_[i][0], i);
        const CurvePoint negation = -points_[i];
        EXPECT_TRUE(negation.isOnCurve()) << negation;
        EXPECT_EQ(sums_[i][indexOf(negation)], 0U) << points_[i] << " + " << negation;
        EXPECT_EQ(std::count(sums_[i].begin(), sums_[i].end(), 0U), 1) << points_[i];
    }
}

// multiplyInPlace also leaves the scalar at zero and the running point doubled once per bit
// below the top one (unchanged for k = 0).
TEST_P(SmallGroupTest, ScalarMultiplicationAgreesWithRepeatedAddition) {
    for (const CurvePoint& p : points_) {
        const std::vector<CurvePoint> expected = multiples(p, 2 * order() + 1);
        for (std::size_t k = 0; k < expected.size(); ++k) {
            EXPECT_EQ(multiply(p, natural(k)), expected[k]) << p << " times " << k;
            CurvePoint running(p);
            bignum::Natural scalar = natural(k);
            CurvePoint result = curve_.point(1, 2);
            multiplyInPlace(running, scalar, result);
            EXPECT_EQ(result, expected[k]) << p << " times " << k;
            EXPECT_FALSE(scalar.differsFrom(0));
            EXPECT_EQ(running, expected[k == 0 ? 1 : std::bit_floor(k)]) << p << " times " << k;
        }
    }
}

// k = order * 2^64 + r: three limbs, stepped through borrows and halvings across limbs.
TEST_P(SmallGroupTest, MultiplyByAWideScalarReducesByTheOrder) {
    for (const CurvePoint& p : points_) {
        const std::vector<CurvePoint> expected = multiples(p, order());
        for (const std::size_t r : {std::size_t{0}, std::size_t{1}, order() / 2, order() - 1}) {
            bignum::Natural k;
            const std::array<bignum::Limb, 3> limbs{static_cast<bignum::Limb>(r), 0,
                                                    static_cast<bignum::Limb>(order())};
            k.setLimbs(limbs);
            EXPECT_EQ(multiply(p, k), expected[r]) << p << " times " << r;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(PrimeModulus, SmallGroupTest, ::testing::ValuesIn(primeCurves), curveName);

// Known answers on y^2 = x^3 + x + 1 modulo 0x17, where (3, A) has order 0x1C.
class WorkedExampleTest : public ::testing::Test {
  protected:
    TestCurve curve_{0x17, 1, 1};
};

TEST_F(WorkedExampleTest, Additions) {
    struct Case {
        WordPoint p1;
        WordPoint p2;
        const char* sum;
    };
    const WordPoint P = affine(3, 0xA);
    const Case cases[] = {
        {P, std::nullopt, "(3, A)"},
        {std::nullopt, P, "(3, A)"},
        {std::nullopt, std::nullopt, "(uendelig)"},
        {P, affine(3, 0xD), "(uendelig)"},
        {P, affine(9, 7), "(11, 14)"},
        {affine(9, 7), P, "(11, 14)"},
        {P, P, "(7, C)"},
        {affine(4, 0), affine(4, 0), "(uendelig)"},
    };
    const auto make = [&](const WordPoint& p) {
        return p ? curve_.point(p->first, p->second) : curve_.infinity();
    };
    for (const Case& c : cases) {
        const CurvePoint sum = make(c.p1) + make(c.p2);
        EXPECT_STREQ(sum.toText(), c.sum) << describe(c.p1) << " + " << describe(c.p2);
    }
}

// Infinity + infinity is a copy of the left operand, whose coordinates are then still there.
TEST_F(WorkedExampleTest, SumWithInfinityCopiesTheOtherOperand) {
    CurvePoint left = curve_.point(5, 6);
    left.setAtInfinity(true);
    CurvePoint right = curve_.point(7, 8);
    right.setAtInfinity(true);
    const CurvePoint sum = left + right;
    EXPECT_TRUE(sum.atInfinity());
    EXPECT_EQ(describe(std::pair{toWord(sum.x().value()), toWord(sum.y().value())}), "(5, 6)");
}

TEST_F(WorkedExampleTest, Multiples) {
    const std::pair<std::uint64_t, const char*> cases[] = {
        {0, "(uendelig)"}, {1, "(3, A)"},   {2, "(7, C)"},        {3, "(13, 5)"},
        {5, "(9, 10)"},    {0xE, "(4, 0)"}, {0x1C, "(uendelig)"}, {0x1D, "(3, A)"},
    };
    const CurvePoint P = curve_.point(3, 0xA);
    for (const auto& [k, text] : cases) {
        const bignum::Natural scalar = natural(k);
        EXPECT_STREQ(multiply(P, scalar).toText(), text) << k;
        EXPECT_TRUE(multiply(curve_.infinity(), scalar).atInfinity()) << k;
    }
}

TEST_F(WorkedExampleTest, MultiplyInPlaceByFive) {
    CurvePoint R = curve_.point(3, 0xA);
    bignum::Natural k = natural(5);
    CurvePoint result = curve_.infinity();
    multiplyInPlace(R, k, result);
    EXPECT_FALSE(k.differsFrom(0));
    EXPECT_STREQ(R.toText(), "(11, 3)");
    EXPECT_STREQ(result.toText(), "(9, 10)");
}

TEST_F(WorkedExampleTest, Negations) {
    EXPECT_STREQ((-curve_.point(3, 0xA)).toText(), "(3, D)");
    EXPECT_STREQ((-curve_.point(4, 0)).toText(), "(4, 0)");
    CurvePoint infinity = curve_.point(3, 0xA);
    infinity.setAtInfinity(true);
    const CurvePoint negation = -infinity;
    EXPECT_TRUE(negation.atInfinity());
    EXPECT_EQ(toWord(negation.x().value()), 3U);
    EXPECT_EQ(toWord(negation.y().value()), 0xAU);
}

// (4, 5) is off the curve: the tangent at (4, 0) has the denominator 2*0.
TEST_F(WorkedExampleTest, TangentWithZeroDenominatorThrows) {
    const CurvePoint p1 = curve_.point(4, 0);
    const CurvePoint p2 = curve_.point(4, 5);
    EXPECT_THAT([&] { (void)(p1 + p2); },
                ThrowsMessage<std::invalid_argument>(StrEq("divide by 0 error")));
}

// A y above q cannot be negated, which the addition tries before anything else.
TEST_F(WorkedExampleTest, UnreducedCoordinateThrows) {
    const CurvePoint P = curve_.point(3, 0xA);
    const CurvePoint high = curve_.point(9, 0x30);
    EXPECT_THAT([&] { (void)(P + high); },
                ThrowsMessage<std::invalid_argument>(StrEq("result would be negative")));
    const bignum::Natural k = natural(2);
    EXPECT_THAT([&] { (void)multiply(high, k); },
                ThrowsMessage<std::invalid_argument>(StrEq("result would be negative")));
}

// With q = 0x15 the chord from (0, 1) to (7, 6) has the denominator 7, which shares the factor 7
// with q: the slope is n*d = 5*7 = 14, so x3 = 14^2 - 0 - 7 = 0 and y3 = 14*(0 - 0) - 1 = 0x14.
TEST(CompositeModulusTest, DenominatorWithoutInverseMultipliesInstead) {
    TestCurve curve(0x15, 1, 1);
    EXPECT_STREQ((curve.point(0, 1) + curve.point(7, 6)).toText(), "(0, 14)");
    // Tangent at (7, 6): d = 0xC shares 3 with q, n = 3*49 + 1 = 1, so the slope is 0xC.
    EXPECT_STREQ((curve.point(7, 6) + curve.point(7, 6)).toText(), "(4, 9)");
}

class PointIdentityTest : public ::testing::Test {
  protected:
    TestCurve curve_{0x17, 1, 1};
    TestCurve twin_{0x17, 1, 1};  // equal values, other objects
};

TEST_F(PointIdentityTest, EqualityComparesCoefficientsByAddress) {
    EXPECT_EQ(curve_.point(3, 0xA), curve_.point(3, 0xA));
    EXPECT_NE(curve_.point(3, 0xA), twin_.point(3, 0xA));
    EXPECT_NE(curve_.infinity(), twin_.infinity());
    EXPECT_NE(curve_.point(3, 0xA), curve_.point(3, 0xD));
    EXPECT_NE(curve_.point(3, 0xA), curve_.point(9, 0xA));
    EXPECT_NE(curve_.point(3, 0xA), curve_.infinity());
    EXPECT_NE(curve_.infinity(), curve_.point(3, 0xA));
    CurvePoint hidden = curve_.point(9, 7);
    hidden.setAtInfinity(true);
    EXPECT_EQ(hidden, curve_.infinity());
}

// Only A and B are compared by address: a point on another q object of the same value is equal.
TEST_F(PointIdentityTest, EqualityComparesModulusByValue) {
    bignum::Natural otherQ = natural(0x17);
    const CurvePoint onOtherQ(otherQ, curve_.A, curve_.B, bignum::Modular(otherQ, natural(3)),
                              bignum::Modular(otherQ, natural(0xA)));
    EXPECT_EQ(onOtherQ, curve_.point(3, 0xA));
    bignum::Natural largerQ = natural(0x1D);
    const CurvePoint onLargerQ(largerQ, curve_.A, curve_.B, bignum::Modular(largerQ, natural(3)),
                               bignum::Modular(largerQ, natural(0xA)));
    EXPECT_NE(onLargerQ, curve_.point(3, 0xA));
}

// Apart from the copies made for an infinite operand, a sum lies on the left operand's q.
TEST_F(PointIdentityTest, SumRefersToLeftOperandsModulus) {
    bignum::Natural otherQ = natural(0x17);
    const CurvePoint onOtherQ(otherQ, curve_.A, curve_.B, bignum::Modular(otherQ, natural(3)),
                              bignum::Modular(otherQ, natural(0xA)));
    for (const CurvePoint& other : {curve_.point(9, 7), curve_.point(3, 0xD), onOtherQ}) {
        EXPECT_EQ(&(onOtherQ + other).q(), &otherQ) << other;
        EXPECT_EQ(&(other + onOtherQ).q(), &other.q()) << other;
    }
    EXPECT_EQ(&(onOtherQ + curve_.infinity()).q(), &otherQ);
    EXPECT_EQ(&(curve_.infinity() + onOtherQ).q(), &otherQ);
}

TEST_F(PointIdentityTest, AssignmentTakesCurveAndValuesButKeepsText) {
    CurvePoint target = curve_.point(3, 0xA);
    const char* rendered = target.toText();
    const CurvePoint source = twin_.point(9, 7);
    target = source;
    EXPECT_EQ(target, source);
    EXPECT_EQ(&target.q(), &twin_.q);
    EXPECT_STREQ(rendered, "(3, A)");
    target = target;
    EXPECT_EQ(target, source);
    EXPECT_STREQ(target.toText(), "(9, 7)");
}

TEST_F(PointIdentityTest, CopyRendersIntoItsOwnBuffer) {
    const CurvePoint source = curve_.point(0, 0x1F);
    const char* sourceText = source.toText();
    CurvePoint copy(source);
    EXPECT_EQ(copy, source);
    copy.y() = curve_.residue(0x14);
    const char* copyText = copy.toText();
    EXPECT_NE(copyText, sourceText);
    EXPECT_STREQ(sourceText, "(0, 1F)");
    EXPECT_STREQ(copyText, "(0, 14)");
}

}  // namespace
}  // namespace curve::test
