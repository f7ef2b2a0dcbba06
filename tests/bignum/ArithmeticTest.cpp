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

Natural natural(const std::vector<Limb>& limbs) {
    return toNatural(toMpz(limbs));
}

// Lengths in limbs on both sides of every boundary: a limb, a word of two limbs, the field's
// unrolled lengths (up to ten words) and its largest modulus (64 words), in 32-bit words too.
constexpr std::size_t lengths[] = {0,  1,  2,  3,  4,  5,  8,  9,   10,  11, 12,
                                   18, 19, 20, 21, 22, 23, 64, 127, 128, 129};

// First the small edge operands, 0, 1 (and so -1) and one below and above the limb and the word
// boundaries, as x, y and modulus, with every sign from w's low bits and w itself an edge.
TEST(Arithmetic, EveryRowMatchesGmpOnTheEdgesAndBothSidesOfEveryLengthBoundary) {
    const std::vector<Limb> edges[] = {
        {}, {1}, {0xFFFFFFFF}, {0, 1}, {1, 1}, {0xFFFFFFFF, 0xFFFFFFFF}, {1, 0, 0, 1}};
    constexpr Limb edgeWords[] = {0, 1, 2, 3, 0xFFFFFFFE, 0xFFFFFFFF};
    constexpr std::size_t edgeCases = 7 * 7 * 7 * std::size(edgeWords);
    OperandSource source(testSeed());
    for (std::size_t i = 0; i < edgeCases + testIterations(300) && !HasFailure(); ++i) {
        const auto pick = [&] { return source.limbs(lengths[source.below(std::size(lengths))]); };
        Operands o{pick(), pick(), pick(), static_cast<Limb>(source.below(1ULL << 32))};
        o.y = i % 8 == 0 ? o.x : o.y;  // equal operands: the borders of every comparison
        o.m = i % 8 == 1 ? o.x : o.m;  // a modulus that is one of the operands
        if (i < edgeCases) {
            o = {edges[i % 7], edges[i / 7 % 7], edges[i / 49 % 7], edgeWords[i / 343]};
        }
        for (const Row& row : arithmeticRows(o)) {
            EXPECT_EQ(row.ours, row.gmp)
                << row.operation << "\n x " << hex(toMpz(o.x)) << "\n y " << hex(toMpz(o.y))
                << "\n m " << hex(toMpz(o.m)) << "\n w " << o.w << "\n KX_TEST_SEED " << testSeed();
        }
    }
}

// The field's verdict on its modulus against GMP's: every odd modulus below 2^17 (trial division
// up to 2^16, above it the strong pseudoprimes to base 2 and the strong Lucas pseudoprimes that
// only the other half of the test catches), primes of every field size, products of two and
// squares, Mersenne numbers and numbers 2^n + 1 (the composite Fermat numbers pass base 2).
TEST(Arithmetic, TheFieldShowsItsModulusPrimeExactlyWhenGmpFindsItPrime) {
    std::vector<mpz_class> moduli;
    for (unsigned long m = 3; m < (1UL << 17); m += 2) {
        moduli.emplace_back(m);
    }
    for (const unsigned bits : {32U, 64U, 100U, 127U, 256U, 521U, 1024U, 2048U}) {
        mpz_class p, q, power = mpz_class(1) << bits;
        mpz_nextprime(p.get_mpz_t(), power.get_mpz_t());
        mpz_nextprime(q.get_mpz_t(), p.get_mpz_t());
        moduli.insert(moduli.end(), {p, q, power - 1, power + 1});
        if (2 * bits < 4096) {
            moduli.insert(moduli.end(), {p * q, p * p});
        }
    }
    for (const mpz_class& m : moduli) {
        const auto field = bignum::MontgomeryField<0>::of(toNatural(m));
        ASSERT_TRUE(field.has_value()) << hex(m);
        EXPECT_EQ(field->provenPrime(), mpz_probab_prime_p(m.get_mpz_t(), 30) != 0) << hex(m);
    }
}

// The policy's table, and the rule for a divisor: a two-limb divisor of a nine-limb value grows
// to 16 limbs and halves back to 8.
TEST(Arithmetic, CapacityFollowsTheDoublingAndQuarterRule) {
    const std::size_t table[][3] = {{1, 0, 1}, {1, 1, 1},   {1, 3, 4},  {4, 5, 8},  {4, 0, 2},
                                    {8, 1, 4}, {16, 4, 16}, {16, 3, 8}, {16, 0, 2}, {64, 1, 4}};
    for (const auto& [before, request, after] : table) {
        Natural x = natural(std::vector<Limb>(before, 1));
        x.resize(request, true);
        EXPECT_EQ(x.capacity(), after) << before << " -> " << request;
    }
    Natural x = natural(std::vector<Limb>(9, 7)), m = natural({3, 1});
    x.reduce(m);
    EXPECT_EQ(m.capacity(), 8U);
    x = natural(std::vector<Limb>(7, 1));
    x.reduce(x);  // as a divisor of itself: 8 limbs, then down to nothing
    EXPECT_EQ(x.capacity(), 2U);
}

// 2^20 bits is the largest value; more is refused with std::bad_alloc, the value kept.
TEST(Arithmetic, TheLargestValueWorksAndMoreIsRefused) {
    std::vector<Limb> sparse(Natural::maxLimbs / 2 + 1, 0);
    sparse.back() = 1;
    const Natural top = natural(std::vector<Limb>(Natural::maxLimbs, 0xFFFFFFFF));
    const Natural half = natural(sparse), one = natural({1});
    Natural three = natural({3}), x = top;
    EXPECT_EQ(divide(x, three).toHex(), std::string(Natural::maxLimbs * 8, '5'));
    const Natural below = natural({sparse.begin() + 1, sparse.end()});
    EXPECT_EQ(product(half, below).length(), Natural::maxLimbs);
    EXPECT_EQ(square(below).length(), Natural::maxLimbs - 1);
    const std::function<void(Natural&)> refused[] = {[&](Natural& v) { v.add(one); },
                                                     [&](Natural& v) { v = product(half, half); },
                                                     [&](Natural& v) { v = square(half); }};
    for (const auto& operation : refused) {
        Natural v = top;
        EXPECT_THROW(operation(v), std::bad_alloc);
        EXPECT_EQ(v, top);
    }
}

}  // namespace
}  // namespace kxtest
