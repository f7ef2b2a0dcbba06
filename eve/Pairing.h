#pragma once

// Whether one point of prime order p is a multiple of another, where the p-torsion of the curve
// may have two generators (which needs p | q - 1): by the Weil pairing, 1 exactly on multiples,
// computed by Miller's algorithm in the form e_p(G, H) = (-1)^p f_G(H) / f_H(G) of Miller, "The
// Weil pairing, and its efficient calculation" (J. Cryptology 17, 2004). Private to eve/.

#include <optional>
#include <utility>

#include "eve/FieldCurve.h"
#include "eve/Wide.h"

namespace eve {

template <std::size_t N>
class WeilPairing {
  public:
    using Curve = FieldCurve<N>;
    using Point = typename Curve::Point;
    using Residue = typename Curve::Residue;

    explicit WeilPairing(const Curve& curve) : curve_(curve), one_(curve.constant(1)) {}

    // Whether H is a multiple of G, for G of prime order p > 2 and p H at infinity; nothing in
    // the unforeseen case that the pairing is no p-th root of unity.
    std::optional<bool> isMultiple(const Point& G, const Point& H, Wide p) const {
        if (H.infinity || curve_.field().equal(G.x, H.x)) {
            return true;  // H = +-G
        }
        const auto fG = evaluate(G, H, p);
        const auto fH = fG ? evaluate(H, G, p) : std::nullopt;
        if (!fH) {
            return true;  // a line of one point's multiples went through the other
        }
        const auto& F = curve_.field();
        Residue top, bottom;
        F.multiply(top, fG->first, fH->second);
        F.multiply(bottom, fG->second, fH->first);
        if (!F.invert(bottom, bottom)) {
            throw NotAField();
        }
        Residue e;
        F.multiply(e, top, bottom);
        // (-1)^p = -1; a root of unity of odd order p tells its sign by its p-th power.
        if (!F.equal(power(e, p), one_)) {
            F.negate(e, e);
        }
        if (!F.equal(power(e, p), one_)) {
            return std::nullopt;
        }
        return F.equal(e, one_);
    }

  private:
    // f_{p,T0}(S) as a numerator and a denominator, f_{p,T0} the normalised function with divisor
    // p (T0) - p (O); nothing when a factor vanishes at S, which happens only when S is a
    // multiple of T0.
    std::optional<std::pair<Residue, Residue>> evaluate(const Point& T0, const Point& S,
                                                        Wide p) const {
        const auto& F = curve_.field();
        Residue numerator = one_, denominator = one_;
        Point T = T0;
        const auto line = [&](const Point U) {
            // The line through T and U at S, then the vertical through their sum.
            Residue value, t;
            const auto slope = curve_.slope(T, U);
            F.subtract(value, S.x, T.x);
            if (slope) {
                F.multiply(t, *slope, value);
                F.subtract(value, S.y, T.y);
                F.subtract(value, value, t);
            }
            F.multiply(numerator, numerator, value);
            T = curve_.add(T, U);
            if (!T.infinity) {
                F.subtract(t, S.x, T.x);
                F.multiply(denominator, denominator, t);
            }
        };
        for (unsigned bit = bitLength(p) - 1; bit-- > 0;) {
            F.multiply(numerator, numerator, numerator);
            F.multiply(denominator, denominator, denominator);
            line(T);
            if (((p >> bit) & 1) != 0) {
                line(T0);
            }
            if (F.isZero(numerator) || F.isZero(denominator)) {
                return std::nullopt;
            }
        }
        return std::pair{numerator, denominator};
    }

    Residue power(Residue base, Wide e) const {
        const auto& F = curve_.field();
        Residue result = one_;
        for (; e != 0; e >>= 1) {
            if ((e & 1) != 0) {
                F.multiply(result, result, base);
            }
            F.multiply(base, base, base);
        }
        return result;
    }

    const Curve& curve_;
    Residue one_;
};

}  // namespace eve
