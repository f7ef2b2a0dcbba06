#pragma once

#include <cstdint>

#include "bignum/Natural.h"

namespace app {

// Where secrets come from: uniformly random 32-bit words.
class RandomSource {
  public:
    virtual ~RandomSource() = default;
    virtual std::uint32_t nextWord() = 0;

  protected:
    RandomSource() = default;
    RandomSource(const RandomSource&) = default;
    RandomSource& operator=(const RandomSource&) = default;
};

// The operating system's cryptographically secure source (getrandom on Linux, BCryptGenRandom on
// Windows, crypto.getRandomValues in a browser). Throws std::runtime_error when the system cannot
// deliver.
class SystemRandom final : public RandomSource {
  public:
    std::uint32_t nextWord() override;
};

// A number drawn uniformly from [0, bound) with the source's words; zero for a zero bound.
bignum::Natural uniformBelow(const bignum::Natural& bound, RandomSource& random);

}  // namespace app
