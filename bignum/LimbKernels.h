#pragma once

// Loops over arrays of machine words behind Natural, least significant first. Each works on
// spans and returns the carry, borrow or bits that leave them. The word type W is Natural's
// 32-bit limb, or a 64-bit word where the compiler has a 128-bit type, into which Natural packs
// limb pairs for multiplication and division. Private to bignum/.

#include <bit>
#include <cassert>
#include <cstddef>
#include <cstdint>
#include <span>
#include <utility>

namespace bignum::kernels {

template <class W>
struct DoubleOf;
template <>
struct DoubleOf<std::uint32_t> {
    using type = std::uint64_t;
};
#ifdef __SIZEOF_INT128__
__extension__ using UInt128 = unsigned __int128;
template <>
struct DoubleOf<std::uint64_t> {
    using type = UInt128;
};
using Word = std::uint64_t;
#else
using Word = std::uint32_t;
#endif

// Twice the width of W: holds any product of two words plus two words.
template <class W>
using Double = typename DoubleOf<W>::type;

template <class W>
constexpr unsigned bitsOf = 8 * sizeof(W);

template <class W>
constexpr W low(Double<W> d) noexcept {
    return static_cast<W>(d);
}
template <class W>
constexpr W high(Double<W> d) noexcept {
    return static_cast<W>(d >> bitsOf<W>);
}

// r = a + b + carry over equal lengths; r may be a or b. Returns the carry out (0 or 1).
template <class W>
W add(std::span<W> r, std::span<const W> a, std::span<const W> b, W carry = 0) noexcept {
    assert(a.size() == r.size() && b.size() == r.size());
    for (std::size_t i = 0; i < r.size(); ++i) {
        const Double<W> t = Double<W>{a[i]} + b[i] + carry;
        r[i] = low<W>(t);
        carry = high<W>(t);
    }
    return carry;
}

// r = a + carry over equal lengths; r may be a. Returns the carry out.
template <class W>
W addCarry(std::span<W> r, std::span<const W> a, W carry) noexcept {
    assert(a.size() == r.size());
    std::size_t i = 0;
    for (; carry != 0 && i < r.size(); ++i) {
        r[i] = a[i] + carry;
        carry = r[i] < carry ? 1 : 0;
    }
    if (r.data() != a.data()) {
        for (; i < r.size(); ++i) {
            r[i] = a[i];
        }
    }
    return carry;
}

// r = a - b - borrow over equal lengths; r may be a or b. Returns the borrow out (0 or 1).
template <class W>
W subtract(std::span<W> r, std::span<const W> a, std::span<const W> b, W borrow = 0) noexcept {
    assert(a.size() == r.size() && b.size() == r.size());
    for (std::size_t i = 0; i < r.size(); ++i) {
        const Double<W> t = Double<W>{a[i]} - b[i] - borrow;
        r[i] = low<W>(t);
        borrow = high<W>(t) & 1;
    }
    return borrow;
}

// r = a - borrow over equal lengths; r may be a. Returns the borrow out.
template <class W>
W subtractBorrow(std::span<W> r, std::span<const W> a, W borrow) noexcept {
    assert(a.size() == r.size());
    std::size_t i = 0;
    for (; borrow != 0 && i < r.size(); ++i) {
        const W old = a[i];
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

// r = a * w; returns the word above r.
template <class W>
W multiplyByWord(std::span<W> r, std::span<const W> a, W w) noexcept {
    assert(a.size() == r.size());
    W carry = 0;
    for (std::size_t i = 0; i < r.size(); ++i) {
        const Double<W> t = Double<W>{a[i]} * w + carry;
        r[i] = low<W>(t);
        carry = high<W>(t);
    }
    return carry;
}

// r += a * w; returns the word carried out of r.
template <class W>
W multiplyAdd(std::span<W> r, std::span<const W> a, W w) noexcept {
    assert(a.size() == r.size());
    W carry = 0;
    for (std::size_t i = 0; i < r.size(); ++i) {
        // At most (B - 1)^2 + 2 (B - 1) = B^2 - 1 for word base B: never overflows.
        const Double<W> t = Double<W>{a[i]} * w + r[i] + carry;
        r[i] = low<W>(t);
        carry = high<W>(t);
    }
    return carry;
}

// r -= a * w; returns the word borrowed from above r.
template <class W>
W multiplySubtract(std::span<W> r, std::span<const W> a, W w) noexcept {
    assert(a.size() == r.size());
    W carry = 0;
    for (std::size_t i = 0; i < r.size(); ++i) {
        const Double<W> t = Double<W>{a[i]} * w + carry;
        const W part = low<W>(t);
        const W old = r[i];
        r[i] = old - part;
        carry = high<W>(t) + (old < part ? 1 : 0);
    }
    return carry;
}

// r = a << bits for 0 < bits < word width; returns the bits shifted out of the top. Runs
// downwards, so r may start at or above a in the same array.
template <class W>
W shiftLeft(std::span<W> r, std::span<const W> a, unsigned bits) noexcept {
    assert(a.size() == r.size() && bits > 0 && bits < bitsOf<W>);
    if (r.empty()) {
        return 0;
    }
    const unsigned back = bitsOf<W> - bits;
    const W out = a[a.size() - 1] >> back;
    for (std::size_t i = r.size() - 1; i > 0; --i) {
        r[i] = static_cast<W>(a[i] << bits) | (a[i - 1] >> back);
    }
    r[0] = static_cast<W>(a[0] << bits);
    return out;
}

// r = a >> bits for 0 < bits < word width. Runs upwards, so r may start at or below a.
template <class W>
void shiftRight(std::span<W> r, std::span<const W> a, unsigned bits) noexcept {
    assert(a.size() == r.size() && bits > 0 && bits < bitsOf<W>);
    const unsigned back = bitsOf<W> - bits;
    for (std::size_t i = 0; i + 1 < r.size(); ++i) {
        r[i] = (a[i] >> bits) | static_cast<W>(a[i + 1] << back);
    }
    if (!r.empty()) {
        r[r.size() - 1] = a[a.size() - 1] >> bits;
    }
}

// Compares equal-length numbers: negative, zero or positive as a <, = or > b.
template <class W>
int compare(std::span<const W> a, std::span<const W> b) noexcept {
    assert(a.size() == b.size());
    for (std::size_t i = a.size(); i > 0; --i) {
        if (a[i - 1] != b[i - 1]) {
            return a[i - 1] < b[i - 1] ? -1 : 1;
        }
    }
    return 0;
}

// True when a + b, the shorter padded with zero words, needs one word more than the longer.
// Decided from the top; usually the first pair settles it.
template <class W>
bool sumOverflows(std::span<const W> a, std::span<const W> b) noexcept {
    const std::size_t n = a.size() > b.size() ? a.size() : b.size();
    for (std::size_t i = n; i > 0; --i) {
        const W x = i <= a.size() ? a[i - 1] : 0;
        const W y = i <= b.size() ? b[i - 1] : 0;
        if (static_cast<W>(x + y) != static_cast<W>(~W{0})) {
            return static_cast<W>(x + y) < x;
        }
    }
    return false;
}

// r = a * b by operand scanning. r has a.size() + b.size() words and shares none with a or b.
template <class W>
void multiply(std::span<W> r, std::span<const W> a, std::span<const W> b) noexcept {
    assert(r.size() == a.size() + b.size());
    if (a.size() < b.size()) {
        std::swap(a, b);  // the longer operand runs in the inner loop
    }
    const std::size_t n = a.size();
    if (b.empty()) {
        for (W& word : r) {
            word = 0;
        }
        return;
    }
    r[n] = multiplyByWord(r.first(n), a, b[0]);
    for (std::size_t j = 1; j < b.size(); ++j) {
        r[j + n] = b[j] == 0 ? 0 : multiplyAdd(r.subspan(j, n), a, b[j]);
    }
}

// r = a * a, forming each cross product once, doubling their sum and adding the squares of
// the words. r has 2 * a.size() words and shares none with a.
template <class W>
void square(std::span<W> r, std::span<const W> a) noexcept {
    const std::size_t n = a.size();
    assert(r.size() == 2 * n);
    for (W& word : r) {
        word = 0;
    }
    for (std::size_t i = 0; i + 1 < n; ++i) {
        r[i + n] =
            a[i] == 0 ? 0 : multiplyAdd(r.subspan(2 * i + 1, n - i - 1), a.subspan(i + 1), a[i]);
    }
    constexpr unsigned top = bitsOf<W> - 1;
    W shiftedOut = 0;
    W carry = 0;
    for (std::size_t i = 0; i < n; ++i) {
        const Double<W> diagonal = Double<W>{a[i]} * a[i];
        const W lower = r[2 * i];
        const W upper = r[2 * i + 1];
        Double<W> t = Double<W>{static_cast<W>(lower << 1) | shiftedOut} + low<W>(diagonal) + carry;
        r[2 * i] = low<W>(t);
        t = Double<W>{static_cast<W>(upper << 1) | (lower >> top)} + high<W>(diagonal) + high<W>(t);
        r[2 * i + 1] = low<W>(t);
        carry = high<W>(t);
        shiftedOut = upper >> top;
    }
    assert(carry == 0 && shiftedOut == 0);
}

// Divides high * B^a.size() + a by the one word d > high from the top down, writing the
// quotient to q (same length as a; q may be a) when q is non-empty. Returns the remainder.
template <class W>
W divideByWord(std::span<W> q, std::span<const W> a, W d, W high = 0) noexcept {
    assert(d > high && (q.empty() || q.size() == a.size()));
    Double<W> remainder = high;
    for (std::size_t i = a.size(); i > 0; --i) {
        const Double<W> numerator = (remainder << bitsOf<W>) | a[i - 1];
        if (!q.empty()) {
            q[i - 1] = low<W>(numerator / d);
        }
        remainder = numerator % d;
    }
    return low<W>(remainder);
}

// Divides the two-word u1 * B + u0 by d with its top bit set and u1 < d, using the
// reciprocal v = floor((B^2 - 1) / d) - B to replace the division by multiplications.
template <class W>
struct Reciprocal {
    explicit Reciprocal(W divisor) noexcept
        : d(divisor), v(low<W>(~Double<W>{0} / divisor - (Double<W>{1} << bitsOf<W>))) {
        assert(divisor >> (bitsOf<W> - 1) == 1);
    }
    std::pair<W, W> divide(W u1, W u0) const noexcept {
        assert(u1 < d);
        const Double<W> p = Double<W>{v} * u1 + ((Double<W>{u1} << bitsOf<W>) | u0);
        W q = static_cast<W>(high<W>(p) + 1);
        W r = static_cast<W>(u0 - q * d);
        if (r > low<W>(p)) {
            --q;
            r = static_cast<W>(r + d);
        }
        if (r >= d) {
            ++q;
            r = static_cast<W>(r - d);
        }
        return {q, r};
    }
    W d;
    W v;
};

// Long division: x becomes x mod m in its low m.size() words, with zeros above, and when q is
// non-empty it receives the x.size() - m.size() + 1 quotient words. m has at least two words
// and a non-zero top word; x has at least as many. Each quotient word is estimated from the top
// of the partial remainder and of m, both shifted left until m's top bit is set, which makes
// the estimate at most one too large; the shifted words are formed on the fly, so neither x
// nor m moves.
template <class W>
void divide(std::span<W> x, std::span<const W> m, std::span<W> q) noexcept {
    const std::size_t n = m.size();
    const std::size_t lx = x.size();
    assert(n >= 2 && lx >= n && m[n - 1] != 0 && (q.empty() || q.size() == lx - n + 1));
    constexpr unsigned bits = bitsOf<W>;
    const auto shift = static_cast<unsigned>(std::countl_zero(m[n - 1]));
    const auto normalised = [shift](W upper, W lower) -> W {
        return shift == 0 ? upper : static_cast<W>(upper << shift) | (lower >> (bits - shift));
    };
    const Reciprocal<W> m1(normalised(m[n - 1], m[n - 2]));
    const W m0 = normalised(m[n - 2], n >= 3 ? m[n - 3] : 0);
    constexpr Double<W> base = Double<W>{1} << bits;

    // Without a top quotient word the first partial remainder is the top of x itself.
    std::size_t steps = lx - n + 1;
    if (compare<W>(x.last(n), m) < 0) {
        --steps;
        if (!q.empty()) {
            q[steps] = 0;
        }
    }
    for (std::size_t j = steps; j-- > 0;) {
        const std::size_t top = j + n;
        const W above = top < lx ? x[top] : 0;
        const W u2 = normalised(above, x[top - 1]);
        const W u1 = normalised(x[top - 1], x[top - 2]);
        const W u0 = normalised(x[top - 2], top >= 3 ? x[top - 3] : 0);
        assert(u2 <= m1.d);
        Double<W> estimate = base - 1;
        Double<W> rest = Double<W>{u1} + m1.d;
        if (u2 < m1.d) {
            const auto [quotient, remainder] = m1.divide(u2, u1);
            estimate = quotient;
            rest = remainder;
        }
        while (rest < base && estimate * m0 > ((rest << bits) | u0)) {
            --estimate;
            rest += m1.d;
        }
        auto digit = low<W>(estimate);
        const std::span<W> window = x.subspan(j, n);
        const W borrow = multiplySubtract<W>(window, m, digit);
        if (borrow > above) {
            --digit;
            [[maybe_unused]] const W carry = add<W>(window, window, m);
            assert(static_cast<W>(borrow - above) == carry);
        } else {
            assert(borrow == above);
        }
        if (top < lx) {
            x[top] = 0;
        }
        if (!q.empty()) {
            q[j] = digit;
        }
    }
}

}  // namespace bignum::kernels
