#include "bignum/WideArithmetic.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cassert>
#include <utility>

#include "bignum/CarryChainRows.h"

namespace bignum::wide {

void pack(std::span<const Limb> limbs, Word* words) noexcept {
    const std::size_t n = limbs.size();
    for (std::size_t i = 0; i + 1 < n; i += 2) {
        words[i / 2] = Word{limbs[i]} | (Word{limbs[i + 1]} << 32);
    }
    if (n % 2 != 0) {
        words[n / 2] = limbs[n - 1];
    }
}

void packPadded(std::span<const Limb> limbs, Word* words, std::size_t n) noexcept {
    pack(limbs, words);
    std::fill(words + wordsFor(limbs.size()), words + n, Word{0});
}

void unpack(const Word* words, std::size_t limbCount, Limb* limbs) noexcept {
    for (std::size_t i = 0; i + 1 < limbCount; i += 2) {
        limbs[i] = static_cast<Limb>(words[i / 2]);
        limbs[i + 1] = static_cast<Limb>(words[i / 2] >> 32);
    }
    if (limbCount % 2 != 0) {
        limbs[limbCount - 1] = static_cast<Limb>(words[limbCount / 2]);
    }
}

#if defined(__SIZEOF_INT128__)

namespace {

__extension__ typedef unsigned __int128 DoubleWord;
__extension__ typedef __int128 SignedDoubleWord;

constexpr unsigned wordBits = 64;
constexpr Word allOnes = ~Word{0};

// Operand sizes up to this many words get loops unrolled for their exact length.
constexpr std::size_t unrolledWords = 10;

Word low(DoubleWord w) noexcept {
    return static_cast<Word>(w);
}
Word high(DoubleWord w) noexcept {
    return static_cast<Word>(w >> wordBits);
}
DoubleWord join(Word hi, Word lo) noexcept {
    return (DoubleWord{hi} << wordBits) | lo;
}

int compareWords(const Word* a, const Word* b, std::size_t n) noexcept;

// The length of a loop: the template argument when it is fixed, else the run-time count.
template <std::size_t N>
constexpr std::size_t lengthOf(std::size_t n) noexcept {
    return N != 0 ? N : n;
}

// r[0, n) -= a[0, n) * w; returns what is borrowed from above r.
template <std::size_t N>
Word subtractProduct(Word* r, const Word* a, std::size_t count, Word w) noexcept {
    const std::size_t n = lengthOf<N>(count);
    DoubleWord carry = 0;
    Word borrow = 0;
#pragma GCC unroll 16
    for (std::size_t i = 0; i < n; ++i) {
        carry += DoubleWord{w} * a[i];
        const Word subtrahend = low(carry);
        carry >>= wordBits;
        const Word old = r[i];
        const Word t = old - subtrahend;
        const Word under = old < subtrahend ? 1 : 0;
        r[i] = t - borrow;
        borrow = under | (t < borrow ? 1 : 0);
    }
    // The product's top word is at most 2^64 - 2, so adding the borrow cannot wrap.
    return low(carry) + borrow;
}

// r[0, n) <- a[0, n) + b[0, n); returns the carry. r may be a or b.
template <std::size_t N>
Word addWords(Word* r, const Word* a, const Word* b, std::size_t count) noexcept {
    const std::size_t n = lengthOf<N>(count);
    Word carry = 0;
#pragma GCC unroll 16
    for (std::size_t i = 0; i < n; ++i) {
        const DoubleWord s = DoubleWord{a[i]} + b[i] + carry;
        r[i] = low(s);
        carry = high(s);
    }
    return carry;
}

template <std::size_t N>
void multiplyRows(Word* r, const Word* a, std::size_t na, const Word* b, std::size_t nb) noexcept {
    const std::size_t n = lengthOf<N>(na);
    const std::size_t m = lengthOf<N>(nb);
    DoubleWord carry = 0;
#pragma GCC unroll 16
    for (std::size_t i = 0; i < n; ++i) {
        carry += DoubleWord{a[i]} * b[0];
        r[i] = low(carry);
        carry >>= wordBits;
    }
    r[n] = low(carry);
#pragma GCC unroll 16
    for (std::size_t j = 1; j < m; ++j) {
        const Word w = b[j];
        Word* const row = r + j;
        carry = 0;
#pragma GCC unroll 16
        for (std::size_t i = 0; i < n; ++i) {
            // At most (2^64 - 1)^2 + 2 (2^64 - 1) = 2^128 - 1.
            carry += DoubleWord{a[i]} * w + row[i];
            row[i] = low(carry);
            carry >>= wordBits;
        }
        row[n] = low(carry);
    }
}

template <std::size_t N>
void squareRows(Word* r, const Word* a, std::size_t count) noexcept {
    const std::size_t n = lengthOf<N>(count);
#pragma GCC unroll 32
    for (std::size_t i = 0; i < 2 * n; ++i) {
        r[i] = 0;
    }
    // Each cross product once.
#pragma GCC unroll 16
    for (std::size_t i = 0; i + 1 < n; ++i) {
        const Word w = a[i];
        Word* const row = r + 2 * i + 1;
        DoubleWord carry = 0;
#pragma GCC unroll 16
        for (std::size_t j = 0; j < n - i - 1; ++j) {
            carry += DoubleWord{a[i + 1 + j]} * w + row[j];
            row[j] = low(carry);
            carry >>= wordBits;
        }
        r[i + n] = low(carry);
    }
    // Twice the cross products plus the squares of the words, in one pass.
    Word shiftedOut = 0;
    DoubleWord carry = 0;
#pragma GCC unroll 16
    for (std::size_t i = 0; i < n; ++i) {
        const DoubleWord diagonal = DoubleWord{a[i]} * a[i];
        const Word lo = r[2 * i];
        const Word hi = r[2 * i + 1];
        carry += DoubleWord{(lo << 1) | shiftedOut} + low(diagonal);
        r[2 * i] = low(carry);
        carry >>= wordBits;
        carry += DoubleWord{(hi << 1) | (lo >> (wordBits - 1))} + high(diagonal);
        r[2 * i + 1] = low(carry);
        carry >>= wordBits;
        shiftedOut = hi >> (wordBits - 1);
    }
}

// floor((2^128 - 1) / d) - 2^64 for a d with its top bit set.
Word reciprocal(Word d) noexcept {
    return low(~DoubleWord{0} / d);
}

// The reciprocal of the two-word divisor (d1, d0) for divideThreeByTwo, d1's top bit set.
Word reciprocalThreeByTwo(Word d1, Word d0) noexcept {
    Word v = reciprocal(d1);
    Word p = d1 * v + d0;
    if (p < d0) {
        --v;
        if (p >= d1) {
            --v;
            p -= d1;
        }
        p -= d1;
    }
    const DoubleWord t = DoubleWord{v} * d0;
    p += high(t);
    if (p < high(t)) {
        --v;
        if (p > d1 || (p == d1 && low(t) >= d0)) {
            --v;
        }
    }
    return v;
}

// The reciprocal of the last divisor seen; moduli repeat from one call to the next.
struct ReciprocalCache {
    Word d1 = 0;
    Word d0 = 0;
    Word v = 0;
};

Word cachedReciprocal(Word d1, Word d0) noexcept {
    thread_local ReciprocalCache cache;
    if (cache.d1 != d1 || cache.d0 != d0) {
        cache = {d1, d0, reciprocalThreeByTwo(d1, d0)};
    }
    return cache.v;
}

// floor((u2, u1, u0) / (d1, d0)) for a normalised divisor and (u2, u1) < (d1, d0), with v from
// reciprocalThreeByTwo.
Word divideThreeByTwo(Word u2, Word u1, Word u0, Word d1, Word d0, Word v) noexcept {
    const DoubleWord estimate = DoubleWord{v} * u2 + join(u2, u1);
    Word q = high(estimate);
    const Word q0 = low(estimate);
    const Word r1 = u1 - q * d1;
    const DoubleWord d = join(d1, d0);
    DoubleWord r = join(r1, u0) - d - DoubleWord{d0} * q;
    ++q;
    if (high(r) >= q0) {
        --q;
        r += d;
    }
    if (r >= d) {
        ++q;
    }
    return q;
}

// floor((u1, u0) / d) and the remainder, for a normalised d, u1 < d and v = reciprocal(d).
Word divideTwoByOne(Word u1, Word u0, Word d, Word v, Word& remainder) noexcept {
    const DoubleWord estimate = DoubleWord{v} * u1 + join(u1, u0);
    Word q = high(estimate) + 1;
    Word r = u0 - q * d;
    if (r > low(estimate)) {
        --q;
        r += d;
    }
    if (r >= d) {
        ++q;
        r -= d;
    }
    remainder = r;
    return q;
}

void divideByWord(Word* x, std::size_t nx, Word m, Word* q) noexcept {
    const auto shift = static_cast<unsigned>(std::countl_zero(m));
    const Word d = m << shift;
    const Word v = cachedReciprocal(d, 0);
    // The dividend shifted left by `shift`, formed word by word from the top.
    Word remainder = shift == 0 ? 0 : x[nx - 1] >> (wordBits - shift);
    for (std::size_t j = nx; j-- > 0;) {
        const Word u =
            shift == 0 ? x[j] : (x[j] << shift) | (j > 0 ? x[j - 1] >> (wordBits - shift) : 0);
        const Word digit = divideTwoByOne(remainder, u, d, v, remainder);
        if (q != nullptr) {
            q[j] = digit;
        }
        x[j] = 0;
    }
    x[0] = remainder >> shift;
}

// Long division with quotient digits estimated from the top three words of the partial
// remainder and the top two of the divisor, both normalised on the fly, so neither moves. Such
// an estimate is exact or one too large.
template <std::size_t N>
void divideByWords(Word* x, std::size_t nx, const Word* m, std::size_t nm, Word* q) noexcept {
    const std::size_t n = lengthOf<N>(nm);
    const auto shift = static_cast<unsigned>(std::countl_zero(m[n - 1]));
    const auto normalised = [shift](Word hi, Word lo) {
        return shift == 0 ? hi : (hi << shift) | (lo >> (wordBits - shift));
    };
    const Word d1 = normalised(m[n - 1], m[n - 2]);
    const Word d0 = normalised(m[n - 2], n >= 3 ? m[n - 3] : 0);
    const Word v = cachedReciprocal(d1, d0);
    for (std::size_t j = nx - n + 1; j-- > 0;) {
        const std::size_t top = j + n;
        const Word above = top < nx ? x[top] : 0;
        const Word u2 = normalised(above, x[top - 1]);
        const Word u1 = normalised(x[top - 1], x[top - 2]);
        const Word u0 = normalised(x[top - 2], top >= 3 ? x[top - 3] : 0);
        Word digit = u2 == d1 && u1 == d0 ? allOnes : divideThreeByTwo(u2, u1, u0, d1, d0, v);
        const Word borrow = subtractProduct<N>(x + j, m, n, digit);
        if (borrow > above) {
            --digit;
            [[maybe_unused]] const Word carry = addWords<N>(x + j, x + j, m, n);
            assert(above - borrow + carry == 0);
        }
        if (top < nx) {
            x[top] = 0;
        }
        if (q != nullptr) {
            q[j] = digit;
        }
    }
}

// The kernel unrolled for each length up to unrolledWords, indexed by length; makeKernel takes
// the length as a std::integral_constant.
template <typename Kernel, typename MakeKernel>
constexpr std::array<Kernel, unrolledWords + 1> kernelTable(MakeKernel makeKernel) {
    std::array<Kernel, unrolledWords + 1> table{};
    [&]<std::size_t... I>(std::index_sequence<I...>) {
        ((table[I] = makeKernel(std::integral_constant<std::size_t, I>{})), ...);
    }
    (std::make_index_sequence<unrolledWords + 1>{});
    return table;
}

using MultiplyKernel = void (*)(Word*, const Word*, std::size_t, const Word*, std::size_t) noexcept;
using SquareKernel = void (*)(Word*, const Word*, std::size_t) noexcept;
using DivideKernel = void (*)(Word*, std::size_t, const Word*, std::size_t, Word*) noexcept;

constexpr auto multiplyKernels =
    kernelTable<MultiplyKernel>([](auto n) { return &multiplyRows<decltype(n)::value>; });

constexpr auto squareKernels =
    kernelTable<SquareKernel>([](auto n) { return &squareRows<decltype(n)::value>; });

constexpr auto divideKernels =
    kernelTable<DivideKernel>([](auto n) { return &divideByWords<decltype(n)::value>; });

// ---- Barrett's reduction ----
//
// For a modulus m of k words, mu = floor(B^2k / m) with B = 2^64 turns x mod m, for any
// x < B^2k, into two partial products and at most three subtractions.

struct BarrettModulus {
    std::size_t words = 0;
    std::array<Word, maxWords> m{};
    std::array<Word, maxWords + 1> mu{};
};

// Barrett's reciprocal of the last modulus seen: moduli repeat from one call to the next.
// Returns null for a power of B, whose reciprocal needs k + 2 words.
const BarrettModulus* barrettModulus(const Word* m, std::size_t k) noexcept {
    thread_local BarrettModulus cached;
    if (cached.words == k && std::equal(m, m + k, cached.m.begin())) {
        return &cached;
    }
    if (!barrettReciprocal(cached.mu.data(), m, k)) {
        cached.words = 0;
        return nullptr;
    }
    cached.words = k;
    std::copy(m, m + k, cached.m.begin());
    return &cached;
}

// r[0, k) <- x[0, 2k) mod m.
template <std::size_t N>
void reduceBarrett(Word* r, const Word* x, const Word* m, const Word* mu,
                   std::size_t count) noexcept {
    const std::size_t k = lengthOf<N>(count);
    // q3 = floor(floor(x / B^(k-1)) * mu / B^(k+1)), leaving out the products below column
    // k - 1, which makes it at most one too small.
    const Word* const q1 = x + (k - 1);
    std::array<Word, 2 * maxWords + 2> q2;
#pragma GCC unroll 24
    for (std::size_t i = 0; i < 2 * k + 2; ++i) {
        q2[i] = 0;
    }
#pragma GCC unroll 12
    for (std::size_t i = 0; i <= k; ++i) {
        const Word w = q1[i];
        const std::size_t first = i < k - 1 ? k - 1 - i : 0;
        DoubleWord carry = 0;
#pragma GCC unroll 12
        for (std::size_t j = first; j <= k; ++j) {
            carry += DoubleWord{w} * mu[j] + q2[i + j];
            q2[i + j] = low(carry);
            carry >>= wordBits;
        }
        q2[i + k + 1] = low(carry);
    }
    const Word* const q3 = q2.data() + (k + 1);
    // r = x - q3 m, which lies in [0, 4m), from the low k + 1 words of both.
    std::array<Word, maxWords + 1> t;
#pragma GCC unroll 12
    for (std::size_t i = 0; i <= k; ++i) {
        t[i] = 0;
    }
#pragma GCC unroll 12
    for (std::size_t i = 0; i <= k; ++i) {
        const Word w = q3[i];
        DoubleWord carry = 0;
        const std::size_t end = i == 0 ? k : k + 1 - i;
#pragma GCC unroll 12
        for (std::size_t j = 0; j < end; ++j) {
            carry += DoubleWord{w} * m[j] + t[i + j];
            t[i + j] = low(carry);
            carry >>= wordBits;
        }
        // Row 0 ends below word k; the carries of the other rows fall beyond it.
        if (i == 0) {
            t[k] = low(carry);
        }
    }
    Word borrow = 0;
#pragma GCC unroll 12
    for (std::size_t i = 0; i <= k; ++i) {
        const Word a = x[i];
        const Word b = t[i];
        const Word d = a - b;
        const Word under = a < b ? 1 : 0;
        t[i] = d - borrow;
        borrow = under | (d < borrow ? 1 : 0);
    }
    for (;;) {
        bool atLeastM = t[k] != 0;
        if (!atLeastM) {
            atLeastM = compareWords(t.data(), m, k) >= 0;
        }
        if (!atLeastM) {
            break;
        }
        borrow = 0;
#pragma GCC unroll 12
        for (std::size_t i = 0; i < k; ++i) {
            const Word d = t[i] - m[i];
            const Word under = t[i] < m[i] ? 1 : 0;
            t[i] = d - borrow;
            borrow = under | (d < borrow ? 1 : 0);
        }
        t[k] -= borrow;
    }
#pragma GCC unroll 12
    for (std::size_t i = 0; i < k; ++i) {
        r[i] = t[i];
    }
}

// ---- The modular inverse ----
//
// Extended Euclid on (modulus, value) that keeps only the cofactors of value: a = +-ta * value
// and b = -+tb * value modulo the modulus, the signs alternating, with a's sign in aNegative.
// Lehmer's method: a run of quotients is found from the leading 64 bits of a and b and applied
// to the whole numbers at once as a 2x2 matrix.

// The forward matrix of a run of quotients q1..qk, the product of [[qi, 1], [1, 0]], so that
// (a, b) = M (a', b') with a', b' the remainders after the run.
struct Matrix {
    Word m00 = 1;
    Word m01 = 0;
    Word m10 = 0;
    Word m11 = 1;
    std::size_t steps = 0;
};

// value^-1 modulo modulus for 0 < value < modulus on single words, or false when the two share
// a divisor. Only value's cofactor is kept; its sign alternates with each quotient.
bool inverseOfWord(Word& out, Word value, Word modulus) noexcept {
    Word a = modulus;
    Word b = value;
    Word ta = 0;
    Word tb = 1;
    bool positive = false;
    while (b != 0) {
        // One division gives both; a subtraction for the frequent quotients 1 and 2 loses more
        // to mispredicted branches than it saves.
        const Word q = a / b;
        const Word r = a % b;
        const Word t = ta + q * tb;
        ta = tb;
        tb = t;
        a = b;
        b = r;
        positive = !positive;
    }
    if (a != 1) {
        return false;
    }
    out = positive ? ta : modulus - ta;
    return true;
}

// Runs Euclid on the leading words ah > bh while Jebelean's condition guarantees that their
// quotients are those of the whole numbers, keeping the entries below 2^63.
Matrix lehmerMatrix(Word ah, Word bh) noexcept {
    Matrix m;
    while (bh != 0) {
        const Word q = ah / bh;
        const Word r = ah - q * bh;
        const Word n00 = q * m.m00 + m.m01;
        if ((n00 >> (wordBits - 1)) != 0) {
            break;
        }
        const Word n10 = q * m.m10 + m.m11;
        if (r < n00 || bh - r < n00 + m.m00) {
            break;
        }
        m = {n00, m.m00, n10, m.m10, m.steps + 1};
        ah = bh;
        bh = r;
    }
    return m;
}

// x p - y s for matrix entries x, y below 2^63, each product below 2^127 and so a signed
// double word, as is the difference plus a carry below 2^64 in magnitude.
SignedDoubleWord productDifference(Word x, Word p, Word y, Word s) noexcept {
    return static_cast<SignedDoubleWord>(DoubleWord{x} * p) -
           static_cast<SignedDoubleWord>(DoubleWord{y} * s);
}

// r = x p - y s over n words, for x, y below 2^63. Returns the word above r: zero exactly when
// the difference is non-negative and fits, which it does whenever the matrix was right.
Word combineDifference(Word* r, Word x, const Word* p, Word y, const Word* s,
                       std::size_t n) noexcept {
    SignedDoubleWord carry = 0;
    for (std::size_t i = 0; i < n; ++i) {
        carry += productDifference(x, p[i], y, s[i]);
        r[i] = static_cast<Word>(carry);
        carry >>= wordBits;
    }
    return static_cast<Word>(carry);
}

// r = x p + y s over n words; returns the carry out of r.
Word combineSum(Word* r, Word x, const Word* p, Word y, const Word* s, std::size_t n) noexcept {
    DoubleWord carry = 0;
    for (std::size_t i = 0; i < n; ++i) {
        const DoubleWord px = DoubleWord{x} * p[i];
        const DoubleWord sy = DoubleWord{y} * s[i];
        const DoubleWord lowSum = DoubleWord{low(px)} + low(sy) + low(carry);
        r[i] = low(lowSum);
        carry = DoubleWord{high(px)} + high(sy) + high(lowSum) + high(carry);
    }
    assert(high(carry) == 0);
    return low(carry);
}

// (r, s) = (x1 p1 - y1 q1, x2 p2 - y2 q2) over n words, for entries below 2^63. Returns
// whether both differences are non-negative and fit.
bool combineDifferences(Word* r, Word x1, const Word* p1, Word y1, const Word* q1, Word* s, Word x2,
                        const Word* p2, Word y2, const Word* q2, std::size_t n) noexcept {
    SignedDoubleWord carry1 = 0;
    SignedDoubleWord carry2 = 0;
    for (std::size_t i = 0; i < n; ++i) {
        carry1 += productDifference(x1, p1[i], y1, q1[i]);
        carry2 += productDifference(x2, p2[i], y2, q2[i]);
        r[i] = static_cast<Word>(carry1);
        s[i] = static_cast<Word>(carry2);
        carry1 >>= wordBits;
        carry2 >>= wordBits;
    }
    return carry1 == 0 && carry2 == 0;
}

// (r, s) = (x1 p + y1 q, x2 p + y2 q) over n words in one pass; the carries go to r[n], s[n].
void combineSums(Word* r, Word x1, Word y1, Word* s, Word x2, Word y2, const Word* p, const Word* q,
                 std::size_t n) noexcept {
    Word carry1 = 0;
    Word carry2 = 0;
    for (std::size_t i = 0; i < n; ++i) {
        // Entries below 2^63 keep x p + y q + carry below 2^128.
        const DoubleWord s1 = DoubleWord{x1} * p[i] + DoubleWord{y1} * q[i] + carry1;
        const DoubleWord s2 = DoubleWord{x2} * p[i] + DoubleWord{y2} * q[i] + carry2;
        r[i] = low(s1);
        carry1 = high(s1);
        s[i] = low(s2);
        carry2 = high(s2);
    }
    r[n] = carry1;
    s[n] = carry2;
}

int compareWords(const Word* a, const Word* b, std::size_t n) noexcept {
    for (std::size_t i = n; i-- > 0;) {
        if (a[i] != b[i]) {
            return a[i] < b[i] ? -1 : 1;
        }
    }
    return 0;
}

std::size_t significantWords(const Word* a, std::size_t n) noexcept {
    while (n > 0 && a[n - 1] == 0) {
        --n;
    }
    return n;
}

// The working state of the inverse: remainders a > b and cofactors ta, tb in word buffers of
// maxWords + 2 words, with spares to write the next state into.
class EuclidState {
  public:
    EuclidState(const Word* value, const Word* modulus, std::size_t n) noexcept : n_(n) {
        // Every buffer is read below n + 2 words only.
        for (auto& buffer : buffers_) {
            std::fill_n(buffer.begin(), n + 2, Word{0});
        }
        for (std::size_t i = 0; i < n; ++i) {
            a()[i] = modulus[i];
            b()[i] = value[i];
        }
        tb()[0] = 1;
        la_ = significantWords(a(), n);
        lb_ = significantWords(b(), n);
    }

