#pragma once

// Pollard's rho for the logarithm in a group of prime order ("Monte Carlo methods for index
// computation (mod p)", 1978), as parallel collision search with distinguished points (van
// Oorschot and Wiener, "Parallel collision search with cryptanalytic applications", 1999): many
// walks advance together, one inversion per round for all of them (Montgomery's trick), each on
// Teske's r-adding walk ("Speeding up Pollard's rho method for computing discrete logarithms",
// 1998). Private to eve/.

#include <array>
#include <cmath>
#include <cstdint>
#include <numbers>
#include <optional>
#include <unordered_map>
#include <vector>

#include "eve/Control.h"
#include "eve/FieldCurve.h"
#include "eve/Wide.h"

namespace eve {

// The walks' state, and one step of each. A walk at R = c G + d H moves to R + M_j, where
// M_j = u_j G + v_j H is one of 32 multipliers picked by a hash of x(R); c and d follow, modulo
// the group order n.
template <std::size_t N>
class Walks {
  public:
    using Curve = FieldCurve<N>;
    using Point = typename Curve::Point;
    using Residue = typename Curve::Residue;

    // count walks from random starts; n need not be G's order for a walk that only measures
    // speed.
    Walks(const Curve& curve, const Point& G, const Point& H, Wide n, std::size_t count,
          Random& random)
        : curve_(curve), G_(G), H_(H), n_(n), random_(random), one_(curve.constant(1)) {
        for (std::size_t j = 0; j < multipliers; ++j) {
            do {
                u_[j] = random_.below(n_);
                v_[j] = random_.below(n_);
                M_[j] = combination(u_[j], v_[j]);
            } while (M_[j].infinity);
        }
        x_.resize(count);
        y_.resize(count);
        c_.resize(count);
        d_.resize(count);
        length_.resize(count);
        difference_.resize(count);
        prefix_.resize(count);
        choice_.resize(count);
        special_.resize(count);
        // One walk from a random start, each further one a random jump beyond the one before:
        // an addition instead of two multiplications.
        restart(0);
        const Wide jumpC = random_.below(n_), jumpD = random_.below(n_);
        const Point jump = combination(jumpC, jumpD);
        for (std::size_t i = 1; i < count; ++i) {
            const Point start = curve_.add(point(i - 1), jump);
            if (start.infinity) {
                restart(i);
                continue;
            }
            x_[i] = start.x;
            y_[i] = start.y;
            c_[i] = addModulo(c_[i - 1], jumpC, n_);
            d_[i] = addModulo(d_[i - 1], jumpD, n_);
        }
    }

    std::size_t count() const noexcept { return x_.size(); }

    // Moves every walk one step. A walk that meets the point at infinity starts afresh.
    void step() {
        const auto& F = curve_.field();
        Residue product = one_;
        for (std::size_t i = 0; i < count(); ++i) {
            const std::size_t j = partition(x_[i]);
            choice_[i] = static_cast<std::uint8_t>(j);
            F.subtract(difference_[i], M_[j].x, x_[i]);
            special_[i] = F.isZero(difference_[i]);
            prefix_[i] = product;
            if (!special_[i]) {
                F.multiply(product, product, difference_[i]);
            }
        }
        Residue inverse, slope;
        if (!F.invert(inverse, product)) {
            throw NotAField();
        }
        for (std::size_t i = count(); i-- > 0;) {
            const std::size_t j = choice_[i];
            if (special_[i]) {
                // x(R) = x(M_j): R + M_j is a doubling or infinite.
                const Point sum = curve_.add(point(i), M_[j]);
                if (sum.infinity) {
                    restart(i);
                    continue;
                }
                x_[i] = sum.x;
                y_[i] = sum.y;
            } else {
                // 1 / (x_j - x_i) from the running product, which then drops that factor.
                F.multiply(slope, inverse, prefix_[i]);
                F.multiply(inverse, inverse, difference_[i]);
                Residue rise;
                F.subtract(rise, M_[j].y, y_[i]);
                F.multiply(slope, slope, rise);
                F.multiply(rise, slope, slope);
                F.subtract(rise, rise, x_[i]);
                F.subtract(rise, rise, M_[j].x);  // the new x
                F.subtract(difference_[i], x_[i], rise);
                F.multiply(slope, slope, difference_[i]);
                F.subtract(y_[i], slope, y_[i]);
                x_[i] = rise;
            }
            c_[i] = addModulo(c_[i], u_[j], n_);
            d_[i] = addModulo(d_[i], v_[j], n_);
            ++length_[i];
        }
    }

    // A fresh walk from a random c G + d H other than the point at infinity.
    void restart(std::size_t i) {
        Point start;
        do {
            c_[i] = random_.below(n_);
            d_[i] = random_.below(n_);
            start = combination(c_[i], d_[i]);
        } while (start.infinity);
        x_[i] = start.x;
        y_[i] = start.y;
        length_[i] = 0;
    }

    Point point(std::size_t i) const {
        Point p;
        p.x = x_[i];
        p.y = y_[i];
        p.infinity = false;
        return p;
    }
    Wide c(std::size_t i) const noexcept { return c_[i]; }
    Wide d(std::size_t i) const noexcept { return d_[i]; }
    std::uint64_t length(std::size_t i) const noexcept { return length_[i]; }
    void resetLength(std::size_t i) noexcept { length_[i] = 0; }
    std::uint64_t hash(std::size_t i) const noexcept { return hash(x_[i]); }

