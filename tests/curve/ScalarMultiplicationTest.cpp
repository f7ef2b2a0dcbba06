// multiplyInPlace against its loop taken through operator+ alone, one addition or doubling at a
// time, on operands that leave the usual course: composite and even moduli, whose denominators
// may have no inverse, points off the curve, whose sums can meet a tangent with a zero
// denominator part way, points at infinity that keep their coordinates, and values above q.
// Both must end in the same state, or throw the same message from the same state.

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <stdexcept>
#include <string>

#include "CurveTestSupport.h"

namespace curve::test {
namespace {

void multiplyByAdditions(CurvePoint& R, bignum::Natural& k, CurvePoint& result) {
    result = CurvePoint(R.q(), R.A(), R.B());
    while (k.differsFrom(0)) {
        if ((k.limbs()[0] & 1U) != 0) {
            result = result + R;
            k.decrementFrom(0);
        } else {
            R = R + R;
            k.halve();
        }
    }
}

struct Operands {
    std::string q, A, B, x, y, k;
    bool atInfinity = false;
};

// Where a multiplication ends: the message it threw, if any, and R, k and the result with the
// coordinates they store.
std::string outcome(const Operands& o, bool byAdditions) {
    TestCurve curve(o.q, o.A, o.B);
    CurvePoint R(curve.q, curve.A, curve.B, bignum::Modular(curve.q), bignum::Modular(curve.q));
    R.x().value() = naturalFromHex(o.x);
    R.y().value() = naturalFromHex(o.y);
    R.setAtInfinity(o.atInfinity);
    bignum::Natural k = naturalFromHex(o.k);
    CurvePoint result = curve.infinity();
    std::string error = "none";
    try {
        if (byAdditions) {
            multiplyByAdditions(R, k, result);
        } else {
            multiplyInPlace(R, k, result);
        }
    } catch (const std::exception& e) {
        error = e.what();
    }
    return error + "; R " + R.toText() + " " + coordinates(R) + "; k " + k.toHex() + "; result " +
           result.toText() + " " + coordinates(result);
}

std::string hexDigits(SeededRandom& random, std::size_t count) {
    std::string digits;
    for (std::size_t i = 0; i < count; ++i) {
        digits += "0123456789ABCDEF"[random.below(16)];
    }
    return digits;
}

// A value below q in hex, or one above it now and then.
std::string coordinate(SeededRandom& random, const bignum::Natural& q, bool maySpill) {
    bignum::Natural v = naturalFromHex(hexDigits(random, std::string(q.toHex()).size() + 2));
    bignum::Natural m(q);
    v.reduce(m);
    if (maySpill && random.below(16) == 0) {
        v.add(q);
    }
    return v.toHex();
}

// Moduli from 2 to a few hundred, where coincidences are frequent, and of one to nine words:
// odd and even composites, 2^64 and 2^128.
std::string modulus(SeededRandom& random, std::size_t i) {
    switch (i % 5) {
        case 0:
        case 1:
            return natural(2 + random.below(300)).toHex();
        case 2:
            return i % 10 == 2 ? "10000000000000000" : "100000000000000000000000000000000";
        default: {
            std::string q = hexDigits(random, 1 + random.below(144));
            q[0] = '1';
            return q;
        }
    }
}

// The additions one by one run on Naturals, slowly under the sanitizers: fewer samples there.
#ifdef KX_SANITIZED_BUILD
constexpr std::uint64_t defaultIterations = 150;
#else
constexpr std::uint64_t defaultIterations = 1500;
#endif

TEST(ScalarMultiplicationTest, EndsWhereTheAdditionsOneByOneEnd) {
    SeededRandom random;
    const auto iterations = SeededRandom::iterations(defaultIterations);
    std::size_t throwing = 0;
    for (std::size_t i = 0; i < iterations; ++i) {
        Operands o;
        o.q = modulus(random, i);
        const bignum::Natural q = naturalFromHex(o.q);
        o.A = coordinate(random, q, false);
        o.B = coordinate(random, q, false);
        o.x = coordinate(random, q, true);
        o.y = coordinate(random, q, true);
        o.atInfinity = random.below(20) == 0;
        o.k = hexDigits(random, 1 + random.below(20));
        const std::string expected = outcome(o, true);
        if (expected.rfind("none", 0) != 0) {
            ++throwing;
        }
        ASSERT_EQ(outcome(o, false), expected)
            << "q " << o.q << " A " << o.A << " B " << o.B << " P (" << o.x << ", " << o.y << ")"
            << (o.atInfinity ? " at infinity" : "") << " k " << o.k;
    }
    // Off-curve points on small moduli meet zero denominators often; make sure some did.
    EXPECT_GT(throwing, iterations / 50);
}

}  // namespace
}  // namespace curve::test
