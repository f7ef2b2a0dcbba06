#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <new>
#include <stdexcept>
#include <string>
#include <vector>

#include "GmpOracle.h"
#include "bignum/Modular.h"

namespace bignum {
namespace {

using oracle::hexOf;
using oracle::Mpz;

Natural natural(std::uint64_t v) {
    Natural n;
    n.setLimbs(std::vector<Limb>{static_cast<Limb>(v), static_cast<Limb>(v >> 32)});
    return n;
}

std::string hex(const Natural& x) {
    return x.toHex();
}
std::string hex(const Modular& x) {
    return hex(x.value());
}

const auto throwsDivideByZero =
    ::testing::ThrowsMessage<std::invalid_argument>(::testing::StrEq("divide by 0 error"));

// Every operation by name, with y doubling as the factor of timesSmall and the exponent of power.
Modular apply(const std::string& op, const Modular& x, const Modular& y) {
    Modular r(x);
    if (op == "add") {
        r.add(y);
    } else if (op == "subtract") {
        r.subtract(y);
    } else if (op == "negate") {
        r.negate();
    } else if (op == "multiplyBy") {
        r.multiplyBy(y);
    } else if (op == "invert") {
        r.invert();
    } else if (op == "raise") {
        Natural e = y.value();
        r.raise(e);
    } else if (op == "sum") {
        return sum(x, y);
    } else if (op == "difference") {
        return difference(x, y);
    } else if (op == "product") {
        return product(x, y);
    } else if (op == "timesSmall") {
        return timesSmall(x, y.value().length() == 0 ? 0 : y.value().limbs()[0]);
    } else if (op == "square") {
        return square(x);
    } else if (op == "cube") {
        return cube(x);
    } else if (op == "power") {
        return power(x, y.value());
    } else if (op == "inverse") {
        return inverse(x);
    } else if (op == "quotient") {
        return quotient(x, y);
    }
    return r;
}

struct KnownAnswer {
    const char* op;
    std::uint64_t m, x, y, expected;
};

class ModularKnownAnswerTest : public ::testing::TestWithParam<KnownAnswer> {};

TEST_P(ModularKnownAnswerTest, SmallModuli) {
    const KnownAnswer& c = GetParam();
    Natural m = natural(c.m);
    const Modular result = apply(c.op, Modular(m, natural(c.x)), Modular(m, natural(c.y)));
    EXPECT_EQ(hex(result), hex(natural(c.expected))) << c.op << " " << c.x << ", " << c.y;
    EXPECT_EQ(&result.modulus(), &m);
}

INSTANTIATE_TEST_SUITE_P(
    Table, ModularKnownAnswerTest,
    ::testing::Values(KnownAnswer{"add", 7, 5, 4, 2}, KnownAnswer{"add", 7, 3, 4, 0},
                      KnownAnswer{"subtract", 7, 2, 5, 4}, KnownAnswer{"subtract", 7, 5, 5, 0},
                      KnownAnswer{"negate", 7, 0, 0, 0}, KnownAnswer{"negate", 7, 3, 0, 4},
                      KnownAnswer{"timesSmall", 7, 5, 2, 3}, KnownAnswer{"timesSmall", 7, 5, 3, 1},
                      KnownAnswer{"square", 7, 5, 0, 4}, KnownAnswer{"cube", 7, 3, 0, 6},
                      KnownAnswer{"inverse", 7, 3, 0, 5}, KnownAnswer{"inverse", 7, 1, 0, 1},
                      KnownAnswer{"inverse", 7, 6, 0, 6}, KnownAnswer{"quotient", 7, 1, 3, 5},
                      KnownAnswer{"quotient", 7, 6, 2, 3}, KnownAnswer{"inverse", 17, 5, 0, 7},
                      KnownAnswer{"raise", 17, 3, 13, 12}, KnownAnswer{"raise", 17, 3, 0, 1},
                      KnownAnswer{"power", 17, 3, 13, 12}, KnownAnswer{"invert", 8, 4, 0, 4},
                      KnownAnswer{"quotient", 8, 3, 2, 6}));

// Every pair of residues of small moduli, prime and composite, against machine arithmetic.
class ModularExhaustiveTest : public ::testing::TestWithParam<std::uint64_t> {};

TEST_P(ModularExhaustiveTest, EveryPairAgainstMachineArithmetic) {
    const std::uint64_t m = GetParam();
    Natural modulus = natural(m);
    const auto inverseOf = [m](std::uint64_t v) {
        for (std::uint64_t z = 1; z < m; ++z) {
            if (v * z % m == 1) {
                return z;
            }
        }
        return v;  // no inverse: left unchanged
    };
    for (std::uint64_t x = 0; x < m; ++x) {
        for (std::uint64_t y = 0; y < m; ++y) {
            const Modular rx(modulus, natural(x));
            const Modular ry(modulus, natural(y));
            std::uint64_t power = 1;
            for (std::uint64_t e = 0; e < y; ++e) {
                power = power * x % m;
            }
            const std::vector<std::pair<const char*, std::uint64_t>> expected = {
                {"add", (x + y) % m},     {"difference", (x + m - y) % m},
                {"product", x * y % m},   {"multiplyBy", x * y % m},
                {"negate", (m - x) % m},  {"timesSmall", x * y % m},
                {"power", power},         {"square", x * x % m},
                {"cube", x * x * x % m},  {"quotient", y == 0 ? 0 : x * inverseOf(y) % m},
                {"inverse", inverseOf(x)}};
            for (const auto& [op, value] : expected) {
                if ((y == 0 && std::string(op) == "quotient") ||
                    (x == 0 && std::string(op) == "inverse")) {
                    EXPECT_THAT([&] { apply(op, rx, ry); }, throwsDivideByZero);
                    continue;
                }
                EXPECT_EQ(hex(apply(op, rx, ry)), hex(natural(value)))
                    << op << "(" << x << ", " << y << ") mod " << m;
            }
            EXPECT_EQ(rx.equals(ry), x == y);
        }
    }
    EXPECT_EQ(hex(modulus), hex(natural(m)));
}

INSTANTIATE_TEST_SUITE_P(Moduli, ModularExhaustiveTest, ::testing::Values(2u, 7u, 8u, 12u, 17u));

TEST(ModularTest, ModuliAreComparedByValue) {
    Natural seven = natural(7);
    Natural otherSeven = natural(7);
    Natural eleven = natural(11);
    const Modular y(eleven, natural(10));
    for (const char* op : {"add", "subtract", "sum", "difference"}) {
        Modular x(seven, natural(6));
        EXPECT_THAT([&] { x = apply(op, x, y); },
                    ::testing::ThrowsMessage<std::invalid_argument>(
                        ::testing::StrEq("Modulus must be the same!")))
            << op;
        EXPECT_EQ(hex(x), "6");
        x.add(Modular(otherSeven, natural(5)));
        EXPECT_EQ(hex(x) + (&x.modulus() == &seven ? " own" : " other"), "4 own");
    }
    EXPECT_TRUE(Modular(seven, natural(3)).equals(Modular(otherSeven, natural(3))));
    EXPECT_FALSE(Modular(seven, natural(3)).equals(Modular(eleven, natural(3))));

    // Unchecked operations: the new residue takes the first operand's modulus, except a
    // quotient, which takes the divisor's.
    const Modular six(seven, natural(6));
    EXPECT_EQ(hex(product(six, y)), "4");  // 60 mod 7
    EXPECT_EQ(&product(six, y).modulus(), &seven);
    EXPECT_EQ(hex(product(y, six)), "5");  // 60 mod 11
    const Modular q = quotient(Modular(seven, natural(3)), Modular(eleven, natural(2)));
    EXPECT_EQ(hex(q) + (&q.modulus() == &eleven ? " divisor's" : " other"), "7 divisor's");
}

TEST(ModularTest, ConstructionReducesAndRaiseConsumesTheExponent) {
    Natural one = natural(1);
    EXPECT_EQ(hex(Modular(one, natural(1))), "0");
    Natural seventeen = natural(17);
    for (const std::uint64_t exponent : {0ull, 1ull, 13ull, 0x100000000ull}) {
        Modular x(seventeen, natural(3));
        Natural e = natural(exponent);
        const Modular p = power(x, e);
        EXPECT_EQ(hex(e), hex(natural(exponent)));
        x.raise(e);
        EXPECT_EQ(hex(x), hex(p));
        EXPECT_EQ(hex(e), exponent == 0 ? "0" : "1");
    }
    Modular zero(seventeen);
    EXPECT_THAT([&] { zero.invert(); }, throwsDivideByZero);
    EXPECT_EQ(hex(zero), "0");
}

// Random primes of 1 to 17 limbs against GMP, and x * x^-1 = 1.
TEST(ModularTest, RandomPrimesMatchGmp) {
    const std::uint64_t seed = oracle::testSeed();
    SCOPED_TRACE("KX_TEST_SEED=" + std::to_string(seed));
    oracle::OperandSource source(seed);
    const auto below = [&](const Mpz& m) {
        Mpz z = oracle::mpzFromLimbs(source.limbs(1 + source.below(2 * mpz_size(m.get()))));
        mpz_mod(z.get(), z.get(), m.get());
        return z;
    };
    Mpz p, expected;
    for (std::size_t i = 0; i < oracle::testIterations(100); ++i) {
        p = oracle::mpzFromLimbs(source.limbs(1 + source.below(17)));
        mpz_nextprime(p.get(), p.get());
        const Mpz x0 = below(p);
        const Mpz y0 = below(p);
        const std::string where = hexOf(x0) + ", " + hexOf(y0) + " mod " + hexOf(p);
        Natural modulus = oracle::toNatural(p);
        const Modular x(modulus, oracle::toNatural(x0));
        const Modular y(modulus, oracle::toNatural(y0));

        mpz_mul(expected.get(), x0.get(), y0.get());
        mpz_mod(expected.get(), expected.get(), p.get());
        ASSERT_EQ(hex(product(x, y)), hexOf(expected)) << where;
        mpz_powm_ui(expected.get(), x0.get(), 2, p.get());
        ASSERT_EQ(hex(square(x)), hexOf(expected)) << where;
        mpz_add(expected.get(), x0.get(), y0.get());
        mpz_mod(expected.get(), expected.get(), p.get());
        ASSERT_EQ(hex(sum(x, y)), hexOf(expected)) << where;
        // Mostly short exponents; every fourth one as long as the modulus.
        const Mpz e0 = source.below(4) == 0
                           ? below(p)
                           : oracle::mpzFromLimbs(source.limbs(1 + source.below(2)));
        mpz_powm(expected.get(), x0.get(), e0.get(), p.get());
        ASSERT_EQ(hex(power(x, oracle::toNatural(e0))), hexOf(expected))
            << where << " ^ " << hexOf(e0);
        if (mpz_sgn(x0.get()) != 0) {
            mpz_invert(expected.get(), x0.get(), p.get());
            const Modular xInverse = inverse(x);
            ASSERT_EQ(hex(xInverse), hexOf(expected)) << where;
            ASSERT_EQ(hex(product(x, xInverse)), "1") << where;
            mpz_mul(expected.get(), expected.get(), y0.get());
            mpz_mod(expected.get(), expected.get(), p.get());
            ASSERT_EQ(hex(quotient(y, x)), hexOf(expected)) << where;
        }
        ASSERT_EQ(hex(modulus), hexOf(p)) << "the shared modulus must be restored";
    }
}

TEST(ModularTest, AliasedOperands) {
    Natural prime;
    prime.fromHex("7FFFFFFFFFFFFFFFFFFFFFFFFFFFFFFF");  // 2^127 - 1
    for (const char* value :
         {"1", "7FFFFFFFFFFFFFFFFFFFFFFF", "7FFFFFFFFFFFFFFFFFFFFFFFFFFFFFFE"}) {
        Natural n;
        n.fromHex(value);
        const Modular original(prime, n);
        Modular x(original);
        x.add(x);
        EXPECT_EQ(hex(x), hex(timesSmall(original, 2)));
        x.subtract(x);
        EXPECT_EQ(hex(x), "0");
        x = original;
        const Modular& alias = x;
        x = alias;
        x.multiplyBy(x);
        EXPECT_EQ(hex(x), hex(square(original)));
        EXPECT_EQ(hex(quotient(original, original)), "1");
    }
}

// Results beyond the largest capacity raise std::bad_alloc; the sanitizer build checks that
// nothing leaks on the way out.
TEST(ModularTest, OutgrowingTheCapacityThrowsBadAlloc) {
    std::vector<Limb> limbs(Natural::maxLimbs, 0xFFFFFFFFu);
    Natural modulus;
    modulus.setLimbs(limbs);
    limbs[0] = 0xFFFFFFFEu;
    Natural largest;
    largest.setLimbs(limbs);
    const Modular big(modulus, largest);
    const Modular one(modulus, natural(1));
    const Modular two(modulus, natural(2));
    Modular x(big);
    EXPECT_THROW(x.add(x), std::bad_alloc);
    EXPECT_THROW((void)timesSmall(big, 2), std::bad_alloc);
    EXPECT_THROW((void)difference(one, two), std::bad_alloc);  // modulus + 1 is formed first
    x = one;
    EXPECT_EQ(hex(sum(x, two)), "3");
}

}  // namespace
}  // namespace bignum
