// The word-sized fast paths behind Natural and Modular against GMP and against the definitions
// they replace: products, squares and long division on 64-bit words, Barrett's reduction, and
// the inverse by Lehmer's extended Euclid, on moduli of every word count up to the largest,
// prime and composite, including values that have no inverse.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

#include "GmpOracle.h"
#include "bignum/Integer.h"
#include "bignum/Modular.h"
#include "bignum/Natural.h"
#include "bignum/WideArithmetic.h"

namespace bignum {
namespace {

using oracle::Mpz;
using testing::StrEq;
using testing::ThrowsMessage;
using wide::Word;

constexpr Word guard = 0x5A5A5A5A5A5A5A5Aull;

// Words of n limbs from the carry-biased limb source, packed two by two.
std::vector<Word> randomWords(oracle::OperandSource& source, std::size_t n) {
    const std::vector<Limb> limbs = source.limbs(2 * n);
    std::vector<Word> words(n);
    wide::pack(limbs, words.data());
    return words;
}

Mpz mpzOf(const Word* words, std::size_t n) {
    Mpz z;
    mpz_import(z.get(), n, -1, sizeof(Word), 0, 0, words);
    return z;
}

std::vector<Word> wordsOf(const Mpz& z, std::size_t n) {
    std::vector<Word> words(n, 0);
    mpz_export(words.data(), nullptr, -1, sizeof(Word), 0, 0, z.get());
    return words;
}

std::string hexOf(const Word* words, std::size_t n) {
    return oracle::hexOf(mpzOf(words, n));
}

class WideKernelTest : public testing::TestWithParam<std::size_t> {
  protected:
    std::uint64_t seed_ = oracle::testSeed();
    oracle::OperandSource source_{seed_ + GetParam()};
    std::string note() const { return "reproduce with KX_TEST_SEED=" + std::to_string(seed_); }
};

TEST_P(WideKernelTest, ProductsAndSquaresMatchGmp) {
    if (!wide::available) {
        GTEST_SKIP() << "no 128-bit integers: the limb loops do this work";
    }
    const std::size_t na = GetParam();
    for (std::size_t i = 0; i < oracle::testIterations(60) && !HasFailure(); ++i) {
        const std::size_t nb = i % 3 == 0 ? na : 1 + source_.below(2 * na + 2);
        const auto a = randomWords(source_, na);
        const auto b = randomWords(source_, nb);
        std::vector<Word> r(na + nb + 1, guard);
        wide::multiply(r.data(), a.data(), na, b.data(), nb);
        Mpz expected;
        mpz_mul(expected.get(), mpzOf(a.data(), na).get(), mpzOf(b.data(), nb).get());
        EXPECT_EQ(hexOf(r.data(), na + nb), oracle::hexOf(expected)) << na << "x" << nb << note();
        EXPECT_EQ(r[na + nb], guard) << "written past the product " << note();

        std::vector<Word> s(2 * na + 1, guard);
        wide::square(s.data(), a.data(), na);
        mpz_mul(expected.get(), mpzOf(a.data(), na).get(), mpzOf(a.data(), na).get());
        EXPECT_EQ(hexOf(s.data(), 2 * na), oracle::hexOf(expected)) << note();
        EXPECT_EQ(s[2 * na], guard) << "written past the square " << note();
    }
}

TEST_P(WideKernelTest, LongDivisionMatchesGmp) {
    if (!wide::available) {
        GTEST_SKIP() << "no 128-bit integers: the limb loops do this work";
    }
    const std::size_t nm = GetParam();
    for (std::size_t i = 0; i < oracle::testIterations(60) && !HasFailure(); ++i) {
        auto m = randomWords(source_, nm);
        if (m.back() == 0) {
            m.back() = 1 + source_.below(3);
        }
        const std::size_t nx = nm + source_.below(nm + 3);
        auto x = randomWords(source_, nx);
        if (i % 4 == 0) {
            // The top of the dividend equal to the divisor: the largest quotient digits and the
            // estimates that are one too large.
            std::copy(m.begin(), m.end(), x.end() - static_cast<std::ptrdiff_t>(nm));
        }
        Mpz quotient, remainder;
        mpz_fdiv_qr(quotient.get(), remainder.get(), mpzOf(x.data(), nx).get(),
                    mpzOf(m.data(), nm).get());
        std::vector<Word> q(nx - nm + 2, guard);
        wide::divide(x.data(), nx, m.data(), nm, q.data());
        EXPECT_EQ(hexOf(q.data(), nx - nm + 1), oracle::hexOf(quotient)) << note();
        EXPECT_EQ(q[nx - nm + 1], guard) << "written past the quotient " << note();
        EXPECT_EQ(hexOf(x.data(), nx), oracle::hexOf(remainder)) << note();
    }
}

TEST_P(WideKernelTest, ReductionModuloMatchesGmp) {
    if (!wide::available) {
        GTEST_SKIP() << "no 128-bit integers: the limb loops do this work";
    }
    const std::size_t n = GetParam();
    for (std::size_t i = 0; i < oracle::testIterations(60) && !HasFailure(); ++i) {
        auto m = randomWords(source_, n);
        if (i % 5 == 0) {
            // A power of 2^64, which Barrett's reciprocal cannot hold, and its neighbours.
            std::fill(m.begin(), m.end(), 0);
            m.back() = 1;
            m.front() += source_.below(2);
        }
        if (m.back() == 0) {
            m.back() = 1;
        }
        const auto x = randomWords(source_, n);
        const auto y = randomWords(source_, n);
        const bool squaring = i % 3 == 0;
        std::vector<Word> r(n + 1, guard);
        wide::multiplyModulo(r.data(), x.data(), squaring ? x.data() : y.data(), m.data(), n);
        Mpz expected;
        mpz_mul(expected.get(), mpzOf(x.data(), n).get(),
                mpzOf(squaring ? x.data() : y.data(), n).get());
        mpz_mod(expected.get(), expected.get(), mpzOf(m.data(), n).get());
        EXPECT_EQ(hexOf(r.data(), n), oracle::hexOf(expected)) << note();
        EXPECT_EQ(r[n], guard) << "written past the residue " << note();
    }
}

// Every choice of loops this processor runs: the carry-chain rows where it has them.
std::vector<wide::Loops> loopsToTest() {
    std::vector<wide::Loops> loops{wide::Loops::portable};
    if (wide::fastestLoops() == wide::Loops::carryChains) {
        loops.push_back(wide::Loops::carryChains);
    }
    return loops;
}

TEST_P(WideKernelTest, MontgomeryProductsMatchGmpOnEveryLoop) {
    if (!wide::available) {
        GTEST_SKIP() << "no 128-bit integers: the limb loops do this work";
    }
    const std::size_t n = std::min(GetParam(), wide::maxWords);
    Mpz rInverse;
    for (std::size_t i = 0; i < oracle::testIterations(60) && !HasFailure(); ++i) {
        auto m = randomWords(source_, n);
        m.front() |= 1;
        m.back() |= Word{1} << source_.below(64);
        const Mpz modulus = mpzOf(m.data(), n);
        Mpz r;
        mpz_setbit(r.get(), 64 * n);
        ASSERT_NE(mpz_invert(rInverse.get(), r.get(), modulus.get()), 0);
        // Random residues, and the largest, whose products carry furthest.
        Mpz x = mpzOf(randomWords(source_, n).data(), n);
        Mpz y = mpzOf(randomWords(source_, n).data(), n);
        mpz_mod(x.get(), x.get(), modulus.get());
        mpz_mod(y.get(), y.get(), modulus.get());
        if (i % 4 == 0) {
            mpz_sub_ui(x.get(), modulus.get(), 1);
        }
        if (i % 8 == 0) {
            mpz_sub_ui(y.get(), modulus.get(), 1 + source_.below(3));
        }
        Mpz product;
        Mpz square;
        mpz_mul(product.get(), x.get(), y.get());
        mpz_mul(product.get(), product.get(), rInverse.get());
        mpz_mod(product.get(), product.get(), modulus.get());
        mpz_mul(square.get(), x.get(), x.get());
        mpz_mul(square.get(), square.get(), rInverse.get());
        mpz_mod(square.get(), square.get(), modulus.get());
        const Word mInverse = wide::negatedInverse(m.front());
        for (const wide::Loops loops : loopsToTest()) {
            SCOPED_TRACE("modulus " + oracle::hexOf(modulus) + " x " + oracle::hexOf(x) + " y " +
                         oracle::hexOf(y) + " carry chains " +
                         std::to_string(loops == wide::Loops::carryChains) + " " + note());
            auto xw = wordsOf(x, n);
            const auto yw = wordsOf(y, n);
            xw.push_back(guard);
            std::vector<Word> out(n + 1, guard);
            wide::multiplyMontgomery(out.data(), xw.data(), yw.data(), m.data(), mInverse, n,
                                     loops);
            EXPECT_EQ(hexOf(out.data(), n), oracle::hexOf(product));
            EXPECT_EQ(out[n], guard) << "written past the residue";
            wide::multiplyMontgomery(out.data(), xw.data(), xw.data(), m.data(), mInverse, n,
                                     loops);
            EXPECT_EQ(hexOf(out.data(), n), oracle::hexOf(square));
            // The result written over an operand.
            wide::multiplyMontgomery(xw.data(), xw.data(), yw.data(), m.data(), mInverse, n, loops);
            EXPECT_EQ(hexOf(xw.data(), n), oracle::hexOf(product));
            EXPECT_EQ(xw[n], guard) << "written past the residue";
        }
    }
}

TEST_P(WideKernelTest, InverseMatchesGmpOnPrimeAndCompositeModuli) {
    if (!wide::available) {
        GTEST_SKIP() << "no 128-bit integers: the limb loops do this work";
    }
    const std::size_t n = std::min(GetParam(), wide::maxWords);
    for (std::size_t i = 0; i < oracle::testIterations(60) && !HasFailure(); ++i) {
        auto m = randomWords(source_, n);
        m.back() |= Word{1} << source_.below(64);
        Mpz modulus = mpzOf(m.data(), n);
        // Primes up to the curve sizes; above them a prime search costs more than it tests.
        if (i % 3 == 0 && n <= 9) {
            mpz_nextprime(modulus.get(), modulus.get());
            if (mpz_size(modulus.get()) > n) {
                continue;
            }
        }
        Mpz value;
        switch (i % 5) {
            case 0:
                mpz_set_ui(value.get(), 1);
                break;
            case 1:
                mpz_sub_ui(value.get(), modulus.get(), 1);
                break;
            case 2: {
                // A multiple of a small factor, which composite moduli often share.
                const auto v = randomWords(source_, n);
                mpz_mul_ui(value.get(), mpzOf(v.data(), n).get(), 2 + source_.below(30));
                break;
            }
            default: {
                const auto v = randomWords(source_, n);
                value = mpzOf(v.data(), n);
            }
        }
        mpz_mod(value.get(), value.get(), modulus.get());
        if (mpz_sgn(value.get()) == 0 || mpz_cmp_ui(modulus.get(), 1) <= 0) {
            continue;
        }
        const auto mw = wordsOf(modulus, n);
        const auto vw = wordsOf(value, n);
        std::vector<Word> out(n + 1, guard);
        const bool inverted = wide::inverse(out.data(), vw.data(), mw.data(), n);
        Mpz expected;
        const bool exists = mpz_invert(expected.get(), value.get(), modulus.get()) != 0;
        SCOPED_TRACE("value " + oracle::hexOf(value) + " modulus " + oracle::hexOf(modulus) + " " +
                     note());
        ASSERT_EQ(inverted, exists);
        if (exists) {
            EXPECT_EQ(hexOf(out.data(), n), oracle::hexOf(expected));
        }
        EXPECT_EQ(out[n], guard);
    }
}

INSTANTIATE_TEST_SUITE_P(WordCounts, WideKernelTest,
                         testing::Values(1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 17, 33, 64));

// The inverse as the definition computes it: extended Euclid on Integers, then the least
// non-negative residue of the value's coefficient.
std::string inverseByDefinition(const Natural& value, Natural& modulus) {
    Integer coefficientOfModulus(modulus);
    Integer coefficientOfValue(value);
    const Integer g = extendedGcd(coefficientOfModulus, coefficientOfValue);
    if (!g.equalsSmall(1)) {
        return value.toHex();
    }
    coefficientOfValue.reduce(modulus);
    return coefficientOfValue.magnitude().toHex();
}

// Random moduli, every third one made even and every fifth a product of two factors, so that
// many values share a divisor with it; values above the modulus and zero are included, which
// the word path declines and leaves for the definition.
TEST(ModularFastInverseTest, AgreesWithGmpAndTheDefinitionIncludingValuesWithoutInverse) {
    const auto seed = oracle::testSeed();
    oracle::OperandSource source(seed);
    std::size_t handled = 0;
    for (std::size_t i = 0; i < oracle::testIterations(300); ++i) {
        Natural modulus = source.natural(i % 10 == 0 ? 40 : 18);
        if (i % 5 == 1) {
            Natural factor = source.natural(4);
            factor.add(modulus);
            modulus = product(modulus, factor);
        }
        if (i % 3 == 2 && modulus.length() > 0) {
            modulus.shiftLeft(1 + source.below(3));
        }
        if (modulus.length() == 0) {
            continue;
        }
        Natural value = source.natural(modulus.length());
        if (i % 4 == 0) {
            value.add(modulus);
        }
        SCOPED_TRACE("value " + std::string(value.toHex()) + " modulus " + modulus.toHex() +
                     " seed " + std::to_string(seed));
        const bool wordPathApplies = value.length() > 0 && value.lessThan(modulus) &&
                                     wide::wordsFor(modulus.length()) <= wide::maxWords;

        Natural direct(value);
        const bool taken = wide::replaceByInverse(direct, modulus);
        EXPECT_EQ(taken, wide::available && wordPathApplies);
        if (!taken) {
            EXPECT_EQ(direct, value) << "declined operands must stay untouched";
        } else {
            ++handled;
            Mpz expected;
            const bool exists = mpz_invert(expected.get(), oracle::toMpz(value).get(),
                                           oracle::toMpz(modulus).get()) != 0;
            EXPECT_EQ(std::string(direct.toHex()),
                      exists ? oracle::hexOf(expected) : std::string(value.toHex()));
        }

        if (value.length() == 0) {
            continue;
        }
        const std::string expected = inverseByDefinition(value, modulus);
        Modular x(modulus);
        x.value().assign(value);
        x.invert();
        EXPECT_EQ(x.value().toHex(), expected);
    }
    if (wide::available) {
        EXPECT_GT(handled, oracle::testIterations(300) / 4) << "the word path was hardly used";
    }
}

// Residue products on words against GMP: operands up to the modulus's length, also above the
// modulus (a parsed value before it is reduced), powers of 2^32 as moduli, and longer operands
// that the word path declines.
TEST(ModularFastProductTest, ProductsAndSquaresMatchGmp) {
    const auto seed = oracle::testSeed();
    oracle::OperandSource source(seed);
    std::size_t handled = 0;
    for (std::size_t i = 0; i < oracle::testIterations(300); ++i) {
        Natural modulus = source.natural(i % 10 == 0 ? 40 : 18);
        if (i % 7 == 3) {
            std::vector<Limb> power(1 + source.below(18), 0);
            power.back() = 1;
            modulus.setLimbs(power);
        }
        if (modulus.length() == 0) {
            continue;
        }
        const std::size_t longest = modulus.length() + (i % 6 == 5 ? 3 : 0);
        Modular x(modulus);
        x.value().setLimbs(source.limbs(source.below(longest + 1)));
        Modular y(modulus);
        y.value().setLimbs(source.limbs(source.below(longest + 1)));
        SCOPED_TRACE("x " + std::string(x.value().toHex()) + " y " + y.value().toHex() +
                     " modulus " + modulus.toHex() + " seed " + std::to_string(seed));
        const Mpz m = oracle::toMpz(modulus);
        Mpz expected;
        mpz_mul(expected.get(), oracle::toMpz(x.value()).get(), oracle::toMpz(y.value()).get());
        mpz_mod(expected.get(), expected.get(), m.get());
        EXPECT_EQ(std::string(product(x, y).value().toHex()), oracle::hexOf(expected));
        mpz_mul(expected.get(), oracle::toMpz(x.value()).get(), oracle::toMpz(x.value()).get());
        mpz_mod(expected.get(), expected.get(), m.get());
        EXPECT_EQ(std::string(square(x).value().toHex()), oracle::hexOf(expected));

        Natural direct;
        const bool fits =
            x.value().length() <= modulus.length() && y.value().length() <= modulus.length();
        const bool taken = wide::replaceByProduct(direct, x.value(), y.value(), modulus);
        EXPECT_EQ(taken,
                  wide::available && fits && wide::wordsFor(modulus.length()) <= wide::maxWords);
        if (!taken) {
            EXPECT_EQ(direct.length(), 0u) << "a declined product must leave the result alone";
        } else {
            ++handled;
        }
    }
    if (wide::available) {
        EXPECT_GT(handled, oracle::testIterations(300) / 4) << "the word path was hardly used";
    }
}

TEST(ModularFastInverseTest, ZeroThrowsAndEdgeModuliFollowTheDefinition) {
    for (const char* m : {"0", "1", "2", "3", "10000000000000000", "FFFFFFFFFFFFFFFF"}) {
        Natural modulus;
        modulus.fromHex(m);
        Modular zero(modulus);
        EXPECT_THAT([&] { zero.invert(); },
                    ThrowsMessage<std::invalid_argument>(StrEq("divide by 0 error")))
            << m;
        EXPECT_EQ(std::string(zero.value().toHex()), "0");
        for (const char* v : {"1", "2", "3", "10000000000000000", "FFFFFFFFFFFFFFFF"}) {
            Natural value;
            value.fromHex(v);
            Modular x(modulus);
            x.value().assign(value);
            const bool throws = modulus.length() == 0;
            if (throws) {
                EXPECT_THAT([&] { x.invert(); },
                            ThrowsMessage<std::invalid_argument>(StrEq("divide by 0 error")));
                continue;
            }
            const std::string expected = inverseByDefinition(value, modulus);
            x.invert();
            EXPECT_EQ(x.value().toHex(), expected) << v << " mod " << m;
        }
    }
}

}  // namespace
}  // namespace bignum
