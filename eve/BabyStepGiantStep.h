#pragma once

// Shanks' baby-step giant-step on a curve, matching x coordinates only so that each baby step
// j G stands for -j G too: the logarithm in a group of prime order, and Mestre's search of the
// Hasse interval for a multiple of a point's order. Private to eve/.

#include <algorithm>
#include <bit>
#include <cstdint>
#include <optional>
#include <vector>

#include "eve/Control.h"
#include "eve/FieldCurve.h"
#include "eve/Wide.h"

namespace eve {

// x coordinates of the baby steps j G, j = 1..m, by a 64-bit key of x; a key may recur, so a
// match is confirmed against the point itself.
template <std::size_t N>
class BabySteps {
  public:
    using Curve = FieldCurve<N>;
    using Point = typename Curve::Point;

    // Stops early when some j G is the point at infinity or meets -i G or i G of an earlier i:
    // relation() then holds the multiple of G's order that this shows.
    BabySteps(const Curve& curve, const Point& G, std::uint32_t m, Control& control)
        : curve_(curve), G_(G), mask_(std::bit_ceil(2 * std::size_t{m}) - 1) {
        keys_.resize(mask_ + 1);
        indices_.resize(mask_ + 1);
        Point jG = G;
        for (std::uint32_t j = 1; j <= m; ++j, jG = curve.add(jG, G)) {
            if (jG.infinity) {
                relation_ = j;
                return;
            }
            match(jG, [&](std::uint32_t i, bool same) {
                relation_ = same ? Wide{j} - i : Wide{j} + i;
                return true;
            });
            if (relation_) {
                return;
            }
            std::size_t slot = slotOf(curve.key(jG.x));
            while (indices_[slot] != 0) {
                slot = (slot + 1) & mask_;
            }
            keys_[slot] = curve.key(jG.x);
            indices_[slot] = j;
            if (j % 4096 == 0) {
                control.advance(4096);
            }
        }
        control.advance(m % 4096);
    }

    std::optional<Wide> relation() const noexcept { return relation_; }

    // Calls found(j, same) for each baby step j G = C (same) or -C (not same) until it returns
    // true; returns whether it did.
    template <class Found>
    bool match(const Point& C, Found&& found) const {
        for (std::size_t slot = slotOf(curve_.key(C.x)); indices_[slot] != 0;
             slot = (slot + 1) & mask_) {
            if (keys_[slot] == curve_.key(C.x)) {
                const Point jG = curve_.multiply(indices_[slot], G_);
                if (curve_.field().equal(jG.x, C.x) &&
                    found(indices_[slot], curve_.field().equal(jG.y, C.y))) {
                    return true;
                }
            }
        }
        return false;
    }

  private:
    std::size_t slotOf(std::uint64_t key) const noexcept {
        return static_cast<std::size_t>((key * 0x9E3779B97F4A7C15U) >> 32) & mask_;
    }

    const Curve& curve_;
    Point G_;
    std::size_t mask_;
    std::vector<std::uint64_t> keys_;
    std::vector<std::uint32_t> indices_;  // 0 for an empty slot
    std::optional<Wide> relation_;
};

// The d < p with d G = H, for G of prime order p, or nothing when H is not a multiple of G.
// Shanks, "Class number, a theory of factorization, and genera" (1971).
template <std::size_t N>
std::optional<Wide> shanks(const FieldCurve<N>& curve, const typename FieldCurve<N>::Point& G,
                           const typename FieldCurve<N>::Point& H, Wide p, Control& control) {
    const auto m = static_cast<std::uint32_t>(std::max<Wide>(1, squareRoot(p / 2)));
    const Wide stride = 2 * Wide{m} + 1;
    const Wide giantSteps = (p - 1 + m) / stride + 1;
    control.begin(Stage::logarithm, p, static_cast<std::uint64_t>(m + giantSteps / 2));
    BabySteps<N> baby(curve, G, m, control);
    const auto back = curve.negate(curve.multiply(stride, G));
    std::optional<Wide> d;
    const auto check = [&](Wide candidate) {
        if (curve.equal(curve.multiply(candidate % p, G), H)) {
            d = candidate % p;
        }
        return d.has_value();
    };
    // C = H - i stride G: a match C = +-j G gives d = i stride +- j.
    auto C = H;
    for (Wide i = 0; i < giantSteps; ++i, C = curve.add(C, back)) {
        control.advance(1);
        const Wide center = i * stride;
        if (C.infinity ? check(center) : baby.match(C, [&](std::uint32_t j, bool same) {
                return check(same ? center + j : center + p - j);
            })) {
            return d;
        }
    }
    return std::nullopt;
}

// A positive multiple of P's order, for P on a curve modulo the prime q < 2^80: the group's
// order lies in Hasse's interval [q + 1 - 2 sqrt q, q + 1 + 2 sqrt q], and the t in it with
// t P at infinity is found by baby-step giant-step (Mestre's idea; see Cohen, "A Course in
// Computational Algebraic Number Theory", 7.4.3). Nothing only if the interval held none, which
// q prime rules out.
template <std::size_t N>
std::optional<Wide> orderMultiple(const FieldCurve<N>& curve,
                                  const typename FieldCurve<N>::Point& P, Wide q,
                                  Control& control) {
    const Wide reach = squareRoot(4 * q);  // |q + 1 - #E| <= 2 sqrt q, an integer
    const Wide low = q + 1 - reach;
    const Wide width = 2 * reach + 1;
    constexpr Wide largestBabyStep = Wide{1} << 20;
    const auto m =
        static_cast<std::uint32_t>(std::clamp<Wide>(squareRoot(width / 2), 1, largestBabyStep));
    const Wide stride = 2 * Wide{m} + 1;
    const Wide giantSteps = (width + stride - 1) / stride;
    control.begin(Stage::order, 0, static_cast<std::uint64_t>(m + giantSteps));
    BabySteps<N> baby(curve, P, m, control);
    if (baby.relation()) {
        return baby.relation();
    }
    const auto forward = curve.multiply(stride, P);
    std::optional<Wide> multiple;
    const auto check = [&](Wide candidate) {
        if (curve.multiply(candidate, P).infinity) {
            multiple = candidate;
        }
        return multiple.has_value();
    };
    // C = (low + m + i stride) P: a match C = +-j P makes (low + m + i stride -+ j) P infinite.
    auto C = curve.multiply(low + m, P);
    for (Wide i = 0; i < giantSteps; ++i, C = curve.add(C, forward)) {
        control.advance(1);
        const Wide center = low + m + i * stride;
        if (C.infinity ? check(center) : baby.match(C, [&](std::uint32_t j, bool same) {
                return check(same ? center - j : center + j);
            })) {
            return multiple;
        }
    }
    return std::nullopt;
}

}  // namespace eve
