#pragma once

#include "bignum/Natural.h"
#include "curve/CurvePoint.h"

namespace curve {

// result <- k*R by right-to-left double-and-add: while k is odd, result <- result + R and
// k <- k - 1; while it is even, R <- R + R and k <- k / 2. R and k are working storage: k ends at
// 0 and R at 2^(b-1) R for a k of b bits. Throws what operator+ throws, at the step where it
// throws.
void multiplyInPlace(CurvePoint& R, bignum::Natural& k, CurvePoint& result);

// k*P on copies of P and k.
CurvePoint multiply(const CurvePoint& P, bignum::Natural k);

}  // namespace curve
