#pragma once

#include <cstdint>

#include "bignum/Natural.h"

namespace bignum {

// A residue modulo a modulus: an owned value, kept below the modulus when its operands were,
// and a non-owning pointer to the modulus, which must outlive the residue. The modulus is not
// constant because a reduction by it may change its capacity (see Natural), never its number.
class Modular {
  public:
    explicit Modular(Natural& modulus);                 // zero
    Modular(Natural& modulus, const Natural& initial);  // initial mod modulus
    Modular(const Modular& other) = default;
    Modular& operator=(const Modular& other) {
        assign(other);
        return *this;
    }

    // Copies y's value and its modulus pointer.
    void assign(const Modular& y);

    const Natural& value() const noexcept { return value_; }
    // For storing a parsed number; the caller reduces it.
    Natural& value() noexcept { return value_; }
    Natural& modulus() const noexcept { return *modulus_; }

    // Equal values and moduli equal in value; the pointers are not compared.
    bool equals(const Modular& y) const noexcept;

    void negate();
    // add and subtract throw std::invalid_argument "Modulus must be the same!" when the moduli
    // differ in value, leaving this unchanged.
    void add(const Modular& y);
    void subtract(const Modular& y);
    void multiplyBy(const Modular& y);
    // In place: x^e. Consumes e, which ends as 1 (or stays 0).
    void raise(Natural& e);
    // In place: x^-1; a value with no inverse is left unchanged. Throws std::invalid_argument
    // "divide by 0 error" for zero, leaving it unchanged.
    void invert();

  private:
    Natural value_;
    Natural* modulus_;
};

// New residues take the first operand's modulus, except quotient, which takes the divisor's.
Modular sum(const Modular& x, const Modular& y);
Modular difference(const Modular& x, const Modular& y);
Modular timesSmall(const Modular& x, std::uint32_t k);
Modular product(const Modular& x, const Modular& y);
Modular square(const Modular& x);
Modular power(const Modular& x, Natural e);
Modular cube(const Modular& x);
Modular inverse(const Modular& x);
// x * y^-1, or x * y when y has no inverse. Throws "divide by 0 error" when y is zero.
Modular quotient(const Modular& x, const Modular& y);

}  // namespace bignum
