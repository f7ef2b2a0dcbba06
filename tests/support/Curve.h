#pragma once

// The program's curve y^2 = x^3 + A x + B modulo q and its points, made from hex, for the tests
// of curve/ and the layers above. Points keep pointers into the curve, so it never moves.

#include <string_view>

#include "curve/CurvePoint.h"
#include "tests/support/SmallCurve.h"

namespace kxtest {

inline bignum::Natural natural(std::string_view hex) {
    bignum::Natural n;
    n.fromHex(hex);
    return n;
}

struct Curve {
    Curve(std::string_view qHex, std::string_view aHex, std::string_view bHex)
        : q(natural(qHex)), A(q, natural(aHex)), B(q, natural(bHex)) {}
    explicit Curve(const SmallCurve& c) : Curve(hexText(c.q), hexText(c.A), hexText(c.B)) {}
    Curve(const Curve&) = delete;
    Curve& operator=(const Curve&) = delete;

    // Stored as given, reduced or not.
    curve::CurvePoint point(std::string_view x, std::string_view y, bool atInfinity = false) {
        bignum::Modular xm(q), ym(q);
        xm.value() = natural(x);
        ym.value() = natural(y);
        curve::CurvePoint p(q, A, B, xm, ym);
        p.setAtInfinity(atInfinity);
        return p;
    }
    curve::CurvePoint point(const AffinePoint& p) {
        return point(hexText(p.x), hexText(p.y), p.atInfinity);
    }

    bignum::Natural q;
    bignum::Modular A, B;
};

}  // namespace kxtest
