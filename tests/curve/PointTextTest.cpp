#include <gmp.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <new>
#include <string>

#include "CurveTestSupport.h"

namespace curve::test {
namespace {

// GMP is the oracle for the parser's digit arithmetic and the renderer's hex.
struct Mpz {
    mpz_t v;
    Mpz() { mpz_init(v); }
    explicit Mpz(const bignum::Natural& n) {
        mpz_init(v);
        mpz_import(v, n.limbs().size(), -1, sizeof(bignum::Limb), 0, 0, n.limbs().data());
    }
    Mpz(const Mpz&) = delete;
    Mpz& operator=(const Mpz&) = delete;
    ~Mpz() { mpz_clear(v); }
    std::string hex() const {
        std::string text(mpz_sizeinbase(v, 16) + 2, '\0');
        mpz_get_str(text.data(), -16, v);
        return text.substr(0, text.find('\0'));
    }
};

// The point starts at (3, A) with the opposite flag, so that the flag has to change; nullopt:
// only the flag is set. In "(1,23)" the "2" is the separator's second character; "(18, 0)" is
// reduced modulo 0x17; digits are "0"-"9" then "A" onwards by code: "a" is 42, ":" 3, "G" 16 and
// " " 233; nothing after ")" is read and the first character is never examined.
TEST(PointTextTest, ParsesExamplesAndTextThatEndsEarly) {
    using namespace std::string_view_literals;
    const std::pair<std::string_view, WordPoint> cases[] = {{"(11, 14)", affine(0x11, 0x14)},
                                                            {"(, )", affine(0, 0)},
                                                            {"(1,23)", affine(1, 3)},
                                                            {"(18, 0)", affine(1, 0)},
                                                            {"(1a, 0)", affine(0xC, 0)},
                                                            {"(1:, 0)", affine(0x13, 0)},
                                                            {"(G, 0)", affine(0x10, 0)},
                                                            {"( 1, 0)", affine(3, 0)},
                                                            {"(5, 7)89", affine(5, 7)},
                                                            {",5, 7)", affine(5, 7)},
                                                            {"(uendelig)", std::nullopt},
                                                            {"(u", std::nullopt},
                                                            {"Xu5, 7)", std::nullopt},
                                                            {"", affine(0, 0)},
                                                            {"(", affine(0, 0)},
                                                            {"u", affine(0, 0)},
                                                            {"(5", affine(5, 0)},
                                                            {"(5,", affine(5, 0)},
                                                            {"(5,7", affine(5, 0)},
                                                            {"(5, ", affine(5, 0)},
                                                            {"(5, 7", affine(5, 7)},
                                                            {"(5\0, 7)"sv, affine(5, 0)},
                                                            {"(5, 7\0)9"sv, affine(5, 7)},
                                                            {"(\0uendelig)"sv, affine(0, 0)},
                                                            {"\0u"sv, affine(0, 0)}};
    TestCurve curve(0x17, 1, 1);
    for (const auto& [text, expected] : cases) {
        SCOPED_TRACE(std::string(text));
        // Exactly the text's size: a read past its end is caught by the sanitizer.
        const auto buffer = std::make_unique<char[]>(std::max<std::size_t>(text.size(), 1));
        std::copy(text.begin(), text.end(), buffer.get());
        CurvePoint point = curve.point(3, 0xA);
        point.setAtInfinity(expected.has_value());
        point.fromText(std::string_view(buffer.get(), text.size()));
        EXPECT_EQ(words(point), expected);
        if (!expected) {
            EXPECT_EQ(coordinates(point), "(3, A)");
        }
    }
}

// Random texts against GMP, for each q. Reduced points (any with q = 0) render as GMP's hex and
// parse back to the same point; infinity renders as "(uendelig)" and parses keeping the target's
// coordinates. Arbitrary bytes as digits follow the sequential v <- 16*v + d (d from the byte's
// code as "0"-"9" then "A" onwards, modulo 256), reduced modulo q unless q = 0.
class RandomPointTextTest : public ::testing::TestWithParam<std::string> {
  protected:
    SeededRandom random_;
    TestCurve curve_{GetParam(), "0", "0"};
    Mpz q_{curve_.q};

