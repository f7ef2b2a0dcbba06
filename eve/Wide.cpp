#include "eve/Wide.h"

#include <array>
#include <bit>
#include <cassert>

namespace eve {

unsigned bitLength(Wide n) noexcept {
    const auto high = static_cast<std::uint64_t>(n >> 64);
    return high != 0 ? 128U - static_cast<unsigned>(std::countl_zero(high))
                     : 64U - static_cast<unsigned>(std::countl_zero(static_cast<std::uint64_t>(n)));
}

Wide squareRoot(Wide n) noexcept {
    if (n < 2) {
        return n;
    }
    // Newton's iteration from above: x falls monotonically to the root.
    Wide x = wideOne << ((bitLength(n) + 1) / 2);
    for (Wide y = (x + n / x) / 2; y < x; y = (x + n / x) / 2) {
        x = y;
    }
    return x;
}

Wide greatestCommonDivisor(Wide a, Wide b) noexcept {
    while (b != 0) {
        a %= b;
        std::swap(a, b);
    }
    return a;
}

Wide multiplyModulo(Wide a, Wide b, Wide m) noexcept {
    assert(a < m && b < m && bitLength(m) <= 82);
    if ((a | b) >> 64 == 0) {
        return a * b % m;
    }
    // a = h 2^40 + l: each partial product stays below 2^124.
    constexpr unsigned split = 40;
    const Wide high = (a >> split) * b % m;
    return ((high << split) % m + (a & ((wideOne << split) - 1)) * b) % m;
}

Wide powerModulo(Wide b, Wide e, Wide m) noexcept {
    Wide result = 1 % m;
    for (; e != 0; e >>= 1) {
        if ((e & 1) != 0) {
            result = multiplyModulo(result, b, m);
        }
        b = multiplyModulo(b, b, m);
    }
    return result;
}

std::optional<Wide> inverseModulo(Wide a, Wide m) noexcept {
    // Euclid with the cofactor of a kept as a magnitude; its sign alternates with each quotient.
    Wide r0 = m, r1 = a, t0 = 0, t1 = 1;
    bool positive = false;
    while (r1 != 0) {
        const Wide k = r0 / r1;
        const Wide r = r0 - k * r1;
        const Wide t = t0 + k * t1;
        r0 = r1, r1 = r, t0 = t1, t1 = t;
        positive = !positive;
    }
    if (r0 != 1) {
        return std::nullopt;
    }
    return positive ? t0 % m : (m - t0 % m) % m;
}

bignum::Natural toNatural(Wide n) {
    std::array<bignum::Limb, 4> limbs{};
    for (auto& limb : limbs) {
        limb = static_cast<bignum::Limb>(n);
        n >>= bignum::limbBits;
    }
    bignum::Natural result;
    result.setLimbs(limbs);
    return result;
}

std::optional<Wide> toWide(const bignum::Natural& n) noexcept {
    const auto limbs = n.limbs();
    if (limbs.size() > 4) {
        return std::nullopt;
    }
    Wide result = 0;
    for (auto limb = limbs.rbegin(); limb != limbs.rend(); ++limb) {
        result = (result << bignum::limbBits) | *limb;
    }
    return result;
}

std::uint64_t Random::next() noexcept {
    std::uint64_t z = (state_ += 0x9E3779B97F4A7C15U);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9U;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBU;
    return z ^ (z >> 31);
}

Wide Random::below(Wide n) noexcept {
    // 128 random bits reduced: the bias is below 2^-45 for the n < 2^82 drawn here.
    return ((Wide{next()} << 64) | next()) % n;
}

}  // namespace eve
