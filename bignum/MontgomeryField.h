#pragma once

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <span>
#include <utility>

#include "bignum/Kernels.h"
#include "bignum/Natural.h"

namespace bignum {

// Residues modulo an odd modulus m > 1 of N machine words (N = 0: of any count up to maxWords),
// in Montgomery's form x R mod m with R = 2^(word bits x words) (P. L. Montgomery, "Modular
// multiplication without trial division", Math. Comp. 44, 1985), on buffers that the caller
// owns: the arithmetic of the scalar multiplication's inner loop, which cannot afford a Natural
// per intermediate value. Owns copies of the modulus and its constants, and the verdict on
// whether the modulus is prime. Operands must be residues made by the same field; any result may
// share a buffer with an operand.
template <std::size_t N>
class MontgomeryField {
  public:
    using Word = kernels::Word;
    // The largest modulus the field takes, and so the largest the program computes on quickly.
    static constexpr std::size_t maxBits = 4096;
    static constexpr std::size_t maxWords = maxBits / kernels::bitsOf<Word>;
    // A residue lies below the field's bound (see bound_), so the same value may have two forms:
    // equal and isZero compare values modulo m, and store writes the least one.
    using Residue = std::array<Word, N == 0 ? maxWords : N>;

    // The number of words a modulus takes.
    static std::size_t wordsOf(const Natural& modulus) noexcept {
        return (modulus.length() + limbsPerWord - 1) / limbsPerWord;
    }

    // The field of an odd modulus above 1 of N words (1 to maxWords for N = 0); nothing for any
    // other modulus. Decides whether the modulus is prime, at the cost of some five products per
    // bit of it: keep the field rather than make it again.
    static std::optional<MontgomeryField> of(const Natural& modulus) {
        const std::size_t n = wordsOf(modulus);
        if (n == 0 || n > maxWords || (N != 0 && n != N) || !modulus.bit(0) ||
            !modulus.differsFrom(1)) {
            return std::nullopt;
        }
        MontgomeryField field;
        field.words_ = n;
        field.limbs_ = modulus.length();
        pack(modulus.limbs(), field.modulus_);
        field.bound_ = field.modulus_;
        field.lazy_ = (field.modulus_[n - 1] >> (wordBits - 2)) == 0;
        if (field.lazy_) {
            kernels::add<Word, extent>(field.words(field.bound_), field.words(field.modulus_),
                                       field.words(field.modulus_));
        }
        // Newton's iteration doubles the correct low bits of m^-1, and m itself is right modulo
        // 8: five steps give 96 bits.
        const Word m0 = field.modulus_[0];
        Word inverse = m0;
        for (int i = 0; i < 5; ++i) {
            inverse *= 2 - m0 * inverse;
        }
        field.negatedInverse_ = 0 - inverse;
        // R^2 mod m by long division; R^3 as the Montgomery product of R^2 with itself.
        std::array<Word, 2 * maxWords + 1> power{};
        power[2 * n] = 1;
        kernels::divide<Word>(std::span(power).first(2 * n + 1), field.words(field.modulus_), {});
        std::copy_n(power.begin(), n, field.rSquared_.begin());
        field.multiply(field.rCubed_, field.rSquared_, field.rSquared_);
        field.provenPrime_ = field.passesBailliePsw(modulus);
        return field;
    }

    // True when the modulus is shown prime: by trial division below 2^16, above by Baillie-PSW,
    // which every prime passes and no composite is known to pass (none below 2^64 does). For a
    // prime it is false only if none of the first 500 candidates for the Lucas test's D fits.
    bool provenPrime() const noexcept { return provenPrime_; }

    // r <- v and true when v lies below the modulus; false, r untouched, otherwise.
    bool load(const Natural& v, Residue& r) const noexcept {
        if (v.length() > limbs_) {
            return false;
        }
        Residue plain{};
        pack(v.limbs(), plain);
        if (kernels::compare<Word, extent>(words(std::as_const(plain)), words(modulus_)) >= 0) {
            return false;
        }
        multiply(r, plain, rSquared_);
        return true;
    }

