#pragma once

#include <cstddef>

#include "app/KeyExchange.h"
#include "app/RandomSource.h"
#include "bignum/MontgomeryField.h"
#include "bignum/Natural.h"
#include "curve/CurvePoint.h"

// The checks a teacher makes before an exchange: is q prime, is the curve non-singular, do P and
// a public point lie on it.
namespace app {

enum class Primality { prime, composite, tooLargeToTest };

// Miller-Rabin: a composite passes one round with probability at most 1/4, so 40 rounds let it
// pass with probability below 2^-80. The time grows with the cube of q's size (a 4096-bit prime
// takes seconds); above 4096 bits the test is not run.
inline constexpr std::size_t primeTestRounds = 40;
inline constexpr std::size_t largestTestedPrimeBits = bignum::MontgomeryField<0>::maxBits;

// Miller-Rabin with bases drawn uniformly from [2, q - 2]; q below 5 and even q are decided
// without a draw.
Primality testPrimality(const bignum::Natural& q, RandomSource& random);

struct CurveVerdicts {
    std::size_t bits = 0;  // of q
    Primality q = Primality::composite;
    bool nonSingular = false;  // 4A^3 + 27B^2 != 0 (mod q)
    bool pOnCurve = false;
    bool publicPointOnCurve = false;

    bool allHold() const noexcept {
        return q == Primality::prime && nonSingular && pOnCurve && publicPointOnCurve;
    }
};

// The verdicts on the curve and P that the state read last (readInputs), and on a public point
// of that curve: the state's Pa, or the Pb it received.
CurveVerdicts checkCurve(const KeyExchange& state, const curve::CurvePoint& publicPoint,
                         RandomSource& random);

}  // namespace app
