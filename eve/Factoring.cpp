#include "eve/Factoring.h"

#include <algorithm>
#include <array>
#include <cassert>
#include <cstdint>

namespace eve {

namespace {

constexpr std::array<std::uint32_t, 13> firstPrimes{2, 3, 5, 7, 11, 13, 17, 19, 23, 29, 31, 37, 41};
// Trial division goes this far; every factor left above it is found by rho.
constexpr Wide trialDivisionBound = 1U << 16;

// Brent's variant of Pollard's rho ("An improved Monte Carlo factorization algorithm", BIT 20,
// 1980) with x -> x^2 + c: a proper divisor of the odd composite n, or nothing for this c.
std::optional<Wide> rhoDivisor(Wide n, Wide c) {
    const auto f = [&](Wide x) { return addModulo(multiplyModulo(x, x, n), c, n); };
    constexpr std::uint64_t batch = 128;          // differences multiplied before one gcd
    constexpr std::uint64_t giveUp = 1ULL << 28;  // far beyond the 2^21 steps a 41-bit factor needs
    Wide y = 2, x = 2, saved = 2, product = 1, divisor = 1;
    for (std::uint64_t r = 1; divisor == 1 && r < giveUp; r *= 2) {
        x = y;
        for (std::uint64_t i = 0; i < r; ++i) {
            y = f(y);
        }
        for (std::uint64_t k = 0; k < r && divisor == 1; k += batch) {
            saved = y;
            for (std::uint64_t i = 0; i < std::min(batch, r - k); ++i) {
                y = f(y);
                product = multiplyModulo(product, x > y ? x - y : y - x, n);
            }
            divisor = greatestCommonDivisor(product, n);
        }
    }
    if (divisor == n) {
        // The batch overshot: retrace it one difference at a time.
        divisor = 1;
        for (std::uint64_t i = 0; divisor == 1 && i < giveUp; ++i) {
            saved = f(saved);
            divisor = greatestCommonDivisor(x > saved ? x - saved : saved - x, n);
        }
    }
    if (divisor == 1 || divisor == n) {
        return std::nullopt;
    }
    return divisor;
}

// False when some composite part would not split.
bool split(Wide n, std::vector<PrimePower>& primes) {
    if (n == 1) {
        return true;
    }
    if (isPrime(n)) {
        primes.push_back({n, 1});
        return true;
    }
    for (Wide c = 1; c < 64; ++c) {
        if (const auto divisor = rhoDivisor(n, c)) {
            return split(*divisor, primes) && split(n / *divisor, primes);
        }
    }
    return false;
}

}  // namespace

bool isPrime(Wide n) noexcept {
    assert(bitLength(n) <= 82);
    for (const std::uint32_t p : firstPrimes) {
        if (n % p == 0) {
            return n == p;
        }
    }
    if (n < 2) {
        return false;
    }
    Wide d = n - 1;
    unsigned s = 0;
    for (; d % 2 == 0; d /= 2) {
        ++s;
    }
    for (const std::uint32_t a : firstPrimes) {
        Wide x = powerModulo(a, d, n);
        if (x == 1 || x == n - 1) {
            continue;
        }
        unsigned i = 1;
        for (; i < s && x != n - 1; ++i) {
            x = multiplyModulo(x, x, n);
        }
        if (x != n - 1) {
            return false;
        }
    }
    return true;
}

std::optional<std::vector<PrimePower>> factorise(Wide n) {
    assert(n > 0);
    std::vector<PrimePower> primes;
    for (Wide p = 2; p <= trialDivisionBound && p * p <= n; p += p == 2 ? 1 : 2) {
        if (n % p == 0) {
            primes.push_back({p, 0});
            for (; n % p == 0; n /= p) {
                ++primes.back().exponent;
            }
        }
    }
    std::vector<PrimePower> large;
    if (!split(n, large)) {
        return std::nullopt;
    }
    std::sort(large.begin(), large.end(),
              [](const PrimePower& a, const PrimePower& b) { return a.prime < b.prime; });
    for (const PrimePower& p : large) {
        if (primes.empty() || primes.back().prime != p.prime) {
            primes.push_back(p);
        } else {
            ++primes.back().exponent;
        }
    }
    return primes;
}

}  // namespace eve
