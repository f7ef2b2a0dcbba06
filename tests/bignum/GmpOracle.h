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
    explicit Mpz(unsigned long v) { mpz_init_set_ui(z_, v); }
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
    std::transform(text.begin(), text.end(), text.begin(),
                   [](char c) { return static_cast<char>(std::toupper(c)); });
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

// Conversions through the limbs themselves, independent of the hex routines.
inline Mpz mpzFromLimbs(std::span<const Limb> limbs) {
    Mpz z;
    mpz_import(z.get(), limbs.size(), -1, sizeof(Limb), 0, 0, limbs.data());
    return z;
}

inline std::vector<Limb> limbsOf(const Mpz& z) {
    std::vector<Limb> limbs((mpz_sizeinbase(z.get(), 2) + 31) / 32);
    std::size_t count = 0;
    mpz_export(limbs.data(), &count, -1, sizeof(Limb), 0, 0, z.get());
    limbs.resize(count);
    return limbs;
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

    // A limb with long runs of equal bits, often all zeros or all ones.
    Limb limb() {
        switch (below(6)) {
            case 0:
                return 0;
            case 1:
                return 0xFFFFFFFFu;
            case 2:
                return Limb{1} << below(32);
            case 3: {
                Limb bits = 0;
                for (std::size_t i = 0; i < 32;) {
                    const std::size_t run = 1 + below(16);
                    if (below(2) != 0) {
                        bits |= static_cast<Limb>(
                            ((std::uint64_t{1} << std::min<std::size_t>(run, 32 - i)) - 1) << i);
                    }
                    i += run;
                }
                return bits;
            }
            default:
                return static_cast<Limb>(engine_());
        }
    }

    // length limbs, patterned as a whole: random, all ones, a power of two, 2^k - small, or
    // limb by limb with runs.
    std::vector<Limb> limbs(std::size_t length) {
        std::vector<Limb> result(length, 0);
        if (length == 0) {
            return result;
        }
        switch (below(5)) {
            case 0:
                std::fill(result.begin(), result.end(), 0xFFFFFFFFu);
                break;
            case 1:
                result.back() = Limb{1} << below(32);
                break;
            case 2:
                std::fill(result.begin(), result.end(), 0xFFFFFFFFu);
                result[0] = static_cast<Limb>(engine_());
                result.back() = static_cast<Limb>(engine_()) | 1u;
                break;
            default:
                for (Limb& l : result) {
                    l = limb();
                }
        }
        return result;
    }

    // A value of 0 to maxLength limbs (possibly fewer after normalisation).
    Natural natural(std::size_t maxLength) {
        Natural x;
        x.setLimbs(limbs(below(maxLength + 1)));
        return x;
    }

  private:
    std::mt19937_64 engine_;
};

}  // namespace bignum::oracle
