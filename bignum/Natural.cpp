#include "bignum/Natural.h"

#include <algorithm>
#include <bit>
#include <cassert>
#include <cstring>
#include <new>
#include <utility>
#include <vector>

#include "bignum/ArithmeticError.h"
#include "bignum/Kernels.h"

namespace bignum {

namespace {

constexpr Limb allOnes = ~Limb{0};
constexpr std::size_t digitsPerLimb = limbBits / 4;

std::unique_ptr<Limb[]> allocateLimbs(std::size_t n) {
    return std::make_unique<Limb[]>(n);
}

void copyLimbs(Limb* to, const Limb* from, std::size_t n) noexcept {
    if (n != 0) {
        std::memmove(to, from, n * sizeof(Limb));
    }
}

[[noreturn]] void refuseSize() {
    throw std::bad_alloc();
}

// Hex digits: c - 0x30, less 7 if that is 10 or more, less 32 if then 16 or more, all modulo
// 256. Bytes outside the hex digits carry into the digits before them.
constexpr Natural::DigitValues hexDigitValues = [] {
    Natural::DigitValues table{};
    for (unsigned c = 0; c < 256; ++c) {
        unsigned d = (c - 0x30u) & 0xFFu;
        if (d >= 10) {
            d = (d - 7u) & 0xFFu;
        }
        if (d >= 16) {
            d = (d - 32u) & 0xFFu;
        }
        table[c] = static_cast<std::uint8_t>(d);
    }
    return table;
}();

}  // namespace

Natural::Natural() : capacity_(1), limbs_(allocateLimbs(1)), length_(0) {}

Natural::Natural(Limb value) : capacity_(1), limbs_(allocateLimbs(1)), length_(value != 0 ? 1 : 0) {
    limbs_[0] = value;
}

Natural::Natural(const Natural& source)
    : capacity_(static_cast<std::uint16_t>(policyCapacity(1, source.length_))),
      limbs_(allocateLimbs(capacity_)),
      length_(source.length_) {
    copyLimbs(data(), source.limbs_.get(), length_);
}

void Natural::swap(Natural& other) noexcept {
    std::swap(capacity_, other.capacity_);
    std::swap(limbs_, other.limbs_);
    std::swap(length_, other.length_);
}

std::size_t Natural::policyCapacity(std::size_t capacity, std::size_t n) {
    if (n > maxLimbs) {
        refuseSize();
    }
    while (n < capacity / 4) {
        capacity /= 2;
    }
    while (n > capacity) {
        capacity *= 2;
    }
    return capacity;
}

void Natural::setLength(std::size_t n) noexcept {
    assert(n <= capacity_);
    length_ = static_cast<std::uint16_t>(n);
}

void Natural::normalise() noexcept {
    while (length_ > 0 && limbs_[length_ - 1u] == 0) {
        --length_;
    }
}

void Natural::assign(const Natural& source) {
    if (this != &source) {
        assignLimbs(source.limbs_.get(), source.length_);
    }
}

void Natural::assignLimbs(const Limb* source, std::size_t n) {
    assert(n == 0 || source[n - 1] != 0);
    const std::size_t capacity = policyCapacity(capacity_, n);
    if (capacity != capacity_) {
        // The source may lie in the old array, so it is released only after the copy.
        auto fresh = allocateLimbs(capacity);
        copyLimbs(fresh.get(), source, n);
        limbs_ = std::move(fresh);
        capacity_ = static_cast<std::uint16_t>(capacity);
    } else {
        copyLimbs(data(), source, n);
    }
    setLength(n);
}

void Natural::resize(std::size_t n, bool preserve) {
    // The limbs are copied either way: a value is never left with undefined limbs below length.
    static_cast<void>(preserve);
    const std::size_t capacity = policyCapacity(capacity_, n);
    if (capacity == capacity_) {
        return;
    }
    auto fresh = allocateLimbs(capacity);
    copyLimbs(fresh.get(), limbs_.get(), std::min<std::size_t>(length_, capacity));
    limbs_ = std::move(fresh);
    capacity_ = static_cast<std::uint16_t>(capacity);
    if (length_ > capacity) {
        setLength(capacity);
        normalise();
    }
}

void Natural::becomeZero() {
    setLength(0);
    resize(1, false);
}

void Natural::setLimbs(std::span<const Limb> limbs) {
    std::size_t n = limbs.size();
    while (n > 0 && limbs[n - 1] == 0) {
        --n;
    }
    assignLimbs(limbs.data(), n);
}

void Natural::fromHex(std::string_view text) {
    fromDigits(text, hexDigitValues);
}

void Natural::fromDigits(std::string_view text, const DigitValues& digitValues) {
    text = text.substr(0, text.find('\0'));
    const auto digitAt = [&](std::size_t i) {
        return digitValues[static_cast<std::uint8_t>(text[i])];
    };
    std::size_t first = 0;
    while (first < text.size() && digitAt(first) == 0) {
        ++first;
    }
    const std::size_t digits = text.size() - first;
    if (digits == 0) {
        becomeZero();
        return;
    }
    // The leading digit is at least 1, so the value is at least 16^(digits - 1).
    if (digits - 1 >= maxLimbs * digitsPerLimb) {
        refuseSize();
    }

    // v = L + 16 * H, where L is the hex number of the low halves (d & 15) of the digit values
    // and H that of the high halves (d >> 4). Nibble p of the sum therefore takes the low half
    // of digit p and the high half of digit p - 1, counted from the end, plus a carry of 0 or 1.
    const std::size_t nibbles = digits + 2;
    std::vector<Limb> limbs((nibbles + digitsPerLimb - 1) / digitsPerLimb);
    unsigned carry = 0;
    unsigned previousHigh = 0;
    for (std::size_t p = 0; p < nibbles; ++p) {
        const unsigned d = p < digits ? digitAt(text.size() - 1 - p) : 0;
        const unsigned t = (d & 15u) + previousHigh + carry;
        previousHigh = d >> 4;
        carry = t >> 4;
        limbs[p / digitsPerLimb] |= static_cast<Limb>(t & 15u) << (4 * (p % digitsPerLimb));
    }
    assert(carry == 0 && previousHigh == 0);
    // The digit-by-digit definition first resizes to one limb, then grows by doubling.
    becomeZero();
    setLimbs(limbs);
}

const char* Natural::toHex() const {
    static constexpr char hexDigits[] = "0123456789ABCDEF";
    auto buffer = std::make_unique<char[]>(digitsPerLimb * length_ + 2);
    char* out = buffer.get();
    bool leading = true;
    for (std::size_t i = length_; i > 0; --i) {
        for (std::size_t d = digitsPerLimb; d > 0; --d) {
            const unsigned digit = (limbs_[i - 1] >> (4 * (d - 1))) & 15u;
            leading = leading && digit == 0;
            if (!leading) {
                *out++ = hexDigits[digit];
            }
        }
    }
    if (length_ == 0) {
        *out++ = '0';
    }
    *out = '\0';
    text_ = std::move(buffer);
    return text_.get();
}

std::size_t Natural::bitLength() const noexcept {
    return length_ == 0 ? 0
                        : limbBits * length_ -
                              static_cast<std::size_t>(std::countl_zero(limbs_[length_ - 1u]));
}

bool Natural::bit(std::size_t i) const noexcept {
    return i / limbBits < length_ && ((limbs_[i / limbBits] >> (i % limbBits)) & 1u) != 0;
}

bool Natural::differsFrom(Limb w) const noexcept {
    return w == 0 ? length_ != 0 : !(length_ == 1 && limbs_[0] == w);
}

bool Natural::lessThan(const Natural& other) const noexcept {
    return length_ != other.length_ ? length_ < other.length_
                                    : kernels::compare<Limb>(limbs(), other.limbs()) < 0;
}

bool operator==(const Natural& a, const Natural& b) noexcept {
    return a.length_ == b.length_ && kernels::compare<Limb>(a.limbs(), b.limbs()) == 0;
}

void Natural::incrementFrom(std::size_t k) {
    if (k > length_) {
        throw ArithmeticError(ArithmeticError::Kind::incrementBeyondLength);
    }
    std::size_t i = k;
    while (i < length_ && limbs_[i] == allOnes) {
        ++i;
    }
    if (i == length_) {
        resize(std::size_t{length_} + 1, true);
        limbs_[i] = 0;
        setLength(i + 1);
    }
    std::fill(data() + k, data() + i, 0);
    ++limbs_[i];
}

void Natural::decrementFrom(std::size_t k) {
    if (k > length_) {
        throw ArithmeticError(ArithmeticError::Kind::decrementBeyondLength);
    }
    std::size_t i = k;
    while (i < length_ && limbs_[i] == 0) {
        ++i;
    }
    if (i == length_) {
        becomeZero();
        return;
    }
    const bool topVanishes = i + 1 == length_ && limbs_[i] == 1;
    if (topVanishes) {
        resize(i, true);
    }
    std::fill(data() + k, data() + i, allOnes);
    --limbs_[i];
    if (topVanishes) {
        setLength(i);
        // Only a borrow started at the top limb itself can expose further zero limbs.
        if (k == i && k > 0) {
            normalise();
            resize(length_, true);
        }
    }
}

void Natural::add(const Natural& y) {
    const std::size_t lx = length_;
    const std::size_t ly = y.length_;
    const std::size_t n = std::max(lx, ly);
    if (n == maxLimbs) {
        // The sum may need a limb more than there can be: that is refused before anything changes.
        std::vector<Limb> sum(n);
        const bool shorter = lx < ly;
        if (kernels::add<Limb>(std::span<Limb>(sum), (shorter ? y : *this).limbs(),
                               (shorter ? *this : y).limbs()) != 0) {
            refuseSize();
        }
    }
    if (lx < ly) {
        resize(ly, true);
    }
    // Taken after the resize: y may be this value.
    const std::span<Limb> xs(data(), n);
    const Limb carry = lx < ly ? kernels::add<Limb>(xs, y.limbs(), xs.first(lx))
                               : kernels::add<Limb>(xs, xs, y.limbs());
    setLength(n);
    if (carry != 0) {
        resize(n + 1, true);
        data()[n] = carry;
        setLength(n + 1);
    }
}

void Natural::subtract(const Natural& y) {
    if (lessThan(y)) {
        throw ArithmeticError(ArithmeticError::Kind::negativeResult);
    }
    const std::span<Limb> xs(data(), length_);
    kernels::subtract<Limb>(xs, xs, y.limbs());
    normalise();
    resize(length_, true);
}

void Natural::halve() {
    if (length_ == 0) {
        becomeZero();
        return;
    }
    const std::span<Limb> xs(data(), length_);
    kernels::shiftRight<Limb>(xs, xs, 1);
    normalise();
    resize(length_, true);
}

void Natural::shiftLeft(std::size_t bits) {
    if (length_ == 0) {
        return;
    }
    const std::size_t limbShift = bits / limbBits;
    const auto bitShift = static_cast<unsigned>(bits % limbBits);
    const std::size_t n = length_;
    const Limb overflow = bitShift == 0 ? 0 : limbs_[n - 1] >> (limbBits - bitShift);
    const std::size_t newLength = n + limbShift + (overflow != 0 ? 1 : 0);
    resize(newLength, true);
    Limb* const xs = data();
    if (bitShift == 0) {
        copyLimbs(xs + limbShift, xs, n);
    } else {
        kernels::shiftLeft<Limb>({xs + limbShift, n}, {xs, n}, bitShift);
    }
    std::fill(xs, xs + limbShift, 0);
    if (overflow != 0) {
        xs[n + limbShift] = overflow;
    }
    setLength(newLength);
}

void Natural::divideInPlace(Natural& d, std::span<Limb> quotient) {
    const std::size_t ld = d.length_;
    d.resize(std::min<std::size_t>(std::size_t{length_} + 1, maxLimbs), true);
    kernels::divide<Limb>({data(), length_}, d.limbs(), quotient);
    setLength(ld);
    normalise();
    resize(length_, true);
    d.resize(ld, true);
}

void Natural::reduce(Natural& m) {
    if (&m == this) {
        // Whatever the value, it is a multiple of itself. The capacity follows the rule for a
        // divisor: up by one limb, then down to nothing.
        if (length_ != 0) {
            resize(std::min<std::size_t>(std::size_t{length_} + 1, maxLimbs), true);
        }
        setLength(0);
        resize(0, true);
        return;
    }
    if (m.length_ == 0) {
        m.becomeZero();
        resize(length_, true);
        return;
    }
    if (lessThan(m)) {
        return;
    }
    divideInPlace(m, {});
}

Natural sum(const Natural& a, const Natural& b) {
    Natural r(a);
    r.add(b);
    return r;
}

Natural difference(const Natural& a, const Natural& b) {
    if (a.lessThan(b)) {
        throw ArithmeticError(ArithmeticError::Kind::negativeResult);
    }
    Natural r(a);
    r.subtract(b);
    return r;
}

Natural product(const Natural& a, const Natural& b) {
    if (a.length() == 0 || b.length() == 0) {
        return Natural();
    }
    // A product of la + lb limbs has at least la + lb - 1.
    if (a.length() + b.length() - 1 > Natural::maxLimbs) {
        refuseSize();
    }
    std::vector<Limb> limbs(a.length() + b.length());
    kernels::multiply<Limb>(limbs, a.limbs(), b.limbs());
    Natural r;
    r.setLimbs(limbs);
    return r;
}

Natural square(const Natural& a) {
    if (a.length() > Natural::maxLimbs / 2) {
        refuseSize();
    }
    std::vector<Limb> limbs(2 * a.length());
    kernels::square<Limb>(limbs, a.limbs());
    Natural r;
    r.setLimbs(limbs);
    return r;
}

Natural productByLimb(const Natural& a, Limb w) {
    std::vector<Limb> limbs(a.length() + 1);
    limbs.back() =
        kernels::multiplyAdd<Limb>(std::span<Limb>(limbs).first(a.length()), a.limbs(), w);
    Natural r;
    r.setLimbs(limbs);
    return r;
}

Natural divide(Natural& x, Natural& d) {
    if (d.length_ == 0) {
        throw ArithmeticError(ArithmeticError::Kind::divisionByZero);
    }
    if (&x == &d) {
        x.setLength(0);
        x.resize(0, true);
        return Natural(1);
    }
    Natural quotient;
    if (x.lessThan(d)) {
        return quotient;
    }
    std::vector<Limb> digits(x.length() - d.length() + 1);
    x.divideInPlace(d, digits);
    quotient.setLimbs(digits);
    return quotient;
}

}  // namespace bignum
