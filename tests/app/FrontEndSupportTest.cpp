// What a front end shows beside the exchange: the steps of a product and every point of a small
// curve, against the small-curve oracle; and the text edge's way back to Windows-1252.
#include <gtest/gtest.h>

#include <algorithm>
#include <exception>

#include "app/FailureReport.h"
#include "app/MultiplicationTrace.h"
#include "app/SmallCurvePoints.h"
#include "app/Windows1252.h"
#include "bignum/ArithmeticError.h"
#include "curve/ScalarMultiplication.h"
#include "tests/support/Curve.h"
#include "tests/support/SmallCurve.h"

namespace kxtest {
namespace {

// Curves with A = 0, B = 0, points of y = 0, q = 1 and 3 mod 4, composite q up to the largest
// drawn, and coefficients given above q.
TEST(SmallCurvePoints, AreEveryPointTheOracleFinds) {
    const SmallCurve curves[] = {{1, 0, 0},    {2, 1, 1},    {5, 0, 0},       {7, 3, 0},
                                 {13, 0, 5},   {23, 1, 1},   {15, 2, 7},      {0x3A, 1, 0x39},
                                 {1021, 0, 7}, {1021, 5, 0}, {1023, 1000, 1}, {11, 11 + 3, 2 * 11}};
    for (const SmallCurve& c : curves) {
        Curve curve(hexText(c.q), "0", "0");
        curve.A.value() = natural(hexText(c.A));  // as given, above q too
        curve.B.value() = natural(hexText(c.B));
        std::vector<app::SmallPoint> expected;
        for (std::uint32_t x = 0; x < c.q; ++x) {
            for (std::uint32_t y = 0; y < c.q; ++y) {
                if (c.contains({false, x, y})) {
                    expected.push_back({x, y});
                }
            }
        }
        EXPECT_EQ(app::smallCurvePoints(curve.q, curve.A, curve.B), expected)
            << c.q << " " << c.A << " " << c.B;
    }
    for (const std::uint64_t large : {std::uint64_t{0}, std::uint64_t{1024}, testCurve.q}) {
        bignum::Natural q = natural(hexText(large));
        EXPECT_FALSE(app::smallCurvePoints(q, bignum::Modular(q), bignum::Modular(q))) << large;
    }
}

// The steps end at the product they explain, or say where a step failed (coordinates above a q
// that shrank since, as a received point's are), or that a is too long to show.
TEST(TraceProduct, EndsAtTheProductOrSaysWhyNot) {
    Curve c(testCurve);
    const curve::CurvePoint P = c.point(testPoint);
    const curve::CurvePoint shown = c.point(testCurve.multiply("1F2E3D4C", testPoint));
    const app::Trace trace = app::traceProduct(P, natural("1F2E3D4C"));
    EXPECT_TRUE(trace.failure.empty() && trace.rows.size() == 29U);
    EXPECT_EQ(trace.rows.back()[6], shown.toText());

    const app::Trace refused = app::traceProduct(P, natural("1" + std::string(1024, '0')));
    EXPECT_TRUE(refused.rows.empty());
    EXPECT_EQ(refused.failure, "a har 4097 bit; udregningen vises for h\xF8jst 4096 trin");

    c.q = natural("1F");
    const app::Trace failed = app::traceProduct(P, natural("FF"));
    EXPECT_EQ(failed.failure, app::failureReport(std::make_exception_ptr(bignum::ArithmeticError(
                                  bignum::ArithmeticError::Kind::negativeResult))));
    EXPECT_LT(failed.rows.size(), 8U);
}

TEST(Windows1252, EveryByteComesBackAndOtherCharactersBecomeQuestionMarks) {
    for (unsigned byte = 0; byte <= 0xFF; ++byte) {
        EXPECT_EQ(app::toWindows1252(app::fromWindows1252(static_cast<unsigned char>(byte))), byte);
    }
    EXPECT_EQ(app::toWindows1252(U'\u4E2D'), '?');
}

}  // namespace
}  // namespace kxtest
