#include "app/CurveChecks.h"

#include "bignum/Modular.h"

namespace app {

using bignum::Modular;
using bignum::Natural;

namespace {

// Whether base witnesses that the odd q = d 2^s + 1 is composite.
bool witnessesComposite(Natural& q, const Natural& base, const Natural& d, std::size_t s) {
    const Modular minusOne(q, difference(q, Natural(1)));
    Modular x = power(Modular(q, base), d);
    if (x.value() == Natural(1) || x.equals(minusOne)) {
        return false;
    }
    for (std::size_t i = 1; i < s; ++i) {
        x = square(x);
        if (x.equals(minusOne)) {
            return false;
        }
    }
    return true;
}

}  // namespace

Primality testPrimality(const Natural& q, RandomSource& random) {
    if (q.bitLength() > largestTestedPrimeBits) {
        return Primality::tooLargeToTest;
    }
    if (q.lessThan(Natural(5)) || (q.limbs()[0] & 1U) == 0) {
        return q == Natural(2) || q == Natural(3) ? Primality::prime : Primality::composite;
    }
    Natural modulus(q);
    Natural d = difference(q, Natural(1));
    std::size_t s = 0;
    while ((d.limbs()[0] & 1U) == 0) {
        d.halve();
        ++s;
    }
    const Natural baseCount = difference(q, Natural(3));
    for (std::size_t round = 0; round < primeTestRounds; ++round) {
        const Natural base = sum(uniformBelow(baseCount, random), Natural(2));
        if (witnessesComposite(modulus, base, d, s)) {
            return Primality::composite;
        }
    }
    return Primality::prime;
}

CurveVerdicts checkCurve(const KeyExchange& state, const curve::CurvePoint& publicPoint,
                         RandomSource& random) {
    const Modular fourACubed = timesSmall(cube(state.A()), 4);
    const Modular discriminant = sum(fourACubed, timesSmall(square(state.B()), 27));
    CurveVerdicts verdicts;
    verdicts.bits = state.q().bitLength();
    verdicts.q = testPrimality(state.q(), random);
    // Modulo 2 the test says nothing: there every curve y^2 = x^3 + A x + B has a singular point.
    verdicts.nonSingular = discriminant.value().differsFrom(0) && state.q() != Natural(2);
    verdicts.pOnCurve = state.P().isOnCurve();
    verdicts.publicPointOnCurve = publicPoint.isOnCurve();
    return verdicts;
}

}  // namespace app