    std::string randomBelowQ() {
        std::string hex;
        while (hex.size() < q_.hex().size() + 8) {  // runs of 0 and F reach the carries
            const auto pick = random_.below(4);
            hex += pick == 0 ? '0' : pick == 1 ? 'F' : "0123456789ABCDEF"[random_.below(16)];
        }
        return expectedHex(hex);
    }
    std::string randomDigits(char stop) {
        const std::size_t length = random_.below(8) == 0 ? random_.below(3000) : random_.below(80);
        std::string digits;
        while (digits.size() < length) {
            const char c = random_.below(2) == 0 ? "0123456789ABCDEF"[random_.below(16)]
                                                 : static_cast<char>(1 + random_.below(255));
            if (c != stop) {
                digits.push_back(c);
            }
        }
        return digits;
    }
    std::string expectedHex(const std::string& digits) const {
        Mpz v;
        for (const char c : digits) {
            const unsigned byte = static_cast<unsigned char>(c);
            mpz_mul_2exp(v.v, v.v, 4);
            mpz_add_ui(v.v, v.v, byte - '0' <= 9U ? byte - '0' : (byte + 256 - 55) % 256);
        }
        if (mpz_sgn(q_.v) != 0) {
            mpz_mod(v.v, v.v, q_.v);
        }
        return v.hex();
    }
};

TEST_P(RandomPointTextTest, ParsedDigitsMatchSequentialAccumulation) {
    for (std::uint64_t i = 0; i < SeededRandom::iterations(300); ++i) {
        std::string x = randomDigits(',');
        if (!x.empty() && x[0] == 'u') {
            x[0] = '0';
        }
        const std::string y = randomDigits(')');
        CurvePoint point = curve_.infinity();
        point.fromText("(" + x + "," + static_cast<char>(1 + random_.below(255)) + y + ")" +
                       randomDigits('\0'));
        EXPECT_FALSE(point.atInfinity());
        EXPECT_EQ(Mpz(point.x().value()).hex(), expectedHex(x)) << x;
        EXPECT_EQ(Mpz(point.y().value()).hex(), expectedHex(y)) << y;
    }
}

TEST_P(RandomPointTextTest, ParseOfRenderingGivesThePointBack) {
    for (std::uint64_t i = 0; i < SeededRandom::iterations(200); ++i) {
        const std::string x = randomBelowQ(), y = randomBelowQ();
        CurvePoint source = curve_.infinity();
        source.x().value() = naturalFromHex(x);
        source.y().value() = naturalFromHex(y);
        const bool infinity = random_.below(8) == 0;
        source.setAtInfinity(infinity);
        const std::string text = source.toText();
        EXPECT_EQ(text, infinity ? "(uendelig)" : "(" + x + ", " + y + ")");
        CurvePoint target = curve_.point(1, 2);
        target.setAtInfinity(!infinity);
        target.fromText(text);
        EXPECT_EQ(target.atInfinity(), infinity) << text;
        if (infinity) {
            EXPECT_EQ(coordinates(target), "(1, 2)");
        } else {
            EXPECT_EQ(target, source) << text;
        }
    }
    EXPECT_STREQ(curve_.point(0xABCDEF, 0x100000000).toText(), "(ABCDEF, 100000000)");  // as stored
}

INSTANTIATE_TEST_SUITE_P(
    Moduli, RandomPointTextTest,
    ::testing::Values(std::string("0"), std::string("17"),
                      "FFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFF000000000000000000000001",
                      "FFFFFFFF00000001000000000000000000000000FFFFFFFFFFFFFFFFFFFFFFFF",
                      "1" + std::string(130, 'F')));

// A coordinate may have up to 2^20 bits, as a Natural may; one limb more, by length or by a digit
// above 15 at the top, throws bad_alloc and leaves the point as it was apart from the coordinates
// already read. Leading zeros do not count.
TEST(LongPointTextTest, CoordinateSizeLimit) {
    constexpr std::size_t maxDigits = bignum::Natural::maxLimbs * 8;
    TestCurve unreduced(0, 0, 0);
    CurvePoint point = unreduced.infinity();
    point.fromText("(" + std::string(maxDigits, 'F') + ", 1)");
    EXPECT_FALSE(point.atInfinity());
    EXPECT_EQ(Mpz(point.x().value()).hex(), std::string(maxDigits, 'F'));
    EXPECT_STREQ(point.y().value().toHex(), "1");
    for (const std::string& digits :
         {"1" + std::string(maxDigits, '0'), "G" + std::string(maxDigits - 1, '0'),
          std::string(4'000'000, '1')}) {
        point = unreduced.point(7, 8);
        point.setAtInfinity(true);
        EXPECT_THROW(point.fromText("(" + digits + ", 1)"), std::bad_alloc);
        EXPECT_FALSE(point.atInfinity());
        EXPECT_EQ(coordinates(point), "(7, 8)");
        EXPECT_THROW(point.fromText("(5, " + digits + ")"), std::bad_alloc);
        EXPECT_EQ(coordinates(point), "(5, 8)");
    }
    TestCurve curve(0x17, 1, 1);
    const std::string zeros(4'000'000, '0');
    point = curve.infinity();
    point.fromText("(" + zeros + "18, " + zeros + "7)");
    EXPECT_STREQ(point.toText(), "(1, 7)");
}

}  // namespace
}  // namespace curve::test
