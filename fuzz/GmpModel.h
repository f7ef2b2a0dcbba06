#pragma once
// GMP as the fuzz targets' oracle: numbers compared limb by limb, and an abort that prints the
// input's operands first.
#include <gmpxx.h>

#include <cstdio>
#include <cstdlib>
#include <span>
#include <string>
#include <vector>

#include "bignum/Natural.h"

namespace kxfuzz {

inline mpz_class toMpz(std::span<const bignum::Limb> limbs) {
    mpz_class result;
    if (!limbs.empty()) {
        mpz_import(result.get_mpz_t(), limbs.size(), -1, sizeof(bignum::Limb), 0, 0, limbs.data());
    }
    return result;
}

inline mpz_class toMpz(const bignum::Natural& n) {
    return toMpz(n.limbs());
}

inline std::string upperHex(const mpz_class& v) {
    std::string text = v.get_str(16);
    for (char& c : text) {
        if (c >= 'a' && c <= 'f') {
            c = static_cast<char>(c - 'a' + 'A');
        }
    }
    return text;
}

[[noreturn]] inline void fail(const char* what, const mpz_class& expected,
                              const mpz_class& actual) {
    std::fprintf(stderr, "%s\nexpected %s\nactual   %s\n", what, upperHex(expected).c_str(),
                 upperHex(actual).c_str());
    std::abort();
}

[[noreturn]] inline void fail(const char* what) {
    std::fprintf(stderr, "%s\n", what);
    std::abort();
}

// Normal form and the capacity policy's bounds, which every operation must keep.
inline void checkShape(const bignum::Natural& n) {
    const std::span<const bignum::Limb> limbs = n.limbs();
    if (!limbs.empty() && limbs.back() == 0) {
        fail("top limb is zero");
    }
    const std::size_t capacity = n.capacity();
    if (capacity == 0 || (capacity & (capacity - 1)) != 0 || capacity > bignum::Natural::maxLimbs ||
        n.length() > capacity) {
        fail("capacity outside the policy");
    }
}

inline void expectEqual(const char* what, const bignum::Natural& actual,
                        const mpz_class& expected) {
    checkShape(actual);
    const mpz_class value = toMpz(actual);
    if (value != expected) {
        fail(what, expected, value);
    }
}

}  // namespace kxfuzz