    // v <- x. Throws std::bad_alloc only when v cannot grow, leaving it unchanged.
    void store(const Residue& x, Natural& v) const {
        std::array<Word, 2 * maxWords> t{};
        std::copy_n(x.begin(), size(), t.begin());
        Residue plain{};
        reduce(plain, std::span(t).first(2 * size()));
        plain = least(plain);
        std::array<Limb, maxWords * limbsPerWord> limbs;
        for (std::size_t i = 0; i < limbs_; ++i) {
            limbs[i] =
                static_cast<Limb>(plain[i / limbsPerWord] >> (limbBits * (i % limbsPerWord)));
        }
        v.setLimbs(std::span(limbs).first(limbs_));
    }

    // The one form of x's value, for code that hashes or compares the words themselves.
    Residue least(const Residue& x) const noexcept {
        Residue r{};
        subtractOnce(r, words(x), 0, modulus_);
        return r;
    }

    bool isZero(const Residue& x) const noexcept { return zero(least(x)); }

    bool equal(const Residue& x, const Residue& y) const noexcept {
        return kernels::compare<Word, extent>(words(least(x)), words(least(y))) == 0;
    }

    void add(Residue& r, const Residue& x, const Residue& y) const noexcept {
        Residue sum;
        const Word carry = kernels::add<Word, extent>(words(sum), words(x), words(y));
        subtractOnce(r, words(std::as_const(sum)), carry, bound_);
    }

    void subtract(Residue& r, const Residue& x, const Residue& y) const noexcept {
        const Word borrow = kernels::subtract<Word, extent>(words(r), words(x), words(y));
        addMasked(r, bound_, 0 - borrow);
    }

    void negate(Residue& r, const Residue& x) const noexcept { subtract(r, Residue{}, x); }

    // x <- x / 2.
    void halve(Residue& x) const noexcept {
        const Word carry = addMasked(x, modulus_, 0 - (x[0] & 1));
        kernels::shiftRight<Word>(words(x), words(std::as_const(x)), 1);
        x[size() - 1] |= carry << (wordBits - 1);
    }

    // A square, with about half the word products, when x and y are the same buffer. Product
    // and reduction run one after the other: interleaving them measured slower.
    void multiply(Residue& r, const Residue& x, const Residue& y) const noexcept {
        const std::size_t n = size();
        std::array<Word, 2 * (N == 0 ? maxWords : N)> t;
        if (&x == &y) {
            kernels::square<Word, extent>(std::span(t).first(2 * n), words(x));
        } else {
            std::fill_n(t.begin(), n, Word{0});
#pragma GCC unroll 16
            for (std::size_t i = 0; i < n; ++i) {
                t[i + n] = kernels::multiplyAdd<Word, extent>(
                    kernels::window<extent>(std::span<Word>(t), i, n), words(x), y[i]);
            }
        }
        reduce(r, std::span(t).first(2 * n));
    }

    // r <- x^-1; false, r unspecified, when x has no inverse (zero, or x and the modulus share a
    // divisor). The binary extended Euclid (D. Hankerson, A. Menezes and S. Vanstone, Guide to
    // Elliptic Curve Cryptography, 2004, Algorithm 2.22), run until u = 0 so that a common
    // divisor ends it too: at most 2 log2 m rounds of a comparison, two subtractions and a few
    // halvings. It inverts x R as a plain number to x^-1 R^-1, which the product with R^3 brings
    // back to x^-1 R.
    bool invert(Residue& r, const Residue& x) const noexcept {
        // u = a x and v = b x modulo m, v odd; gcd(u, v) = gcd(x, m) throughout.
        Residue u = x;
        Residue v = modulus_;
        Residue a{1};
        Residue b{};
        while (!zero(u)) {
            while ((u[0] & 1) == 0) {
                kernels::shiftRight<Word>(words(u), words(std::as_const(u)), 1);
                halve(a);
            }
            if (kernels::compare<Word, extent>(words(std::as_const(u)), words(std::as_const(v))) <
                0) {
                std::swap(u, v);
                std::swap(a, b);
            }
            kernels::subtract<Word, extent>(words(u), words(std::as_const(u)),
                                            words(std::as_const(v)));
            subtract(a, a, b);
        }
        v[0] ^= 1;
        if (!zero(v)) {
            return false;
        }
        multiply(r, b, rCubed_);
        return true;
    }

  private:
    static constexpr std::size_t extent = N == 0 ? std::dynamic_extent : N;
    static constexpr unsigned wordBits = kernels::bitsOf<Word>;
    static constexpr std::size_t limbsPerWord = sizeof(Word) / sizeof(Limb);
    using Words = std::span<Word, extent>;
    using ConstWords = std::span<const Word, extent>;

