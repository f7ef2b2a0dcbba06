#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <new>
#include <stdexcept>
#include <string>
#include <vector>

#include "GmpOracle.h"
#include "bignum/Integer.h"

namespace bignum {
namespace {

using oracle::hexOf;
using oracle::Mpz;

// Signed hex; a zero stored negative reads "-0", so a broken sign invariant never passes.
std::string text(const Integer& x) {
    return (x.nonNegative() ? "" : "-") + std::string(x.magnitude().toHex());
}

Integer integer(const std::string& signedHex) {
    const bool negative = signedHex.starts_with('-');
    Natural magnitude;
    magnitude.fromHex(signedHex.substr(negative ? 1 : 0));
    Integer x;
    if (negative) {
        x.subtract(Integer(magnitude));
    } else {
        x = Integer(magnitude);
    }
    return x;
}

Mpz mpzOf(const std::string& signedHex) {
    Mpz z;
    mpz_set_str(z.get(), signedHex.c_str(), 16);
    return z;
}

struct OpCase {
    const char* op;
    const char* a;
    const char* b;
    const char* expected;  // for "div": quotient, remainder and the divisor afterwards
};

std::string apply(const OpCase& c) {
    Integer a = integer(c.a);
    Integer b = integer(c.b);
    const std::string op = c.op;
    if (op == "eq1") {
        return a.equalsSmall(1) ? "yes" : "no";
    } else if (op == "set") {
        a.setSmall(std::stoi(c.b));
    } else if (op == "inc" || op == "dec") {
        op == "inc" ? a.increment() : a.decrement();
    } else if (op == "sub") {
        a.subtract(b);
    } else if (op == "mul") {
        return text(product(a, b)) + " " + text(product(b, a));
    } else if (op == "div") {
        const Integer q = a.divide(b);
        return text(q) + " " + text(a) + " " + text(b);
    } else if (op == "mod") {
        Natural m = b.magnitudeCopy();
        a.reduce(m);
        return text(a) + " " + m.toHex();
    }
    return text(a);
}

class IntegerOpTest : public ::testing::TestWithParam<OpCase> {};

TEST_P(IntegerOpTest, SignRulesAndEdges) {
    EXPECT_EQ(apply(GetParam()), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Table, IntegerOpTest,
    ::testing::Values(OpCase{"eq1", "1", "", "yes"}, OpCase{"eq1", "-1", "", "no"},
                      OpCase{"eq1", "100000001", "", "no"},
                      OpCase{"set", "-123456789ABC", "0", "0"},
                      OpCase{"set", "7", "-2147483648", "-80000000"}, OpCase{"inc", "-1", "", "0"},
                      OpCase{"inc", "FFFFFFFF", "", "100000000"},
                      OpCase{"inc", "-100000000", "", "-FFFFFFFF"}, OpCase{"dec", "0", "", "-1"},
                      OpCase{"dec", "1", "", "0"}, OpCase{"dec", "100000000", "", "FFFFFFFF"},
                      OpCase{"dec", "-FFFFFFFF", "", "-100000000"}, OpCase{"sub", "5", "-3", "8"},
                      OpCase{"sub", "-5", "3", "-8"}, OpCase{"sub", "5", "3", "2"},
                      OpCase{"sub", "3", "5", "-2"}, OpCase{"sub", "-3", "-5", "2"},
                      OpCase{"sub", "-4", "-4", "0"}, OpCase{"sub", "0", "0", "0"},
                      OpCase{"sub", "1", "100000000", "-FFFFFFFF"}, OpCase{"mul", "0", "-3", "0 0"},
                      OpCase{"mul", "-2", "-3", "6 6"}, OpCase{"mul", "-2", "3", "-6 -6"},
                      OpCase{"mul", "FFFFFFFF", "-FFFFFFFF", "-FFFFFFFE00000001 -FFFFFFFE00000001"},
                      OpCase{"div", "7", "2", "3 1 2"}, OpCase{"div", "-7", "2", "-4 1 2"},
                      OpCase{"div", "7", "-2", "-3 1 -2"}, OpCase{"div", "-7", "-2", "4 1 -2"},
                      OpCase{"div", "-6", "3", "-2 0 3"}, OpCase{"div", "0", "-5", "0 0 -5"},
                      OpCase{"div", "-1", "2", "-1 1 2"}, OpCase{"div", "1", "-2", "0 1 -2"},
                      OpCase{"div", "-100000000", "3", "-55555556 2 3"},
                      OpCase{"mod", "-3", "7", "4 7"}, OpCase{"mod", "-E", "7", "0 7"},
                      OpCase{"mod", "A", "7", "3 7"}, OpCase{"mod", "6", "7", "6 7"}));

struct GcdCase {
    const char* a;
    const char* b;
    const char* expected;  // g, then the coefficients left in a and b
};

class IntegerGcdTest : public ::testing::TestWithParam<GcdCase> {};

TEST_P(IntegerGcdTest, GcdAndBezoutCoefficients) {
    Integer a = integer(GetParam().a);
    Integer b = integer(GetParam().b);
    const Integer g = extendedGcd(a, b);
    EXPECT_EQ(text(g) + " " + text(a) + " " + text(b), GetParam().expected);
}

// Signed rows: the larger operand in signed order goes first, and a zero second operand after
// that ordering is no error.
INSTANTIATE_TEST_SUITE_P(
    Table, IntegerGcdTest,
    ::testing::Values(GcdCase{"11", "5", "1 -2 7"}, GcdCase{"5", "11", "1 7 -2"},
                      GcdCase{"C", "8", "4 1 -1"}, GcdCase{"11", "1", "1 0 1"},
                      GcdCase{"17", "7", "1 -3 A"}, GcdCase{"-C", "-8", "4 -1 1"},
                      GcdCase{"-8", "-C", "4 1 -1"}, GcdCase{"5", "-11", "1 7 2"},
                      GcdCase{"-5", "0", "-5 1 0"}));

TEST(IntegerTest, ZeroDivisorThrowsAndChangesNothing) {
    const auto throwsDivideByZero =
        ::testing::ThrowsMessage<std::invalid_argument>(::testing::StrEq("divide by 0 error"));
    for (const char* dividend : {"7", "-7", "0"}) {
        Integer n = integer(dividend);
        Integer d;
        EXPECT_THAT([&] { n.divide(d); }, throwsDivideByZero);
        EXPECT_EQ(text(n) + " " + text(d), std::string(dividend) + " 0");
    }
    for (const auto& [first, second] :
         std::vector<std::pair<std::string, std::string>>{{"11", "0"}, {"0", "11"}, {"0", "0"}}) {
        Integer a = integer(first);
        Integer b = integer(second);
        EXPECT_THAT([&] { extendedGcd(a, b); }, throwsDivideByZero) << first << ", " << second;
        EXPECT_EQ(text(a) + " " + text(b), first + " " + second);
    }
}

// Euclidean division is floor division for d > 0 and rounds up for d < 0; extendedGcd must give
// gcd = s*a + t*b with the classical bounds |s| <= b/g and |t| <= a/g that a runaway coefficient
// would break. Common factors are planted so that g is not always 1.
TEST(IntegerTest, DivisionReductionAndBezoutMatchGmp) {
    const std::uint64_t seed = oracle::testSeed();
    SCOPED_TRACE("KX_TEST_SEED=" + std::to_string(seed));
    oracle::OperandSource source(seed);
    const auto draw = [&](std::size_t maxLimbs, bool mayBeNegative) {
        Mpz z;
        do {
            z = oracle::mpzFromLimbs(source.limbs(source.below(maxLimbs + 1)));
        } while (mpz_sgn(z.get()) == 0);
        if (mayBeNegative && source.below(2) != 0) {
            mpz_neg(z.get(), z.get());
        }
        return z;
    };
    Mpz q, r, g, s, t, bound;
    for (std::size_t i = 0; i < oracle::testIterations(300); ++i) {
        Mpz a0 = draw(17, true);
        Mpz b0 = draw(source.below(2) == 0 ? 2 : 17, true);
        const std::string where = hexOf(a0) + ", " + hexOf(b0);
        (mpz_sgn(b0.get()) > 0 ? mpz_fdiv_qr : mpz_cdiv_qr)(q.get(), r.get(), a0.get(), b0.get());
        Integer n = integer(hexOf(a0));
        Integer d = integer(hexOf(b0));
        const Integer quotient = n.divide(d);
        ASSERT_EQ(text(quotient) + " " + text(n), hexOf(q) + " " + hexOf(r)) << where;
        n = integer(hexOf(a0));
        Natural m = oracle::toNatural(draw(10, false));
        mpz_mod(r.get(), a0.get(), oracle::toMpz(m).get());
        n.reduce(m);
        ASSERT_EQ(text(n), hexOf(r)) << hexOf(a0) << " mod " << m.toHex();

        mpz_abs(a0.get(), a0.get());
        mpz_abs(b0.get(), b0.get());
        if (source.below(3) == 0) {
            const Mpz factor = draw(3, false);
            mpz_mul(a0.get(), a0.get(), factor.get());
            mpz_mul(b0.get(), b0.get(), factor.get());
        }
        Integer a = integer(hexOf(a0));
        Integer b = integer(hexOf(b0));
        mpz_gcd(g.get(), a0.get(), b0.get());
        ASSERT_EQ(text(extendedGcd(a, b)), hexOf(g)) << where;
        s = mpzOf(text(a));
        t = mpzOf(text(b));
        mpz_mul(r.get(), s.get(), a0.get());
        mpz_addmul(r.get(), t.get(), b0.get());
        ASSERT_EQ(mpz_cmp(r.get(), g.get()), 0) << where << ": " << text(a) << ", " << text(b);
        mpz_fdiv_q(bound.get(), b0.get(), g.get());
        ASSERT_LE(mpz_cmpabs(s.get(), bound.get()), 0) << where << ": s = " << text(a);
        mpz_fdiv_q(bound.get(), a0.get(), g.get());
        ASSERT_LE(mpz_cmpabs(t.get(), bound.get()), 0) << where << ": t = " << text(b);
    }
}

TEST(IntegerTest, AliasedOperands) {
    for (const char* value : {"7", "-7", "-123456789ABCDEF0123"}) {
        Integer x = integer(value);
        const Integer& alias = x;
        x = alias;
        EXPECT_EQ(text(x), value);
        const Integer q = x.divide(x);
        EXPECT_EQ(text(q) + " " + text(x), "1 0");
        x = integer(value);
        x.subtract(alias);
        EXPECT_EQ(text(x), "0");
    }
    Integer x = integer("1234567890ABCDEF");
    const Integer g = extendedGcd(x, x);
    EXPECT_EQ(text(g) + " " + text(x), "1234567890ABCDEF 1");  // 0*x + 1*x keeps the 1
}

// Results beyond the largest capacity raise std::bad_alloc; the sanitizer build checks that
// nothing leaks on the way out.
TEST(IntegerTest, OutgrowingTheCapacityThrowsBadAlloc) {
    Natural allOnes;
    allOnes.setLimbs(std::vector<Limb>(Natural::maxLimbs, 0xFFFFFFFFu));
    const Integer big(allOnes);
    Integer minusOne;
    minusOne.setSmall(-1);
    EXPECT_THROW((void)product(big, integer("2")), std::bad_alloc);
    Integer x = big;
    EXPECT_THROW(x.subtract(minusOne), std::bad_alloc);
    x.setSmall(5);
    EXPECT_TRUE(x.equalsSmall(5));
    x = big;
    EXPECT_THROW(x.increment(), std::bad_alloc);
}

}  // namespace
}  // namespace bignum
