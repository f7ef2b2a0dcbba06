// The scalar multiplication's field on machine words, and the word kernels under it, against
// GMP: moduli of every word count up to the largest, prime and composite, operands at the edges
// of the range, values without inverse, and results written over an operand.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "GmpOracle.h"
#include "bignum/Kernels.h"
#include "bignum/Modular.h"
#include "bignum/MontgomeryField.h"
#include "bignum/Natural.h"

namespace bignum {
namespace {

using kernels::Word;
using oracle::Mpz;

constexpr std::size_t limbsPerWord = sizeof(Word) / sizeof(Limb);

// Calls check.template operator()<N>() with the field the scalar multiplication uses for m.
template <class Check>
void withFieldOf(const Natural& m, Check&& check) {
    const std::size_t n = MontgomeryField<0>::wordsOf(m);
    [&]<std::size_t... I>(std::index_sequence<I...>) {
        if (!((n == I && (check.template operator()<I>(), true)) || ...)) {
            check.template operator()<0>();
        }
    }
    (std::make_index_sequence<longestUnrolledField + 1>{});
}

std::vector<Word> randomWords(oracle::OperandSource& source, std::size_t n) {
    const std::vector<Limb> limbs = source.limbs(limbsPerWord * n);
    std::vector<Word> words(n, 0);
    for (std::size_t i = 0; i < limbs.size(); ++i) {
        words[i / limbsPerWord] |= Word{limbs[i]} << (32 * (i % limbsPerWord));
    }
    return words;
}

Mpz mpzOf(const std::vector<Word>& words, std::size_t n) {
    Mpz z;
    mpz_import(z.get(), n, -1, sizeof(Word), 0, 0, words.data());
    return z;
}

class FieldTest : public testing::TestWithParam<std::size_t> {
  protected:
    std::uint64_t seed_ = oracle::testSeed();
    oracle::OperandSource source_{seed_ + GetParam()};
    std::string note() const { return " KX_TEST_SEED=" + std::to_string(seed_); }

    // An odd modulus of exactly `words` words: prime up to the curve sizes every third time,
    // the largest of its length every fifth, random (often composite) otherwise.
    Mpz modulus(std::size_t words, std::size_t kind) {
        auto m = randomWords(source_, words);
        m.back() |= Word{1} << source_.below(kernels::bitsOf<Word>);
        Mpz z = mpzOf(m, words);
        if (kind % 5 == 4) {
            mpz_set_ui(z.get(), 0);
            mpz_setbit(z.get(), kernels::bitsOf<Word> * words);
            mpz_sub_ui(z.get(), z.get(), 1);
        } else if (kind % 3 == 0 && words * kernels::bitsOf<Word> <= 576) {
            mpz_nextprime(z.get(), z.get());
        }
        mpz_setbit(z.get(), 0);
        return z;
    }