    MontgomeryField() = default;

    // The word count, a constant where N fixes it.
    std::size_t size() const noexcept {
        return N == 0 ? words_ : N;
    }
    Words words(Residue& x) const noexcept {
        return kernels::window<extent>(std::span<Word>(x), 0, size());
    }
    ConstWords words(const Residue& x) const noexcept {
        return kernels::window<extent>(std::span<const Word>(x), 0, size());
    }

    // r <- t R^-1 mod m, below the bound, for t < 4 m^2 of twice the field's words; t is used as
    // working space.
    void reduce(Residue& r, std::span<Word> t) const noexcept {
        const std::size_t n = size();
        Word top = 0;
#pragma GCC unroll 16
        for (std::size_t i = 0; i < n; ++i) {
            const Word carry = kernels::multiplyAdd<Word, extent>(
                kernels::window<extent>(t, i, n), words(modulus_), t[i] * negatedInverse_);
            const kernels::Double<Word> sum = kernels::Double<Word>{t[i + n]} + carry + top;
            t[i + n] = static_cast<Word>(sum);
            top = kernels::high<Word>(sum);
        }
        // t / R < 4m^2 / R + m: below 2m, and below the bound once m is subtracted where that
        // is m. The copy is a loop, which the compiler unrolls instead of calling memcpy.
        const ConstWords high = kernels::window<extent>(std::span<const Word>(t), n, n);
        if (!lazy_) {
            subtractOnce(r, high, top, modulus_);
            return;
        }
#pragma GCC unroll 16
        for (std::size_t i = 0; i < n; ++i) {
            r[i] = high[i];
        }
    }

    // r <- v + carry R less b when that is not negative, else v, for v + carry R < 2b. Which of
    // the two a sum needs is a coin toss for random residues, which a branch would mispredict:
    // both are computed and one is picked by a mask.
    void subtractOnce(Residue& r, ConstWords v, Word carry, const Residue& b) const noexcept {
        Residue difference;
        const Word borrow = kernels::subtract<Word, extent>(words(difference), v, words(b));
        // v stands when subtracting b borrows more than v carried.
        const Word keepV = 0 - Word{borrow > carry ? 1U : 0U};
        for (std::size_t i = 0; i < size(); ++i) {
            r[i] = (v[i] & keepV) | (difference[i] & ~keepV);
        }
    }

    // x <- x + (b & mask), word by word; returns the carry out.
    Word addMasked(Residue& x, const Residue& b, Word mask) const noexcept {
        Word carry = 0;
        for (std::size_t i = 0; i < size(); ++i) {
            const kernels::Double<Word> sum = kernels::Double<Word>{x[i]} + (b[i] & mask) + carry;
            x[i] = static_cast<Word>(sum);
            carry = kernels::high<Word>(sum);
        }
        return carry;
    }

    // r gets the limbs, for r zero where they go.
    static void pack(std::span<const Limb> limbs, Residue& r) noexcept {
        for (std::size_t i = 0; i < limbs.size(); ++i) {
            r[i / limbsPerWord] |= Word{limbs[i]} << (limbBits * (i % limbsPerWord));
        }
    }

    bool zero(const Residue& x) const noexcept {
        const ConstWords w = words(x);
        return std::all_of(w.begin(), w.end(), [](Word word) { return word == 0; });
    }

    // The Jacobi symbol (a / n) for odd n, by quadratic reciprocity.
    static int jacobi(Limb a, Limb n) noexcept {
        int symbol = 1;
        while (a != 0) {
            for (; a % 2 == 0; a /= 2) {
                symbol = n % 8 == 3 || n % 8 == 5 ? -symbol : symbol;
            }
            std::swap(a, n);
            symbol = a % 4 == 3 && n % 4 == 3 ? -symbol : symbol;
            a %= n;
        }
        return n == 1 ? symbol : 0;
    }

    // v becomes the odd d with v = d 2^s; returns s. For v > 0.
    static std::size_t takeOddPart(Natural& v) {
        std::size_t s = 0;
        for (; !v.bit(0); ++s) {
            v.halve();
        }
        return s;
    }

