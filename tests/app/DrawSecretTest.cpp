#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "app/KeyExchange.h"
#include "tests/app/Fakes.h"
#include "tests/app/TestSupport.h"

namespace {

using bignum::Limb;
using Limbs = std::vector<Limb>;

Limbs limbsOf(const bignum::Natural& value) { return {value.limbs().begin(), value.limbs().end()}; }

// Compared without the program's own arithmetic.
bool below(const Limbs& x, const Limbs& y) {
    return x.size() != y.size() ? x.size() < y.size()
                                : std::lexicographical_compare(x.rbegin(), x.rend(), y.rbegin(), y.rend());
}

TEST(DrawSecret, MasksFillsFromLimbZeroAndRejectsUntilBelowQ) {
    struct Case {
        const char* name;
        Limbs q;
        std::vector<std::uint32_t> words;
        Limbs expectedA;
        std::size_t wordsUsed;
    };
    const std::vector<Case> cases{
        {"q = 0 draws nothing", {}, {}, {}, 0},
        {"q = 1 only accepts zero", {1}, {0xFFFFFFFF, 0xFFFFFFFE}, {}, 2},
        {"q = 2 rejects 2 and 3", {2}, {3, 2, 1}, {1}, 3},
        {"top limb masked to the bits of q", {0x1F}, {0xFFFFFFE3}, {3}, 1},
        {"zero accepted", {0x10}, {0x20}, {}, 1},
        {"equal to q rejected", {0x10}, {0x10, 0x0F}, {0x0F}, 2},
        {"full top bit keeps all bits", {0x80000000}, {0xFFFFFFFF, 0x7FFFFFFF}, {0x7FFFFFFF}, 2},
        {"two limbs, low word first", {0x5, 0x1}, {0x6, 0xFFFFFFFF, 0x5, 0x1, 0xFFFFFFFF, 0x0},
         {0xFFFFFFFF}, 6},
        {"two limbs decided by the top limb", {0x5, 0x3}, {0xFFFFFFFF, 0x2}, {0xFFFFFFFF, 0x2}, 2}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        kxtest::ScriptedRandom random(c.words);
        app::KeyExchange state(random);
        state.q().setLimbs(c.q);
        state.drawSecret();
        EXPECT_EQ(limbsOf(state.a()), c.expectedA);
        EXPECT_EQ(random.used(), c.wordsUsed);
    }
}

TEST(DrawSecret, AlwaysBelowQForRandomModuli) {
    const std::uint64_t seed = kxtest::testSeed();
    SCOPED_TRACE("KX_TEST_SEED=" + std::to_string(seed));
    std::mt19937_64 pick(seed);
    kxtest::SeededRandom random(seed ^ 0x5DEECE66Dull);
    app::KeyExchange state(random);
    for (int i = 0; i < kxtest::testIterations(2000); ++i) {
        Limbs q(1 + pick() % 6);
        for (Limb& limb : q) {
            limb = static_cast<Limb>(pick());
        }
        // Top limbs at the edges of the mask: one bit, all bits, a power of two, anything odd.
        const Limb tops[] = {1, 0xFFFFFFFF, Limb{1} << (pick() % 32), q.back() | 1};
        q.back() = tops[pick() % 4];
        state.q().setLimbs(q);
        // Each draw is accepted with probability at least 1/2; 64 rejections in a row mean a fault.
        random.resetBudget(64 * q.size());
        state.drawSecret();
        ASSERT_TRUE(below(limbsOf(state.a()), q))
            << "draw " << i << ": a = " << state.a().toHex() << ", q = " << state.q().toHex();
    }
}

TEST(DrawSecret, SmallModuliReachEveryValue) {
    const std::uint64_t seed = kxtest::testSeed();
    SCOPED_TRACE("KX_TEST_SEED=" + std::to_string(seed));
    kxtest::SeededRandom random(seed);
    app::KeyExchange state(random);
    for (const Limb modulus : {1u, 2u, 3u, 5u}) {
        state.q().setLimbs(Limbs{modulus});
        std::vector<int> seen(modulus, 0);
        for (int i = 0; i < 200; ++i) {
            random.resetBudget(64);
            state.drawSecret();
            const Limbs a = limbsOf(state.a());
            ASSERT_TRUE(below(a, {modulus}));
            ++seen[a.empty() ? 0 : a[0]];
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
    EXPECT_GT(std::popcount(differingBits), 16);
}

}  // namespace
