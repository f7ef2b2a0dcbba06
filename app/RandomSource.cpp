#include "app/RandomSource.h"

#include <cstddef>
#include <span>
#include <vector>

namespace app {

namespace {

constexpr bignum::Limb maskUpToHighestBit(bignum::Limb top) {
    bignum::Limb mask = top;
    mask |= mask >> 1;
    mask |= mask >> 2;
    mask |= mask >> 4;
    mask |= mask >> 8;
    mask |= mask >> 16;
    return mask;
}

}  // namespace

bignum::Natural uniformBelow(const bignum::Natural& bound, RandomSource& random) {
    bignum::Natural drawn;
    const std::span<const bignum::Limb> limbs = bound.limbs();
    if (limbs.empty()) {
        return drawn;
    }
    // Masking the top limb to the bound's bit length keeps each draw accepted with probability
    // >= 1/2.
    const bignum::Limb topMask = maskUpToHighestBit(limbs.back());
    std::vector<bignum::Limb> draw(limbs.size());
    do {
        for (bignum::Limb& limb : draw) {
            limb = random.nextWord();
        }
        draw.back() &= topMask;
        drawn.setLimbs(draw);
    } while (!drawn.lessThan(bound));
    return drawn;
}

}  // namespace app
