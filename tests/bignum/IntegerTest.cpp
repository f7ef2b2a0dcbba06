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

struct OpCase {
    const char* op;
    const char* a;
    const char* b;
    const char* expected;  // the result, then what a and b hold afterwards where they matter
};

std::string apply(const OpCase& c) {
    Integer a = integer(c.a), b = integer(c.b);
    const std::string op = c.op;
    try {
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
        } else if (op == "gcd") {
            const Integer g = extendedGcd(a, b);
            return text(g) + " " + text(a) + " " + text(b);
        } else if (op == "self") {  // each operation with both operands the same object
            const Integer& alias = a;
            a = alias;
            const std::string copied = text(a);
            a.subtract(alias);
            const std::string subtracted = text(a);
            a = integer(c.a);
            const Integer q = a.divide(a);
            return copied + " " + subtracted + " " + text(q) + " " + text(a);
        } else if (op == "gcdSelf") {
            const Integer g = extendedGcd(a, a);
            return text(g) + " " + text(a);
        }
    } catch (const std::invalid_argument& e) {
        return e.what() + (" " + text(a)) + " " + text(b);
    }
    return text(a);
}

class IntegerOpTest : public ::testing::TestWithParam<OpCase> {};

TEST_P(IntegerOpTest, SignRulesAndEdges) {
    EXPECT_EQ(apply(GetParam()), GetParam().expected);
}

// gcd rows: the larger operand in signed order goes first, and a zero second operand after that
// ordering is no error.
// clang-format off
INSTANTIATE_TEST_SUITE_P(Table, IntegerOpTest, ::testing::Values(
    OpCase{"eq1", "1", "", "yes"}, OpCase{"eq1", "-1", "", "no"}, OpCase{"eq1", "100000001", "", "no"},
    OpCase{"set", "-123456789ABC", "0", "0"}, OpCase{"set", "7", "-2147483648", "-80000000"},
    OpCase{"inc", "-1", "", "0"}, OpCase{"inc", "FFFFFFFF", "", "100000000"}, OpCase{"inc", "-100000000", "", "-FFFFFFFF"},
    OpCase{"dec", "0", "", "-1"}, OpCase{"dec", "1", "", "0"}, OpCase{"dec", "100000000", "", "FFFFFFFF"},
    OpCase{"dec", "-FFFFFFFF", "", "-100000000"},
    OpCase{"sub", "5", "-3", "8"}, OpCase{"sub", "-5", "3", "-8"}, OpCase{"sub", "5", "3", "2"}, OpCase{"sub", "3", "5", "-2"},
    OpCase{"sub", "-3", "-5", "2"}, OpCase{"sub", "-4", "-4", "0"}, OpCase{"sub", "0", "0", "0"},
    OpCase{"sub", "1", "100000000", "-FFFFFFFF"},
    OpCase{"mul", "0", "-3", "0 0"}, OpCase{"mul", "-2", "-3", "6 6"}, OpCase{"mul", "-2", "3", "-6 -6"},
    OpCase{"mul", "FFFFFFFF", "-FFFFFFFF", "-FFFFFFFE00000001 -FFFFFFFE00000001"},
    OpCase{"div", "7", "2", "3 1 2"}, OpCase{"div", "-7", "2", "-4 1 2"}, OpCase{"div", "7", "-2", "-3 1 -2"},
    OpCase{"div", "-7", "-2", "4 1 -2"}, OpCase{"div", "-6", "3", "-2 0 3"}, OpCase{"div", "0", "-5", "0 0 -5"},
    OpCase{"div", "-1", "2", "-1 1 2"}, OpCase{"div", "1", "-2", "0 1 -2"}, OpCase{"div", "-100000000", "3", "-55555556 2 3"},
    OpCase{"div", "7", "0", "divide by 0 error 7 0"}, OpCase{"div", "-7", "0", "divide by 0 error -7 0"},
    OpCase{"div", "0", "0", "divide by 0 error 0 0"},
    OpCase{"mod", "-3", "7", "4 7"}, OpCase{"mod", "-E", "7", "0 7"}, OpCase{"mod", "A", "7", "3 7"}, OpCase{"mod", "6", "7", "6 7"},
    OpCase{"gcd", "11", "5", "1 -2 7"}, OpCase{"gcd", "5", "11", "1 7 -2"}, OpCase{"gcd", "C", "8", "4 1 -1"},
    OpCase{"gcd", "11", "1", "1 0 1"}, OpCase{"gcd", "17", "7", "1 -3 A"}, OpCase{"gcd", "-C", "-8", "4 -1 1"},
    OpCase{"gcd", "-8", "-C", "4 1 -1"}, OpCase{"gcd", "5", "-11", "1 7 2"}, OpCase{"gcd", "-5", "0", "-5 1 0"},
    OpCase{"gcd", "11", "0", "divide by 0 error 11 0"}, OpCase{"gcd", "0", "11", "divide by 0 error 0 11"},
    OpCase{"gcd", "0", "0", "divide by 0 error 0 0"},
    OpCase{"self", "7", "", "7 0 1 0"}, OpCase{"self", "-7", "", "-7 0 1 0"},
    OpCase{"self", "-123456789ABCDEF0123", "", "-123456789ABCDEF0123 0 1 0"},
    OpCase{"gcdSelf", "1234567890ABCDEF", "", "1234567890ABCDEF 1"}));  // 0*x + 1*x keeps the 1
