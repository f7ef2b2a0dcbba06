#pragma once

#include <array>
#include <optional>

#include "app/ExchangeFormats.h"
#include "app/KeyExchangeView.h"
#include "app/RandomSource.h"
#include "bignum/Modular.h"
#include "bignum/Natural.h"
#include "curve/CurvePoint.h"

namespace app {

// The six numbers a student types, in the window's order q, A, B, Px, Py, a.
using Inputs = std::array<bignum::Natural, 6>;

// The built-in test curve, P on it and a = 0: a 55-bit prime q, A, B, Px, Py.
Inputs testInputs();

// The one state of a key exchange: the curve (q, A, B), the base point P, the secret a and the
// points Pa = a*P, Pb (received, with the q, A, B and P it came with) and Pab = a*Pb, with the
// operations behind the window's number commands. Every residue and point refers to this
// object's own q, A and B, so the state can be neither copied nor moved. The random source
// belongs to the caller and must outlive the state.
//
// The commands that read the typed fields check them first (checkTypedFields): when one breaks
// the typed number rule, they tell the user and change nothing, and readInputs and updatePaPab
// return false.
class KeyExchange {
  public:
    explicit KeyExchange(RandomSource& random);
    KeyExchange(const KeyExchange&) = delete;
    KeyExchange& operator=(const KeyExchange&) = delete;

    // Rewrites all nine fields from the state.
    void showState(KeyExchangeView& view) const;
    // Reads the six editable fields into the state (setInputs), then tells the user when P is
    // off the curve or a received Pb was dropped; the caller's command goes on either way.
    bool readInputs(KeyExchangeView& view);
    // Puts the test curve and P into their fields and updates, keeping the typed a.
    void useTestValues(KeyExchangeView& view);
    void generateSecret(KeyExchangeView& view);
    bool updatePaPab(KeyExchangeView& view);
    void clearAll(KeyExchangeView& view);

    // The numbers of readInputs, without a window: A, B and P are reduced modulo q, a is kept
    // as it is. A received Pb that came with another q, A, B or P is dropped, and Pab with it:
    // both become the point at infinity, and the result is true. Nothing is recomputed.
    bool setInputs(const Inputs& inputs);
    // Pb <- the writer's Pa of checked public data, remembered with the file's q, A, B and P.
    void receive(const PublicData& data);
    // a <- a uniformly random value below q (zero when q is zero).
    void drawSecret();
    void computePaPab();

    // What "Gem offentlig data..." saves: the state's curve, P and Pa.
    PublicData publicData() const;

    const bignum::Natural& q() const noexcept { return q_; }
    const bignum::Modular& A() const noexcept { return A_; }
    const bignum::Modular& B() const noexcept { return B_; }
    const curve::CurvePoint& P() const noexcept { return P_; }
    const curve::CurvePoint& Pa() const noexcept { return Pa_; }
    const curve::CurvePoint& Pb() const noexcept { return Pb_; }
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
    // q, A, B, Px and Py of the file Pb came in; none while Pb came with no file.
    std::optional<std::array<bignum::Natural, 5>> PbOrigin_;
};

}  // namespace app