    // Returns the cofactor of value for a = 1, or false when the gcd is not 1.
    bool run(Word* out, const Word* modulus) noexcept {
        while (lb_ != 0) {
            if (la_ == 1) {
                if (!finishOnWords()) {
                    return false;
                }
                break;
            }
            if (!lehmerStep()) {
                exactStep();
            }
            assert(lt_ <= n_);
        }
        if (la_ != 1 || a()[0] != 1) {
            return false;
        }
        assert(significantWords(ta(), n_ + 1) <= n_);
        if (aNegative_) {
            Word borrow = 0;
            for (std::size_t i = 0; i < n_; ++i) {
                const Word t = modulus[i] - ta()[i];
                const Word under = modulus[i] < ta()[i] ? 1 : 0;
                out[i] = t - borrow;
                borrow = under + (t < borrow ? 1 : 0);
            }
            assert(borrow == 0);
        } else {
            for (std::size_t i = 0; i < n_; ++i) {
                out[i] = ta()[i];
            }
        }
        return true;
    }

  private:
    using Buffer = std::array<Word, maxWords + 2>;
    enum Slot : std::size_t { slotA, slotB, slotTa, slotTb };

    Word* a() noexcept { return buffers_[current_[slotA]].data(); }
    Word* b() noexcept { return buffers_[current_[slotB]].data(); }
    Word* ta() noexcept { return buffers_[current_[slotTa]].data(); }
    Word* tb() noexcept { return buffers_[current_[slotTb]].data(); }
    Word* spare(Slot slot) noexcept { return buffers_[current_[slot] ^ 1].data(); }
    void flip(Slot slot) noexcept { current_[slot] ^= 1; }

