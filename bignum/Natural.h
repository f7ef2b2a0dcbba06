#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string_view>

namespace bignum {

using Limb = std::uint32_t;
// The width of a limb, which every count of bits or digits per limb derives from.
inline constexpr std::size_t limbBits = 8 * sizeof(Limb);

// An unsigned integer of up to 2^20 bits: 32-bit limbs, limb 0 least significant, always in
// normal form (no zero top limb; zero has length 0). Owns its limb array and the buffer of its
// last hex rendering; a copy gets its own limbs and never the rendered text.
//
// Capacity: the array holds a power of two of limbs, from 1 to maxLimbs. Asked for n limbs, the
// policy halves the capacity while n < capacity / 4, then doubles it while n > capacity, so any
// n in [capacity / 4, capacity] costs no allocation. A new value starts from capacity 1 and
// takes the policy for its length. Setting a value (assign, setLimbs) takes the policy for the
// new length; an operation that grows a value takes it each time the value outgrows its array
// (add for the longer operand's length, then for one limb more when the sum carries), and one
// that shrinks it takes it once for the new length; fromHex and becoming zero first take it for
// one limb. reduce and divide grow the divisor's array for one limb more than the dividend and
// then let the policy shrink it back to the divisor's length, as shifting the divisor up and
// back down would.
class Natural {
  public:
    // The largest capacity the doubling policy can reach; larger requests throw std::bad_alloc.
    static constexpr std::size_t maxLimbs = 32768;
    // The digit value of each of the 256 bytes.
    using DigitValues = std::array<std::uint8_t, 256>;

    Natural();                     // zero, with capacity 1
    explicit Natural(Limb value);  // the one way to make a small value; capacity 1
    Natural(const Natural& source);
    Natural& operator=(const Natural& source) {
        assign(source);
        return *this;
    }
    ~Natural() = default;

    // Exchanges the numbers (limbs, length, capacity) of two values; rendered texts stay put.
    void swap(Natural& other) noexcept;

    std::size_t capacity() const noexcept { return capacity_; }
    std::size_t length() const noexcept { return length_; }
    // The significant limbs, least significant first; empty for zero.
    std::span<const Limb> limbs() const noexcept { return {limbs_.get(), length_}; }

    // Copies the source's number; assigning a value to itself changes nothing.
    void assign(const Natural& source);

    // Applies the capacity policy for n limbs. Never changes length, and keeps the number
    // whether or not preserve is set, except that a shrink below length keeps only the limbs
    // that fit (then normalised). Throws std::bad_alloc for n > maxLimbs or when memory runs
    // out, leaving the value exactly as it was.
    void resize(std::size_t n, bool preserve);

    // Replaces the value by the number whose limbs are given, least significant first; zero
    // limbs at the top are dropped. Throws std::bad_alloc beyond maxLimbs.
    void setLimbs(std::span<const Limb> limbs);

    // Replaces the value by the number the text denotes: v <- 16*v + d(c) for every byte c up to
    // the end of the text or its first NUL, whichever comes first. Rejects no byte: d maps all
    // 256 bytes to digit values ("0"-"9", "A"-"F" and "a"-"f" as usual; other bytes carry into
    // the digits already read). Throws std::bad_alloc beyond maxLimbs, leaving the value as it
    // was.
    void fromHex(std::string_view text);
    // The same accumulation with other digit values, as point text reads its coordinates.
    void fromDigits(std::string_view text, const DigitValues& digitValues);

    // Canonical upper-case hex, no leading zeros, "0" for zero. The address points into this
    // value's own text buffer and stays valid until the next toHex on it or its destruction.
    const char* toHex() const;

    // The number of bits up to the highest set one; 0 for zero.
    std::size_t bitLength() const noexcept;
    // Bit i, 0 the lowest; false at and above bitLength().
    bool bit(std::size_t i) const noexcept;

    bool differsFrom(Limb w) const noexcept;
    bool lessThan(const Natural& other) const noexcept;
    bool greaterThan(const Natural& other) const noexcept { return other.lessThan(*this); }
    friend bool operator==(const Natural& a, const Natural& b) noexcept;

    // Adds 2^(32k). Throws std::invalid_argument "Natural is not that big" when k > length.
    void incrementFrom(std::size_t k);
    // Subtracts 2^(32k); a borrow out of the top limb leaves zero. Throws std::invalid_argument
    // "Natural not that big" when k > length.
    void decrementFrom(std::size_t k);

    // In place: x <- x + y. y may be this value.
    void add(const Natural& y);
    // In place: x <- x - y. Throws std::invalid_argument "result would be negative" when x < y,
    // leaving x unchanged. y may be this value.
    void subtract(const Natural& y);
    // In place: x <- floor(x / 2).
    void halve();
    // In place: x <- x * 2^bits; zero stays zero without allocating.
    void shiftLeft(std::size_t bits);
    // In place: x <- x mod m; m = 0 leaves x unchanged. m may be this value (the result is zero).
    // m is non-constant for its capacity only (see Capacity above); its number never changes.
    void reduce(Natural& m);

  private:
    friend Natural divide(Natural& x, Natural& d);

    // The capacity the policy reaches from `capacity` for n limbs; throws std::bad_alloc for
    // n > maxLimbs.
    static std::size_t policyCapacity(std::size_t capacity, std::size_t n);

    Limb* data() noexcept { return limbs_.get(); }
    void setLength(std::size_t n) noexcept;
    // Lowers length past zero top limbs.
    void normalise() noexcept;
    // Becomes the number in the n limbs at source, which may lie in this value's own array.
    void assignLimbs(const Limb* source, std::size_t n);
    // Becomes zero after resize(1) without copying limbs.
    void becomeZero();
    // Replaces the value by its remainder modulo d, for d not above it, and writes the quotient's
    // length() - d.length() + 1 limbs to quotient unless it is empty. d grows to a limb more than
    // this value and shrinks back, as shifting it up and back down would.
    void divideInPlace(Natural& d, std::span<Limb> quotient);

    std::uint16_t capacity_;  // 32768 fits; the policy never goes above it
    std::unique_ptr<Limb[]> limbs_;
    mutable std::unique_ptr<char[]> text_;
    std::uint16_t length_;
};

Natural sum(const Natural& a, const Natural& b);
// Throws std::invalid_argument "result would be negative" when a < b.
Natural difference(const Natural& a, const Natural& b);
Natural square(const Natural& a);
Natural product(const Natural& a, const Natural& b);
Natural productByLimb(const Natural& a, Limb w);
// Returns floor(x / d) and leaves x holding x mod d. d is non-constant for its capacity only
// (see Capacity above). Throws std::invalid_argument "divide by 0 error" when d = 0, with
// nothing changed. When x and d are the same object the quotient is 1 and the remainder zero.
Natural divide(Natural& x, Natural& d);

}  // namespace bignum
