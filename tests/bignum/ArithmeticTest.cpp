#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <functional>
#include <new>
#include <string>
#include <utility>
#include <vector>

#include "tests/bignum/ArithmeticRows.h"
#include "tests/support/Support.h"

namespace kxtest {
namespace {

using bignum::Limb;
using bignum::Natural;
using rows::natural;

// Lengths in limbs on both sides of every boundary: one limb, one word (two limbs), the field's
// unrolled lengths (up to ten words), its largest modulus (64 words), in 32-bit words too.
constexpr std::size_t lengths[] = {0,  1,  2,  3,  4,  5,  8,  9,   10,  11,  12,
                                   18, 19, 20, 21, 22, 23, 64, 127, 128, 129};

TEST(Arithmetic, EveryRowMatchesGmpOnBothSidesOfEveryLengthBoundary) {
    OperandSource source(testSeed());
    for (std::size_t i = 0; i < testIterations(300) && !HasFailure(); ++i) {
        const auto pick = [&] { return source.limbs(lengths[source.below(std::size(lengths))]); };
        rows::Operands o{pick(), pick(), pick(), static_cast<Limb>(source.below(1ULL << 32))};
        if (i % 8 == 0) {
            o.y = o.x;  // equal operands: the borders of every comparison
        } else if (i % 8 == 1) {
            o.m = o.x;  // a modulus that is one of the operands
        }
        for (const rows::Row& row : rows::arithmeticRows()) {
            EXPECT_EQ(row.ours(o), row.gmp(o))
                << row.name << "\n x " << hexOf(toMpz(o.x)) << "\n y " << hexOf(toMpz(o.y))
                << "\n m " << hexOf(toMpz(o.m)) << "\n w " << o.w << "\n KX_TEST_SEED "
                << testSeed();
        }
    }
}

// The capacity table of the policy, then the rule for a divisor.
TEST(Arithmetic, CapacityFollowsTheDoublingAndQuarterRule) {
    const std::size_t table[][3] = {{1, 0, 1}, {1, 1, 1},   {1, 3, 4},  {4, 5, 8},  {4, 0, 2},
                                    {8, 1, 4}, {16, 4, 16}, {16, 3, 8}, {16, 0, 2}, {64, 1, 4}};
    for (const auto& [before, request, after] : table) {
        Natural x = natural(std::vector<Limb>(before, 1));
        ASSERT_EQ(x.capacity(), before);
        x.resize(request, true);
        EXPECT_EQ(x.capacity(), after) << before << " -> " << request;
    }
    // A two-limb divisor of a nine-limb value grows to 16 limbs, then halves back to 8.
    Natural x = natural(std::vector<Limb>(9, 7)), m = natural({3, 1});
    x.reduce(m);
    EXPECT_EQ(m.capacity(), 8U);
}

// 2^20 bits is the largest value; anything more is refused with std::bad_alloc, leaving the
// value as it was.
TEST(Arithmetic, TheLargestValueWorksAndMoreIsRefused) {
    const std::vector<Limb> ones(Natural::maxLimbs, 0xFFFFFFFFu);
    std::vector<Limb> sparse(Natural::maxLimbs / 2 + 1, 0);
    sparse.back() = 1;
    const Natural top = natural(ones), half = natural(sparse), one = natural({1});
    Natural three = natural({3}), x = top;
    EXPECT_EQ(divide(x, three).toHex(), std::string(Natural::maxLimbs * 8, '5'));
    EXPECT_EQ(product(half, natural(std::vector<Limb>(sparse.begin() + 1, sparse.end()))).length(),
              Natural::maxLimbs);
    const std::pair<const char*, std::function<void(Natural&)>> refused[] = {
        {"add", [&](Natural& v) { v.add(one); }},
        {"incrementFrom", [](Natural& v) { v.incrementFrom(0); }},
        {"shiftLeft", [](Natural& v) { v.shiftLeft(1); }},
        {"fromHex", [](Natural& v) { v.fromHex("1" + std::string(Natural::maxLimbs * 8, '0')); }},
        {"fromHex carrying", [](Natural& v) { v.fromHex("g" + std::string(Natural::maxLimbs * 8 - 1, '0')); }},
        {"productByLimb", [](Natural& v) { v = productByLimb(v, 2); }},
        {"product", [&](Natural& v) { v = product(half, half); }},
        {"square", [&](Natural& v) { v = square(half); }}};
    for (const auto& [name, operation] : refused) {
        Natural v = top;
        EXPECT_THROW(operation(v), std::bad_alloc) << name;
        EXPECT_EQ(v, top) << name;
    }
}

// Failing each allocation in turn: an operation that fails keeps its operands' values, and the
// sanitizer build finds no leak.
TEST(Arithmetic, AFailedAllocationLeavesTheOperandsAsTheyWere) {
    const std::pair<const char*, std::function<void(Natural&, Natural&)>> operations[] = {
        {"fromHex", [](Natural& x, Natural&) { x.fromHex(std::string(700, '9')); }},
        {"assign", [](Natural& x, Natural& y) { x.assign(y); }},
        {"add", [](Natural& x, Natural& y) { x.add(y); }},
        {"shiftLeft", [](Natural& x, Natural&) { x.shiftLeft(3000); }},
        {"toHex", [](Natural& x, Natural&) { x.toHex(); }},
        {"product", [](Natural& x, Natural& y) { x = product(x, y); }},
        {"square", [](Natural&, Natural& y) { y = square(y); }}};
    for (const auto& [name, operation] : operations) {
        for (std::size_t n = 1;; ++n) {
            Natural x = natural({0x89ABCDEF, 0x1234567}), y = natural(std::vector<Limb>(170, 5));
            const Natural xBefore = x, yBefore = y;
            const bool failed = runFailingAllocation(n, [&] { operation(x, y); }) >= n;
            if (!failed) {
                break;
            }
            EXPECT_TRUE(x == xBefore && y == yBefore) << name << " failing allocation " << n;
        }
    }
}

}  // namespace
}  // namespace kxtest
