#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string_view>

#include "bignum/Modular.h"
#include "bignum/Natural.h"

namespace curve {

// A point of y^2 = x^3 + A*x + B over the integers modulo q: affine (x, y) or the point at
// infinity. Owns its coordinates and the buffer of its last text rendering; q, A and B belong to
// the caller and must outlive the point. Points that are compared or added must share the very
// same A and B objects.
class CurvePoint {
  public:
    // The point at infinity on the curve, with zero coordinates.
    CurvePoint(bignum::Natural& q, const bignum::Modular& A, const bignum::Modular& B);
    // The affine point (x, y), stored as given: not reduced.
    CurvePoint(bignum::Natural& q, const bignum::Modular& A, const bignum::Modular& B,
               bignum::Modular x, bignum::Modular y);
    CurvePoint(const CurvePoint& source);  // fresh text buffer
    // Copies q, A, B, coordinates and flag; the destination keeps its own text buffer.
    CurvePoint& operator=(const CurvePoint& source);

    bignum::Natural& q() const noexcept { return *q_; }
    const bignum::Modular& A() const noexcept { return *A_; }
    const bignum::Modular& B() const noexcept { return *B_; }
    const bignum::Modular& x() const noexcept { return x_; }
    bignum::Modular& x() noexcept { return x_; }
    const bignum::Modular& y() const noexcept { return y_; }
    bignum::Modular& y() noexcept { return y_; }
    bool atInfinity() const noexcept { return atInfinity_ != 0; }
    // Only the flag changes: the coordinates are kept, and ignored while at infinity.
    void setAtInfinity(bool atInfinity) noexcept { atInfinity_ = atInfinity ? 1 : 0; }

    // "(X, Y)" in canonical hex, or "(uendelig)". The address points into this point's own
    // buffer and stays valid until the next toText on it or its destruction.
    const char* toText() const;

    // Parses point text; rejects no character. "?u..." sets only the flag; anything else makes
    // the point affine, reads x up to the first ",", skips it and one more character, reads y up
    // to the first ")", and reduces both modulo q. The text ends at its end or first NUL, and
    // nothing beyond it is read: missing digits count as none.
    void fromText(std::string_view text);

    // The curve equation y^2 = x^3 + A*x + B; the point at infinity is always on the curve.
    bool isOnCurve() const;

    // A and B compared by address, the points by value.
    friend bool operator==(const CurvePoint& a, const CurvePoint& b);
    CurvePoint operator-() const;

  private:
    bignum::Natural* q_;
    const bignum::Modular* A_;
    const bignum::Modular* B_;
    bignum::Modular x_;
    bignum::Modular y_;
    std::uint8_t atInfinity_;
    mutable std::unique_ptr<char[]> text_;
};

// The group law in affine coordinates. Throws std::invalid_argument "divide by 0 error" when a
// tangent meets a zero denominator (a point off the curve) and "result would be negative" for a
// coordinate left above q. When slope is not null it receives the slope of the chord or tangent
// the sum is drawn on, or nothing for a sum that needs no line (a summand at infinity, P + (-P)).
CurvePoint add(const CurvePoint& P1, const CurvePoint& P2, std::optional<bignum::Modular>* slope);

// add without the slope.
CurvePoint operator+(const CurvePoint& P1, const CurvePoint& P2);

}  // namespace curve
