#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cctype>
#include <fstream>
#include <nlohmann/json.hpp>
#include <stdexcept>
#include <string>
#include <vector>

#include "curve/CurvePoint.h"
#include "curve/ScalarMultiplication.h"
#include "tests/support/Gmp.h"
#include "tests/support/SmallCurve.h"
#include "tests/support/Support.h"

namespace kxtest {
namespace {

using bignum::Modular;
using bignum::Natural;
using curve::CurvePoint;
using testing::StrEq;
using testing::ThrowsMessage;

Natural hexNatural(std::string_view hex) {
    Natural n;
    n.fromHex(hex);
    return n;
}

// y^2 = x^3 + A x + B modulo q; points keep pointers into it, so it never moves.
struct Curve {
    Natural q;
    Modular A{q};
    Modular B{q};

    Curve(std::string_view qHex, std::string_view aHex, std::string_view bHex)
        : q(hexNatural(qHex)), A(q, hexNatural(aHex)), B(q, hexNatural(bHex)) {}
    explicit Curve(const SmallCurve& c) : Curve(hexText(c.q), hexText(c.A), hexText(c.B)) {}
    Curve(const Curve&) = delete;
    Curve& operator=(const Curve&) = delete;

    // Stored as given, reduced or not.
    CurvePoint point(std::string_view xHex, std::string_view yHex, bool atInfinity = false) {
        Modular x(q), y(q);
        x.value() = hexNatural(xHex);
        y.value() = hexNatural(yHex);
        CurvePoint p(q, A, B, x, y);
        p.setAtInfinity(atInfinity);
        return p;
    }
    CurvePoint point(const AffinePoint& p) {
        return point(hexText(p.x), hexText(p.y), p.atInfinity);
    }
};

// Where a sum ends: its point text, or the message it threw.
template <class Sum>
std::string outcome(Sum sum) {
    try {
        return sum();
    } catch (const std::exception& failure) {
        return failure.what();
    }
}

// Small curves, their points listed by brute force: A = 0, B = 0, q = 1 and 3 mod 4, points of
// y = 0, and composite moduli, where x1 = x2 with y2 other than +-y1 takes the tangent and
// denominators may have no inverse or be zero.
constexpr SmallCurve smallCurves[] = {{0x17, 1, 1},  {0x1F, 0, 7}, {0x1D, 0x1C, 0}, {0x25, 2, 3},
                                      {5, 1, 1},     {0x15, 1, 1}, {9, 1, 0}};

TEST(SmallCurves, CurveTestSumsAndMultiplesAgreeWithTheOracleForEveryPoint) {
    for (const SmallCurve& small : smallCurves) {
        SCOPED_TRACE("q " + hexText(small.q));
        Curve curve(small);
        const std::vector<AffinePoint> all = small.points();
        for (std::uint64_t x = 0; x < small.q; ++x) {
            for (std::uint64_t y = 0; y < small.q; ++y) {
                const AffinePoint p{false, x, y};
                EXPECT_EQ(curve.point(p).isOnCurve(), small.contains(p)) << pointText(p);
            }
        }
        for (const AffinePoint& p : all) {
            for (const AffinePoint& r : all) {
                EXPECT_EQ(outcome([&] { return std::string((curve.point(p) + curve.point(r)).toText()); }),
                          outcome([&] { return pointText(small.add(p, r)); }))
                    << pointText(p) << " + " << pointText(r);
            }
            EXPECT_STREQ((-curve.point(p)).toText(),
                         pointText(p.atInfinity ? p : AffinePoint{false, p.x, small.minus(0, p.y)})
                             .c_str());
            // Multiples up to twice the group's order, and one of three limbs.
            for (std::uint64_t k = 0; k <= 2 * all.size(); ++k) {
                EXPECT_EQ(outcome([&] { return std::string(multiply(curve.point(p), hexNatural(hexText(k))).toText()); }),
                          outcome([&] { return pointText(small.multiply(hexText(k), p)); }))
                    << pointText(p) << " times " << k;
            }
            const std::string big = hexText(all.size()) + "0000000000000003";
            EXPECT_EQ(outcome([&] { return std::string(multiply(curve.point(p), hexNatural(big)).toText()); }),
                      outcome([&] { return pointText(small.multiply(big, p)); }));
        }
    }
}

// Associativity and inverses, which an oracle sharing a mistake with the program would not
// catch; on the prime curves, where the points form a group.
TEST(SmallCurves, PrimeCurvesFormAGroup) {
    for (const SmallCurve& small : {smallCurves[0], smallCurves[2], smallCurves[4]}) {
        Curve curve(small);
        std::vector<CurvePoint> points;
        for (const AffinePoint& p : small.points()) {
            points.push_back(curve.point(p));
        }
        for (const CurvePoint& p : points) {
            EXPECT_TRUE((p + -p).atInfinity()) << p.toText();
            for (const CurvePoint& r : points) {
                ASSERT_TRUE((p + r).isOnCurve());
                for (const CurvePoint& s : points) {
                    ASSERT_EQ((p + r) + s, p + (r + s))
                        << p.toText() << " + " << r.toText() << " + " << s.toText();
                }
            }
        }
    }
}

// multiplyInPlace leaves k at zero and R doubled once per bit below k's top bit.
TEST(ScalarMultiplication, InPlaceLeavesTheScalarZeroAndTheRunningPointDoubled) {
    Curve curve(smallCurves[0]);
    for (const unsigned k : {0U, 1U, 5U, 0x1CU, 0x1DU}) {
        CurvePoint running = curve.point("3", "A"), result = curve.point("1", "2");
        Natural scalar = hexNatural(hexText(k));
        multiplyInPlace(running, scalar, result);
        EXPECT_FALSE(scalar.differsFrom(0));
        EXPECT_EQ(std::string(running.toText()),
                  pointText(smallCurves[0].multiply(hexText(k == 0 ? 1 : std::bit_floor(k)),
                                                    {false, 3, 0xA})));
        EXPECT_EQ(std::string(result.toText()),
                  pointText(smallCurves[0].multiply(hexText(k), {false, 3, 0xA})));
    }
}

// The scalar multiplication runs on machine words while the steps take their usual course;
// against the definition's loop through operator+ alone, on what leaves that course: composite
// and even moduli of one to eleven words, points off the curve (whose sums can meet a zero
// denominator part way), points at infinity that keep their coordinates, and values above q.
TEST(ScalarMultiplication, EndsWhereTheDefinitionsLoopEnds) {
    OperandSource source(testSeed());
    // Where a multiplication ends: the message it threw, if any, and R, k and the result with the
    // coordinates they keep.
    const auto end = [](Curve& curve, CurvePoint R, Natural k, bool byDefinition) {
        CurvePoint result(curve.q, curve.A, curve.B);
        const std::string failure = outcome([&] {
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
            return std::string("none");
        });
        // One rendering per statement: each invalidates the text of the one before.
        std::string text = failure + " k " + k.toHex();
        for (const CurvePoint* p : {&R, &result}) {
            text += std::string(" ") + p->toText();
            text += std::string(" ") + p->x().value().toHex();
            text += std::string(" ") + p->y().value().toHex();
        }
        return text;
    };
#ifdef KX_SANITIZED_BUILD
    const std::size_t iterations = testIterations(30);  // the definition's loop is slow there
#else
    const std::size_t iterations = testIterations(300);
#endif
    for (std::size_t i = 0; i < iterations; ++i) {
        const std::string q =
            i % 3 == 0 ? hexText(2 + source.below(300)) : hexOf(toMpz(source.limbs(1 + source.below(22))));
        const auto below = [&](bool mayExceed) {
            mpz_class v = toMpz(source.limbs(1 + source.below(23))) % mpz_class(q, 16);
            return hexOf(mayExceed && source.below(16) == 0 ? v + mpz_class(q, 16) : v);
        };
        Curve curve(q, below(false), below(false));
        const CurvePoint R = curve.point(below(true), below(true), source.below(20) == 0);
        const Natural k = toNatural(toMpz(source.limbs(1 + source.below(2))));
        ASSERT_EQ(end(curve, R, k, false), end(curve, R, k, true))
            << "q " << q << " A " << curve.A.value().toHex() << " B " << curve.B.value().toHex()
            << " R " << R.toText() << " k " << k.toHex();
    }
}

// Point text: the examples, text that ends early, lower case taken as 42-47, and any bytes
// against the digit-by-digit definition, reduced modulo q.
TEST(PointText, ParsesAsDefinedAndRendersCanonically) {
    Curve curve("17", "1", "1");
    const std::pair<std::string, std::string> parsed[] = {
        {"(11, 14)", "(11, 14)"}, {"(, )", "(0, 0)"},     {"(1,23)", "(1, 3)"},
        {"(18, 0)", "(1, 0)"},    {"(1a, 0)", "(C, 0)"},  {"", "(0, 0)"},
        {"(", "(0, 0)"},          {"(5", "(5, 0)"},       {"(5,", "(5, 0)"},
        {"(5, 6", "(5, 6)"},      {"(5, 6)junk", "(5, 6)"}, {std::string("(1\0, 2)", 7), "(1, 0)"}};
    for (const auto& [text, shown] : parsed) {
        CurvePoint p = curve.point("3", "A", true);
        p.fromText(text);
        EXPECT_EQ(std::string(p.toText()), shown) << text;
    }
    CurvePoint kept = curve.point("3", "A");
    kept.fromText("(uendelig)");
    EXPECT_TRUE(kept.atInfinity());
    EXPECT_EQ(std::string(kept.x().value().toHex()) + kept.y().value().toHex(), "3A");

    OperandSource source(testSeed());
    Curve large(hexOf(toMpz(source.limbs(40))), "1", "1");
    for (int i = 0; i < 200; ++i) {
        std::string xText = "1", yText;  // "(u" would be the point at infinity
        for (std::size_t n = source.below(400); n-- > 0;) {
            xText += static_cast<char>(1 + source.below(255));
            yText += "0123456789ABCDEF"[source.below(16)];
        }
        std::erase(xText, ',');
        const auto definition = [&](const std::string& digits) {
            mpz_class v;
            for (const char c : digits) {
                const unsigned u = static_cast<unsigned char>(c), d = (u + 256 - 48) % 256;
                v = v * 16 + (d < 10 ? d : (u + 256 - 55) % 256);
            }
            return hexOf(v % toMpz(large.q));
        };
        CurvePoint p = large.point("0", "0");
        p.fromText("(" + xText + ", " + yText + ")");
        EXPECT_EQ(std::string(p.x().value().toHex()), definition(xText));
        EXPECT_EQ(std::string(p.y().value().toHex()), definition(yText));
        CurvePoint back = large.point("0", "0");
        back.fromText(p.toText());
        EXPECT_EQ(back, p);
    }
}

// A and B are compared by address, coordinates by value; a copy or an assignment never carries
// rendered text; a y above q cannot be negated, which the addition tries first.
TEST(CurvePointTest, IdentityCopiesAndUnreducedValues) {
    Curve curve("17", "1", "1"), twin("17", "1", "1");
    CurvePoint a = curve.point("9", "7");
    const char* text = a.toText();
    CurvePoint b = twin.point("9", "7");
    EXPECT_NE(a, b);
    EXPECT_EQ(a, curve.point("9", "7"));
    b = curve.point("3", "A");
    const CurvePoint& alias = b;
    b = alias;
    a = b;
    EXPECT_STREQ(text, "(9, 7)");
    EXPECT_STREQ(a.toText(), "(3, A)");
    EXPECT_THAT([&] { (void)(a + curve.point("9", "30")); },
                ThrowsMessage<std::invalid_argument>(StrEq("result would be negative")));
}

// Every uncompressed public key of the Wycheproof ECDH vectors: the invalid-curve points fail the
// curve test, the others pass it, and the private key times the public point has the shared
// secret as its x. The sanitizer build takes every twentieth agreement.
TEST(Wycheproof, SharedSecretIsXOfPrivateTimesPublic) {
    const std::string curves[][4] = {
        {"secp224r1", "FFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFF000000000000000000000001",
         "FFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFEFFFFFFFFFFFFFFFFFFFFFFFE",
         "B4050A850C04B3ABF54132565044B0B7D7BFD8BA270B39432355FFB4"},
        {"secp256r1", "FFFFFFFF00000001000000000000000000000000FFFFFFFFFFFFFFFFFFFFFFFF",
         "FFFFFFFF00000001000000000000000000000000FFFFFFFFFFFFFFFFFFFFFFFC",
         "5AC635D8AA3A93E7B3EBBD55769886BC651D06B0CC53B0F63BCE3C3E27D2604B"},
        {"secp384r1",
         "FFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFEFFFFFFFF0000000000000000"
         "FFFFFFFF",
         "FFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFEFFFFFFFF0000000000000000"
         "FFFFFFFC",
         "B3312FA7E23EE7E4988E056BE3F82D19181D9C6EFE8141120314088F5013875AC656398D8A2ED19D2A85C8ED"
         "D3EC2AEF"},
        {"secp521r1", "1" + std::string(130, 'F'), "1" + std::string(129, 'F') + "C",
         "51953EB9618E1C9A1F929A21A0B68540EEA2DA725B99B315F3B8B489918EF109E156193951EC7E937B1652C"
         "0BD3BB1BF073573DF883D2C34F1EF451FD46B503F00"}};
#ifdef KX_SANITIZED_BUILD
    constexpr int step = 20;
#else
    constexpr int step = 1;
#endif
    for (const auto& [name, q, a, b] : curves) {
        std::ifstream file(std::string(KX_TESTDATA_DIR) + "/wycheproof/ecdh_" + std::string(name) +
                           "_ecpoint_test.json");
        ASSERT_TRUE(file) << name;
        Curve curve(q, a, b);
        int agreements = 0;
        const nlohmann::json vectors = nlohmann::json::parse(file);
        for (const auto& group : vectors.at("testGroups")) {
            for (const auto& test : group.at("tests")) {
                std::string key = test.at("public");
                if (key.substr(0, 2) != "04") {
                    continue;
                }
                std::transform(key.begin(), key.end(), key.begin(), ::toupper);
                const std::size_t half = (key.size() - 2) / 2;
                CurvePoint P = curve.point("0", "0");
                P.fromText("(" + key.substr(2, half) + ", " + key.substr(2 + half) + ")");
                const auto& flags = test.at("flags");
                SCOPED_TRACE(std::string(name) + " tcId " + std::to_string(test.at("tcId").get<int>()));
                if (std::find(flags.begin(), flags.end(), "InvalidCurveAttack") != flags.end()) {
                    EXPECT_FALSE(P.isOnCurve());
                } else if (test.at("result") != "invalid") {
                    EXPECT_TRUE(P.isOnCurve());
                    if (agreements++ % step == 0) {
                        const mpz_class shared(test.at("shared").get<std::string>(), 16);
                        EXPECT_EQ(std::string(multiply(P, hexNatural(test.at("private").get<std::string>()))
                                                  .x()
                                                  .value()
                                                  .toHex()),
                                  hexOf(shared));
                    }
                }
            }
        }
        EXPECT_GT(agreements, 0) << name;
    }
}

}  // namespace
}  // namespace kxtest
