#pragma once

// Helpers shared by the curve tests: a curve that owns its q, A and B at fixed addresses, word
// conversions for small values, and the seeded random source.

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <optional>
#include <ostream>
#include <random>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "bignum/Modular.h"
#include "bignum/Natural.h"
#include "curve/CurvePoint.h"

namespace curve {

// Failing expectations show points as point text.
inline std::ostream& operator<<(std::ostream& os, const CurvePoint& p) {
    return os << p.toText();
}

}  // namespace curve

namespace curve::test {

inline bignum::Natural natural(std::uint64_t v) {
    bignum::Natural n;
    const std::vector<bignum::Limb> limbs{static_cast<bignum::Limb>(v),
                                          static_cast<bignum::Limb>(v >> 32)};
    n.setLimbs(limbs);
    return n;
}

inline bignum::Natural naturalFromHex(std::string_view hex) {
    bignum::Natural n;
    n.fromHex(hex);
    return n;
}

// Only for values known to fit; fails the test otherwise.
inline std::uint64_t toWord(const bignum::Natural& n) {
    const auto limbs = n.limbs();
    EXPECT_LE(limbs.size(), 2U);
    std::uint64_t v = 0;
    for (std::size_t i = limbs.size(); i-- > 0;) {
        v = (v << 32) | limbs[i];
    }
    return v;
}

// A curve y^2 = x^3 + A*x + B modulo q. Points keep pointers into it, so it never moves.
struct TestCurve {
    bignum::Natural q;
    bignum::Modular A;
    bignum::Modular B;

    TestCurve(std::uint64_t qValue, std::uint64_t aValue, std::uint64_t bValue)
        : q(natural(qValue)), A(q, natural(aValue)), B(q, natural(bValue)) {}
    TestCurve(std::string_view qHex, std::string_view aHex, std::string_view bHex)
        : q(naturalFromHex(qHex)), A(q, naturalFromHex(aHex)), B(q, naturalFromHex(bHex)) {}
    TestCurve(const TestCurve&) = delete;
    TestCurve& operator=(const TestCurve&) = delete;

    CurvePoint infinity() { return CurvePoint(q, A, B); }
    // The coordinates are stored as given, reduced or not.
    CurvePoint point(std::uint64_t x, std::uint64_t y) {
        return CurvePoint(q, A, B, residue(x), residue(y));
    }
    bignum::Modular residue(std::uint64_t v) {
        bignum::Modular m(q);
        m.value() = natural(v);
        return m;
    }
};

// Affine coordinates as words, or nullopt for the point at infinity.
using WordPoint = std::optional<std::pair<std::uint64_t, std::uint64_t>>;

inline WordPoint affine(std::uint64_t x, std::uint64_t y) {
    return std::pair{x, y};
}

inline WordPoint words(const CurvePoint& p) {
    if (p.atInfinity()) {
        return std::nullopt;
    }
    return std::pair{toWord(p.x().value()), toWord(p.y().value())};
}

inline std::string describe(const WordPoint& p) {
    if (!p) {
        return "infinity";
    }
    return "(" + std::to_string(p->first) + ", " + std::to_string(p->second) + ")";
}

inline std::uint64_t environmentNumber(const char* name, std::uint64_t fallback) {
    const char* text = std::getenv(name);
    return text != nullptr ? std::strtoull(text, nullptr, 0) : fallback;
}

// Seed and iteration count come from KX_TEST_SEED and KX_TEST_ITERATIONS when set; the seed is
// attached to every failure so that one variable reproduces it.
class SeededRandom {
  public:
    SeededRandom()
        : seed_(environmentNumber("KX_TEST_SEED", std::random_device{}())),
          trace_(__FILE__, __LINE__, "KX_TEST_SEED=" + std::to_string(seed_)),
          engine_(seed_) {}

    static std::uint64_t iterations(std::uint64_t fallback) {
        return environmentNumber("KX_TEST_ITERATIONS", fallback);
    }
    std::uint64_t below(std::uint64_t bound) {
        return std::uniform_int_distribution<std::uint64_t>(0, bound - 1)(engine_);
    }
    std::mt19937_64& engine() { return engine_; }

  private:
    std::uint64_t seed_;
    ::testing::ScopedTrace trace_;
    std::mt19937_64 engine_;
};

}  // namespace curve::test
