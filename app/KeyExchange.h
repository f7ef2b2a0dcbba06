#pragma once

#include "app/KeyExchangeView.h"
#include "app/RandomSource.h"
#include "bignum/Modular.h"
#include "bignum/Natural.h"
#include "curve/CurvePoint.h"

namespace app {

// The one state of a key exchange: the curve (q, A, B), the base point P, the secret a and the
// points Pa = a*P, Pb (received) and Pab = a*Pb, with the operations behind the window's number
// commands. Every residue and point refers to this object's own q, A and B, so the state can be
// neither copied nor moved. The random source belongs to the caller and must outlive the state.
class KeyExchange {
  public:
    explicit KeyExchange(RandomSource& random);
    KeyExchange(const KeyExchange&) = delete;
    KeyExchange& operator=(const KeyExchange&) = delete;

    // Rewrites all nine fields from the state.
    void showState(KeyExchangeView& view) const;
    // Parses the six editable fields into the state and tests P (and a received Pb) against the
    // curve, telling the user when one is off it; the caller's command goes on either way.
    void readInputs(KeyExchangeView& view);
    void useTestValues(KeyExchangeView& view);
    // a <- a uniformly random value below q (zero when q is zero).
    void drawSecret();
    void generateSecret(KeyExchangeView& view);
    void computePaPab();
    void updatePaPab(KeyExchangeView& view);
    void clearAll(KeyExchangeView& view);

    const bignum::Natural& q() const noexcept { return q_; }
    bignum::Natural& q() noexcept { return q_; }
    const bignum::Modular& A() const noexcept { return A_; }
    const bignum::Modular& B() const noexcept { return B_; }
    const curve::CurvePoint& P() const noexcept { return P_; }
    const curve::CurvePoint& Pa() const noexcept { return Pa_; }
    const curve::CurvePoint& Pb() const noexcept { return Pb_; }
    curve::CurvePoint& Pb() noexcept { return Pb_; }
    const curve::CurvePoint& Pab() const noexcept { return Pab_; }
    const bignum::Natural& a() const noexcept { return a_; }

  private:
    // Declared, and so constructed, in this order: q before everything wired to it.
    bignum::Natural q_;
    bignum::Modular A_;
    bignum::Modular B_;
    curve::CurvePoint P_;
    curve::CurvePoint Pa_;
    curve::CurvePoint Pb_;
    curve::CurvePoint Pab_;
    bignum::Natural a_;
    RandomSource* random_;
};

}  // namespace app
