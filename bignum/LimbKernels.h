#pragma once

// Limb-array loops behind Natural: each works on spans of 32-bit limbs, least significant
// first, and returns the carry, borrow or bits that leave the span. Private to bignum/.

#include <cassert>
#include <cstddef>
#include <cstdint>
#include <span>
#include <utility>

#include "bignum/Natural.h"

namespace bignum::kernels {

using Wide = std::uint64_t;

constexpr unsigned limbBits = 32;

constexpr Limb lowHalf(Wide w) noexcept {
    return static_cast<Limb>(w);
}
constexpr Limb highHalf(Wide w) noexcept {
    return static_cast<Limb>(w >> limbBits);
}

// r = a + b + carry over equal lengths; r may be a or b. Returns the carry out (0 or 1).
inline Limb add(std::span<Limb> r, std::span<const Limb> a, std::span<const Limb> b,
                Limb carry = 0) noexcept {
    assert(a.size() == r.size() && b.size() == r.size());
    Wide t = carry;
    for (std::size_t i = 0; i < r.size(); ++i) {
        t += Wide{a[i]} + b[i];
        r[i] = lowHalf(t);
        t >>= limbBits;
    }
    return lowHalf(t);
}

// r = a + carry over equal lengths; r may be a. Returns the carry out.
inline Limb addCarry(std::span<Limb> r, std::span<const Limb> a, Limb carry) noexcept {
    assert(a.size() == r.size());
    std::size_t i = 0;
    for (; carry != 0 && i < r.size(); ++i) {
        const Limb s = a[i] + carry;
        carry = s < carry ? 1 : 0;
        r[i] = s;
    }
    if (r.data() != a.data()) {
        for (; i < r.size(); ++i) {
            r[i] = a[i];
        }
    }
    return carry;
}

// r = a - b - borrow over equal lengths; r may be a or b. Returns the borrow out (0 or 1).
inline Limb subtract(std::span<Limb> r, std::span<const Limb> a, std::span<const Limb> b,
                     Limb borrow = 0) noexcept {
    assert(a.size() == r.size() && b.size() == r.size());
    Wide t = 0;
    for (std::size_t i = 0; i < r.size(); ++i) {
        t = Wide{a[i]} - b[i] - borrow;
        r[i] = lowHalf(t);
        borrow = highHalf(t) & 1;
    }
    return borrow;
}

// r = a - borrow over equal lengths; r may be a. Returns the borrow out.
inline Limb subtractBorrow(std::span<Limb> r, std::span<const Limb> a, Limb borrow) noexcept {
    assert(a.size() == r.size());
    std::size_t i = 0;
    for (; borrow != 0 && i < r.size(); ++i) {
        const Limb old = a[i];
        r[i] = old - borrow;
        borrow = old < borrow ? 1 : 0;
    }
    if (r.data() != a.data()) {
        for (; i < r.size(); ++i) {
            r[i] = a[i];
        }
    }
    return borrow;
}

// r = a * w; returns the limb above r.
inline Limb multiplyByLimb(std::span<Limb> r, std::span<const Limb> a, Limb w) noexcept {
    assert(a.size() == r.size());
    Wide carry = 0;
    for (std::size_t i = 0; i < r.size(); ++i) {
        carry += Wide{a[i]} * w;
        r[i] = lowHalf(carry);
        carry >>= limbBits;
    }
    return lowHalf(carry);
}

// r += a * w; returns the limb carried out of r.
inline Limb multiplyAdd(std::span<Limb> r, std::span<const Limb> a, Limb w) noexcept {
    assert(a.size() == r.size());
    Wide carry = 0;
    for (std::size_t i = 0; i < r.size(); ++i) {
        // At most (2^32 - 1)^2 + 2 * (2^32 - 1) = 2^64 - 1: never overflows.
        carry += Wide{a[i]} * w + r[i];
        r[i] = lowHalf(carry);
        carry >>= limbBits;
    }
    return lowHalf(carry);
}

// r -= a * w; returns the limb borrowed from above r.
inline Limb multiplySubtract(std::span<Limb> r, std::span<const Limb> a, Limb w) noexcept {
    assert(a.size() == r.size());
    Wide carry = 0;
    for (std::size_t i = 0; i < r.size(); ++i) {
        carry += Wide{a[i]} * w;
        const Limb low = lowHalf(carry);
        carry >>= limbBits;
        const Limb old = r[i];
        r[i] = old - low;
        carry += old < low ? 1 : 0;
    }
    return lowHalf(carry);
}

// r = a << bits for 0 < bits < 32; returns the bits shifted out of the top. Runs downwards, so
// r may start at or above a in the same array.
inline Limb shiftLeft(std::span<Limb> r, std::span<const Limb> a, unsigned bits) noexcept {
    assert(a.size() == r.size() && bits > 0 && bits < limbBits);
    if (r.empty()) {
        return 0;
    }
    const unsigned back = limbBits - bits;
    const Limb out = a[a.size() - 1] >> back;
    for (std::size_t i = r.size() - 1; i > 0; --i) {
        r[i] = (a[i] << bits) | (a[i - 1] >> back);
    }
    r[0] = a[0] << bits;
    return out;
}

// r = a >> bits for 0 < bits < 32, with `in` shifted into the top; returns the bits shifted out
// of the bottom, left-aligned. Runs upwards, so r may start at or below a in the same array.
inline Limb shiftRight(std::span<Limb> r, std::span<const Limb> a, unsigned bits,
                       Limb in = 0) noexcept {
    assert(a.size() == r.size() && bits > 0 && bits < limbBits);
    if (r.empty()) {
        return 0;
    }
    const unsigned back = limbBits - bits;
    const Limb out = a[0] << back;
    const std::size_t top = r.size() - 1;
    for (std::size_t i = 0; i < top; ++i) {
        r[i] = (a[i] >> bits) | (a[i + 1] << back);
    }
    r[top] = (a[top] >> bits) | (in << back);
    return out;
}

// Compares equal-length numbers: negative, zero or positive as a <, = or > b.
inline int compare(std::span<const Limb> a, std::span<const Limb> b) noexcept {
    assert(a.size() == b.size());
    for (std::size_t i = a.size(); i > 0; --i) {
        if (a[i - 1] != b[i - 1]) {
            return a[i - 1] < b[i - 1] ? -1 : 1;
        }
    }
    return 0;
}

// True when a + b, with the shorter one padded with zero limbs, needs one limb more than the
// longer one. Decided from the top; usually the first limb pair settles it.
inline bool sumOverflows(std::span<const Limb> a, std::span<const Limb> b) noexcept {
    const std::size_t n = a.size() > b.size() ? a.size() : b.size();
    constexpr Wide full = 0xFFFFFFFFu;
    for (std::size_t i = n; i > 0; --i) {
        const Wide s = Wide{i <= a.size() ? a[i - 1] : 0u} + (i <= b.size() ? b[i - 1] : 0u);
        if (s != full) {
            return s > full;
        }
    }
    return false;
}

// r = a * b, operand scanning with 64-bit accumulators. r has a.size() + b.size() limbs and
// shares no limb with a or b.
inline void multiply(std::span<Limb> r, std::span<const Limb> a, std::span<const Limb> b) noexcept {
    assert(r.size() == a.size() + b.size());
    if (a.size() < b.size()) {
        std::swap(a, b);
    }
    // The longer operand runs in the inner loop.
    const std::size_t n = a.size();
    if (b.empty()) {
        for (Limb& limb : r) {
            limb = 0;
        }
        return;
    }
    r[n] = multiplyByLimb(r.first(n), a, b[0]);
    for (std::size_t j = 1; j < b.size(); ++j) {
        r[j + n] = b[j] == 0 ? 0 : multiplyAdd(r.subspan(j, n), a, b[j]);
    }
}

// r = a * a with each cross product formed once. r has 2 * a.size() limbs and shares no limb
// with a.
inline void square(std::span<Limb> r, std::span<const Limb> a) noexcept {
    const std::size_t n = a.size();
    assert(r.size() == 2 * n);
    for (Limb& limb : r) {
        limb = 0;
    }
    if (n == 0) {
        return;
    }
    for (std::size_t i = 0; i + 1 < n; ++i) {
        if (a[i] != 0) {
            r[i + n] = multiplyAdd(r.subspan(2 * i + 1, n - i - 1), a.subspan(i + 1), a[i]);
        }
    }
    // Double the cross products and add the squares of the limbs in one pass.
    Limb shiftedOut = 0;
    Wide carry = 0;
    for (std::size_t i = 0; i < n; ++i) {
        const Wide diagonal = Wide{a[i]} * a[i];
        const Limb low = r[2 * i];
        const Limb high = r[2 * i + 1];
        carry += Wide{static_cast<Limb>((low << 1) | shiftedOut)} + lowHalf(diagonal);
        r[2 * i] = lowHalf(carry);
        carry >>= limbBits;
        carry += Wide{static_cast<Limb>((high << 1) | (low >> 31))} + highHalf(diagonal);
        r[2 * i + 1] = lowHalf(carry);
        carry >>= limbBits;
        shiftedOut = high >> 31;
    }
    assert(carry == 0 && shiftedOut == 0);
}

// Divides high * 2^(32 * a.size()) + a by the one-limb d > high from the top down, writing
// the quotient to q (same length as a; q may be a) when q is non-empty. Returns the remainder.
inline Limb divideByLimb(std::span<Limb> q, std::span<const Limb> a, Limb d,
                         Limb high = 0) noexcept {
    assert(d > high && (q.empty() || q.size() == a.size()));
    Wide remainder = high;
    for (std::size_t i = a.size(); i > 0; --i) {
        const Wide numerator = (remainder << limbBits) | a[i - 1];
        if (!q.empty()) {
            q[i - 1] = lowHalf(numerator / d);
        }
        remainder = numerator % d;
    }
    return lowHalf(remainder);
}

}  // namespace bignum::kernels
