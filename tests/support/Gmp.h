#pragma once

// GMP as the independent oracle of the arithmetic: Natural <-> mpz through the limbs, not the
// hex routines under test, and operands of given lengths biased toward carries (zero and
// all-ones limbs, powers of two, runs of equal bits). Free of any test framework.

#include <gmpxx.h>

#include <random>
#include <span>
#include <vector>

#include "bignum/Natural.h"

namespace kxtest {

inline mpz_class toMpz(std::span<const bignum::Limb> limbs) {
    mpz_class z;
    mpz_import(z.get_mpz_t(), limbs.size(), -1, sizeof(bignum::Limb), 0, 0, limbs.data());
    return z;
}

inline std::vector<bignum::Limb> limbsOf(const mpz_class& z) {
    std::vector<bignum::Limb> limbs((mpz_sizeinbase(z.get_mpz_t(), 2) + 31) / 32);
    mpz_export(limbs.data(), nullptr, -1, sizeof(bignum::Limb), 0, 0, z.get_mpz_t());
    return limbs;
}

inline bignum::Natural toNatural(const mpz_class& z) {
    bignum::Natural x;
    x.setLimbs(limbsOf(z));
    return x;
}

class OperandSource {
  public:
    explicit OperandSource(std::uint64_t seed) : engine_(seed) {}
    std::uint64_t below(std::uint64_t n) { return engine_() % n; }
    // n limbs, the top one non-zero.
    std::vector<bignum::Limb> limbs(std::size_t n) {
        std::vector<bignum::Limb> result(n, below(2) != 0 ? 0xFFFFFFFFu : 0);
        const bool patterned = below(4) != 0;
        for (bignum::Limb& limb : result) {
            const auto random = static_cast<bignum::Limb>(engine_()),
                       bit = bignum::Limb{1} << below(32);
            const bignum::Limb choices[] = {0, 0xFFFFFFFFu, bit, random | (bit - 1), random};
            limb = patterned ? choices[below(5)] : limb;
        }
        if (n > 0 && result.back() == 0) {
            result.back() = bignum::Limb{1} << below(32);
        }
        return result;
    }

  private:
    std::mt19937_64 engine_;
};

}  // namespace kxtest
