#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string_view>

namespace bignum {

using Limb = std::uint32_t;

// An unsigned integer of up to 2^20 bits: 32-bit limbs, limb 0 least significant, always in
// normal form (no zero top limb; zero has length 0). Owns its limb array and the buffer of its
// last hex rendering; a copy gets its own limbs and never the rendered text.
class Natural {
  public:
    // The largest capacity the doubling policy can reach; larger requests throw std::bad_alloc.
    static constexpr std::size_t maxLimbs = 32768;

    Natural();  // zero, with capacity 1
    Natural(const Natural& source);
    Natural& operator=(const Natural& source);  // same as assign
    ~Natural() = default;

    // Exchanges the numbers (limbs, length, capacity) of two values; rendered texts stay put.
    void swap(Natural& other) noexcept;

    std::size_t capacity() const noexcept { return capacity_; }
    std::size_t length() const noexcept { return length_; }
    // The significant limbs, least significant first; empty for zero.
    std::span<const Limb> limbs() const noexcept { return {limbs_.get(), length_}; }

    // Copies the source's number; assigning a value to itself changes nothing.
    void assign(const Natural& source);

    // Applies the capacity policy: grows by doubling, halves only while n < capacity/4, and
    // allocates nothing when capacity/4 <= n <= capacity. With preserve the limbs below length
    // are kept. Never changes length. Throws std::bad_alloc for n > maxLimbs or when memory
    // runs out, leaving the value exactly as it was. The number is kept whether or not preserve
    // is set, except that a shrink below length keeps only the limbs that fit (then normalised),
    // so that length never exceeds capacity.
    void resize(std::size_t n, bool preserve);

    // Replaces the value by the number whose limbs are given, least significant first; zero
    // limbs at the top are dropped.
    void setLimbs(std::span<const Limb> limbs);

    // Replaces the value by the number the text denotes: v <- 16*v + d(c) for every byte c up to
    // the end of the text or its first NUL, whichever comes first. Rejects no byte: d maps all
    // 256 bytes to digit values ("0"-"9", "A"-"F" and "a"-"f" as usual; other bytes carry into
    // the digits already read). Throws std::bad_alloc beyond maxLimbs.
    void fromHex(std::string_view text);

    // Canonical upper-case hex, no leading zeros, "0" for zero. The address points into this
    // value's own text buffer and stays valid until the next toHex on it or its destruction.
    const char* toHex() const;

    bool differsFrom(Limb w) const noexcept;
    bool lessThan(const Natural& other) const noexcept;
    bool greaterThan(const Natural& other) const noexcept;
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
    // In place: x <- x mod m; m = 0 leaves x unchanged. m may be shifted in place during the
    // call and holds its own value again on return. m may be this value (the result is zero).
    void reduce(Natural& m);

  private:
    friend Natural sum(const Natural& a, const Natural& b);
    friend Natural difference(const Natural& a, const Natural& b);
    friend Natural square(const Natural& a);
    friend Natural product(const Natural& a, const Natural& b);
    friend Natural productByLimb(const Natural& a, Limb w);
    friend Natural divide(Natural& x, Natural& d);

    struct Uninitialised {};
    // Length 0 and an array of the given capacity, filled by the caller.
    Natural(std::size_t capacity, Uninitialised);

    // The capacity the policy of resize reaches from `capacity` for n limbs.
    static std::size_t policyCapacity(std::size_t capacity, std::size_t n);

    Limb* data() noexcept { return limbs_.get(); }
    void setLength(std::size_t n) noexcept;
    // Lowers length past zero top limbs.
    void normalise() noexcept;
    // Installs a new array of the given capacity holding the first `keep` limbs.
    void replaceArray(std::size_t capacity, std::size_t keep);
    // Becomes the number in the n limbs at source, which may lie in this value's own array.
    void assignLimbs(const Limb* source, std::size_t n);
    // Becomes zero after resize(1) without copying limbs.
    void becomeZero();
    // The number of limbs of floor(this / m) for m > 0; zero when this < m.
    std::size_t quotientLength(std::span<const Limb> m) const noexcept;
    // Replaces the value by its remainder modulo m > 0, given digits = quotientLength(m) > 0,
    // and writes the quotient's limbs to quotient unless it is null. Allocates only scratch
    // space beyond curve sizes, before anything changes.
    void divideInPlace(std::span<const Limb> m, std::size_t digits, Limb* quotient);

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
// Returns floor(x / d) and leaves x holding x mod d. d may be shifted in place during the call
// and holds its own value again on return. Throws std::invalid_argument "divide by 0 error"
// when d = 0, with nothing changed. When x and d are the same object the quotient is 1 and the
// remainder zero.
Natural divide(Natural& x, Natural& d);

}  // namespace bignum
