#pragma once

#include <cstddef>
#include <optional>

#include "bignum/Modular.h"
#include "bignum/Natural.h"
#include "curve/CurvePoint.h"

namespace curve {

// One bit's step of the double-and-add below, as the loop took it: the row a trace shows.
struct MultiplicationStep {
    std::size_t position = 0;  // of the bit in k, 0 for the lowest
    bool bit = false;          // the bit, and so whether result <- result + R was taken
    bool doubled = false;      // whether R <- R + R followed (after every bit but the top one)
    // The slope of the chord or tangent of each sum taken; empty for a sum that needs no line.
    std::optional<bignum::Modular> additionSlope;
    std::optional<bignum::Modular> doublingSlope;
    // result and R after the step; valid only during the observer's call.
    const CurvePoint* result = nullptr;
    const CurvePoint* R = nullptr;
};

// Watches a multiplication step by step, low bit first; one call per bit of k.
class MultiplicationObserver {
  public:
    virtual ~MultiplicationObserver() = default;
    virtual void step(const MultiplicationStep& step) = 0;

  protected:
    MultiplicationObserver() = default;
    MultiplicationObserver(const MultiplicationObserver&) = default;
    MultiplicationObserver& operator=(const MultiplicationObserver&) = default;
};

// result <- k*R by right-to-left double-and-add: while k is odd, result <- result + R and
// k <- k - 1; while it is even, R <- R + R and k <- k / 2. R and k are working storage: k ends at
// 0 and R at 2^(b-1) R for a k of b bits. Throws what operator+ throws, at the step where it
// throws, after the observer (if any) has seen every step before it.
void multiplyInPlace(CurvePoint& R, bignum::Natural& k, CurvePoint& result,
                     MultiplicationObserver* observer = nullptr);

// k*P on copies of P and k.
CurvePoint multiply(const CurvePoint& P, bignum::Natural k,
                    MultiplicationObserver* observer = nullptr);

}  // namespace curve