    // One or two runs of quotients from the leading words, applied at once; false when none
    // could be taken safely.
    bool lehmerStep() noexcept {
        const std::size_t la = la_;
        const Matrix first =
            lehmerMatrix(leadingWord(a(), b(), la).first, leadingWord(a(), b(), la).second);
        if (first.steps == 0) {
            return false;
        }
        const Matrix both = extendRun(first, la);
        return apply(both) || (both.steps != first.steps && apply(first));
    }

    // The leading 64 bits of a and the bits of b at the same places.
    static std::pair<Word, Word> leadingWord(const Word* a, const Word* b,
                                             std::size_t la) noexcept {
        const auto shift = static_cast<unsigned>(std::countl_zero(a[la - 1]));
        if (shift == 0) {
            return {a[la - 1], b[la - 1]};
        }
        return {(a[la - 1] << shift) | (a[la - 2] >> (wordBits - shift)),
                (b[la - 1] << shift) | (b[la - 2] >> (wordBits - shift))};
    }

    // A second run found from the top words of the remainders that `first` leads to, computed on
    // a window of four words only; returned composed with `first`, or `first` alone when the
    // window is too short or the product of the two would not stay below 2^63. A run that turns
    // out wrong for the whole numbers is caught when it is applied.
    Matrix extendRun(const Matrix& first, std::size_t la) noexcept {
        constexpr std::size_t maxWindow = 4;
        const std::size_t window = std::min(la, maxWindow);
        const Word* const aTop = a() + (la - window);
        const Word* const bTop = b() + (la - window);
        std::array<Word, maxWindow> aw;
        std::array<Word, maxWindow> bw;
        const bool odd = first.steps % 2 != 0;
        const Word aOut =
            odd ? combineDifference(aw.data(), first.m01, bTop, first.m11, aTop, window)
                : combineDifference(aw.data(), first.m11, aTop, first.m01, bTop, window);
        const Word bOut =
            odd ? combineDifference(bw.data(), first.m10, aTop, first.m00, bTop, window)
                : combineDifference(bw.data(), first.m00, bTop, first.m10, aTop, window);
        const std::size_t count = significantWords(aw.data(), window);
        // Unless the window holds the whole numbers, its lowest word carries the error of the
        // words cut off below it: the leading bits must come from above that word.
        const std::size_t needed = window == la ? 2 : 3;
        if (aOut != 0 || bOut != 0 || count < needed) {
            return first;
        }
        const auto [ah, bh] = leadingWord(aw.data(), bw.data(), count);
        const Matrix second = lehmerMatrix(ah, bh);
        const DoubleWord m00 =
            DoubleWord{first.m00} * second.m00 + DoubleWord{first.m01} * second.m10;
        const DoubleWord m01 =
            DoubleWord{first.m00} * second.m01 + DoubleWord{first.m01} * second.m11;
        const DoubleWord m10 =
            DoubleWord{first.m10} * second.m00 + DoubleWord{first.m11} * second.m10;
        const DoubleWord m11 =
            DoubleWord{first.m10} * second.m01 + DoubleWord{first.m11} * second.m11;
        if (second.steps == 0 || ((m00 | m01 | m10 | m11) >> (wordBits - 1)) != 0) {
            return first;
        }
        return {low(m00), low(m01), low(m10), low(m11), first.steps + second.steps};
    }

