#include "app/SmallCurvePoints.h"

#include <cstddef>

namespace app {

namespace {

std::uint32_t residue(const bignum::Natural& n, std::uint32_t q) {
    std::uint64_t r = 0;
    for (auto limb = n.limbs().rbegin(); limb != n.limbs().rend(); ++limb) {
        r = ((r << 32U) | *limb) % q;
    }
    return static_cast<std::uint32_t>(r);
}

}  // namespace

std::optional<std::vector<SmallPoint>> smallCurvePoints(const bignum::Natural& q,
                                                        const bignum::Modular& A,
                                                        const bignum::Modular& B) {
    if (q.length() != 1 || q.limbs()[0] >= smallestUnplottedModulus) {
        return std::nullopt;
    }
    const std::uint32_t m = q.limbs()[0];
    const std::uint32_t a = residue(A.value(), m);
    const std::uint32_t b = residue(B.value(), m);
    // The square roots of each residue, found by squaring every y once.
    std::vector<std::vector<std::uint32_t>> roots(m);
    for (std::uint32_t y = 0; y < m; ++y) {
        roots[y * y % m].push_back(y);
    }
    std::vector<SmallPoint> points;
    for (std::uint32_t x = 0; x < m; ++x) {
        const std::uint32_t right = (x * x % m * x + a * x + b) % m;
        for (const std::uint32_t y : roots[right]) {
            points.push_back({x, y});
        }
    }
    return points;
}

}  // namespace app
