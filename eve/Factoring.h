#pragma once

// Primality and factorisation of the integers the attack meets: multiples of a group order, all
// below 2^82. Private to eve/.

#include <optional>
#include <vector>

#include "eve/Wide.h"

namespace eve {

struct PrimePower {
    Wide prime = 0;
    unsigned exponent = 0;

    friend bool operator==(const PrimePower&, const PrimePower&) = default;
};

// Miller-Rabin with the first 13 primes as bases, which no composite below 3.3 * 10^24 (above
// 2^81) passes; n must lie below 2^82.
bool isPrime(Wide n) noexcept;

// The primes of n > 0, ascending, with their exponents: trial division, then Pollard's rho with
// Brent's cycle finding for what is left; nothing in the unforeseen case that rho fails to split
// a composite. n must lie below 2^82.
std::optional<std::vector<PrimePower>> factorise(Wide n);

}  // namespace eve
