#include "bignum/MontgomeryField.h"

#include <algorithm>
#include <cassert>
#include <utility>

namespace bignum {

namespace {

using Word = kernels::Word;
using DoubleWord = kernels::Double<Word>;
using SignedDoubleWord = kernels::SignedDouble<Word>;
constexpr unsigned wordBits = kernels::bitsOf<Word>;
constexpr std::size_t limbsPerWord = sizeof(Word) / sizeof(Limb);
constexpr std::size_t maxWords = MontgomeryField<0>::maxWords;

// words <- the limbs, zero above them.
void pack(std::span<const Limb> limbs, std::span<Word> words) noexcept {
    std::fill(words.begin(), words.end(), Word{0});
    for (std::size_t i = 0; i < limbs.size(); ++i) {
        words[i / limbsPerWord] |= Word{limbs[i]} << (32 * (i % limbsPerWord));
    }
}

// limbs <- the low limbs of the words.
void unpack(std::span<const Word> words, std::span<Limb> limbs) noexcept {
    for (std::size_t i = 0; i < limbs.size(); ++i) {
        limbs[i] = static_cast<Limb>(words[i / limbsPerWord] >> (32 * (i % limbsPerWord)));
    }
}

std::size_t significantWords(std::span<const Word> a) noexcept {
    std::size_t n = a.size();
    while (n > 0 && a[n - 1] == 0) {
        --n;
    }
    return n;
}

// ---- The inverse by Lehmer's extended Euclid ----
//
// Euclid on (modulus, value) keeps only the cofactors of value: a = +-ta value and
// b = -+tb value modulo the modulus, the signs alternating with each quotient. A run of
// quotients is found from the leading word of a and b and applied to the whole numbers at once
// as a 2x2 matrix.

// The product of [[q, 1], [1, 0]] over a run of quotients q, so that (a, b) = M (a', b') with
// a', b' the remainders after the run.
struct Matrix {
    Word m00 = 1;
    Word m01 = 0;
    Word m10 = 0;
    Word m11 = 1;
    std::size_t steps = 0;
};

// The run of quotients of the leading words ah > bh for as long as Jebelean's condition
// guarantees that they are those of the whole numbers, with the entries kept below half the
// word base.
Matrix lehmerRun(Word ah, Word bh) noexcept {
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

// r = x p - y s for entries x, y below half the word base. Returns the word above r: zero
// exactly when the difference is not negative and fits, which it does when the run was right.
Word combineDifference(std::span<Word> r, Word x, std::span<const Word> p, Word y,
                       std::span<const Word> s) noexcept {
    SignedDoubleWord carry = 0;
    for (std::size_t i = 0; i < r.size(); ++i) {
        carry += static_cast<SignedDoubleWord>(DoubleWord{x} * p[i]) -
                 static_cast<SignedDoubleWord>(DoubleWord{y} * s[i]);
        r[i] = static_cast<Word>(carry);
        carry >>= wordBits;
    }
    return static_cast<Word>(carry);
}

// r = x p + y s; returns the word above r, for a sum that fits in one word more than r.
Word combineSum(std::span<Word> r, Word x, std::span<const Word> p, Word y,
                std::span<const Word> s) noexcept {
    // Three words of carry: x p[i] + y s[i] may exceed B^2 when x and y are full words.
    DoubleWord carry = 0;
    for (std::size_t i = 0; i < r.size(); ++i) {
        const DoubleWord px = DoubleWord{x} * p[i];
        const DoubleWord sy = DoubleWord{y} * s[i];
        const DoubleWord low =
            DoubleWord{static_cast<Word>(px)} + static_cast<Word>(sy) + static_cast<Word>(carry);
        r[i] = static_cast<Word>(low);
        carry = DoubleWord{kernels::high<Word>(px)} + kernels::high<Word>(sy) +
                kernels::high<Word>(low) + kernels::high<Word>(carry);
    }
    return static_cast<Word>(carry);
}

// The leading word of a and the bits of b at the same places, for a of la >= 2 words.
std::pair<Word, Word> leadingWords(std::span<const Word> a, std::span<const Word> b,
                                   std::size_t la) noexcept {
    const auto shift = static_cast<unsigned>(std::countl_zero(a[la - 1]));
    const auto top = [&](std::span<const Word> x) {
        return shift == 0
                   ? x[la - 1]
                   : static_cast<Word>(x[la - 1] << shift) | (x[la - 2] >> (wordBits - shift));
    };
    return {top(a), top(b)};
}

// The working state of one inverse: remainders a > b and cofactors ta, tb, each in one of two
// buffers of maxWords + 2 words, the other receiving the next value.
class Inversion {
  public:
    Inversion(std::span<const Word> value, std::span<const Word> modulus) noexcept
        : n_(modulus.size()) {
        for (auto& buffer : buffers_) {
            std::fill_n(buffer.begin(), n_ + 2, Word{0});
        }
        std::copy(modulus.begin(), modulus.end(), a().begin());
        std::copy(value.begin(), value.end(), b().begin());
        tb()[0] = 1;
        la_ = significantWords(a().first(n_));
        lb_ = significantWords(b().first(n_));
    }

    // out <- the inverse and true when the greatest common divisor is 1.
    bool run(std::span<Word> out, std::span<const Word> modulus) noexcept {
        while (lb_ != 0) {
            if (la_ == 1) {
                finishOnWords();
            } else if (!takeRun()) {
                takeQuotient();
            }
        }
        if (la_ != 1 || a()[0] != 1) {
            return false;
        }
        if (aNegative_) {
            kernels::subtract<Word>(out, modulus, ta().first(n_));
        } else {
            std::copy_n(ta().begin(), n_, out.begin());
        }
        return true;
    }

  private:
    using Buffer = std::array<Word, maxWords + 2>;
    enum Slot : std::size_t { slotA, slotB, slotTa, slotTb };

    std::span<Word> current(Slot slot) noexcept { return buffers_[current_[slot]]; }
    std::span<Word> next(Slot slot) noexcept { return buffers_[current_[slot] ^ 1]; }
    std::span<Word> a() noexcept { return current(slotA); }
    std::span<Word> b() noexcept { return current(slotB); }
    std::span<Word> ta() noexcept { return current(slotTa); }
    std::span<Word> tb() noexcept { return current(slotTb); }
    void swapRoles() noexcept {
        std::swap(current_[slotA], current_[slotB]);
        std::swap(current_[slotTa], current_[slotTb]);
        std::swap(la_, lb_);
        aNegative_ = !aNegative_;
    }

    // One or two runs of quotients from the leading words, applied at once; false when none
    // could be taken.
    bool takeRun() noexcept {
        const auto [ah, bh] = leadingWords(a(), b(), la_);
        const Matrix first = lehmerRun(ah, bh);
        if (first.steps == 0) {
            return false;
        }
        const Matrix both = extendRun(first);
        return apply(both) || (both.steps != first.steps && apply(first));
    }

    // `first` composed with a second run, found from the top four words of the remainders that
    // `first` leads to; `first` alone when the window is too short or the product would not stay
    // below half the word base. A second run that is wrong for the whole numbers is caught when
    // it is applied.
    Matrix extendRun(const Matrix& first) noexcept {
        constexpr std::size_t maxWindow = 4;
        const std::size_t window = std::min(la_, maxWindow);
        const std::span<const Word> aTop = a().subspan(la_ - window, window);
        const std::span<const Word> bTop = b().subspan(la_ - window, window);
        std::array<Word, maxWindow> aw;
        std::array<Word, maxWindow> bw;
        const std::span<Word> aNext = std::span(aw).first(window);
        const std::span<Word> bNext = std::span(bw).first(window);
        const bool odd = first.steps % 2 != 0;
        const Word aOut = odd ? combineDifference(aNext, first.m01, bTop, first.m11, aTop)
                              : combineDifference(aNext, first.m11, aTop, first.m01, bTop);
        const Word bOut = odd ? combineDifference(bNext, first.m10, aTop, first.m00, bTop)
                              : combineDifference(bNext, first.m00, bTop, first.m10, aTop);
        const std::size_t count = significantWords(aNext);
        // Unless the window holds the whole numbers, its lowest word carries the error of the
        // words cut off below it: the leading bits must come from above that word.
        const std::size_t needed = window == la_ ? 2 : 3;
        if (aOut != 0 || bOut != 0 || count < needed) {
            return first;
        }
        const auto [ah, bh] = leadingWords(aNext, bNext, count);
        const Matrix second = lehmerRun(ah, bh);
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
        return {static_cast<Word>(m00), static_cast<Word>(m01), static_cast<Word>(m10),
                static_cast<Word>(m11), first.steps + second.steps};
    }

    // (a, b) <- M^-1 (a, b), and the cofactors with them, unless a remainder would turn
    // negative.
    bool apply(const Matrix& m) noexcept {
        const std::size_t la = la_;
        const bool odd = m.steps % 2 != 0;
        const std::span<const Word> a0 = a().first(la);
        const std::span<const Word> b0 = b().first(la);
        // Even runs: a' = m11 a - m01 b, b' = m00 b - m10 a; odd runs the negations.
        const Word aOut = odd ? combineDifference(next(slotA).first(la), m.m01, b0, m.m11, a0)
                              : combineDifference(next(slotA).first(la), m.m11, a0, m.m01, b0);
        const Word bOut = odd ? combineDifference(next(slotB).first(la), m.m10, a0, m.m00, b0)
                              : combineDifference(next(slotB).first(la), m.m00, b0, m.m10, a0);
        if (aOut != 0 || bOut != 0) {
            return false;
        }
        const std::size_t lt = lt_;
        const std::span<const Word> ta0 = ta().first(lt);
        const std::span<const Word> tb0 = tb().first(lt);
        next(slotTa)[lt] = combineSum(next(slotTa).first(lt), m.m11, ta0, m.m01, tb0);
        next(slotTb)[lt] = combineSum(next(slotTb).first(lt), m.m10, ta0, m.m00, tb0);
        if (next(slotTa)[lt] != 0 || next(slotTb)[lt] != 0) {
            ++lt_;
        }
        for (auto& index : current_) {
            index ^= 1;
        }
        aNegative_ = aNegative_ != odd;
        la_ = significantWords(a().first(la));
        lb_ = significantWords(b().first(la));
        if (la_ < lb_ ||
            (la_ == lb_ && kernels::compare<Word>(a().first(la_), b().first(la_)) < 0)) {
            // A second run taken too far leaves a below b: one zero quotient swaps them.
            swapRoles();
        }
        return true;
    }

    // One quotient by long division: (a, b) <- (b, a mod b), (ta, tb) <- (tb, ta + q tb).
    void takeQuotient() noexcept {
        std::array<Word, maxWords + 2> quotient;
        const std::size_t quotientWords = la_ - lb_ + 1;
        kernels::divide<Word>(a().first(la_), b().first(lb_),
                              std::span(quotient).first(quotientWords));
        std::array<Word, 2 * maxWords + 4> product;
        const std::size_t productWords = quotientWords + lt_;
        kernels::multiply<Word>(std::span(product).first(productWords),
                                std::span<const Word>(quotient).first(quotientWords),
                                std::span<const Word>(tb()).first(lt_));
        const std::span<Word> sum = std::span(product).first(productWords);
        kernels::addCarry<Word>(
            sum.subspan(lt_), sum.subspan(lt_),
            kernels::add<Word>(sum.first(lt_), sum.first(lt_), ta().first(lt_)));
        const std::size_t sumWords = significantWords(sum);
        assert(sumWords <= n_);
        std::copy_n(sum.begin(), sumWords, ta().begin());
        lt_ = std::max(lt_, sumWords);
        // a now holds the remainder, ta the new cofactor: they become b and tb.
        swapRoles();
        lb_ = significantWords(b().first(la_));
    }

    // Euclid to the end on one-word remainders, the quotients gathered in one matrix, whose
    // entries stay below the first remainder.
    void finishOnWords() noexcept {
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
        const std::size_t lt = lt_;
        next(slotTa)[lt] =
            combineSum(next(slotTa).first(lt), m.m11, ta().first(lt), m.m01, tb().first(lt));
        current_[slotTa] ^= 1;
        lt_ = lt + 1;
        aNegative_ = aNegative_ != (m.steps % 2 != 0);
        a()[0] = x;
        b()[0] = 0;
        lb_ = 0;
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

// The inverse of value modulo modulus on single words, or false when they share a divisor.
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

// out <- value^-1 modulo modulus for 0 < value < modulus, or false when they share a divisor.
bool inverse(std::span<Word> out, std::span<const Word> value,
             std::span<const Word> modulus) noexcept {
    if (modulus.size() == 1) {
        return inverseOfWord(out[0], value[0], modulus[0]);
    }
    Inversion inversion(value, modulus);
    return inversion.run(out, modulus);
}

}  // namespace

template <std::size_t N>
auto MontgomeryField<N>::words(Residue& x) const noexcept -> Words {
    return kernels::window<extent>(std::span<Word>(x), 0, size());
}

template <std::size_t N>
auto MontgomeryField<N>::words(const Residue& x) const noexcept -> ConstWords {
    return kernels::window<extent>(std::span<const Word>(x), 0, size());
}

template <std::size_t N>
std::size_t MontgomeryField<N>::wordsOf(const Natural& modulus) noexcept {
    return (modulus.length() + limbsPerWord - 1) / limbsPerWord;
}

template <std::size_t N>
std::optional<MontgomeryField<N>> MontgomeryField<N>::of(const Natural& modulus) {
    const std::span<const Limb> m = modulus.limbs();
    const std::size_t n = wordsOf(modulus);
    if (n == 0 || n > maxWords || (N != 0 && n != N) || m[0] % 2 == 0 || !modulus.differsFrom(1)) {
        return std::nullopt;
    }
    MontgomeryField field;
    field.words_ = n;
    field.limbs_ = m.size();
    pack(m, std::span(field.modulus_).first(n));
    // Newton's iteration doubles the correct low bits of m^-1, and m itself is right modulo 8:
    // five steps give 96 bits.
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
    return field;
}

template <std::size_t N>
bool MontgomeryField<N>::load(const Natural& v, Residue& r) const noexcept {
    if (v.length() > limbs_) {
        return false;
    }
    Residue plain{};
    pack(v.limbs(), words(plain));
    if (kernels::compare<Word, extent>(words(std::as_const(plain)), words(modulus_)) >= 0) {
        return false;
    }
    multiply(r, plain, rSquared_);
    return true;
}

template <std::size_t N>
void MontgomeryField<N>::store(const Residue& x, Natural& v) const {
    std::array<Word, 2 * maxWords> t{};
    std::copy_n(x.begin(), size(), t.begin());
    Residue plain;
    reduce(plain, std::span(t).first(2 * size()));
    std::array<Limb, maxWords * limbsPerWord> limbs;
    unpack(words(std::as_const(plain)), std::span(limbs).first(limbs_));
    v.setLimbs(std::span(limbs).first(limbs_));
}

template <std::size_t N>
bool MontgomeryField<N>::isZero(const Residue& x) const noexcept {
    const ConstWords w = words(x);
    return std::all_of(w.begin(), w.end(), [](Word word) { return word == 0; });
}

template <std::size_t N>
bool MontgomeryField<N>::equal(const Residue& x, const Residue& y) const noexcept {
    const ConstWords a = words(x);
    return std::equal(a.begin(), a.end(), y.begin());
}

// Which of the two results a sum or difference needs is a coin toss for random residues, which
// a branch would mispredict: both are computed and one is picked by a mask.
template <std::size_t N>
void MontgomeryField<N>::subtractModulusOnce(Residue& r, ConstWords v, Word carry) const noexcept {
    Residue difference;
    const Word borrow = kernels::subtract<Word, extent>(words(difference), v, words(modulus_));
    // v stands when subtracting m borrows more than v carried.
    const Word keepV = 0 - Word{borrow > carry ? 1U : 0U};
    const Words out = words(r);
    for (std::size_t i = 0; i < out.size(); ++i) {
        out[i] = (v[i] & keepV) | (difference[i] & ~keepV);
    }
}

template <std::size_t N>
void MontgomeryField<N>::add(Residue& r, const Residue& x, const Residue& y) const noexcept {
    Residue sum;
    const Word carry = kernels::add<Word, extent>(words(sum), words(x), words(y));
    subtractModulusOnce(r, words(std::as_const(sum)), carry);
}

template <std::size_t N>
void MontgomeryField<N>::subtract(Residue& r, const Residue& x, const Residue& y) const noexcept {
    const Word borrow = kernels::subtract<Word, extent>(words(r), words(x), words(y));
    Residue correction;
    const Word addM = 0 - borrow;
    for (std::size_t i = 0; i < size(); ++i) {
        correction[i] = modulus_[i] & addM;
    }
    kernels::add<Word, extent>(words(r), words(std::as_const(r)), words(std::as_const(correction)));
}

template <std::size_t N>
void MontgomeryField<N>::negate(Residue& r, const Residue& x) const noexcept {
    const Residue zero{};
    subtract(r, zero, x);
}

template <std::size_t N>
void MontgomeryField<N>::multiply(Residue& r, const Residue& x, const Residue& y) const noexcept {
    const std::size_t n = size();
    std::array<Word, 2 * (N == 0 ? maxWords : N)> t;
    std::fill_n(t.begin(), n, Word{0});
#pragma GCC unroll 16
    for (std::size_t i = 0; i < n; ++i) {
        t[i + n] = multiplyAdd(std::span(t).subspan(i), words(x), y[i]);
    }
    reduce(r, std::span(t).first(2 * n));
}

template <std::size_t N>
Word MontgomeryField<N>::multiplyAdd(std::span<Word> r, ConstWords a, Word w) const noexcept {
    return kernels::multiplyAdd<Word, extent>(kernels::window<extent>(r, 0, size()), a, w);
}

template <std::size_t N>
void MontgomeryField<N>::reduce(Residue& r, std::span<Word> t) const noexcept {
    const std::size_t n = size();
    Word top = 0;
#pragma GCC unroll 16
    for (std::size_t i = 0; i < n; ++i) {
        const Word carry = multiplyAdd(t.subspan(i), words(modulus_), t[i] * negatedInverse_);
        const DoubleWord sum = DoubleWord{t[i + n]} + carry + top;
        t[i + n] = static_cast<Word>(sum);
        top = kernels::high<Word>(sum);
    }
    // t / R < 2m.
    subtractModulusOnce(r, kernels::window<extent>(std::span<const Word>(t), n, n), top);
}

template <std::size_t N>
bool MontgomeryField<N>::invert(Residue& r, const Residue& x) const noexcept {
    if (!inverse(words(r), words(x), words(modulus_))) {
        return false;
    }
    // The inverse of x R is x^-1 R^-1; the product with R^3 is x^-1 R.
    multiply(r, r, rCubed_);
    return true;
}

template class MontgomeryField<0>;
template class MontgomeryField<1>;
template class MontgomeryField<2>;
template class MontgomeryField<3>;
template class MontgomeryField<4>;
template class MontgomeryField<5>;
template class MontgomeryField<6>;
template class MontgomeryField<7>;
template class MontgomeryField<8>;
template class MontgomeryField<9>;
template class MontgomeryField<10>;
static_assert(longestUnrolledField == 10);

}  // namespace bignum
