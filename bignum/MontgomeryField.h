#pragma once

#include <array>
#include <cstddef>
#include <optional>
#include <span>

#include "bignum/Kernels.h"
#include "bignum/Natural.h"

namespace bignum {

// Residues modulo an odd modulus above 1 of N machine words (N = 0: of any count up to
// maxWords), in Montgomery's form x R mod m with R = 2^(word bits x words), on buffers that the
// caller owns: the arithmetic of the scalar multiplication's inner loop, which cannot afford a
// Natural per intermediate value. Owns copies of the modulus and its constants. Operands must be
// residues made by the same field; any result may share a buffer with an operand.
template <std::size_t N>
class MontgomeryField {
  public:
    using Word = kernels::Word;
    static constexpr std::size_t maxWords = 4096 / kernels::bitsOf<Word>;
    using Residue = std::array<Word, N == 0 ? maxWords : N>;

    // The number of words a modulus takes.
    static std::size_t wordsOf(const Natural& modulus) noexcept;
    // The field of an odd modulus above 1 of N words (1 to maxWords for N = 0); nothing for any
    // other modulus.
    static std::optional<MontgomeryField> of(const Natural& modulus);

    // r <- v and true when v lies below the modulus; false, r untouched, otherwise.
    bool load(const Natural& v, Residue& r) const noexcept;
    // v <- x. Throws std::bad_alloc only when v cannot grow, leaving it unchanged.
    void store(const Residue& x, Natural& v) const;

    bool isZero(const Residue& x) const noexcept;
    bool equal(const Residue& x, const Residue& y) const noexcept;
    void add(Residue& r, const Residue& x, const Residue& y) const noexcept;
    void subtract(Residue& r, const Residue& x, const Residue& y) const noexcept;
    void negate(Residue& r, const Residue& x) const noexcept;
    // A square when x and y are the same buffer.
    void multiply(Residue& r, const Residue& x, const Residue& y) const noexcept;
    // r <- x^-1 for a non-zero x; false, r unspecified, when x has no inverse (x and the
    // modulus share a divisor).
    bool invert(Residue& r, const Residue& x) const noexcept;

  private:
    static constexpr std::size_t extent = N == 0 ? std::dynamic_extent : N;
    using Words = std::span<Word, extent>;
    using ConstWords = std::span<const Word, extent>;

    MontgomeryField() = default;
    // The word count, a constant where N fixes it.
    std::size_t size() const noexcept { return N == 0 ? words_ : N; }
    Words words(Residue& x) const noexcept;
    ConstWords words(const Residue& x) const noexcept;
    // r[0, size()) += a w; returns the word carried out.
    Word multiplyAdd(std::span<Word> r, ConstWords a, Word w) const noexcept;
    // r <- t R^-1 mod m for t < m R of twice the field's words; t is used as working space.
    void reduce(Residue& r, std::span<Word> t) const noexcept;
    // r <- v + carry R less m when that is not negative, else v, for v + carry R < 2m.
    void subtractModulusOnce(Residue& r, ConstWords v, Word carry) const noexcept;

    std::size_t words_ = N;
    std::size_t limbs_ = 0;
    Residue modulus_{};
    Word negatedInverse_ = 0;  // -m^-1 modulo the word base
    Residue rSquared_{};       // R^2 mod m, which load multiplies by
    Residue rCubed_{};         // R^3 mod m, which turns an inverse back into Montgomery's form
};

// The fields the scalar multiplication instantiates: one per word count up to the largest curve
// size, where unrolled loops pay, and one for all longer moduli.
inline constexpr std::size_t longestUnrolledField = 10;

}  // namespace bignum