  private:
    static constexpr std::size_t multipliers = 32;

    std::uint64_t hash(const Residue& x) const noexcept {
        return curve_.key(x) * 0x9E3779B97F4A7C15U;
    }
    std::size_t partition(const Residue& x) const noexcept {
        return static_cast<std::size_t>(hash(x) >> 59);
    }
    Point combination(Wide u, Wide v) const {
        return curve_.add(curve_.multiply(u, G_), curve_.multiply(v, H_));
    }

    const Curve& curve_;
    Point G_;
    Point H_;
    Wide n_;
    Random& random_;
    Residue one_;
    std::array<Point, multipliers> M_;
    std::array<Wide, multipliers> u_{};
    std::array<Wide, multipliers> v_{};
    std::vector<Residue> x_;
    std::vector<Residue> y_;
    std::vector<Wide> c_;
    std::vector<Wide> d_;
    std::vector<std::uint64_t> length_;  // since the last distinguished point
    // Working space of a round.
    std::vector<Residue> difference_;
    std::vector<Residue> prefix_;
    std::vector<std::uint8_t> choice_;
    std::vector<char> special_;
};

// The steps rho expects in a group of prime order n, without the negation map:
// sqrt(pi n / 2).
inline double rhoExpectedSteps(Wide n) {
    return std::sqrt(std::numbers::pi * static_cast<double>(n) / 2);
}

// The d < p with d G = H, for G of prime order p and H a multiple of G; nothing if rho gives up
// after many times the steps it expects.
template <std::size_t N>
std::optional<Wide> rho(const FieldCurve<N>& curve, const typename FieldCurve<N>::Point& G,
                        const typename FieldCurve<N>::Point& H, Wide p, Random& random,
                        Control& control) {
    using Residue = typename FieldCurve<N>::Residue;
    const double expected = rhoExpectedSteps(p);
    // Enough walks to share an inversion, few enough that each one meets dozens of
    // distinguished points; the walks together overshoot the collision by about count << bits
    // steps, some 3% of the expected.
    const double walkCount = std::floor(std::clamp(expected / 4096, 1.0, 512.0));
    const auto count = static_cast<std::size_t>(walkCount);
    const auto bits =
        static_cast<unsigned>(std::max(0.0, std::floor(std::log2(expected / (32 * walkCount)))));
    // The bits of the hash below the five that pick the multiplier.
    constexpr std::uint64_t all = ~std::uint64_t{0};
    const std::uint64_t mask = bits == 0 ? 0 : (all >> 5) & ~(all >> (5 + bits));
    const std::uint64_t stuck = (std::uint64_t{20} << bits) + 64;
    const auto giveUp = static_cast<std::uint64_t>(16 * expected) + 64 * count * (stuck + 1);
    control.begin(Stage::logarithm, p, static_cast<std::uint64_t>(expected));

    struct Trail {
        Residue x;
        Residue y;
        Wide c;
        Wide d;
    };
    std::unordered_map<std::uint64_t, Trail> distinguished;
    Walks<N> walks(curve, G, H, p, count, random);
    const auto& F = curve.field();
    for (std::uint64_t steps = 0; steps < giveUp; steps += count) {
        walks.step();
        control.advance(count);
        for (std::size_t i = 0; i < count; ++i) {
            if ((walks.hash(i) & mask) != 0) {
                if (walks.length(i) > stuck) {
                    walks.restart(i);  // in a cycle without a distinguished point
                }
                continue;
            }
            walks.resetLength(i);
            const auto R = walks.point(i);
            const auto [it, fresh] =
                distinguished.try_emplace(curve.key(R.x), Trail{R.x, R.y, walks.c(i), walks.d(i)});
            const Trail& t = it->second;
            if (fresh || !F.equal(t.x, R.x)) {
                continue;
            }
            // c + d log = +-(t.c + t.d log), the sign that of y.
            const bool same = F.equal(t.y, R.y);
            const Wide rise =
                same ? subtractModulo(t.c, walks.c(i), p) : (p - addModulo(t.c, walks.c(i), p)) % p;
            const Wide run =
                same ? subtractModulo(walks.d(i), t.d, p) : addModulo(walks.d(i), t.d, p);
            if (const auto inverse = inverseModulo(run, p)) {
                const Wide d = multiplyModulo(rise, *inverse, p);
                if (curve.equal(curve.multiply(d, G), H)) {
                    return d;
                }
            }
            walks.restart(i);  // the two walks share their coefficients: no relation
        }
    }
    return std::nullopt;
}

// Seconds per step of the walks on this curve, measured over a few rounds.
template <std::size_t N>
double measureRhoStep(const FieldCurve<N>& curve, const typename FieldCurve<N>::Point& G,
                      const typename FieldCurve<N>::Point& H, Random& random) {
    // Small coefficients keep the walks' setup short; the steps cost the same.
    Walks<N> walks(curve, G, H, Wide{1} << 32, 512, random);
    using Clock = std::chrono::steady_clock;
    const auto start = Clock::now();
    std::uint64_t rounds = 0;
    for (; rounds < 4 || Clock::now() - start < std::chrono::milliseconds(40); ++rounds) {
        walks.step();
    }
    const std::chrono::duration<double> elapsed = Clock::now() - start;
    return elapsed.count() / static_cast<double>(rounds * walks.count());
}

}  // namespace eve
