// Residue arithmetic on word buffers against GMP, on moduli of every word count up to the
// largest: odd and even, prime and composite, powers of 2^64 (which Barrett's reciprocal cannot
// hold), with operands at the edges of the range and values without inverse.

#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <string>
#include <vector>

#include "GmpOracle.h"
#include "bignum/ModulusWords.h"
#include "bignum/Natural.h"
#include "bignum/WideArithmetic.h"

namespace bignum {
namespace {

using oracle::Mpz;
using Residue = ModulusWords::Residue;

Natural naturalOf(const Mpz& z) {
    return oracle::toNatural(z);
}

class ModulusWordsTest : public testing::TestWithParam<std::size_t> {
  protected:
    void SetUp() override {
        if (!wide::available) {
            GTEST_SKIP() << "no 128-bit integers: no word residues";
        }
    }

    std::uint64_t seed_ = oracle::testSeed();
    oracle::OperandSource source_{seed_ + GetParam()};

    // A modulus of exactly `limbs` limbs, of the kind the iteration asks for.
    Mpz modulus(std::size_t limbs, std::size_t kind) {
        std::vector<Limb> words = source_.limbs(limbs);
        words.back() |= Limb{1} << source_.below(32);
        Mpz m = oracle::mpzFromLimbs(words);
        switch (kind % 4) {
            case 0:
                mpz_setbit(m.get(), 0);
                break;
            case 1:
                // Primes up to the curve sizes; above them a prime search costs more than it
                // tests.
                if (limbs <= 18) {
                    mpz_nextprime(m.get(), m.get());
                }
                break;
            case 2:
                mpz_clrbit(m.get(), 0);
                mpz_setbit(m.get(), 1);
                break;
            default:
                mpz_set_ui(m.get(), 0);
                mpz_setbit(m.get(), 64 * ((limbs - 1) / 2));
        }
        return m;
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
                v = oracle::mpzFromLimbs(source_.limbs(mpz_size(m.get()) * 2));
                mpz_mod(v.get(), v.get(), m.get());
        }
        return v;
    }
};

TEST_P(ModulusWordsTest, ArithmeticMatchesGmp) {
    const std::size_t limbs = GetParam();
    for (std::size_t i = 0; i < oracle::testIterations(40) && !HasFailure(); ++i) {
        const Mpz m = modulus(limbs, i);
        if (mpz_cmp_ui(m.get(), 1) <= 0) {
            continue;
        }
        const Natural mn = naturalOf(m);
        const std::optional<ModulusWords> field = ModulusWords::of(mn);
        ASSERT_TRUE(field.has_value());
        const Mpz x = residue(m);
        const Mpz y = residue(m);
        SCOPED_TRACE("x " + oracle::hexOf(x) + " y " + oracle::hexOf(y) + " modulus " +
                     oracle::hexOf(m) + " KX_TEST_SEED=" + std::to_string(seed_));
        Residue xw;
        Residue yw;
        ASSERT_TRUE(field->load(naturalOf(x), xw));
        ASSERT_TRUE(field->load(naturalOf(y), yw));

        const auto check = [&](const Residue& r, const Mpz& expected, const char* what) {
            Natural stored;
            field->store(r, stored);
            EXPECT_EQ(std::string(stored.toHex()), oracle::hexOf(expected)) << what;
        };
        Mpz expected;
        Residue r;
        field->add(r, xw, yw);
        mpz_add(expected.get(), x.get(), y.get());
        mpz_mod(expected.get(), expected.get(), m.get());
        check(r, expected, "sum");
        field->subtract(r, xw, yw);
        mpz_sub(expected.get(), x.get(), y.get());
        mpz_mod(expected.get(), expected.get(), m.get());
        check(r, expected, "difference");
        field->negate(r, xw);
        mpz_neg(expected.get(), x.get());
        mpz_mod(expected.get(), expected.get(), m.get());
        check(r, expected, "negation");
        field->multiply(r, xw, yw);
        mpz_mul(expected.get(), x.get(), y.get());
        mpz_mod(expected.get(), expected.get(), m.get());
        check(r, expected, "product");
        field->multiply(r, xw, xw);
        mpz_mul(expected.get(), x.get(), x.get());
        mpz_mod(expected.get(), expected.get(), m.get());
        check(r, expected, "square");
        EXPECT_EQ(field->equal(xw, yw), mpz_cmp(x.get(), y.get()) == 0);
        EXPECT_EQ(field->isZero(xw), mpz_sgn(x.get()) == 0);

        // Results written over an operand.
        Residue alias = xw;
        field->multiply(alias, alias, yw);
        mpz_mul(expected.get(), x.get(), y.get());
        mpz_mod(expected.get(), expected.get(), m.get());
        check(alias, expected, "product into its operand");
        alias = xw;
        field->subtract(alias, yw, alias);
        mpz_sub(expected.get(), y.get(), x.get());
        mpz_mod(expected.get(), expected.get(), m.get());
        check(alias, expected, "difference into its operand");

        if (mpz_sgn(x.get()) != 0) {
            const bool exists = mpz_invert(expected.get(), x.get(), m.get()) != 0;
            Residue inverse;
            ASSERT_EQ(field->invert(inverse, xw), exists);
            if (exists) {
                check(inverse, expected, "inverse");
            }
        }
    }
}

TEST_P(ModulusWordsTest, LoadTakesOnlyValuesBelowTheModulus) {
    const std::size_t limbs = GetParam();
    for (std::size_t i = 0; i < 8; ++i) {
        const Mpz m = modulus(limbs, i);
        if (mpz_cmp_ui(m.get(), 1) <= 0) {
            continue;
        }
        const std::optional<ModulusWords> field = ModulusWords::of(naturalOf(m));
        ASSERT_TRUE(field.has_value());
        Mpz v;
        for (const long offset : {-1L, 0L, 1L}) {
            mpz_add_ui(v.get(), m.get(), 0);
            if (offset < 0) {
                mpz_sub_ui(v.get(), v.get(), 1);
            } else {
                mpz_add_ui(v.get(), v.get(), static_cast<unsigned long>(offset));
            }
            Residue r;
            r.fill(7);
            const bool loaded = field->load(naturalOf(v), r);
            EXPECT_EQ(loaded, offset < 0) << oracle::hexOf(v) << " mod " << oracle::hexOf(m);
            if (!loaded) {
                EXPECT_TRUE(std::all_of(r.begin(), r.end(), [](auto w) { return w == 7; }));
            }
        }
    }
}

INSTANTIATE_TEST_SUITE_P(LimbCounts, ModulusWordsTest,
                         testing::Values(1, 2, 3, 4, 7, 8, 16, 17, 18, 33, 127, 128));

TEST(ModulusWordsLimitsTest, DeclinesModuliItCannotHold) {
    std::vector<Limb> longest(2 * ModulusWords::maxWords, 0xFFFFFFFFu);
    for (const std::size_t length : {std::size_t{0}, longest.size(), longest.size() + 1}) {
        std::vector<Limb> limbs(
            longest.begin(), longest.begin() + static_cast<long>(std::min(length, longest.size())));
        if (length > longest.size()) {
            limbs.push_back(1);
        }
        Natural m;
        m.setLimbs(limbs);
        EXPECT_EQ(ModulusWords::of(m).has_value(), length == longest.size()) << length;
    }
    Natural one;
    one.fromHex("1");
    EXPECT_FALSE(ModulusWords::of(one).has_value());
}

}  // namespace
}  // namespace bignum
