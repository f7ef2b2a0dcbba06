#include "bignum/Integer.h"

#include <utility>

namespace bignum {

namespace {

constexpr std::uint8_t flagFor(bool nonNegative) noexcept {
    return nonNegative ? 1 : 0;
}

// a < b in signed order; extendedGcd puts the larger operand first.
bool signedLess(const Integer& a, const Integer& b) noexcept {
    if (a.nonNegative() != b.nonNegative()) {
        return !a.nonNegative();
    }
    return a.nonNegative() ? a.magnitude().lessThan(b.magnitude())
                           : a.magnitude().greaterThan(b.magnitude());
}

}  // namespace

Integer::Integer() : nonNegative_(1) {}

Integer::Integer(const Natural& magnitude) : magnitude_(magnitude), nonNegative_(1) {}

void Integer::assign(const Integer& other) {
    magnitude_.assign(other.magnitude_);
    nonNegative_ = other.nonNegative_;
}

void Integer::swap(Integer& other) noexcept {
    magnitude_.swap(other.magnitude_);
    std::swap(nonNegative_, other.nonNegative_);
}

void Integer::setSmall(std::int32_t v) {
    const auto bits = static_cast<Limb>(v);
    magnitude_.assign(Natural(v < 0 ? 0u - bits : bits));
    nonNegative_ = flagFor(v >= 0);
}

bool Integer::equalsSmall(std::uint32_t v) const noexcept {
    return nonNegative_ != 0 && !magnitude_.differsFrom(v);
}

void Integer::increment() {
    if (nonNegative_ != 0) {
        magnitude_.incrementFrom(0);
    } else if (!magnitude_.differsFrom(1)) {
        setSmall(0);
    } else {
        magnitude_.decrementFrom(0);
    }
}

void Integer::decrement() {
    if (nonNegative_ == 0) {
        magnitude_.incrementFrom(0);
    } else if (magnitude_.length() == 0) {
        setSmall(-1);
    } else {
        magnitude_.decrementFrom(0);
    }
}

void Integer::subtract(const Integer& b) {
    if (nonNegative_ != b.nonNegative_) {
        magnitude_.add(b.magnitude_);
    } else if (magnitude_.greaterThan(b.magnitude_)) {
        magnitude_.subtract(b.magnitude_);
    } else if (magnitude_.lessThan(b.magnitude_)) {
        Natural rest = difference(b.magnitude_, magnitude_);
        magnitude_.swap(rest);
        nonNegative_ = flagFor(nonNegative_ == 0);
    } else {
        setSmall(0);
    }
}

Integer Integer::divide(Integer& d) {
    // Read before the division: d may be this very object.
    const bool sameSign = nonNegative_ == d.nonNegative_;
    const bool divisorNonNegative = d.nonNegative_ != 0;

    Integer q;
    Natural quotientMagnitude = bignum::divide(magnitude_, d.magnitude_);
    q.magnitude_.swap(quotientMagnitude);
    q.nonNegative_ = flagFor(sameSign);

    if (magnitude_.length() == 0) {
        nonNegative_ = 1;
    }
    if (nonNegative_ == 0) {
        // A negative dividend leaves a negative remainder; move it into [0, |d|) and step the
        // quotient one further from zero on the matching side.
        Natural remainder = difference(d.magnitude_, magnitude_);
        magnitude_.swap(remainder);
        nonNegative_ = 1;
        if (divisorNonNegative) {
            q.decrement();
        } else {
            q.increment();
        }
    }
    if (q.magnitude_.length() == 0) {
        q.nonNegative_ = 1;
    }
    return q;
}

void Integer::reduce(Natural& m) {
    magnitude_.reduce(m);
    if (nonNegative_ == 0) {
        if (magnitude_.length() != 0) {
            Natural residue = difference(m, magnitude_);
            magnitude_.swap(residue);
        }
        nonNegative_ = 1;
    }
}

Integer product(const Integer& a, const Integer& b) {
    Integer r;
    Natural magnitude = product(a.magnitude_, b.magnitude_);
    r.magnitude_.swap(magnitude);
    r.nonNegative_ = flagFor(a.nonNegative_ == b.nonNegative_ || r.magnitude_.length() == 0);
    return r;
}

Integer extendedGcd(Integer& a, Integer& b) {
    if (&a == &b) {
        // One object cannot hold two coefficients: run on a copy and keep the second one.
        Integer second(b);
        Integer g = extendedGcd(a, second);
        a.swap(second);
        return g;
    }

    // The Euclidean loop for first >= second in signed order; each operand object ends up
    // holding its own coefficient.
    const auto run = [](Integer& first, Integer& second) {
        // Invariants: first = sa*first0 + ta*second0 and second = sb*first0 + tb*second0. Each
        // turn divides first by second, and then the two trade places.
        Integer sa;
        Integer ta;
        Integer sb;
        Integer tb;
        sa.setSmall(1);
        tb.setSmall(1);
        for (;;) {
            const Integer k = first.divide(second);
            if (first.equalsSmall(0)) {
                Integer g;
                g.swap(second);
                first.swap(sb);
                second.swap(tb);
                return g;
            }
            sa.subtract(product(k, sb));
            ta.subtract(product(k, tb));
            first.swap(second);
            sa.swap(sb);
            ta.swap(tb);
        }
    };
    return signedLess(a, b) ? run(b, a) : run(a, b);
}

}  // namespace bignum
