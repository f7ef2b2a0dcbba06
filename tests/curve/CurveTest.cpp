#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "curve/CurvePoint.h"
#include "curve/ScalarMultiplication.h"
#include "tests/support/Curve.h"
#include "tests/support/Gmp.h"
#include "tests/support/SmallCurve.h"
#include "tests/support/Support.h"

namespace kxtest {
namespace {

using bignum::Natural;
using curve::CurvePoint;

// Small curves: A = 0, B = 0, q = 1 and 3 mod 4, points of y = 0, and composite moduli, where
// x1 = x2 with y2 other than +-y1 takes the tangent and denominators may be zero or have no
// inverse. Every sum, negation and multiple up to twice the number of points, and one of three
// limbs, against the oracle; the points listed by trying every (x, y). The inverse of each point
// is its negation, checked through the sums.
TEST(Curve, SmallCurvesAgreeWithTheOracleOnEveryPoint) {
    for (const SmallCurve& small : {SmallCurve{0x17, 1, 1},
                                    {0x1F, 0, 7},
                                    {0x1D, 0x1C, 0},
                                    {0x25, 2, 3},
                                    {5, 1, 1},
                                    {0x15, 1, 1},
                                    {9, 1, 0}}) {
        Curve curve(small);
        std::vector<AffinePoint> all{AffinePoint{}};
        for (std::uint64_t x = 0; x < small.q; ++x) {
            for (std::uint64_t y = 0; y < small.q; ++y) {
                EXPECT_EQ(curve.point({false, x, y}).isOnCurve(), small.contains({false, x, y}));
                if (small.contains({false, x, y})) {
                    all.push_back({false, x, y});
                }
            }
        }
        for (const AffinePoint& p : all) {
            for (const AffinePoint& r : all) {
                EXPECT_EQ(outcome([&] {
                              return std::string((curve.point(p) + curve.point(r)).toText());
                          }),
                          outcome([&] { return pointText(small.add(p, r)); }))
                    << pointText(p) << " + " << pointText(r) << " mod " << small.q;
            }
            EXPECT_EQ(std::string((-curve.point(p)).toText()),
                      pointText({p.atInfinity, p.x, small.minus(0, p.y)}));
            for (std::uint64_t k = 0; k <= 2 * all.size() + 1; ++k) {
                const std::string kHex =
                    k > 2 * all.size() ? hexText(all.size()) + "0000000000000003" : hexText(k);
                EXPECT_EQ(outcome([&] {
                              return std::string(multiply(curve.point(p), natural(kHex)).toText());
                          }),
                          outcome([&] { return pointText(small.multiply(kHex, p)); }))
                    << pointText(p) << " times " << kHex << " mod " << small.q;
            }
        }
    }
}

// The multiplication runs on machine words while the steps take their usual course. Against the
// definition's loop through operator+ alone, on what leaves that course: composite and even
// moduli of one to eleven words, points off the curve (whose sums can meet a zero denominator
// part way), points at infinity that keep their coordinates, and values above q. Both must end
// with the same R, k and result, or throw the same message with them.
TEST(Curve, ScalarMultiplicationEndsWhereTheDefinitionsLoopEnds) {
    OperandSource source(testSeed());
    const auto end = [](Curve& curve, CurvePoint R, Natural k, bool byDefinition) {
        CurvePoint result(curve.q, curve.A, curve.B);
        std::string text = outcome([&] {
            if (!byDefinition) {
                multiplyInPlace(R, k, result);
            }
            while (byDefinition && k.differsFrom(0)) {
                if ((k.limbs()[0] & 1U) != 0) {
                    result = result + R;
                    k.decrementFrom(0);
                } else {
                    R = R + R;
                    k.halve();
                }
            }
            return std::string();
        });
        // One rendering at a time: each replaces the one before.
        for (const CurvePoint* p : {&R, &result}) {
            text += std::string(" ") + p->toText();
            text += std::string(" ") + p->x().value().toHex();
            text += std::string(" ") + p->y().value().toHex();
        }
        return text + " " + k.toHex();
    };
    const std::size_t iterations = testIterations(sanitized ? 30 : 300);
    for (std::size_t i = 0; i < iterations; ++i) {
        const mpz_class q = i % 3 == 0 ? mpz_class(2 + source.below(300))
                                       : toMpz(source.limbs(1 + source.below(22)));
        const auto below = [&](bool mayExceed) {
            const mpz_class v = toMpz(source.limbs(1 + source.below(23))) % q;
            return (mayExceed && source.below(16) == 0 ? v + q : v).get_str(16);
        };
        Curve curve(q.get_str(16), below(false), below(false));
        const CurvePoint R = curve.point(below(true), below(true), source.below(20) == 0);
        const Natural k = toNatural(toMpz(source.limbs(1 + source.below(2))));
        ASSERT_EQ(end(curve, R, k, false), end(curve, R, k, true))
            << "q " << q.get_str(16) << " R " << R.toText() << " KX_TEST_SEED " << testSeed();
    }
}

// On a prime q the words take the windowed course, whose additions differ from the definition's;
// the traced run, which the group law alone draws a row per bit, is the definition's loop. Primes
// of one to seventeen words (the unrolled fields and the general one), points on no particular
// curve, with y = 0 or at infinity, and scalars wide enough for every window width.
TEST(Curve, OnAPrimeModulusTheWindowedMultiplicationEndsWhereTheTraceEnds) {
    struct Rows final : curve::MultiplicationObserver {
        void step(const curve::MultiplicationStep& row) override { positions += row.position + 1; }
        std::size_t positions = 0;
    };
    OperandSource source(testSeed());
    const auto end = [](CurvePoint& R, Natural& k, CurvePoint& result) {
        return std::string(R.toText()) + " " + result.toText() + " " + k.toHex();
    };
    for (std::size_t i = 0; i < testIterations(sanitized ? 2 : 40); ++i) {
        mpz_class q;
        mpz_nextprime(q.get_mpz_t(), toMpz(source.limbs(1 + source.below(34))).get_mpz_t());
        const auto below = [&] {
            return mpz_class(toMpz(source.limbs(1 + source.below(34))) % q).get_str(16);
        };
        Curve curve(q.get_str(16), below(), "0");
        CurvePoint R =
            curve.point(below(), source.below(8) == 0 ? "0" : below(), source.below(8) == 0);
        CurvePoint tracedR = R, result = R, traced = R;
        Natural k = toNatural(toMpz(source.limbs(1 + source.below(24)))), tracedK = k;
        const std::size_t bits = k.bitLength();
        Rows rows;
        multiplyInPlace(R, k, result);
        multiplyInPlace(tracedR, tracedK, traced, &rows);
        ASSERT_EQ(end(R, k, result), end(tracedR, tracedK, traced))
            << "q " << q.get_str(16) << " KX_TEST_SEED " << testSeed();
        EXPECT_EQ(rows.positions, bits * (bits + 1) / 2);
    }
}

// Point text: the examples, text that ends early, lower case read as 42-47, and any bytes against
// the digit-by-digit definition, reduced modulo q; A and B compared by address, q and the
// coordinates by value; a y above q cannot be negated, which the sum tries first.
TEST(Curve, PointTextAndIdentity) {
    Curve curve("17", "1", "1"), twin("17", "1", "1");
    // clang-format off
    const std::pair<std::string, std::string> parsed[] = {
        {"(11, 14)", "(11, 14)"}, {"(, )", "(0, 0)"}, {"(1,23)", "(1, 3)"}, {"(18, 0)", "(1, 0)"},
        {"(1a, 0)", "(C, 0)"}, {"", "(0, 0)"}, {"(5", "(5, 0)"}, {"(15", "(15, 0)"}, {"(5, 6", "(5, 6)"}, {"(5, 6)x", "(5, 6)"},
        {std::string("(1\0, 2)", 7), "(1, 0)"}, {"(uendelig)", "(uendelig)3"}};
    // clang-format on
    for (const auto& [text, shown] : parsed) {
        CurvePoint p = curve.point("3", "A", true);
        p.fromText(text);  // infinity keeps the coordinates
        EXPECT_EQ(std::string(p.toText()) + (p.atInfinity() ? p.x().value().toHex() : ""), shown)
            << text;
    }
    EXPECT_NE(curve.point("9", "7"), twin.point("9", "7"));
    EXPECT_NE(curve.point("9", "7", true), curve.point("9", "7"));
    EXPECT_THROW((void)(curve.point("3", "A") + curve.point("9", "30")), std::invalid_argument);

    // Every byte but NUL and the separators, as digits of x, against the definition.
    std::string x = "1";  // "(u" would be the point at infinity
    mpz_class X = 1;
    for (int c = 255; c > 0; --c) {
        x += c != ',' && c != ')' ? std::string(1, static_cast<char>(c)) : "";
        X = c != ',' && c != ')' ? X * 16 + (c >= 48 && c < 58 ? c - 48 : (c + 256 - 55) % 256) : X;
    }
    Curve large(mpz_class((mpz_class(1) << 1000) - 105).get_str(16), "1", "1");
    CurvePoint p = large.point("0", "0");
    p.fromText("(" + x + ", 1)");
    EXPECT_EQ(std::string(p.x().value().toHex()),
              mpz_class(X % toMpz(large.q.limbs())).get_str(-16));
}

// Every uncompressed public key of the Wycheproof ECDH vectors: the invalid-curve points fail the
// curve test, the others pass it, and the private key times the public point has the shared
// secret as its x. The sanitizer build takes every twentieth agreement.
class Wycheproof : public testing::TestWithParam<std::string> {};

TEST_P(Wycheproof, SharedSecretIsXOfPrivateTimesPublic) {
    std::ifstream parameters(std::string(KX_TESTDATA_DIR) + "/curves.txt");
    std::string name, q, a, b;
    while (parameters >> name >> q >> a >> b && name != GetParam()) {
    }
    Curve curve(q, a, b);
    std::ifstream file(std::string(KX_TESTDATA_DIR) + "/wycheproof/ecdh_" + name +
                       "_ecpoint_test.json");
    const nlohmann::json vectors = nlohmann::json::parse(file);
    constexpr int step = sanitized ? 20 : 1;
    int agreement = 0;
    for (const auto& group : vectors.at("testGroups")) {
        for (const auto& test : group.at("tests")) {
            const std::string key = test.at("public");
            if (key.substr(0, 2) != "04") {
                continue;
            }
            const std::size_t half = (key.size() - 2) / 2;
            const CurvePoint P = curve.point(key.substr(2, half), key.substr(2 + half));
            const auto& flags = test.at("flags");
            SCOPED_TRACE("tcId " + std::to_string(test.at("tcId").get<int>()));
            if (std::find(flags.begin(), flags.end(), "InvalidCurveAttack") != flags.end()) {
                EXPECT_FALSE(P.isOnCurve());
            } else if (test.at("result") != "invalid") {
                EXPECT_TRUE(P.isOnCurve());
                if (agreement++ % step == 0) {
                    const mpz_class shared(test.at("shared").get<std::string>(), 16);
                    EXPECT_EQ(multiply(P, natural(test.at("private").get<std::string>()))
                                  .x()
                                  .value()
                                  .toHex(),
                              shared.get_str(-16));
                }
            }
        }
    }
    EXPECT_GT(agreement, 0);
}

INSTANTIATE_TEST_SUITE_P(Curves, Wycheproof,
                         testing::Values("secp224r1", "secp256r1", "secp384r1", "secp521r1"));

}  // namespace
}  // namespace kxtest