    // Baillie-PSW (R. Baillie and S. S. Wagstaff Jr., "Lucas pseudoprimes", Math. Comp. 35, 1980):
    // a strong probable-prime test to base 2, then a strong Lucas test with P = 1 and Selfridge's
    // Q = (1 - D) / 4, D the first of 5, -7, 9, -11, ... with Jacobi (D / m) = -1. About one
    // product per bit for the first and three to five for the second. A modulus below 2^16, too
    // small for the parameters, is tried by division instead.
    bool passesBailliePsw(const Natural& modulus) const {
        if (modulus.bitLength() <= 16) {
            const Limb m = modulus.limbs()[0];
            Limb d = 3;
            for (; d * d <= m && m % d != 0; d += 2) {
            }
            return d * d > m;
        }
        Residue one;
        Residue minusOne;
        load(Natural(1), one);
        negate(minusOne, one);
        // m - 1 = d 2^s: 2^d is 1 or -1, or some 2^(d 2^r) with 0 < r < s is -1.
        Natural d = modulus;
        d.decrementFrom(0);
        std::size_t s = takeOddPart(d);
        Residue x = one;
        for (std::size_t i = d.bitLength(); i-- > 0;) {
            multiply(x, x, x);
            if (d.bit(i)) {
                add(x, x, x);
            }
        }
        bool passes = equal(x, one) || equal(x, minusOne);
        for (std::size_t r = 1; r < s && !passes; ++r) {
            multiply(x, x, x);
            passes = equal(x, minusOne);
        }
        // Since D = 1 (mod 4), (D / m) = (m mod |D| / |D|) by reciprocity. For a square m no D
        // fits; past the first 500 candidates the modulus is left unproven.
        std::int64_t D = 5;
        for (; passes; D = D > 0 ? -D - 2 : 2 - D) {
            const auto divisor = static_cast<Limb>(std::abs(D));
            Natural rest = modulus;
            Natural by(divisor);
            divide(rest, by);
            const int symbol = jacobi(rest.differsFrom(0) ? rest.limbs()[0] : 0, divisor);
            if (symbol == -1) {
                break;
            }
            // A common divisor below m makes m composite.
            passes = symbol != 0 && divisor < 1000;
        }
        if (!passes) {
            return false;
        }
        Residue Dm;
        load(Natural(static_cast<Limb>(std::abs(D))), Dm);
        if (D < 0) {
            negate(Dm, Dm);
        }
        Residue Q;
        subtract(Q, one, Dm);
        halve(Q);
        halve(Q);
        // m + 1 = d 2^s: U_d = 0, or some V_(d 2^r) with r < s is 0. Along d's bits from the top,
        // U_2k = U_k V_k, V_2k = V_k^2 - 2 Q^k; U_k+1 = (U_k + V_k) / 2, V_k+1 = (D U_k + V_k) / 2.
        d = modulus;
        d.incrementFrom(0);
        s = takeOddPart(d);
        Residue U = one;
        Residue V = one;
        Residue Qk = Q;
        Residue DU;
        const auto doubleIndex = [&] {
            multiply(V, V, V);
            subtract(V, V, Qk);
            subtract(V, V, Qk);
            multiply(Qk, Qk, Qk);
        };
        for (std::size_t i = d.bitLength() - 1; i-- > 0;) {
            multiply(U, U, V);
            doubleIndex();
            if (d.bit(i)) {
                multiply(DU, Dm, U);
                add(U, U, V);
                halve(U);
                add(V, DU, V);
                halve(V);
                multiply(Qk, Qk, Q);
            }
        }
        passes = isZero(U) || isZero(V);
        for (std::size_t r = 1; r < s && !passes; ++r) {
            doubleIndex();
            passes = isZero(V);
        }
        return passes;
    }

    std::size_t words_ = N;
    std::size_t limbs_ = 0;
    Residue modulus_{};
    // Residues stay below 2m where 4m < R, and below m elsewhere: a product of two residues below
    // 2m is below 4m^2 < mR, whose reduction is below 2m, so it needs no subtraction of m.
    Residue bound_{};
    bool lazy_ = false;        // the bound is 2m
    Word negatedInverse_ = 0;  // -m^-1 modulo the word base
    Residue rSquared_{};       // R^2 mod m, which load multiplies by
    Residue rCubed_{};         // R^3 mod m, which turns an inverse back into Montgomery's form
    bool provenPrime_ = false;
};

// The fields the scalar multiplication instantiates: one per word count up to the largest curve
// size, where unrolled loops pay, and one for all longer moduli.
inline constexpr std::size_t longestUnrolledField = 10;

}  // namespace bignum
