#pragma once

// GMP as the independent oracle of the arithmetic: Natural <-> mpz through the limbs (not the hex
// routines under test), and operands of given lengths biased toward carries: all-ones and zero
// limbs, powers of two and long runs of equal bits. Free of any test framework.

#include <gmpxx.h>

#include <cstdint>
#include <random>
#include <span>
#include <string>
#include <vector>

#include "bignum/Natural.h"

namespace kxtest {

inline mpz_class toMpz(std::span<const bignum::Limb> limbs) {
    mpz_class z;
    mpz_import(z.get_mpz_t(), limbs.size(), -1, sizeof(bignum::Limb), 0, 0, limbs.data());
    return z;
}

inline mpz_class toMpz(const bignum::Natural& x) {
    return toMpz(x.limbs());
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

// Upper-case hex, as toHex writes it.
inline std::string hexOf(const mpz_class& z) {
    return z.get_str(-16);
}

class OperandSource {
  public:
    explicit OperandSource(std::uint64_t seed) : engine_(seed) {}

    std::uint64_t below(std::uint64_t n) { return engine_() % n; }

    // n limbs, the top one non-zero unless n is 0.
    std::vector<bignum::Limb> limbs(std::size_t n) {
        std::vector<bignum::Limb> result(n, below(2) != 0 ? 0xFFFFFFFFu : 0);
        const std::uint64_t pattern = below(4);
        for (bignum::Limb& limb : result) {
            const auto random = static_cast<bignum::Limb>(engine_());
            const bignum::Limb bit = bignum::Limb{1} << below(32);
            const bignum::Limb choices[] = {0, 0xFFFFFFFFu, bit, random | (bit - 1), random};
            limb = pattern == 0 ? limb : choices[below(5)];
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
