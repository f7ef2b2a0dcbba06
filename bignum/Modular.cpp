#include "bignum/Modular.h"

#include "bignum/ArithmeticError.h"
#include "bignum/Integer.h"

namespace bignum {

namespace {

void requireSameModulus(const Natural& m, const Natural& n) {
    if (m != n) {
        throw ArithmeticError(ArithmeticError::Kind::differentModuli);
    }
}

}  // namespace

Modular::Modular(Natural& modulus) : modulus_(&modulus) {}

Modular::Modular(Natural& modulus, const Natural& initial) : value_(initial), modulus_(&modulus) {
    value_.reduce(*modulus_);
}

void Modular::assign(const Modular& y) {
    value_.assign(y.value_);
    modulus_ = y.modulus_;
}

bool Modular::equals(const Modular& y) const noexcept {
    return value_ == y.value_ && *modulus_ == *y.modulus_;
}

void Modular::negate() {
    if (value_.length() == 0) {
        return;
    }
    Natural negated = difference(*modulus_, value_);
    value_.swap(negated);
}

void Modular::add(const Modular& y) {
    requireSameModulus(*modulus_, *y.modulus_);
    value_.add(y.value_);
    if (!value_.lessThan(*modulus_)) {
        value_.subtract(*modulus_);
    }
}

void Modular::subtract(const Modular& y) {
    requireSameModulus(*modulus_, *y.modulus_);
    if (value_.lessThan(y.value_)) {
        Natural wrapped = sum(*modulus_, value_);
        wrapped.subtract(y.value_);
        value_.swap(wrapped);
    } else {
        value_.subtract(y.value_);
    }
}

void Modular::multiplyBy(const Modular& y) {
    Modular p = product(*this, y);
    value_.swap(p.value_);
    modulus_ = p.modulus_;
}

void Modular::raise(Natural& e) {
    if (e.length() == 0) {
        value_.assign(Natural(1));
        return;
    }
    Modular accumulator(*modulus_, Natural(1));
    while (e.differsFrom(1)) {
        if ((e.limbs()[0] & 1u) != 0) {
            accumulator.multiplyBy(*this);
            e.decrementFrom(0);
        } else {
            Modular squared = square(*this);
            value_.swap(squared.value_);
            modulus_ = squared.modulus_;
            e.halve();
        }
    }
    multiplyBy(accumulator);
}

void Modular::invert() {
    Integer coefficientOfModulus(*modulus_);
    Integer coefficientOfValue(value_);
    const Integer g = extendedGcd(coefficientOfModulus, coefficientOfValue);
    // A value that shares a divisor with the modulus has no inverse and stays as it is.
    if (g.equalsSmall(1)) {
        coefficientOfValue.reduce(*modulus_);
        value_.assign(coefficientOfValue.magnitude());
    }
}

Modular sum(const Modular& x, const Modular& y) {
    Modular r(x);
    r.add(y);
    return r;
}

Modular difference(const Modular& x, const Modular& y) {
    Modular r(x);
    r.subtract(y);
    return r;
}

Modular timesSmall(const Modular& x, std::uint32_t k) {
    return Modular(x.modulus(), productByLimb(x.value(), k));
}

Modular product(const Modular& x, const Modular& y) {
    return Modular(x.modulus(), product(x.value(), y.value()));
}

Modular square(const Modular& x) {
    return Modular(x.modulus(), square(x.value()));
}

Modular power(const Modular& x, Natural e) {
    Modular r(x);
    r.raise(e);
    return r;
}

Modular cube(const Modular& x) {
    return power(x, Natural(3));
}

Modular inverse(const Modular& x) {
    Modular r(x);
    r.invert();
    return r;
}

Modular quotient(const Modular& x, const Modular& y) {
    Modular r = inverse(y);
    r.multiplyBy(x);
    return r;
}

}  // namespace bignum
