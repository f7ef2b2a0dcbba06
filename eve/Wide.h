#pragma once

// Integers below 2^127 on one 128-bit machine integer: the group orders, their factors and the
// coefficients of the walks, all below 2^82 where the attack runs. Private to eve/.

#include <cstdint>
#include <optional>

#include "bignum/Natural.h"

namespace eve {

__extension__ using Wide = unsigned __int128;

inline constexpr Wide wideOne = 1;

// The number of bits of n; 0 for zero.
unsigned bitLength(Wide n) noexcept;
// floor(sqrt(n)).
Wide squareRoot(Wide n) noexcept;
Wide greatestCommonDivisor(Wide a, Wide b) noexcept;

// a b mod m for a, b < m < 2^82.
Wide multiplyModulo(Wide a, Wide b, Wide m) noexcept;
// b^e mod m for b < m < 2^82.
Wide powerModulo(Wide b, Wide e, Wide m) noexcept;
// a^-1 mod m for 0 <= a < m, or nothing when they share a divisor.
std::optional<Wide> inverseModulo(Wide a, Wide m) noexcept;
// (a + b) mod m and (a - b) mod m for a, b < m < 2^127.
inline Wide addModulo(Wide a, Wide b, Wide m) noexcept {
    const Wide s = a + b;
    return s >= m ? s - m : s;
}
inline Wide subtractModulo(Wide a, Wide b, Wide m) noexcept {
    return a >= b ? a - b : a + (m - b);
}

bignum::Natural toNatural(Wide n);
// The value of n, or nothing when it has more than 128 bits.
std::optional<Wide> toWide(const bignum::Natural& n) noexcept;

// The pseudo-random stream of the attack's choices (SplitMix64): the same seed gives the same
// walks, so that a run can be repeated.
class Random {
  public:
    explicit Random(std::uint64_t seed) noexcept : state_(seed) {}
    std::uint64_t next() noexcept;
    // Nearly uniform below n > 0.
    Wide below(Wide n) noexcept;

  private:
    std::uint64_t state_;
};

}  // namespace eve
