#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <map>
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
using ::testing::StrEq;
using ::testing::ThrowsMessage;

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

const auto throwsDivideByZero = ThrowsMessage<std::invalid_argument>(StrEq("divide by 0 error"));

// Every operation by name; y doubles as the factor of timesSmall and the exponent of power.
Modular apply(const std::string& op, const Modular& x, const Modular& y) {
    using Operation = std::function<void(Modular&, const Modular&)>;
    // clang-format off
    static const std::map<std::string, Operation> operations = {
        {"add", [](Modular& r, const Modular& o) { r.add(o); }},
        {"subtract", [](Modular& r, const Modular& o) { r.subtract(o); }},
        {"negate", [](Modular& r, const Modular&) { r.negate(); }},
        {"multiplyBy", [](Modular& r, const Modular& o) { r.multiplyBy(o); }},
        {"invert", [](Modular& r, const Modular&) { r.invert(); }},
        {"raise", [](Modular& r, const Modular& o) { Natural e = o.value(); r.raise(e); }},
        {"sum", [](Modular& r, const Modular& o) { r = sum(r, o); }},
        {"difference", [](Modular& r, const Modular& o) { r = difference(r, o); }},
        {"product", [](Modular& r, const Modular& o) { r = product(r, o); }},
        {"timesSmall", [](Modular& r, const Modular& o) { r = timesSmall(r, o.value().length() == 0 ? 0 : o.value().limbs()[0]); }},
        {"square", [](Modular& r, const Modular&) { r = square(r); }},
        {"cube", [](Modular& r, const Modular&) { r = cube(r); }},
        {"power", [](Modular& r, const Modular& o) { r = power(r, o.value()); }},
        {"inverse", [](Modular& r, const Modular&) { r = inverse(r); }},
        {"quotient", [](Modular& r, const Modular& o) { r = quotient(r, o); }}};
    // clang-format on
    Modular r(x);
    operations.at(op)(r, y);
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

// clang-format off
INSTANTIATE_TEST_SUITE_P(Table, ModularKnownAnswerTest, ::testing::Values(
    KnownAnswer{"add", 7, 5, 4, 2}, KnownAnswer{"add", 7, 3, 4, 0}, KnownAnswer{"subtract", 7, 2, 5, 4},
    KnownAnswer{"subtract", 7, 5, 5, 0}, KnownAnswer{"negate", 7, 0, 0, 0}, KnownAnswer{"negate", 7, 3, 0, 4},
    KnownAnswer{"timesSmall", 7, 5, 2, 3}, KnownAnswer{"timesSmall", 7, 5, 3, 1}, KnownAnswer{"square", 7, 5, 0, 4},
    KnownAnswer{"cube", 7, 3, 0, 6}, KnownAnswer{"inverse", 7, 3, 0, 5}, KnownAnswer{"inverse", 7, 1, 0, 1},
    KnownAnswer{"inverse", 7, 6, 0, 6}, KnownAnswer{"quotient", 7, 1, 3, 5}, KnownAnswer{"quotient", 7, 6, 2, 3},
    KnownAnswer{"inverse", 17, 5, 0, 7}, KnownAnswer{"raise", 17, 3, 13, 12}, KnownAnswer{"raise", 17, 3, 0, 1},
    KnownAnswer{"power", 17, 3, 13, 12}, KnownAnswer{"invert", 8, 4, 0, 4}, KnownAnswer{"quotient", 8, 3, 2, 6}));
// clang-format on

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
            const Modular rx(modulus, natural(x)), ry(modulus, natural(y));
            std::uint64_t power = 1;
            for (std::uint64_t e = 0; e < y; ++e) {
                power = power * x % m;
            }
            const std::pair<std::string, std::uint64_t> expected[] = {
                {"add", (x + y) % m},     {"difference", (x + m - y) % m},
                {"product", x * y % m},   {"multiplyBy", x * y % m},
                {"negate", (m - x) % m},  {"timesSmall", x * y % m},
                {"power", power},         {"square", x * x % m},
                {"cube", x * x * x % m},  {"quotient", y == 0 ? 0 : x * inverseOf(y) % m},
                {"inverse", inverseOf(x)}};
            for (const auto& [name, value] : expected) {
                const std::string& op = name;  // clang 14 lambdas cannot capture a binding
                if ((y == 0 && op == "quotient") || (x == 0 && op == "inverse")) {
                    EXPECT_THAT([&] { apply(op, rx, ry); }, throwsDivideByZero);
                } else {
                    EXPECT_EQ(hex(apply(op, rx, ry)), hex(natural(value)))
                        << op << "(" << x << ", " << y << ") mod " << m;
                }
            }
            EXPECT_EQ(rx.equals(ry), x == y);
        }
    }
    EXPECT_EQ(hex(modulus), hex(natural(m)));
}

INSTANTIATE_TEST_SUITE_P(Moduli, ModularExhaustiveTest, ::testing::Values(2u, 7u, 8u, 12u, 17u));