    // (a, b) <- M^-1 (a, b) and the cofactors with them, unless a remainder would turn negative.
    bool apply(const Matrix& m) noexcept {
        const std::size_t la = la_;
        const bool odd = m.steps % 2 != 0;
        // Even runs: a' = m11 a - m01 b, b' = m00 b - m10 a; odd runs the negations.
        const bool fits = odd ? combineDifferences(spare(slotA), m.m01, b(), m.m11, a(),
                                                   spare(slotB), m.m10, a(), m.m00, b(), la)
                              : combineDifferences(spare(slotA), m.m11, a(), m.m01, b(),
                                                   spare(slotB), m.m00, b(), m.m10, a(), la);
        if (!fits) {
            return false;
        }
        const std::size_t lt = lt_;
        combineSums(spare(slotTa), m.m11, m.m01, spare(slotTb), m.m10, m.m00, ta(), tb(), lt);
        if (spare(slotTa)[lt] != 0 || spare(slotTb)[lt] != 0) {
            ++lt_;
        }
        flip(slotA);
        flip(slotB);
        flip(slotTa);
        flip(slotTb);
        aNegative_ = aNegative_ != odd;
        la_ = significantWords(a(), la);
        lb_ = significantWords(b(), la);
        if (la_ < lb_ || (la_ == lb_ && compareWords(a(), b(), la_) < 0)) {
            // A run taken too far on the window leaves a below b: one zero quotient swaps them.
            std::swap(current_[slotA], current_[slotB]);
            std::swap(current_[slotTa], current_[slotTb]);
            std::swap(la_, lb_);
            aNegative_ = !aNegative_;
        }
        return true;
    }

