#include <gtest/gtest.h>

#include <bit>
#include <cstdint>
#include <ostream>
#include <random>
#include <span>
#include <string>
#include <vector>

#include "app/KeyExchange.h"
#include "tests/app/Fakes.h"
#include "tests/app/TestSupport.h"

namespace {

using bignum::Limb;

std::vector<Limb> limbsOf(const bignum::Natural& value) {
    return {value.limbs().begin(), value.limbs().end()};
}

// Compared without the program's own arithmetic.
bool below(std::span<const Limb> x, std::span<const Limb> y) {
    if (x.size() != y.size()) {
        return x.size() < y.size();
    }
    for (std::size_t i = x.size(); i-- > 0;) {
        if (x[i] != y[i]) {
            return x[i] < y[i];
        }
    }
    return false;
}

struct ScriptedDraw {
    const char* name;
    std::vector<Limb> q;
    std::vector<std::uint32_t> words;
    std::vector<Limb> expectedA;
    std::size_t wordsUsed;

    friend void PrintTo(const ScriptedDraw& c, std::ostream* out) { *out << c.name; }
};

class ScriptedDrawTest : public ::testing::TestWithParam<ScriptedDraw> {};

TEST_P(ScriptedDrawTest, MasksFillsFromLimbZeroAndRejectsUntilBelowQ) {
    const ScriptedDraw& c = GetParam();
    kxtest::ScriptedRandom random(c.words);
    app::KeyExchange state(random);
    state.q().setLimbs(c.q);
    state.drawSecret();
    EXPECT_EQ(limbsOf(state.a()), c.expectedA);
    EXPECT_EQ(random.used(), c.wordsUsed);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ScriptedDrawTest,
    ::testing::Values(
        ScriptedDraw{"ZeroModulusDrawsNothing", {}, {}, {}, 0},
        ScriptedDraw{"ModulusOneOnlyAcceptsZero", {1}, {0xFFFFFFFF, 0xFFFFFFFE}, {}, 2},
        ScriptedDraw{"ModulusTwoRejectsTwoAndThree", {2}, {3, 2, 1}, {1}, 3},
        ScriptedDraw{"TopLimbMaskedToTheBitsOfQ", {0x1F}, {0xFFFFFFE3}, {3}, 1},
        ScriptedDraw{"ZeroIsAccepted", {0x10}, {0x20}, {}, 1},
        ScriptedDraw{"EqualToQIsRejected", {0x10}, {0x10, 0x0F}, {0x0F}, 2},
        ScriptedDraw{
            "FullTopBitKeepsAllBits", {0x80000000}, {0xFFFFFFFF, 0x7FFFFFFF}, {0x7FFFFFFF}, 2},
        ScriptedDraw{"TwoLimbsLowWordFirst",
                     {0x5, 0x1},
                     {0x6, 0xFFFFFFFF, 0x5, 0x1, 0xFFFFFFFF, 0x0},
                     {0xFFFFFFFF},
                     6},
        ScriptedDraw{
            "TwoLimbsDecidedByTheTopLimb", {0x5, 0x3}, {0xFFFFFFFF, 0x2}, {0xFFFFFFFF, 0x2}, 2}),
    kxtest::CaseName());

TEST(DrawSecret, AlwaysBelowQForRandomModuli) {
    const std::uint64_t seed = kxtest::testSeed();
    SCOPED_TRACE("KX_TEST_SEED=" + std::to_string(seed));
    std::mt19937_64 pick(seed);
    kxtest::SeededRandom random(seed ^ 0x5DEECE66Dull);
    app::KeyExchange state(random);
    const int iterations = kxtest::testIterations(2000);
    for (int i = 0; i < iterations; ++i) {
        std::vector<Limb> q(1 + pick() % 6);
        for (Limb& limb : q) {
            limb = static_cast<Limb>(pick());
        }
        // Top limbs near the edges of the mask: one bit, all bits, a power of two and its
        // neighbours.
        switch (pick() % 4) {
            case 0:
                q.back() = 1;
                break;
            case 1:
                q.back() = 0xFFFFFFFF;
                break;
            case 2:
                q.back() = Limb{1} << (pick() % 32);
                break;
            default:
                q.back() |= 1;
                break;
        }
        state.q().setLimbs(q);
        // Each draw is accepted with probability at least 1/2; 64 rejections in a row mean a fault.
        random.resetBudget(64 * q.size());
        state.drawSecret();
        const std::vector<Limb> a = limbsOf(state.a());
        ASSERT_TRUE(below(a, q)) << "draw " << i << ": a = " << state.a().toHex()
                                 << ", q = " << state.q().toHex();
    }
}

TEST(DrawSecret, SmallModuliReachEveryValue) {
    const std::uint64_t seed = kxtest::testSeed();
    SCOPED_TRACE("KX_TEST_SEED=" + std::to_string(seed));
    kxtest::SeededRandom random(seed);
    app::KeyExchange state(random);
    for (const Limb modulus : {1u, 2u, 3u, 5u}) {
        state.q().setLimbs(std::vector<Limb>{modulus});
        std::vector<int> seen(modulus, 0);
        for (int i = 0; i < 200; ++i) {
            random.resetBudget(64);
            state.drawSecret();
            const std::vector<Limb> a = limbsOf(state.a());
            ASSERT_LE(a.size(), 1u);
            const Limb value = a.empty() ? 0 : a[0];
            ASSERT_LT(value, modulus);
            ++seen[value];
        }
        for (Limb value = 0; value < modulus; ++value) {
            EXPECT_GT(seen[value], 0) << "never drew " << value << " below " << modulus;
        }
    }
}

TEST(SystemRandom, WordsVary) {
    app::SystemRandom random;
    const std::uint32_t first = random.nextWord();
    Limb differingBits = 0;
    for (int i = 0; i < 16; ++i) {
        differingBits |= random.nextWord() ^ first;
    }
    // A bit stays clear only when all sixteen words agree with the first there: 2^-16 each.
    EXPECT_NE(differingBits, 0u);
    EXPECT_GT(std::popcount(differingBits), 16);
}

}  // namespace
