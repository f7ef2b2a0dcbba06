#pragma once

#include <cstdint>

#include "bignum/Natural.h"

namespace bignum {

// A signed integer for the extended Euclidean algorithm: an owned magnitude and a sign flag.
// Zero is always stored non-negative.
class Integer {
  public:
    Integer();                                   // zero
    explicit Integer(const Natural& magnitude);  // non-negative copy
    Integer(const Integer& other) = default;
    Integer& operator=(const Integer& other) {
        assign(other);
        return *this;
    }

    void assign(const Integer& other);

    const Natural& magnitude() const noexcept { return magnitude_; }
    bool nonNegative() const noexcept { return nonNegative_ != 0; }

    void setSmall(std::int32_t v);
    // True exactly when the value is the non-negative v.
    bool equalsSmall(std::uint32_t v) const noexcept;
    void increment();
    void decrement();
    // In place: this <- this - b; b may be this object.
    void subtract(const Integer& b);
    // Euclidean division: returns q and leaves r in this object, with this = q*d + r and
    // 0 <= r < |d|. d's value never changes, but the division may change its capacity (see
    // Natural). Throws std::invalid_argument "divide by 0 error" when d = 0, with nothing
    // changed.
    Integer divide(Integer& d);
    // In place: the least non-negative residue modulo m > 0.
    void reduce(Natural& m);

  private:
    friend Integer product(const Integer& a, const Integer& b);
    friend Integer extendedGcd(Integer& a, Integer& b);

    // Exchanges the values without copying limbs; rendered texts stay put.
    void swap(Integer& other) noexcept;

    Natural magnitude_;
    std::uint8_t nonNegative_;
};

Integer product(const Integer& a, const Integer& b);

// Returns g = gcd and replaces a and b by s and t with s*a0 + t*b0 = g. Throws
// std::invalid_argument "divide by 0 error" when the smaller operand is zero, leaving both
// operands unchanged.
Integer extendedGcd(Integer& a, Integer& b);

}  // namespace bignum