    // Below m: zero, one, m - 1, or random limbs reduced.
    Mpz residue(const Mpz& m) {
        Mpz v;
        switch (source_.below(6)) {
            case 0:
                break;
            case 1:
                mpz_set_ui(v.get(), 1);
                break;
            case 2:
                mpz_sub_ui(v.get(), m.get(), 1);
                break;
            default:
                v = oracle::mpzFromLimbs(source_.limbs(mpz_size(m.get()) * 2 + 1));
                mpz_mod(v.get(), v.get(), m.get());
        }
        return v;
    }
};

TEST_P(FieldTest, ArithmeticMatchesGmp) {
    const std::size_t words = GetParam();
    for (std::size_t i = 0; i < oracle::testIterations(40) && !HasFailure(); ++i) {
        const Mpz m = modulus(words, i);
        const Natural mn = oracle::toNatural(m);
        withFieldOf(mn, [&]<std::size_t N>() {
            using Residue = typename MontgomeryField<N>::Residue;
            const std::optional<MontgomeryField<N>> field = MontgomeryField<N>::of(mn);
            ASSERT_TRUE(field.has_value());
            const Mpz x = residue(m);
            const Mpz y = residue(m);
            SCOPED_TRACE("x " + oracle::hexOf(x) + " y " + oracle::hexOf(y) + " modulus " +
                         oracle::hexOf(m) + note());
            Residue xw;
            Residue yw;
            ASSERT_TRUE(field->load(oracle::toNatural(x), xw));
            ASSERT_TRUE(field->load(oracle::toNatural(y), yw));
            const auto check = [&](const Residue& r, Mpz expected, const char* what) {
                mpz_mod(expected.get(), expected.get(), m.get());
                Natural stored;
                field->store(r, stored);
                EXPECT_EQ(std::string(stored.toHex()), oracle::hexOf(expected)) << what;
            };
            Mpz expected;
            Residue r;
            field->add(r, xw, yw);
            mpz_add(expected.get(), x.get(), y.get());
            check(r, expected, "sum");
            field->subtract(r, xw, yw);
            mpz_sub(expected.get(), x.get(), y.get());
            check(r, expected, "difference");
            field->negate(r, xw);
            mpz_neg(expected.get(), x.get());
            check(r, expected, "negation");
            field->multiply(r, xw, yw);
            mpz_mul(expected.get(), x.get(), y.get());
            check(r, expected, "product");
            field->multiply(r, xw, xw);
            mpz_mul(expected.get(), x.get(), x.get());
            check(r, expected, "square");
            EXPECT_EQ(field->equal(xw, yw), mpz_cmp(x.get(), y.get()) == 0);
            EXPECT_EQ(field->isZero(xw), mpz_sgn(x.get()) == 0);

            Residue alias = xw;
            field->multiply(alias, alias, yw);
            mpz_mul(expected.get(), x.get(), y.get());
            check(alias, expected, "product into its operand");
            alias = xw;
            field->subtract(alias, yw, alias);
            mpz_sub(expected.get(), y.get(), x.get());
            check(alias, expected, "difference into its operand");

            if (mpz_sgn(x.get()) != 0) {
                const bool exists = mpz_invert(expected.get(), x.get(), m.get()) != 0;
                Residue inverse;
                ASSERT_EQ(field->invert(inverse, xw), exists);
                if (exists) {
                    check(inverse, expected, "inverse");
                }
            }
        });
    }
}

TEST_P(FieldTest, LoadTakesOnlyValuesBelowTheModulus) {
    for (std::size_t i = 0; i < 8; ++i) {
        const Mpz m = modulus(GetParam(), i);
        const Natural mn = oracle::toNatural(m);
        withFieldOf(mn, [&]<std::size_t N>() {
            const std::optional<MontgomeryField<N>> field = MontgomeryField<N>::of(mn);
            ASSERT_TRUE(field.has_value());
            for (const long offset : {-1L, 0L, 1L}) {
                Mpz v;
                mpz_add_ui(v.get(), m.get(), offset > 0 ? 1 : 0);
                if (offset < 0) {
                    mpz_sub_ui(v.get(), v.get(), 1);
                }
                typename MontgomeryField<N>::Residue r;
                r.fill(7);
                const bool loaded = field->load(oracle::toNatural(v), r);
                EXPECT_EQ(loaded, offset < 0) << oracle::hexOf(v) << " mod " << oracle::hexOf(m);
                if (!loaded) {
                    EXPECT_TRUE(std::all_of(r.begin(), r.end(), [](auto w) { return w == 7; }));
                }
            }
        });
    }
}

// The kernels on machine words that the field and Natural share: products, squares and long
// division, with guard words after each result.
TEST_P(FieldTest, WordKernelsMatchGmp) {
    constexpr Word guard = 0x5A5A5A5Au;
    const std::size_t na = GetParam();
    for (std::size_t i = 0; i < oracle::testIterations(40) && !HasFailure(); ++i) {
        const std::size_t nb = i % 3 == 0 ? na : 1 + source_.below(2 * na + 2);
        const auto a = randomWords(source_, na);
        auto b = randomWords(source_, nb);
        std::vector<Word> r(na + nb + 1, guard);
        kernels::multiply<Word>(std::span(r).first(na + nb), a, b);
        Mpz expected;
        mpz_mul(expected.get(), mpzOf(a, na).get(), mpzOf(b, nb).get());
        EXPECT_EQ(oracle::hexOf(mpzOf(r, na + nb)), oracle::hexOf(expected)) << note();
        EXPECT_EQ(r[na + nb], guard) << note();

        std::vector<Word> s(2 * na + 1, guard);
        kernels::square<Word>(std::span(s).first(2 * na), a);
        mpz_mul(expected.get(), mpzOf(a, na).get(), mpzOf(a, na).get());
        EXPECT_EQ(oracle::hexOf(mpzOf(s, 2 * na)), oracle::hexOf(expected)) << note();
        EXPECT_EQ(s[2 * na], guard) << note();

        // Division by b, whose top word must not be zero; the top of the dividend equal to the
        // divisor now and then, which gives the largest quotient words and estimates one too
        // large.
        b.back() = std::max(b.back(), static_cast<Word>(1 + source_.below(3)));
        const std::size_t nx = nb + source_.below(nb + 3);
        auto x = randomWords(source_, nx);
        if (i % 4 == 0) {
            std::copy(b.begin(), b.end(), x.end() - static_cast<std::ptrdiff_t>(nb));
        }
        Mpz quotient;
        Mpz remainder;
        mpz_fdiv_qr(quotient.get(), remainder.get(), mpzOf(x, nx).get(), mpzOf(b, nb).get());
        std::vector<Word> q(nx - nb + 2, guard);
        kernels::divide<Word>(x, b, std::span(q).first(nx - nb + 1));
        EXPECT_EQ(oracle::hexOf(mpzOf(q, nx - nb + 1)), oracle::hexOf(quotient)) << note();
        EXPECT_EQ(q[nx - nb + 1], guard) << note();
        EXPECT_EQ(oracle::hexOf(mpzOf(x, nx)), oracle::hexOf(remainder)) << note();
    }
}

INSTANTIATE_TEST_SUITE_P(WordCounts, FieldTest,
                         testing::Values(1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 17, 33,
                                         MontgomeryField<0>::maxWords));

TEST(FieldLimitsTest, DeclinesModuliItCannotHold) {
    const std::size_t longest = limbsPerWord * MontgomeryField<0>::maxWords;
    for (const std::size_t length : {std::size_t{1}, longest, longest + 1}) {
        std::vector<Limb> limbs(length, 0xFFFFFFFFu);
        Natural m;
        m.setLimbs(limbs);
        EXPECT_EQ(MontgomeryField<0>::of(m).has_value(), length <= longest) << length;
        limbs.front() = 0xFFFFFFFEu;  // even
        m.setLimbs(limbs);
        EXPECT_FALSE(MontgomeryField<0>::of(m).has_value()) << length;
    }
    for (const char* small : {"0", "1"}) {
        Natural m;
        m.fromHex(small);
        EXPECT_FALSE(MontgomeryField<0>::of(m).has_value()) << small;
    }
}

// Residue products, squares and inverses against GMP: operands up to the modulus's length and
// above it (a parsed value before it is reduced), moduli even and odd, prime and composite, so
// that many values share a divisor with them.
TEST(ModularOracleTest, ProductsSquaresAndInversesMatchGmp) {
    const auto seed = oracle::testSeed();
    oracle::OperandSource source(seed);
    for (std::size_t i = 0; i < oracle::testIterations(300); ++i) {
        Natural modulus = source.natural(i % 10 == 0 ? 40 : 18);
        if (i % 5 == 1) {
            Natural factor = source.natural(4);
            factor.add(modulus);
            modulus = product(modulus, factor);
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
        const Mpz xm = oracle::toMpz(x.value());
        Mpz expected;
        mpz_mul(expected.get(), xm.get(), oracle::toMpz(y.value()).get());
        mpz_mod(expected.get(), expected.get(), m.get());
        EXPECT_EQ(std::string(product(x, y).value().toHex()), oracle::hexOf(expected));
        mpz_mul(expected.get(), xm.get(), xm.get());
        mpz_mod(expected.get(), expected.get(), m.get());
        EXPECT_EQ(std::string(square(x).value().toHex()), oracle::hexOf(expected));
        if (x.value().length() != 0 && x.value().lessThan(modulus)) {
            const bool exists = mpz_invert(expected.get(), xm.get(), m.get()) != 0;
            EXPECT_EQ(std::string(inverse(x).value().toHex()),
                      exists ? oracle::hexOf(expected) : std::string(x.value().toHex()));
        }
    }
}

TEST(ModularOracleTest, InverseOfZeroThrowsWhateverTheModulus) {
    for (const char* m : {"0", "1", "2", "3", "10000000000000000", "FFFFFFFFFFFFFFFF"}) {
        Natural modulus;
        modulus.fromHex(m);
        Modular zero(modulus);
        EXPECT_THAT([&] { zero.invert(); }, testing::ThrowsMessage<std::invalid_argument>(
                                                testing::StrEq("divide by 0 error")))
            << m;
        EXPECT_EQ(std::string(zero.value().toHex()), "0");
    }
}

}  // namespace
}  // namespace bignum
