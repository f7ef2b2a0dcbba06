#include "bignum/Natural.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cassert>
#include <cstring>
#include <new>
#include <stdexcept>
#include <utility>

#include "bignum/LimbKernels.h"

namespace bignum {

namespace {

constexpr Limb allOnes = 0xFFFFFFFFu;

std::unique_ptr<Limb[]> allocateLimbs(std::size_t n) {
    return std::make_unique_for_overwrite<Limb[]>(n);
}

void copyLimbs(Limb* to, const Limb* from, std::size_t n) noexcept {
    if (n != 0) {
        std::memmove(to, from, n * sizeof(Limb));
    }
}

void fillLimbs(Limb* to, std::size_t n, Limb value) noexcept {
    std::fill(to, to + n, value);
}

[[noreturn]] void refuseSize() {
    throw std::bad_alloc();
}

// The digit value of every byte: c - 0x30, less 7 if that is 10 or more, less 32 if then 16 or
// more, all modulo 256. Bytes outside the hex digits carry into the digits before them.
constexpr std::array<std::uint8_t, 256> digitValues = [] {
    std::array<std::uint8_t, 256> table{};
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

unsigned digitValue(char c) noexcept {
    return digitValues[static_cast<unsigned char>(c)];
}

constexpr unsigned limbBits = 32;

// Multiplication and division run on words of two limbs where the compiler has a 128-bit type.
using kernels::Word;
constexpr std::size_t limbsPerWord = sizeof(Word) / sizeof(Limb);

constexpr std::size_t wordsFor(std::size_t limbs) noexcept {
    return (limbs + limbsPerWord - 1) / limbsPerWord;
}

// Scratch words: on the stack up to a few hundred bytes, on the heap beyond.
class WordBuffer {
  public:
    explicit WordBuffer(std::size_t n) : size_(n) {
        if (n > local_.size()) {
            heap_ = std::make_unique_for_overwrite<Word[]>(n);
        }
    }
    std::span<Word> words() noexcept { return {heap_ ? heap_.get() : local_.data(), size_}; }

  private:
    std::array<Word, 96> local_;
    std::unique_ptr<Word[]> heap_;
    std::size_t size_;
};

template <class W>
void pack(std::span<const Limb> limbs, std::span<W> words) noexcept {
    assert(words.size() == wordsFor(limbs.size()));
    if constexpr (sizeof(W) == sizeof(Limb)) {
        std::copy(limbs.begin(), limbs.end(), words.begin());
    } else {
        const std::size_t pairs = limbs.size() / 2;
        for (std::size_t i = 0; i < pairs; ++i) {
            words[i] = W{limbs[2 * i]} | (W{limbs[2 * i + 1]} << limbBits);
        }
        if (limbs.size() % 2 != 0) {
            words[pairs] = limbs.back();
        }
    }
}

// Limb j of the number held in words.
template <class W>
Limb limbOf(std::span<const W> words, std::size_t j) noexcept {
    if constexpr (sizeof(W) == sizeof(Limb)) {
        return words[j];
    } else {
        return static_cast<Limb>(words[j / 2] >> (limbBits * (j % 2)));
    }
}

template <class W>
void unpack(std::span<const W> words, std::span<Limb> limbs) noexcept {
    assert(limbs.size() <= words.size() * limbsPerWord);
    for (std::size_t j = 0; j < limbs.size(); ++j) {
        limbs[j] = limbOf(words, j);
    }
}

}  // namespace

Natural::Natural() : capacity_(1), limbs_(allocateLimbs(1)), length_(0) {}

Natural::Natural(std::size_t capacity, Uninitialised)
    : capacity_(static_cast<std::uint16_t>(capacity)), limbs_(allocateLimbs(capacity)), length_(0) {
    assert(capacity >= 1 && capacity <= maxLimbs);
}

Natural::Natural(const Natural& source)
    : Natural(policyCapacity(1, source.length_), Uninitialised{}) {
    copyLimbs(data(), source.limbs_.get(), source.length_);
    length_ = source.length_;
}

Natural& Natural::operator=(const Natural& source) {
    assign(source);
    return *this;
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

void Natural::replaceArray(std::size_t capacity, std::size_t keep) {
    auto fresh = allocateLimbs(capacity);
    copyLimbs(fresh.get(), limbs_.get(), keep);
    limbs_ = std::move(fresh);
    capacity_ = static_cast<std::uint16_t>(capacity);
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
    replaceArray(capacity, std::min<std::size_t>(length_, capacity));
    if (length_ > capacity) {
        setLength(capacity);
        normalise();
    }
}

void Natural::becomeZero() {
    const std::size_t capacity = policyCapacity(capacity_, 1);
    if (capacity != capacity_) {
        limbs_ = allocateLimbs(capacity);
        capacity_ = static_cast<std::uint16_t>(capacity);
    }
    length_ = 0;
}

void Natural::setLimbs(std::span<const Limb> limbs) {
    std::size_t n = limbs.size();
    while (n > 0 && limbs[n - 1] == 0) {
        --n;
    }
    assignLimbs(limbs.data(), n);
}

void Natural::fromHex(std::string_view text) {
    text = text.substr(0, text.find('\0'));
    std::size_t first = 0;
    while (first < text.size() && digitValue(text[first]) == 0) {
        ++first;
    }
    const std::size_t digits = text.size() - first;
    if (digits == 0) {
        becomeZero();
        return;
    }
    // The leading digit is at least 1, so the value is at least 16^(digits - 1).
    if (digits - 1 >= maxLimbs * 8) {
        refuseSize();
    }

    // v = L + 16 * H, where L is the hex number of the low halves (d & 15) of the digit values
    // and H that of the high halves (d >> 4). Nibble p of the sum therefore takes the low half
    // of digit p and the high half of digit p - 1, counted from the end, plus a carry of 0 or 1.
    const std::size_t nibbles = digits + 2;
    const std::size_t bound = (nibbles + 7) / 8;
    std::array<Limb, 64> local;
    std::unique_ptr<Limb[]> heap;
    Limb* const buffer = bound <= local.size() ? local.data() : (heap = allocateLimbs(bound)).get();
    const char* const last = text.data() + text.size() - 1;
    unsigned carry = 0;
    unsigned previousHigh = 0;
    Limb word = 0;
    for (std::size_t p = 0; p < nibbles; ++p) {
        const unsigned d = p < digits ? digitValue(*(last - p)) : 0;
        const unsigned t = (d & 15u) + previousHigh + carry;
        previousHigh = d >> 4;
        carry = t >> 4;
        word |= static_cast<Limb>(t & 15u) << (4 * (p % 8));
        if (p % 8 == 7 || p + 1 == nibbles) {
            buffer[p / 8] = word;
            word = 0;
        }
    }
    assert(carry == 0 && previousHigh == 0);
    std::size_t n = bound;
    while (buffer[n - 1] == 0) {
        --n;
    }
    if (n > maxLimbs) {
        refuseSize();
    }
    // The digit-by-digit definition first resizes to one limb, then grows by doubling.
    const std::size_t capacity = policyCapacity(policyCapacity(capacity_, 1), n);
    if (capacity != capacity_) {
        limbs_ = allocateLimbs(capacity);
        capacity_ = static_cast<std::uint16_t>(capacity);
    }
    copyLimbs(data(), buffer, n);
    setLength(n);
}

const char* Natural::toHex() const {
    static constexpr char hexDigits[] = "0123456789ABCDEF";
    auto buffer = std::make_unique_for_overwrite<char[]>(8 * std::size_t{length_} + 2);
    char* out = buffer.get();
    if (length_ == 0) {
        *out++ = '0';
    } else {
        const Limb top = limbs_[length_ - 1u];
        int shift = 28;
        while (shift > 0 && ((top >> shift) & 15u) == 0) {
            shift -= 4;
        }
        for (; shift >= 0; shift -= 4) {
            *out++ = hexDigits[(top >> shift) & 15u];
        }
        for (std::size_t i = length_ - 1u; i > 0; --i) {
            const Limb limb = limbs_[i - 1];
            for (int s = 28; s >= 0; s -= 4) {
                *out++ = hexDigits[(limb >> s) & 15u];
            }
        }
    }
    *out = '\0';
    text_ = std::move(buffer);
    return text_.get();
}

bool Natural::differsFrom(Limb w) const noexcept {
    if (w == 0) {
        return length_ != 0;
    }
    return !(length_ == 1 && limbs_[0] == w);
}

bool Natural::lessThan(const Natural& other) const noexcept {
    if (length_ != other.length_) {
        return length_ < other.length_;
    }
    return kernels::compare<Limb>(limbs(), other.limbs()) < 0;
}

bool Natural::greaterThan(const Natural& other) const noexcept {
    return other.lessThan(*this);
}

bool operator==(const Natural& a, const Natural& b) noexcept {
    return a.length_ == b.length_ && kernels::compare<Limb>(a.limbs(), b.limbs()) == 0;
}

void Natural::incrementFrom(std::size_t k) {
    if (k > length_) {
        throw std::invalid_argument("Natural is not that big");
    }
    std::size_t i = k;
    while (i < length_ && limbs_[i] == allOnes) {
        ++i;
    }
    if (i == length_) {
        resize(std::size_t{length_} + 1, true);
        fillLimbs(data() + k, i - k, 0);
        limbs_[i] = 1;
        setLength(i + 1);
    } else {
        fillLimbs(data() + k, i - k, 0);
        ++limbs_[i];
    }
}

void Natural::decrementFrom(std::size_t k) {
    if (k > length_) {
        throw std::invalid_argument("Natural not that big");
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
    fillLimbs(data() + k, i - k, allOnes);
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
    const bool grows = kernels::sumOverflows<Limb>(limbs(), y.limbs());
    if (n + (grows ? 1 : 0) > maxLimbs) {
        refuseSize();
    }
    if (lx < ly) {
        resize(ly, true);
    }
    if (grows) {
        resize(n + 1, true);
    }
    // Taken after the resizes: y may be this value.
    Limb* const xs = data();
    const Limb* const ys = y.limbs_.get();
    const std::size_t common = std::min(lx, ly);
    Limb carry = kernels::add<Limb>({xs, common}, {xs, common}, {ys, common});
    const Limb* const rest = lx < ly ? ys : xs;
    carry = kernels::addCarry<Limb>({xs + common, n - common}, {rest + common, n - common}, carry);
    assert((carry != 0) == grows);
    if (carry != 0) {
        xs[n] = carry;
    }
    setLength(n + carry);
}

void Natural::subtract(const Natural& y) {
    if (lessThan(y)) {
        throw std::invalid_argument("result would be negative");
    }
    const std::size_t lx = length_;
    const std::size_t ly = y.length_;
    Limb* const xs = data();
    Limb borrow = kernels::subtract<Limb>({xs, ly}, {xs, ly}, {y.limbs_.get(), ly});
    borrow = kernels::subtractBorrow<Limb>({xs + ly, lx - ly}, {xs + ly, lx - ly}, borrow);
    assert(borrow == 0);
    normalise();
    resize(length_, true);
}

void Natural::halve() {
    if (length_ == 0) {
        becomeZero();
        return;
    }
    const std::span<Limb> xs{data(), length_};
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
    if (newLength > maxLimbs) {
        refuseSize();
    }
    resize(newLength, true);
    Limb* const xs = data();
    if (bitShift == 0) {
        copyLimbs(xs + limbShift, xs, n);
    } else {
        kernels::shiftLeft<Limb>({xs + limbShift, n}, {xs, n}, bitShift);
    }
    fillLimbs(xs, limbShift, 0);
    if (overflow != 0) {
        xs[n + limbShift] = overflow;
    }
    setLength(newLength);
}

std::size_t Natural::quotientLength(std::span<const Limb> m) const noexcept {
    const std::size_t lx = length_;
    const std::size_t n = m.size();
    if (lx < n) {
        return 0;
    }
    const bool topDigit = kernels::compare<Limb>(limbs().subspan(lx - n), m) >= 0;
    return lx - n + (topDigit ? 1 : 0);
}

void Natural::divideInPlace(std::span<const Limb> m, std::size_t digits, Limb* quotient) {
    const std::size_t lx = length_;
    const std::size_t lm = m.size();
    assert(lm > 0 && digits > 0 && digits == quotientLength(m));
    const std::size_t wx = wordsFor(lx);
    const std::size_t wm = wordsFor(lm);
    const std::size_t wq = quotient == nullptr ? 0 : wx - wm + 1;
    WordBuffer buffer(wx + wm + wq);
    const std::span<Word> xw = buffer.words().first(wx);
    const std::span<Word> mw = buffer.words().subspan(wx, wm);
    const std::span<Word> qw = buffer.words().subspan(wx + wm, wq);
    pack<Word>(limbs(), xw);
    pack<Word>(m, mw);
    if (wm == 1) {
        xw[0] = kernels::divideByWord<Word>(qw, xw, mw[0]);
    } else {
        kernels::divide<Word>(xw, mw, qw);
    }
    unpack<Word>(xw.first(wm), {data(), lm});
    setLength(lm);
    normalise();
    if (quotient != nullptr) {
        unpack<Word>(qw, {quotient, digits});
    }
}

void Natural::reduce(Natural& m) {
    if (&m == this) {
        // Whatever the value, it is a multiple of itself. The capacity follows the steps of
        // the bit-by-bit definition: up by one limb, then down to nothing.
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
    const std::size_t digits = quotientLength(m.limbs());
    if (digits == 0) {
        return;
    }
    // m ends with the capacity the bit-by-bit definition leaves it: shifted up to one limb
    // above x, then halved back down.
    const std::size_t lm = m.length_;
    m.resize(std::min<std::size_t>(std::size_t{length_} + 1, maxLimbs), true);
    divideInPlace(m.limbs(), digits, nullptr);
    resize(length_, true);
    m.resize(lm, true);
}

Natural sum(const Natural& a, const Natural& b) {
    const std::size_t la = a.length_;
    const std::size_t lb = b.length_;
    const Natural& longer = la < lb ? b : a;
    const std::size_t common = std::min(la, lb);
    const std::size_t n = longer.length_;
    const bool grows = kernels::sumOverflows<Limb>(a.limbs(), b.limbs());
    const std::size_t length = n + (grows ? 1 : 0);
    Natural r(Natural::policyCapacity(1, length), Natural::Uninitialised{});
    Limb* const rs = r.data();
    Limb carry = kernels::add<Limb>({rs, common}, a.limbs().first(common), b.limbs().first(common));
    carry =
        kernels::addCarry<Limb>({rs + common, n - common}, longer.limbs().subspan(common), carry);
    if (carry != 0) {
        rs[n] = carry;
    }
    r.setLength(length);
    return r;
}

Natural difference(const Natural& a, const Natural& b) {
    if (a.lessThan(b)) {
        throw std::invalid_argument("result would be negative");
    }
    const std::size_t la = a.length_;
    const std::size_t lb = b.length_;
    Natural r(Natural::policyCapacity(1, la), Natural::Uninitialised{});
    Limb* const rs = r.data();
    Limb borrow = kernels::subtract<Limb>({rs, lb}, a.limbs().first(lb), b.limbs());
    borrow = kernels::subtractBorrow<Limb>({rs + lb, la - lb}, a.limbs().subspan(lb), borrow);
    assert(borrow == 0);
    r.setLength(la);
    r.normalise();
    r.resize(r.length_, true);
    return r;
}

Natural product(const Natural& a, const Natural& b) {
    const std::size_t la = a.length_;
    const std::size_t lb = b.length_;
    const std::size_t bound = la == 0 || lb == 0 ? 0 : la + lb;
    // A product of la + lb limbs has at least la + lb - 1.
    if (bound > Natural::maxLimbs + 1) {
        refuseSize();
    }
    const std::size_t kept = std::min(bound, Natural::maxLimbs);
    Natural r(Natural::policyCapacity(1, kept), Natural::Uninitialised{});
    if (bound == 0) {
        return r;
    }
    const std::size_t wa = wordsFor(la);
    const std::size_t wb = wordsFor(lb);
    WordBuffer buffer(2 * (wa + wb));
    const std::span<Word> aw = buffer.words().first(wa);
    const std::span<Word> bw = buffer.words().subspan(wa, wb);
    const std::span<Word> rw = buffer.words().subspan(wa + wb);
    pack<Word>(a.limbs(), aw);
    pack<Word>(b.limbs(), bw);
    kernels::multiply<Word>(rw, aw, bw);
    if (bound > kept && limbOf<Word>(rw, kept) != 0) {
        refuseSize();
    }
    unpack<Word>(rw, {r.data(), kept});
    r.setLength(kept);
    r.normalise();
    return r;
}

Natural square(const Natural& a) {
    const std::size_t n = a.length_;
    // A square of 2n limbs has at least 2n - 1; 2n - 1 <= maxLimbs implies 2n <= maxLimbs.
    if (n > Natural::maxLimbs / 2) {
        refuseSize();
    }
    Natural r(Natural::policyCapacity(1, 2 * n), Natural::Uninitialised{});
    const std::size_t w = wordsFor(n);
    WordBuffer buffer(3 * w);
    const std::span<Word> aw = buffer.words().first(w);
    const std::span<Word> rw = buffer.words().subspan(w);
    pack<Word>(a.limbs(), aw);
    kernels::square<Word>(rw, aw);
    unpack<Word>(rw, {r.data(), 2 * n});
    r.setLength(2 * n);
    r.normalise();
    return r;
}

Natural productByLimb(const Natural& a, Limb w) {
    const std::size_t n = w == 0 ? 0 : a.length_;
    Natural r(Natural::policyCapacity(1, std::min(n + 1, Natural::maxLimbs)),
              Natural::Uninitialised{});
    const Limb high = kernels::multiplyByWord<Limb>({r.data(), n}, a.limbs().first(n), w);
    std::size_t length = n;
    if (high != 0) {
        if (n == Natural::maxLimbs) {
            refuseSize();
        }
        r.data()[n] = high;
        ++length;
    }
    r.setLength(length);
    return r;
}

Natural divide(Natural& x, Natural& d) {
    if (d.length_ == 0) {
        throw std::invalid_argument("divide by 0 error");
    }
    const bool same = &x == &d;
    const std::size_t digits = same ? 1 : x.quotientLength(d.limbs());
    Natural quotient(Natural::policyCapacity(1, digits), Natural::Uninitialised{});
    if (same) {
        quotient.data()[0] = 1;
        quotient.setLength(1);
        x.setLength(0);
        x.resize(0, true);
    } else if (digits > 0) {
        // d ends with the capacity the bit-by-bit definition leaves it: shifted up to one
        // limb above x, then halved back down.
        const std::size_t ld = d.length_;
        d.resize(std::min<std::size_t>(std::size_t{x.length_} + 1, Natural::maxLimbs), true);
        x.divideInPlace(d.limbs(), digits, quotient.data());
        quotient.setLength(digits);
        assert(quotient.data()[digits - 1] != 0);
        x.resize(x.length_, true);
        d.resize(ld, true);
    }
    return quotient;
}

}  // namespace bignum
