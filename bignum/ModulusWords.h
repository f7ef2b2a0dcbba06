#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>

#include "bignum/Natural.h"

namespace bignum {

// A modulus above 1 of up to 4096 bits in 64-bit words, with its reduction constants, and
// residue arithmetic on word buffers that the caller owns: for hot loops that cannot afford a
// Natural per intermediate value. Owns copies of the modulus and its constants only. Residues
// are held in a form of their own (Montgomery's, x 2^(64 words) mod m, for an odd modulus):
// they come from load or from these operations and go out through store. Results may share a
// buffer with an operand.
class ModulusWords {
  public:
    using Word = std::uint64_t;
    static constexpr std::size_t maxWords = 64;
    // Room for a residue of any modulus; only the first words() words take part.
    using Residue = std::array<Word, maxWords>;

    // Nothing for a modulus of 0 or 1, one longer than maxWords words, or on a platform
    // without 128-bit integers.
    static std::optional<ModulusWords> of(const Natural& modulus);

    std::size_t words() const noexcept { return words_; }

    // r <- v in residue form and true when v lies below the modulus; false, r untouched,
    // otherwise.
    bool load(const Natural& v, Residue& r) const noexcept;
    // v <- x. Throws std::bad_alloc only when v cannot grow, leaving it unchanged.
    void store(const Residue& x, Natural& v) const;

    bool isZero(const Residue& x) const noexcept;
    bool equal(const Residue& x, const Residue& y) const noexcept;
    void copy(Residue& r, const Residue& x) const noexcept;
    void setZero(Residue& r) const noexcept;

    void add(Residue& r, const Residue& x, const Residue& y) const noexcept;
    void subtract(Residue& r, const Residue& x, const Residue& y) const noexcept;
    void negate(Residue& r, const Residue& x) const noexcept;
    // A square when x and y are the same buffer.
    void multiply(Residue& r, const Residue& x, const Residue& y) const noexcept;
    // r <- x^-1 for a non-zero x; false, r unspecified, when x has no inverse.
    bool invert(Residue& r, const Residue& x) const noexcept;

  private:
    ModulusWords() = default;

    // Odd moduli take Montgomery's reduction, even ones Barrett's, and powers of 2^64, whose
    // Barrett reciprocal does not fit, long division.
    enum class Reduction { montgomery, barrett, division };

    // r <- the product p[0, 2 words) reduced; p is used as working space.
    void reduce(Residue& r, Word* p) const noexcept;

    std::size_t words_ = 0;
    std::size_t limbs_ = 0;
    Reduction reduction_ = Reduction::division;
    Residue modulus_{};
    // Barrett's floor(2^(128 words) / m).
    std::array<Word, maxWords + 1> reciprocal_{};
    // Montgomery's -m^-1 mod 2^64, and R^2 and R^3 mod m for R = 2^(64 words).
    Word negatedInverse_ = 0;
    Residue rSquared_{};
    Residue rCubed_{};
};

}  // namespace bignum