    // One quotient from a full division: (a, b) <- (b, a mod b), (ta, tb) <- (tb, ta + q tb).
    void exactStep() noexcept {
        std::array<Word, maxWords + 2> quotient;
        const std::size_t quotientWords = la_ - lb_ + 1;
        divide(a(), la_, b(), lb_, quotient.data());
        std::array<Word, 2 * maxWords + 4> next;
        multiply(next.data(), quotient.data(), quotientWords, tb(), lt_);
        const std::size_t productWords = quotientWords + lt_;
        Word carry = 0;
        for (std::size_t i = 0; i < productWords; ++i) {
            const DoubleWord s = DoubleWord{next[i]} + (i < lt_ ? ta()[i] : 0) + carry;
            next[i] = low(s);
            carry = high(s);
        }
        const std::size_t nextWords = significantWords(next.data(), productWords);
        assert(carry == 0 && nextWords <= n_);
        Word* const target = ta();
        for (std::size_t i = 0; i < nextWords; ++i) {
            target[i] = next[i];
        }
        // a now holds the remainder, ta the new cofactor: exchange the roles.
        std::swap(current_[slotA], current_[slotB]);
        std::swap(current_[slotTa], current_[slotTb]);
        aNegative_ = !aNegative_;
        lt_ = std::max(lt_, nextWords);
        // Words above a remainder's length may be stale: lengths come from what was written.
        const std::size_t divisorWords = lb_;
        la_ = divisorWords;
        lb_ = significantWords(b(), divisorWords);
    }

