#pragma once

// The hot loops of Natural and Modular on 64-bit words: products, squares, long division and
// the modular inverse. A word holds two 32-bit limbs, the lower one in its low half. Callers
// own every buffer; nothing here allocates or throws. Private to bignum/.

#include <cstddef>
#include <cstdint>
#include <span>

#include "bignum/Natural.h"

namespace bignum::wide {

#if defined(__SIZEOF_INT128__)
inline constexpr bool available = true;
#else
// Without a 128-bit integer type the 32-bit limb loops do all the work.
inline constexpr bool available = false;
#endif

using Word = std::uint64_t;

// The largest modulus, in words, that inverse() accepts and that the callers keep their word
// buffers on the stack for: 4096 bits.
inline constexpr std::size_t maxWords = 64;

constexpr std::size_t wordsFor(std::size_t limbs) noexcept {
    return (limbs + 1) / 2;
}

// words[0, wordsFor(limbs.size())) <- the limbs, the top half of an odd top word zero.
void pack(std::span<const Limb> limbs, Word* words) noexcept;
// words[0, n) <- the limbs, zero above them; n >= wordsFor(limbs.size()).
void packPadded(std::span<const Limb> limbs, Word* words, std::size_t n) noexcept;
// limbs[0, limbCount) <- the low limbCount limbs of the words.
void unpack(const Word* words, std::size_t limbCount, Limb* limbs) noexcept;

// r[0, na + nb) <- a * b; r shares no word with a or b.
void multiply(Word* r, const Word* a, std::size_t na, const Word* b, std::size_t nb) noexcept;
// r[0, 2n) <- a * a; r shares no word with a.
void square(Word* r, const Word* a, std::size_t n) noexcept;

// Long division of x[0, nx) by m[0, nm), with nm >= 1, m's top word non-zero and nx >= nm:
// x[0, nm) becomes the remainder and x[nm, nx) zero, and when q is not null, q[0, nx - nm + 1)
// receives the quotient. q shares no word with x or m.
void divide(Word* x, std::size_t nx, const Word* m, std::size_t nm, Word* q) noexcept;

// r[0, n) <- x * y modulo m, for x, y and m of n words (m's top word non-zero); square when x
// is y. r may be x or y.
void multiplyModulo(Word* r, const Word* x, const Word* y, const Word* m, std::size_t n) noexcept;

// mu[0, k + 1) <- floor(B^2k / m), B = 2^64, the reciprocal Barrett's reduction works with, for
// m of k <= maxWords words (top word non-zero). Returns false, mu untouched, for a power of B,
// whose reciprocal would need k + 2 words.
bool barrettReciprocal(Word* mu, const Word* m, std::size_t k) noexcept;
// r[0, k) <- x[0, 2k) mod m, with mu from barrettReciprocal; r shares no word with x.
void reduceModulo(Word* r, const Word* x, const Word* m, const Word* mu, std::size_t k) noexcept;

// r[0, n) <- x + y and x - y modulo m, for x, y below m, all n words; r may be x or y.
void addModulo(Word* r, const Word* x, const Word* y, const Word* m, std::size_t n) noexcept;
void subtractModulo(Word* r, const Word* x, const Word* y, const Word* m, std::size_t n) noexcept;

// The loops the Montgomery product runs on: portable C++, or x86-64's mulx, adcx and adox,
// which only some processors have.
enum class Loops { portable, carryChains };
// The faster loops that this processor runs.
Loops fastestLoops() noexcept;

// -m0^-1 modulo B for an odd m0: the constant of Montgomery's reduction.
Word negatedInverse(Word m0) noexcept;
// r[0, k) <- x y R^-1 mod m for R = B^k, an odd m of k words and x, y below m, with mInverse
// from negatedInverse(m[0]); a square when x is y. r may be x or y. The loops are only a choice
// of speed: every choice gives the same r.
void multiplyMontgomery(Word* r, const Word* x, const Word* y, const Word* m, Word mInverse,
                        std::size_t k, Loops loops) noexcept;
// r[0, k) <- t R^-1 mod m for R = B^k, an odd m of k words and t[0, 2k) < m R, with mInverse
// from negatedInverse(m[0]). t is used as working space; r shares no word with it.
void reduceMontgomery(Word* r, Word* t, const Word* m, Word mInverse, std::size_t k) noexcept;

// out[0, n) <- value^-1 modulo modulus, for n <= maxWords, 0 < value < modulus and modulus > 1,
// all n words long (modulus's top word non-zero). Returns false, leaving out unspecified, when
// value and modulus have a common divisor above 1.
bool inverse(Word* out, const Word* value, const Word* modulus, std::size_t n) noexcept;

// The inverse above for Naturals with 0 < value < modulus and a modulus of at most maxWords
// words: replaces value by its inverse, or leaves it unchanged when it has none, and returns
// true. Returns false without touching value for any other operands, which the caller then
// handles the slow way. Throws std::bad_alloc only when value cannot grow, leaving it as it was.
bool replaceByInverse(Natural& value, const Natural& modulus);

// result <- x * y modulo modulus, a square when x and y are the same object, for x and y no
// longer than a modulus of 1 to maxWords words; returns true. Returns false without touching
// result for any other operands. result shares no object with x, y or modulus. Throws
// std::bad_alloc only when result cannot grow, leaving it as it was.
bool replaceByProduct(Natural& result, const Natural& x, const Natural& y, const Natural& modulus);

}  // namespace bignum::wide