// clang-format on

// Euclidean division is floor division for d > 0 and rounds up for d < 0; extendedGcd must give
// g = s*a + t*b with |s| <= b/g and |t| <= a/g, which a runaway coefficient would break. Common
// factors are planted so that g is not always 1.
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
    const auto mpzOf = [](const Integer& x) {
        Mpz z;
        mpz_set_str(z.get(), text(x).c_str(), 16);
        return z;
    };
    Mpz q, r, g, bound;
    for (std::size_t i = 0; i < oracle::testIterations(300); ++i) {
        Mpz a0 = draw(17, true), b0 = draw(source.below(2) == 0 ? 2 : 17, true);
        const std::string where = hexOf(a0) + ", " + hexOf(b0);
        (mpz_sgn(b0.get()) > 0 ? mpz_fdiv_qr : mpz_cdiv_qr)(q.get(), r.get(), a0.get(), b0.get());
        Integer n = integer(hexOf(a0)), d = integer(hexOf(b0));
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
        Integer a = integer(hexOf(a0)), b = integer(hexOf(b0));
        mpz_gcd(g.get(), a0.get(), b0.get());
        ASSERT_EQ(text(extendedGcd(a, b)), hexOf(g)) << where;
        const Mpz s = mpzOf(a), t = mpzOf(b);
        mpz_mul(r.get(), s.get(), a0.get());
        mpz_addmul(r.get(), t.get(), b0.get());
        ASSERT_EQ(mpz_cmp(r.get(), g.get()), 0) << where << ": " << text(a) << ", " << text(b);
        mpz_fdiv_q(bound.get(), b0.get(), g.get());
        ASSERT_LE(mpz_cmpabs(s.get(), bound.get()), 0) << where << ": s = " << text(a);
        mpz_fdiv_q(bound.get(), a0.get(), g.get());
        ASSERT_LE(mpz_cmpabs(t.get(), bound.get()), 0) << where << ": t = " << text(b);
    }
}

// Results beyond the largest capacity raise std::bad_alloc (leak-checked in the sanitizer build).
TEST(IntegerTest, OutgrowingTheCapacityThrowsBadAlloc) {
    Natural allOnes;
    allOnes.setLimbs(std::vector<Limb>(Natural::maxLimbs, 0xFFFFFFFFu));
    const Integer big(allOnes);
    EXPECT_THROW((void)product(big, integer("2")), std::bad_alloc);
    Integer x = big;
    EXPECT_THROW(x.subtract(integer("-1")), std::bad_alloc);
    x.setSmall(5);
    EXPECT_TRUE(x.equalsSmall(5));
    x = big;
    EXPECT_THROW(x.increment(), std::bad_alloc);
}

}  // namespace
}  // namespace bignum
