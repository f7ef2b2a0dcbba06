#pragma once

// The loops of the arithmetic on spans of unsigned words, least significant first: Natural runs
// them on its 32-bit limbs, the Montgomery field on machine words. Each returns the carry, borrow
// or word that leaves its span. A span of static extent fixes the length at compile time, so
// that the compiler unrolls the field's loops for each curve size. Owns nothing; nothing here
// allocates or throws. Private to bignum/.

#include <algorithm>
#include <bit>
#include <cassert>
#include <cstddef>
#include <cstdint>
#include <span>
#include <type_traits>

namespace bignum::kernels {

template <class W>
struct Wider;
template <>
struct Wider<std::uint32_t> {
    using type = std::uint64_t;
};
#if defined(__SIZEOF_INT128__) && !defined(KX_NARROW_WORDS)
template <>
struct Wider<std::uint64_t> {
    __extension__ using type = unsigned __int128;
};
// The word of the Montgomery field: two limbs, where the compiler has a 128-bit integer to hold
// their products. Elsewhere (or with KX_NARROW_WORDS, which tests that path) the field runs on
// 32-bit words, with the same results.
using Word = std::uint64_t;
#else
using Word = std::uint32_t;
#endif

// Twice the width of W: holds any product of two words plus two words.
template <class W>
using Double = typename Wider<W>::type;
template <class W>
constexpr unsigned bitsOf = 8 * sizeof(W);

// A read-only operand; its extent is deduced from the result's, or is dynamic.
template <class W, std::size_t N = std::dynamic_extent>
using In = std::type_identity_t<std::span<const W, N>>;

template <class W>
constexpr W high(Double<W> d) noexcept {
    return static_cast<W>(d >> bitsOf<W>);
}

// The n words of s from the given offset, as a span of extent N when N is static.
template <std::size_t N, class W>
std::span<W, N> window(std::span<W> s, std::size_t offset, std::size_t n) noexcept {
    if constexpr (N == std::dynamic_extent) {
        return s.subspan(offset, n);
    } else {
        return s.subspan(offset).template first<N>();
    }
}

// r = a + b + carry, b read as zero above its length; r may be a or b. Returns the carry out
// (0 or 1).
template <class W, std::size_t N = std::dynamic_extent>
W add(std::span<W, N> r, In<W, N> a, In<W, N> b, W carry = 0) noexcept {
    assert(a.size() == r.size() && b.size() <= r.size());
    const std::size_t n = r.size();
#pragma GCC unroll 16
    for (std::size_t i = 0; i < n; ++i) {
        const Double<W> t = Double<W>{a[i]} + (i < b.size() ? b[i] : W{0}) + carry;
        r[i] = static_cast<W>(t);
        carry = high<W>(t);
    }
    return carry;
}

// r = a - b - borrow, b read as zero above its length; r may be a or b. Returns the borrow out
// (0 or 1).
template <class W, std::size_t N = std::dynamic_extent>
W subtract(std::span<W, N> r, In<W, N> a, In<W, N> b, W borrow = 0) noexcept {
    assert(a.size() == r.size() && b.size() <= r.size());
    const std::size_t n = r.size();
#pragma GCC unroll 16
    for (std::size_t i = 0; i < n; ++i) {
        const Double<W> t = Double<W>{a[i]} - (i < b.size() ? b[i] : W{0}) - borrow;
        r[i] = static_cast<W>(t);
        borrow = high<W>(t) & 1;
    }
    return borrow;
}

// r += a * w; returns the word carried out of r.
template <class W, std::size_t N = std::dynamic_extent>
W multiplyAdd(std::span<W, N> r, In<W, N> a, W w) noexcept {
    assert(a.size() == r.size());
    Double<W> carry = 0;
    const std::size_t n = r.size();
#pragma GCC unroll 16
    for (std::size_t i = 0; i < n; ++i) {
        // At most (B - 1)^2 + 2 (B - 1) = B^2 - 1 for word base B: never overflows.
        carry += Double<W>{a[i]} * w + r[i];
        r[i] = static_cast<W>(carry);
        carry >>= bitsOf<W>;
    }
    return static_cast<W>(carry);
}

// r -= a * w; returns the word borrowed from above r.
template <class W>
W multiplySubtract(std::span<W> r, In<W> a, W w) noexcept {
    assert(a.size() == r.size());
    W carry = 0;
    for (std::size_t i = 0; i < r.size(); ++i) {
        const Double<W> t = Double<W>{a[i]} * w + carry;
        const auto part = static_cast<W>(t);
        const W old = r[i];
        r[i] = old - part;
        carry = high<W>(t) + (old < part ? 1 : 0);
    }
    return carry;
}

// r = a << bits for 0 < bits < word width; returns the bits shifted out of the top. Runs
// downwards, so r may start at or above a in the same array.
template <class W>
W shiftLeft(std::span<W> r, In<W> a, unsigned bits) noexcept {
    assert(a.size() == r.size() && bits > 0 && bits < bitsOf<W>);
    W out = 0;
    for (std::size_t i = r.size(); i > 0; --i) {
        const W word = a[i - 1];
        if (i == r.size()) {
            out = word >> (bitsOf<W> - bits);
        }
        const W below = i > 1 ? a[i - 2] >> (bitsOf<W> - bits) : 0;
        r[i - 1] = static_cast<W>(word << bits) | below;
    }
    return out;
}

// r = a >> bits for 0 < bits < word width. Runs upwards, so r may start at or below a.
template <class W>
void shiftRight(std::span<W> r, In<W> a, unsigned bits) noexcept {
    assert(a.size() == r.size() && bits > 0 && bits < bitsOf<W>);
    for (std::size_t i = 0; i < r.size(); ++i) {
        const W above = i + 1 < a.size() ? static_cast<W>(a[i + 1] << (bitsOf<W> - bits)) : 0;
        r[i] = (a[i] >> bits) | above;
    }
}

// Negative, zero or positive as a <, = or > b, for equal lengths.
template <class W, std::size_t N = std::dynamic_extent>
int compare(In<W, N> a, In<W, N> b) noexcept {
    assert(a.size() == b.size());
    for (std::size_t i = a.size(); i > 0; --i) {
        if (a[i - 1] != b[i - 1]) {
            return a[i - 1] < b[i - 1] ? -1 : 1;
        }
    }
    return 0;
}

// r = a * b, row by row. r has a.size() + b.size() words and shares none with a or b.
template <class W, std::size_t N = std::dynamic_extent>
void multiply(std::span<W> r, In<W, N> a, In<W, N> b) noexcept {
    assert(r.size() == a.size() + b.size());
    for (W& word : r) {
        word = 0;
    }
    const std::size_t na = a.size();
    const std::size_t nb = b.size();
#pragma GCC unroll 16
    for (std::size_t j = 0; j < nb; ++j) {
        // A zero word adds nothing: sparse operands such as powers of two cost little.
        if (b[j] != 0) {
            r[j + na] = multiplyAdd<W, N>(window<N>(r, j, na), a, b[j]);
        }
    }
}

// r = a * a, forming each cross product once, doubling their sum and adding the squares of the
// words: about half the word products of multiply. r has 2 a.size() words, none shared with a.
template <class W, std::size_t N = std::dynamic_extent>
void square(std::span<W> r, In<W, N> a) noexcept {
    const std::size_t n = a.size();
    assert(r.size() == 2 * n);
    for (W& word : r) {
        word = 0;
    }
#pragma GCC unroll 16
    for (std::size_t i = 0; i + 1 < n; ++i) {
        if (a[i] != 0) {
            r[i + n] = multiplyAdd<W>(r.subspan(2 * i + 1, n - i - 1),
                                      std::span<const W>(a).subspan(i + 1), a[i]);
        }
    }
    constexpr unsigned top = bitsOf<W> - 1;
    W shiftedOut = 0;
    W carry = 0;
#pragma GCC unroll 16
    for (std::size_t i = 0; i < n; ++i) {
        const Double<W> diagonal = Double<W>{a[i]} * a[i];
        const W lower = r[2 * i];
        const W upper = r[2 * i + 1];
        Double<W> t =
            Double<W>{static_cast<W>(lower << 1) | shiftedOut} + static_cast<W>(diagonal) + carry;
        r[2 * i] = static_cast<W>(t);
        t = Double<W>{static_cast<W>(upper << 1) | (lower >> top)} + high<W>(diagonal) + high<W>(t);
        r[2 * i + 1] = static_cast<W>(t);
        carry = high<W>(t);
        shiftedOut = upper >> top;
    }
    assert(carry == 0 && shiftedOut == 0);
}

// Long division (Knuth's algorithm D): x becomes x mod m in its low m.size() words, with zeros
// above, and q, unless it is empty, receives the x.size() - m.size() + 1 quotient words. m's top
// word is non-zero and x is at least as long as m. Each quotient word is estimated from the top
// words of the partial remainder and of m, both shifted until m's top bit is set, which makes
// the estimate at most one too large; the shifted words are formed on the fly, so neither x nor
// m moves.
template <class W>
void divide(std::span<W> x, In<W> m, std::span<W> q) noexcept {
    const std::size_t n = m.size();
    const std::size_t lx = x.size();
    assert(n >= 1 && lx >= n && m[n - 1] != 0 && (q.empty() || q.size() == lx - n + 1));
    constexpr unsigned bits = bitsOf<W>;
    const auto shift = static_cast<unsigned>(std::countl_zero(m[n - 1]));
    // Word i of the shifted number held in s, for i below s's length.
    const auto shifted = [shift](In<W> s, std::size_t i) -> W {
        const W lower = i > 0 ? s[i - 1] : 0;
        return shift == 0 ? s[i] : static_cast<W>(s[i] << shift) | (lower >> (bits - shift));
    };
    const W d1 = shifted(m, n - 1);
    const W d0 = n >= 2 ? shifted(m, n - 2) : 0;
    constexpr Double<W> base = Double<W>{1} << bits;

    for (std::size_t j = lx - n + 1; j-- > 0;) {
        const std::size_t top = j + n;
        const W above = top < lx ? x[top] : 0;
        const In<W> rest(x);
        const W u2 =
            shift == 0 ? above : static_cast<W>(above << shift) | (x[top - 1] >> (bits - shift));
        const W u1 = shifted(rest, top - 1);
        const W u0 = top >= 2 ? shifted(rest, top - 2) : 0;
        Double<W> estimate = base - 1;
        Double<W> remainder = Double<W>{u1} + d1;
        if (u2 < d1) {
            const Double<W> numerator = (Double<W>{u2} << bits) | u1;
            estimate = numerator / d1;
            remainder = numerator % d1;
        }
        while (remainder < base && estimate * d0 > ((remainder << bits) | u0)) {
            --estimate;
            remainder += d1;
        }
        auto digit = static_cast<W>(estimate);
        const std::span<W> partial = x.subspan(j, n);
        if (multiplySubtract<W>(partial, m, digit) > above) {
            --digit;
            add<W>(partial, partial, m);
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
