#include "bignum/ModulusWords.h"

#include <algorithm>

#include "bignum/WideArithmetic.h"

namespace bignum {

static_assert(ModulusWords::maxWords == wide::maxWords);

std::optional<ModulusWords> ModulusWords::of(const Natural& modulus) {
    const std::size_t limbs = modulus.length();
    const std::size_t words = wide::wordsFor(limbs);
    if (!wide::available || words == 0 || words > maxWords || !modulus.differsFrom(1)) {
        return std::nullopt;
    }
    ModulusWords field;
    field.words_ = words;
    field.limbs_ = limbs;
    const Word* const m = field.modulus_.data();
    wide::pack(modulus.limbs(), field.modulus_.data());
    if (m[0] % 2 != 0) {
        field.reduction_ = Reduction::montgomery;
        field.negatedInverse_ = wide::negatedInverse(m[0]);
        // R^2 mod m by long division; R^3 as the Montgomery product of R^2 with itself.
        std::array<Word, 2 * maxWords + 1> power{};
        power[2 * words] = 1;
        wide::divide(power.data(), 2 * words + 1, m, words, nullptr);
        std::copy_n(power.begin(), words, field.rSquared_.begin());
        field.multiply(field.rCubed_, field.rSquared_, field.rSquared_);
    } else if (wide::barrettReciprocal(field.reciprocal_.data(), m, words)) {
        field.reduction_ = Reduction::barrett;
    }
    return field;
}

bool ModulusWords::load(const Natural& v, Residue& r) const noexcept {
    if (v.length() > limbs_) {
        return false;
    }
    Residue words;
    wide::packPadded(v.limbs(), words.data(), words_);
    for (std::size_t i = words_; i-- > 0;) {
        if (words[i] != modulus_[i]) {
            if (words[i] > modulus_[i]) {
                return false;
            }
            break;
        }
        if (i == 0) {
            return false;  // equal to the modulus
        }
    }
    if (reduction_ == Reduction::montgomery) {
        multiply(r, words, rSquared_);
    } else {
        copy(r, words);
    }
    return true;
}

void ModulusWords::store(const Residue& x, Natural& v) const {
    Residue plain;
    if (reduction_ == Reduction::montgomery) {
        std::array<Word, 2 * maxWords> p{};
        std::copy_n(x.begin(), words_, p.begin());
        reduce(plain, p.data());
    } else {
        copy(plain, x);
    }
    std::array<Limb, 2 * maxWords> limbs;
    wide::unpack(plain.data(), limbs_, limbs.data());
    v.setLimbs(std::span<const Limb>(limbs.data(), limbs_));
}

bool ModulusWords::isZero(const Residue& x) const noexcept {
    return std::all_of(x.begin(), x.begin() + static_cast<std::ptrdiff_t>(words_),
                       [](Word w) { return w == 0; });
}

bool ModulusWords::equal(const Residue& x, const Residue& y) const noexcept {
    return std::equal(x.begin(), x.begin() + static_cast<std::ptrdiff_t>(words_), y.begin());
}

void ModulusWords::copy(Residue& r, const Residue& x) const noexcept {
    std::copy_n(x.begin(), words_, r.begin());
}

void ModulusWords::setZero(Residue& r) const noexcept {
    std::fill_n(r.begin(), words_, Word{0});
}

void ModulusWords::add(Residue& r, const Residue& x, const Residue& y) const noexcept {
    wide::addModulo(r.data(), x.data(), y.data(), modulus_.data(), words_);
}

void ModulusWords::subtract(Residue& r, const Residue& x, const Residue& y) const noexcept {
    wide::subtractModulo(r.data(), x.data(), y.data(), modulus_.data(), words_);
}

void ModulusWords::negate(Residue& r, const Residue& x) const noexcept {
    if (isZero(x)) {
        setZero(r);
        return;
    }
    Word borrow = 0;
    for (std::size_t i = 0; i < words_; ++i) {
        const Word d = modulus_[i] - x[i];
        const Word under = modulus_[i] < x[i] ? 1 : 0;
        r[i] = d - borrow;
        borrow = under | (d < borrow ? 1 : 0);
    }
}

void ModulusWords::multiply(Residue& r, const Residue& x, const Residue& y) const noexcept {
    const std::size_t n = words_;
    if (reduction_ == Reduction::montgomery) {
        wide::multiplyMontgomery(r.data(), x.data(), y.data(), modulus_.data(), negatedInverse_, n,
                                 wide::fastestLoops());
        return;
    }
    std::array<Word, 2 * maxWords> p;
    if (&x == &y) {
        wide::square(p.data(), x.data(), n);
    } else {
        wide::multiply(p.data(), x.data(), n, y.data(), n);
    }
    reduce(r, p.data());
}

void ModulusWords::reduce(Residue& r, Word* p) const noexcept {
    const std::size_t n = words_;
    switch (reduction_) {
        case Reduction::montgomery:
            wide::reduceMontgomery(r.data(), p, modulus_.data(), negatedInverse_, n);
            break;
        case Reduction::barrett:
            wide::reduceModulo(r.data(), p, modulus_.data(), reciprocal_.data(), n);
            break;
        case Reduction::division:
            wide::divide(p, 2 * n, modulus_.data(), n, nullptr);
            std::copy_n(p, n, r.begin());
            break;
    }
}

bool ModulusWords::invert(Residue& r, const Residue& x) const noexcept {
    if (!wide::inverse(r.data(), x.data(), modulus_.data(), words_)) {
        return false;
    }
    if (reduction_ == Reduction::montgomery) {
        // The inverse of x R is x^-1 R^-1; R^3 turns it into x^-1 R.
        multiply(r, r, rCubed_);
    }
    return true;
}

}  // namespace bignum