// The checked operations compare moduli by value and keep their own; the unchecked ones take
// the first operand's modulus, except a quotient, which takes the divisor's.
TEST(ModularTest, ModuliAreComparedByValue) {
    Natural seven = natural(7), otherSeven = natural(7), eleven = natural(11);
    const Modular y(eleven, natural(10));
    for (const char* op : {"add", "subtract", "sum", "difference"}) {
        Modular x(seven, natural(6));
        EXPECT_THAT([&] { x = apply(op, x, y); },
                    ThrowsMessage<std::invalid_argument>(StrEq("Modulus must be the same!")))
            << op;
        EXPECT_EQ(hex(x), "6");
        x.add(Modular(otherSeven, natural(5)));
        EXPECT_EQ(hex(x) + (&x.modulus() == &seven ? " own" : " other"), "4 own");
    }
    EXPECT_TRUE(Modular(seven, natural(3)).equals(Modular(otherSeven, natural(3))));
    EXPECT_FALSE(Modular(seven, natural(3)).equals(Modular(eleven, natural(3))));
    const Modular six(seven, natural(6));
    EXPECT_EQ(hex(product(six, y)) + hex(product(y, six)), "45");  // 60 mod 7, 60 mod 11
    EXPECT_EQ(&product(six, y).modulus(), &seven);
    const Modular q = quotient(Modular(seven, natural(3)), Modular(eleven, natural(2)));
    EXPECT_EQ(hex(q) + (&q.modulus() == &eleven ? " divisor's" : " other"), "7 divisor's");
}

TEST(ModularTest, ConstructionReducesAndRaiseConsumesTheExponent) {
    Natural one = natural(1), seventeen = natural(17);
    EXPECT_EQ(hex(Modular(one, natural(1))), "0");
    for (const std::uint64_t exponent : {0ull, 1ull, 13ull, 0x100000000ull}) {
        Modular x(seventeen, natural(3));
        Natural e = natural(exponent);
        const Modular p = power(x, e);
        EXPECT_EQ(hex(e), hex(natural(exponent)));
        x.raise(e);
        EXPECT_EQ(hex(x) + " " + hex(e), hex(p) + (exponent == 0 ? " 0" : " 1"));
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
    Mpz p, e;
    for (std::size_t i = 0; i < oracle::testIterations(100); ++i) {
        p = oracle::mpzFromLimbs(source.limbs(1 + source.below(17)));
        mpz_nextprime(p.get(), p.get());
        const Mpz x0 = below(p), y0 = below(p);
        // Mostly short exponents; every fourth one as long as the modulus.
        const Mpz e0 = source.below(4) == 0
                           ? below(p)
                           : oracle::mpzFromLimbs(source.limbs(1 + source.below(2)));
        SCOPED_TRACE(hexOf(x0) + ", " + hexOf(y0) + " ^ " + hexOf(e0) + " mod " + hexOf(p));
        Natural modulus = oracle::toNatural(p);
        const Modular x(modulus, oracle::toNatural(x0)), y(modulus, oracle::toNatural(y0));
        mpz_mul(e.get(), x0.get(), y0.get());
        mpz_mod(e.get(), e.get(), p.get());
        ASSERT_EQ(hex(product(x, y)), hexOf(e));
        mpz_powm_ui(e.get(), x0.get(), 2, p.get());
        ASSERT_EQ(hex(square(x)), hexOf(e));
        mpz_add(e.get(), x0.get(), y0.get());
        mpz_mod(e.get(), e.get(), p.get());
        ASSERT_EQ(hex(sum(x, y)), hexOf(e));
        mpz_powm(e.get(), x0.get(), e0.get(), p.get());
        ASSERT_EQ(hex(power(x, oracle::toNatural(e0))), hexOf(e));
        if (mpz_sgn(x0.get()) != 0) {
            mpz_invert(e.get(), x0.get(), p.get());
            const Modular xInverse = inverse(x);
            ASSERT_EQ(hex(xInverse), hexOf(e));
            ASSERT_EQ(hex(product(x, xInverse)), "1");
            mpz_mul(e.get(), e.get(), y0.get());
            mpz_mod(e.get(), e.get(), p.get());
            ASSERT_EQ(hex(quotient(y, x)), hexOf(e));
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

// Results beyond the largest capacity raise std::bad_alloc (leak-checked in the sanitizer build).
TEST(ModularTest, OutgrowingTheCapacityThrowsBadAlloc) {
    std::vector<Limb> limbs(Natural::maxLimbs, 0xFFFFFFFFu);
    Natural modulus, largest;
    modulus.setLimbs(limbs);
    limbs[0] = 0xFFFFFFFEu;
    largest.setLimbs(limbs);
    const Modular big(modulus, largest), one(modulus, natural(1)), two(modulus, natural(2));
    Modular x(big);
    EXPECT_THROW(x.add(x), std::bad_alloc);
    EXPECT_THROW((void)timesSmall(big, 2), std::bad_alloc);
    EXPECT_THROW((void)difference(one, two), std::bad_alloc);  // modulus + 1 is formed first
    x = one;
    EXPECT_EQ(hex(sum(x, two)), "3");
}

}  // namespace
}  // namespace bignum
