#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "bignum/Modular.h"
#include "bignum/Natural.h"

namespace app {

// Below this q a curve has at most about 1100 points: few enough to draw every one.
inline constexpr std::uint32_t smallestUnplottedModulus = 1024;

struct SmallPoint {
    std::uint32_t x;
    std::uint32_t y;
    friend bool operator==(const SmallPoint&, const SmallPoint&) = default;
};

// Every affine point (x, y) with y^2 = x^3 + A*x + B (mod q), x and y below q, ordered by x and
// then y; nothing for q = 0 or q of 1024 and more. A and B need not be reduced.
std::optional<std::vector<SmallPoint>> smallCurvePoints(const bignum::Natural& q,
                                                        const bignum::Modular& A,
                                                        const bignum::Modular& B);

}  // namespace app
