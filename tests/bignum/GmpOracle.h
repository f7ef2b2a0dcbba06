#pragma once

// Test-only bridge to GMP as an independent oracle: Natural <-> mpz through hex text or limbs,
// and seeded random operands biased toward carries (all-ones limbs, powers of two, long runs
// of equal bits). The seed and iteration count come from KX_TEST_SEED and KX_TEST_ITERATIONS.

#include <gmp.h>

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstdlib>
#include <random>
#include <span>
#include <string>
#include <vector>

#include "bignum/Natural.h"

namespace bignum::oracle {

// Owns one mpz_t.
class Mpz {
  public:
    Mpz() { mpz_init(z_); }
    Mpz(const Mpz& other) { mpz_init_set(z_, other.z_); }
    Mpz& operator=(const Mpz& other) {
        mpz_set(z_, other.z_);
        return *this;
    }
    ~Mpz() { mpz_clear(z_); }
    mpz_ptr get() noexcept { return z_; }
    mpz_srcptr get() const noexcept { return z_; }

  private:
    mpz_t z_;
};

// Upper-case hex without leading zeros, "0" for zero.
inline std::string hexOf(const Mpz& z) {
    std::string text(mpz_sizeinbase(z.get(), 16) + 2, '\0');
    mpz_get_str(text.data(), 16, z.get());
    text.resize(text.find('\0'));
    std::transform(text.begin(), text.end(), text.begin(), ::toupper);
    return text;
}

inline Mpz toMpz(const Natural& x) {
    Mpz z;
    mpz_set_str(z.get(), x.toHex(), 16);
    return z;
}

inline Natural toNatural(const Mpz& z) {
    Natural x;
    x.fromHex(hexOf(z));
    return x;
}

// Through the limbs themselves, independent of the hex routines.
inline Mpz mpzFromLimbs(std::span<const Limb> limbs) {
    Mpz z;
    mpz_import(z.get(), limbs.size(), -1, sizeof(Limb), 0, 0, limbs.data());
    return z;
}

// Normal form and the capacity invariants every value must keep.
inline bool isWellFormed(const Natural& x) {
    const std::size_t c = x.capacity();
    return c >= 1 && c <= Natural::maxLimbs && (c & (c - 1)) == 0 && x.length() <= c &&
           (x.length() == 0 || x.limbs().back() != 0);
}

inline std::uint64_t environmentNumber(const char* name, std::uint64_t fallback) {
    const char* text = std::getenv(name);
    return text != nullptr && *text != '\0' ? std::strtoull(text, nullptr, 0) : fallback;
}
inline std::uint64_t testSeed() {
    return environmentNumber("KX_TEST_SEED", std::random_device{}());
}
inline std::size_t testIterations(std::size_t fallback) {
    return static_cast<std::size_t>(environmentNumber("KX_TEST_ITERATIONS", fallback));
}

class OperandSource {
  public:
    explicit OperandSource(std::uint64_t seed) : engine_(seed) {}

    std::size_t below(std::size_t n) { return static_cast<std::size_t>(engine_() % n); }

    // Zero, all ones, one bit, runs of equal bits, or random.
    Limb limb() {
        const auto random = static_cast<Limb>(engine_());
        const Limb bit = Limb{1} << below(32);
        const Limb choices[] = {0,     0xFFFFFFFFu, bit, random | (bit - 1), random & ~(bit - 1),
                                random};
        return choices[below(6)];
    }

    // length limbs: all ones, a power of two, all ones or zeros but the lowest, or limb by limb.
    std::vector<Limb> limbs(std::size_t length) {
        std::vector<Limb> result(length, below(2) != 0 ? 0xFFFFFFFFu : 0);
        const std::size_t pattern = length == 0 ? 9 : below(5);
        if (pattern == 0) {
            std::fill(result.begin(), result.end(), 0);
            result.back() = Limb{1} << below(32);
        } else if (pattern == 1) {
            result.front() = static_cast<Limb>(engine_());
        } else if (pattern < 5) {
            std::generate(result.begin(), result.end(), [this] { return limb(); });
        }
        return result;
    }

    // A value of at most maxLength limbs.
    Natural natural(std::size_t maxLength) {
        Natural x;
        x.setLimbs(limbs(below(maxLength + 1)));
        return x;
    }

  private:
    std::mt19937_64 engine_;
};

}  // namespace bignum::oracle
