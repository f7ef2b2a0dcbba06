#pragma once

// Shared by the curve tests: a curve owning q, A and B at fixed addresses, word conversions for
// small values and the seeded random source.

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
#include "curve/ScalarMultiplication.h"

namespace curve {

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

// Affine coordinates as words, or nullopt for the point at infinity.
using WordPoint = std::optional<std::pair<std::uint64_t, std::uint64_t>>;

inline WordPoint affine(std::uint64_t x, std::uint64_t y) {
    return std::pair{x, y};
}

// The stored coordinates in hex, whatever the flag says.
inline std::string coordinates(const CurvePoint& p) {
    return std::string("(") + p.x().value().toHex() + ", " + p.y().value().toHex() + ")";
}

// y^2 = x^3 + A*x + B modulo q. Points keep pointers into it, so it never moves.
struct TestCurve {
    bignum::Natural q;
    bignum::Modular A;
    bignum::Modular B;

    TestCurve(std::uint64_t qv, std::uint64_t av, std::uint64_t bv)
        : q(natural(qv)), A(q, natural(av)), B(q, natural(bv)) {}
    TestCurve(std::string_view qHex, std::string_view aHex, std::string_view bHex)
        : q(naturalFromHex(qHex)), A(q, naturalFromHex(aHex)), B(q, naturalFromHex(bHex)) {}
    TestCurve(const TestCurve&) = delete;
    TestCurve& operator=(const TestCurve&) = delete;

    CurvePoint infinity() { return CurvePoint(q, A, B); }
    CurvePoint point(std::uint64_t x, std::uint64_t y) {  // stored as given, reduced or not
        return CurvePoint(q, A, B, residue(x), residue(y));
    }
    CurvePoint point(const WordPoint& p) { return p ? point(p->first, p->second) : infinity(); }
    bignum::Modular residue(std::uint64_t v) {
        bignum::Modular m(q);
        m.value() = natural(v);
        return m;
    }
};

inline WordPoint words(const CurvePoint& p) {
    const auto word = [](const bignum::Modular& m) {
        return std::stoull(m.value().toHex(), {}, 16);
    };
    return p.atInfinity() ? WordPoint{} : affine(word(p.x()), word(p.y()));
}

inline std::uint64_t environmentNumber(const char* name, std::uint64_t fallback) {
    const char* text = std::getenv(name);
    return text != nullptr ? std::strtoull(text, nullptr, 0) : fallback;
}

// Seed and iteration count come from KX_TEST_SEED and KX_TEST_ITERATIONS; the seed is attached
// to every failure so that one variable reproduces it.
struct SeededRandom {
    std::uint64_t seed = environmentNumber("KX_TEST_SEED", std::random_device{}());
    ::testing::ScopedTrace trace{__FILE__, __LINE__, "KX_TEST_SEED=" + std::to_string(seed)};
    std::mt19937_64 engine{seed};

    static std::uint64_t iterations(std::uint64_t fallback) {
        return environmentNumber("KX_TEST_ITERATIONS", fallback);
    }
    std::uint64_t below(std::uint64_t bound) {
        return std::uniform_int_distribution<std::uint64_t>(0, bound - 1)(engine);
    }
};

}  // namespace curve::test