    // Euclid to the end on one-word remainders, the quotients gathered in one matrix, whose
    // entries stay below the first remainder.
    bool finishOnWords() noexcept {
        Word x = a()[0];
        Word y = b()[0];
        Matrix m;
        while (y != 0) {
            const Word q = x / y;
            const Word r = x % y;
            m = {q * m.m00 + m.m01, m.m00, q * m.m10 + m.m11, m.m10, m.steps + 1};
            x = y;
            y = r;
        }
        if (x != 1) {
            return false;
        }
        const std::size_t lt = lt_;
        Word* const next = spare(slotTa);
        next[lt] = combineSum(next, m.m11, ta(), m.m01, tb(), lt);
        flip(slotTa);
        lt_ = lt + 1;
        aNegative_ = aNegative_ != (m.steps % 2 != 0);
        a()[0] = 1;
        la_ = 1;
        b()[0] = 0;
        lb_ = 0;
        return true;
    }

    std::array<Buffer, 8> buffers_;
    // Which of the two buffers of each slot holds the current value.
    std::array<std::size_t, 4> current_{0, 2, 4, 6};
    std::size_t n_;
    std::size_t la_ = 0;
    std::size_t lb_ = 0;
    std::size_t lt_ = 1;
    bool aNegative_ = true;
};

using ReduceKernel = void (*)(Word*, const Word*, const Word*, const Word*, std::size_t) noexcept;

constexpr auto reduceKernels =
    kernelTable<ReduceKernel>([](auto n) { return &reduceBarrett<decltype(n)::value>; });

// ---- Montgomery's reduction ----
//
// For an odd modulus m of k words and R = B^k: t R^-1 mod m for any t < m R, the low word of t
// cleared by a multiple of m one row at a time.

// t[0, 2k) <- garbage; r[0, k) <- t R^-1 mod m, with mInverse = -m^-1 mod B.
template <std::size_t N>
void reduceMontgomery(Word* r, Word* t, const Word* m, Word mInverse, std::size_t count) noexcept {
    const std::size_t k = lengthOf<N>(count);
    Word top = 0;
#pragma GCC unroll 12
    for (std::size_t i = 0; i < k; ++i) {
        const Word u = t[i] * mInverse;
        DoubleWord carry = 0;
#pragma GCC unroll 12
        for (std::size_t j = 0; j < k; ++j) {
            carry += DoubleWord{u} * m[j] + t[i + j];
            t[i + j] = low(carry);
            carry >>= wordBits;
        }
        const DoubleWord sum = DoubleWord{t[i + k]} + low(carry) + top;
        t[i + k] = low(sum);
        top = high(sum);
    }
    // t / R < 2m: one subtraction at most.
    const Word* const u = t + k;
    bool atLeastM = top != 0 || compareWords(u, m, k) >= 0;
    if (!atLeastM) {
#pragma GCC unroll 12
        for (std::size_t i = 0; i < k; ++i) {
            r[i] = u[i];
        }
        return;
    }
    Word borrow = 0;
#pragma GCC unroll 12
    for (std::size_t i = 0; i < k; ++i) {
        const Word d = u[i] - m[i];
        const Word under = u[i] < m[i] ? 1 : 0;
        r[i] = d - borrow;
        borrow = under | (d < borrow ? 1 : 0);
    }
}

// ---- Sums and differences of residues ----
//
// Both compute the result with and without the modulus's correction and pick one by a mask:
// which one is needed is a coin toss for random residues, which a branch would mispredict.

// r <- v + carry B^n less m when that is not negative, else v, for v + carry B^n below 2m: the
// difference and v, picked by a mask. r may be v.
template <std::size_t N>
void subtractModulusOnce(Word* r, const Word* v, Word carry, const Word* m,
                         std::size_t count) noexcept {
    const std::size_t n = lengthOf<N>(count);
    std::array<Word, N != 0 ? N : maxWords> difference;
    Word borrow = 0;
#pragma GCC unroll 12
    for (std::size_t i = 0; i < n; ++i) {
        const DoubleWord d = DoubleWord{v[i]} - m[i] - borrow;
        difference[i] = low(d);
        borrow = high(d) & 1;
    }
    // v stands when subtracting m borrows more than v carried.
    const Word keepV = 0 - Word{borrow > carry ? 1U : 0U};
#pragma GCC unroll 12
    for (std::size_t i = 0; i < n; ++i) {
        r[i] = (v[i] & keepV) | (difference[i] & ~keepV);
    }
}

template <std::size_t N>
void addResidues(Word* r, const Word* x, const Word* y, const Word* m, std::size_t count) noexcept {
    const std::size_t n = lengthOf<N>(count);
    std::array<Word, N != 0 ? N : maxWords> sum;
    const Word carry = addWords<N>(sum.data(), x, y, n);
    subtractModulusOnce<N>(r, sum.data(), carry, m, n);
}

template <std::size_t N>
void subtractResidues(Word* r, const Word* x, const Word* y, const Word* m,
                      std::size_t count) noexcept {
    const std::size_t n = lengthOf<N>(count);
    Word borrow = 0;
#pragma GCC unroll 12
    for (std::size_t i = 0; i < n; ++i) {
        const DoubleWord d = DoubleWord{x[i]} - y[i] - borrow;
        r[i] = low(d);
        borrow = high(d) & 1;
    }
    const Word addM = 0 - borrow;
    Word carry = 0;
#pragma GCC unroll 12
    for (std::size_t i = 0; i < n; ++i) {
        const DoubleWord s = DoubleWord{r[i]} + (m[i] & addM) + carry;
        r[i] = low(s);
        carry = high(s);
    }
}

using ResidueKernel = void (*)(Word*, const Word*, const Word*, const Word*, std::size_t) noexcept;

constexpr auto addKernels =
    kernelTable<ResidueKernel>([](auto n) { return &addResidues<decltype(n)::value>; });

constexpr auto subtractKernels =
    kernelTable<ResidueKernel>([](auto n) { return &subtractResidues<decltype(n)::value>; });

using MontgomeryKernel = void (*)(Word*, Word*, const Word*, Word, std::size_t) noexcept;

constexpr auto montgomeryKernels =
    kernelTable<MontgomeryKernel>([](auto n) { return &reduceMontgomery<decltype(n)::value>; });

using MontgomeryProductKernel = void (*)(Word*, const Word*, const Word*, const Word*,
                                         Word) noexcept;

#if KX_CARRY_CHAIN_ROWS

// Below this length the portable loops, which keep the whole product in registers, are as fast.
constexpr std::size_t carryChainsFrom = 7;

// x y R^-1 mod m: the product row by row, then Montgomery's reduction row by row.
template <std::size_t N>
void multiplyMontgomeryOnRows(Word* r, const Word* x, const Word* y, const Word* m,
                              Word mInverse) noexcept {
    std::array<Word, 2 * N> t;
#pragma GCC unroll 12
    for (std::size_t i = 0; i < N; ++i) {
        t[i] = 0;
    }
#pragma GCC unroll 12
    for (std::size_t i = 0; i < N; ++i) {
        t[i + N] = rows::multiplyAdd<N>(t.data() + i, x, y[i]);
    }
    Word top = 0;
#pragma GCC unroll 12
    for (std::size_t i = 0; i < N; ++i) {
        const Word carry = rows::multiplyAdd<N>(t.data() + i, m, t[i] * mInverse);
        const DoubleWord sum = DoubleWord{t[i + N]} + carry + top;
        t[i + N] = low(sum);
        top = high(sum);
    }
    // t / R < 2m.
    subtractModulusOnce<N>(r, t.data() + N, top, m, N);
}

constexpr auto montgomeryRowKernels = kernelTable<MontgomeryProductKernel>([](auto n) {
    constexpr std::size_t length = decltype(n)::value;
    if constexpr (length >= carryChainsFrom && length <= rows::longest) {
        return &multiplyMontgomeryOnRows<length>;
    } else {
        return MontgomeryProductKernel{nullptr};
    }
});

#endif

}  // namespace

Word negatedInverse(Word m0) noexcept {
    assert(m0 % 2 == 1);
    // Newton's iteration doubles the correct low bits: m0 itself is right modulo 8.
    Word inverse = m0;
    for (int i = 0; i < 5; ++i) {
        inverse *= 2 - m0 * inverse;
    }
    return 0 - inverse;
}

Loops fastestLoops() noexcept {
    static const Loops loops = rows::supported() ? Loops::carryChains : Loops::portable;
    return loops;
}

void multiplyMontgomery(Word* r, const Word* x, const Word* y, const Word* m, Word mInverse,
                        std::size_t k, [[maybe_unused]] Loops loops) noexcept {
#if KX_CARRY_CHAIN_ROWS
    if (loops == Loops::carryChains && k >= carryChainsFrom && k <= rows::longest) {
        montgomeryRowKernels[k](r, x, y, m, mInverse);
        return;
    }
#endif
    std::array<Word, 2 * maxWords> p;
    if (x == y) {
        square(p.data(), x, k);
    } else {
        multiply(p.data(), x, k, y, k);
    }
    reduceMontgomery(r, p.data(), m, mInverse, k);
}

void addModulo(Word* r, const Word* x, const Word* y, const Word* m, std::size_t n) noexcept {
    if (n <= unrolledWords) {
        addKernels[n](r, x, y, m, n);
    } else {
        addResidues<0>(r, x, y, m, n);
    }
}

void subtractModulo(Word* r, const Word* x, const Word* y, const Word* m, std::size_t n) noexcept {
    if (n <= unrolledWords) {
        subtractKernels[n](r, x, y, m, n);
    } else {
        subtractResidues<0>(r, x, y, m, n);
    }
}

void reduceMontgomery(Word* r, Word* t, const Word* m, Word mInverse, std::size_t k) noexcept {
    if (k <= unrolledWords) {
        montgomeryKernels[k](r, t, m, mInverse, k);
    } else {
        reduceMontgomery<0>(r, t, m, mInverse, k);
    }
}

void multiplyModulo(Word* r, const Word* x, const Word* y, const Word* m, std::size_t n) noexcept {
    assert(n >= 1 && n <= maxWords && m[n - 1] != 0);
    std::array<Word, 2 * maxWords> p;
    if (x == y) {
        square(p.data(), x, n);
    } else {
        multiply(p.data(), x, n, y, n);
    }
    const BarrettModulus* const modulus = barrettModulus(m, n);
    if (modulus == nullptr) {
        divide(p.data(), 2 * n, m, n, nullptr);
        std::copy(p.begin(), p.begin() + static_cast<std::ptrdiff_t>(n), r);
    } else {
        reduceModulo(r, p.data(), m, modulus->mu.data(), n);
    }
}

bool barrettReciprocal(Word* mu, const Word* m, std::size_t k) noexcept {
    assert(k >= 1 && k <= maxWords && m[k - 1] != 0);
    if (m[k - 1] == 1 && std::all_of(m, m + k - 1, [](Word w) { return w == 0; })) {
        return false;
    }
    std::array<Word, 2 * maxWords + 1> power{};
    power[2 * k] = 1;
    std::array<Word, maxWords + 2> quotient;
    divide(power.data(), 2 * k + 1, m, k, quotient.data());
    std::copy(quotient.begin(), quotient.begin() + static_cast<std::ptrdiff_t>(k + 1), mu);
    return true;
}

void reduceModulo(Word* r, const Word* x, const Word* m, const Word* mu, std::size_t k) noexcept {
    if (k <= unrolledWords) {
        reduceKernels[k](r, x, m, mu, k);
    } else {
        reduceBarrett<0>(r, x, m, mu, k);
    }
}

void multiply(Word* r, const Word* a, std::size_t na, const Word* b, std::size_t nb) noexcept {
    if (na == 0 || nb == 0) {
        for (std::size_t i = 0; i < na + nb; ++i) {
            r[i] = 0;
        }
        return;
    }
    if (na == nb && na <= unrolledWords) {
        multiplyKernels[na](r, a, na, b, nb);
    } else if (na >= nb) {
        multiplyRows<0>(r, a, na, b, nb);
    } else {
        multiplyRows<0>(r, b, nb, a, na);
    }
}

void square(Word* r, const Word* a, std::size_t n) noexcept {
    if (n <= unrolledWords) {
        squareKernels[n](r, a, n);
    } else {
        squareRows<0>(r, a, n);
    }
}

void divide(Word* x, std::size_t nx, const Word* m, std::size_t nm, Word* q) noexcept {
    assert(nm >= 1 && m[nm - 1] != 0 && nx >= nm);
    if (nm == 1) {
        divideByWord(x, nx, m[0], q);
    } else if (nm <= unrolledWords) {
        divideKernels[nm](x, nx, m, nm, q);
    } else {
        divideByWords<0>(x, nx, m, nm, q);
    }
}

bool inverse(Word* out, const Word* value, const Word* modulus, std::size_t n) noexcept {
    assert(n >= 1 && n <= maxWords && modulus[n - 1] != 0);
    if (n == 1) {
        return inverseOfWord(out[0], value[0], modulus[0]);
    }
    EuclidState state(value, modulus, n);
    return state.run(out, modulus);
}

#else

void multiply(Word*, const Word*, std::size_t, const Word*, std::size_t) noexcept {}
void square(Word*, const Word*, std::size_t) noexcept {}
void divide(Word*, std::size_t, const Word*, std::size_t, Word*) noexcept {}
void multiplyModulo(Word*, const Word*, const Word*, const Word*, std::size_t) noexcept {}
bool barrettReciprocal(Word*, const Word*, std::size_t) noexcept {
    return false;
}
void reduceModulo(Word*, const Word*, const Word*, const Word*, std::size_t) noexcept {}
Word negatedInverse(Word) noexcept {
    return 0;
}
void reduceMontgomery(Word*, Word*, const Word*, Word, std::size_t) noexcept {}
Loops fastestLoops() noexcept {
    return Loops::portable;
}
void multiplyMontgomery(Word*, const Word*, const Word*, const Word*, Word, std::size_t,
                        Loops) noexcept {}
void addModulo(Word*, const Word*, const Word*, const Word*, std::size_t) noexcept {}
void subtractModulo(Word*, const Word*, const Word*, const Word*, std::size_t) noexcept {}
bool inverse(Word*, const Word*, const Word*, std::size_t) noexcept {
    return false;
}

#endif

bool replaceByInverse(Natural& value, const Natural& modulus) {
    const std::span<const Limb> m = modulus.limbs();
    const std::size_t n = wordsFor(m.size());
    if (!available || n == 0 || n > maxWords || value.length() == 0 || !value.lessThan(modulus)) {
        return false;
    }
    std::array<Word, maxWords> mw;
    std::array<Word, maxWords> vw;
    std::array<Word, maxWords> out;
    packPadded(m, mw.data(), n);
    packPadded(value.limbs(), vw.data(), n);
    if (!inverse(out.data(), vw.data(), mw.data(), n)) {
        return true;
    }
    std::array<Limb, 2 * maxWords> limbs;
    unpack(out.data(), m.size(), limbs.data());
    value.setLimbs(std::span<const Limb>(limbs.data(), m.size()));
    return true;
}

bool replaceByProduct(Natural& result, const Natural& x, const Natural& y, const Natural& modulus) {
    const std::span<const Limb> m = modulus.limbs();
    const std::size_t n = wordsFor(m.size());
    if (!available || n == 0 || n > maxWords || x.length() > m.size() || y.length() > m.size()) {
        return false;
    }
    std::array<Word, maxWords> mw;
    std::array<Word, maxWords> xw;
    std::array<Word, maxWords> yw;
    std::array<Word, maxWords> out;
    packPadded(m, mw.data(), n);
    packPadded(x.limbs(), xw.data(), n);
    const bool squaring = &x == &y;
    if (!squaring) {
        packPadded(y.limbs(), yw.data(), n);
    }
    multiplyModulo(out.data(), xw.data(), squaring ? xw.data() : yw.data(), mw.data(), n);
    std::array<Limb, 2 * maxWords> limbs;
    unpack(out.data(), m.size(), limbs.data());
    result.setLimbs(std::span<const Limb>(limbs.data(), m.size()));
    return true;
}

}  // namespace bignum::wide
