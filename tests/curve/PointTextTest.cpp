#include <gmp.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <memory>
#include <new>
#include <string>

#include "CurveTestSupport.h"

namespace curve::test {
namespace {

// GMP is the oracle for the digit arithmetic of the parser and for the hex of the renderer.
class Mpz {
  public:
    Mpz() { mpz_init(value_); }
    explicit Mpz(const bignum::Natural& n) {
        mpz_init(value_);
        const auto limbs = n.limbs();
        mpz_import(value_, limbs.size(), -1, sizeof(bignum::Limb), 0, 0, limbs.data());
    }
    explicit Mpz(const char* hex) { mpz_init_set_str(value_, hex, 16); }
    Mpz(Mpz&& other) noexcept {
        mpz_init(value_);
        mpz_swap(value_, other.value_);
    }
    Mpz(const Mpz&) = delete;
    Mpz& operator=(const Mpz&) = delete;
    ~Mpz() { mpz_clear(value_); }

    mpz_ptr get() { return value_; }
    mpz_srcptr get() const { return value_; }

    std::string hex() const {
        std::string text(mpz_sizeinbase(value_, 16) + 2, '\0');
        mpz_get_str(text.data(), -16, value_);
        text.resize(text.find('\0'));
        return text;
    }
    bignum::Natural natural() const {
        std::vector<bignum::Limb> limbs(mpz_sizeinbase(value_, 2) / 32 + 1);
        std::size_t count = 0;
        mpz_export(limbs.data(), &count, -1, sizeof(bignum::Limb), 0, 0, value_);
        limbs.resize(count);
        bignum::Natural n;
        n.setLimbs(limbs);
        return n;
    }
    bool operator==(const Mpz& other) const { return mpz_cmp(value_, other.value_) == 0; }

  private:
    mpz_t value_;
};

std::ostream& operator<<(std::ostream& os, const Mpz& z) {
    return os << z.hex();
}

// v <- 16*v + d over the bytes, each byte's d taken from its code as "0"-"9" then "A" onwards,
// modulo 256; then reduced modulo q unless q is zero.
Mpz expectedValue(std::string_view digits, const bignum::Natural& q) {
    Mpz v;
    for (const char c : digits) {
        const unsigned byte = static_cast<unsigned char>(c);
        const unsigned d = byte >= '0' && byte <= '9' ? byte - '0' : (byte + 256 - 55) % 256;
        mpz_mul_2exp(v.get(), v.get(), 4);
        mpz_add_ui(v.get(), v.get(), d);
    }
    const Mpz modulus(q);
    if (mpz_sgn(modulus.get()) != 0) {
        mpz_mod(v.get(), v.get(), modulus.get());
    }
    return v;
}

struct ParseCase {
    std::string_view text;
    WordPoint expected;  // nullopt: the flag is set and the coordinates (3, A) stay
};

// Starting from (3, A), or from the point at infinity with coordinates (3, A) when the text is
// expected to give an affine point, so that the flag has to change either way.
TEST(PointTextTest, ParsesExamplesAndTextThatEndsEarly) {
    using namespace std::string_view_literals;
    const ParseCase cases[] = {
        {"(11, 14)", affine(0x11, 0x14)},
        {"(, )", affine(0, 0)},
        {"(1,23)", affine(1, 3)},      // "2" is the separator's second character
        {"(18, 0)", affine(1, 0)},     // reduced modulo 0x17
        {"(1a, 0)", affine(0xC, 0)},   // "a" is 42: 16 + 42 = 0x3A
        {"(1:, 0)", affine(0x13, 0)},  // ":" is 3
        {"(G, 0)", affine(0x10, 0)},   // "G" is 16
        {"( 1, 0)", affine(3, 0)},     // " " is 233: 233*16 + 1 = 0xE91
        {"(5, 7)89", affine(5, 7)},    // nothing after ")" is read
        {",5, 7)", affine(5, 7)},      // the first character is never examined
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
        {"\0u"sv, affine(0, 0)},
    };
    TestCurve curve(0x17, 1, 1);
    for (const ParseCase& c : cases) {
        SCOPED_TRACE(std::string(c.text));
        // A buffer of exactly the text's size: a read past its end is caught by the sanitizer.
        const auto buffer = std::make_unique<char[]>(std::max<std::size_t>(c.text.size(), 1));
        std::copy(c.text.begin(), c.text.end(), buffer.get());
        CurvePoint point = curve.point(3, 0xA);
        point.setAtInfinity(c.expected.has_value());
        point.fromText(std::string_view(buffer.get(), c.text.size()));
        EXPECT_EQ(point.atInfinity(), !c.expected.has_value());
        const WordPoint coordinates = affine(toWord(point.x().value()), toWord(point.y().value()));
        EXPECT_EQ(describe(coordinates), describe(c.expected.value_or(*affine(3, 0xA))));
    }
}

TEST(PointTextTest, RendersExamples) {
    TestCurve curve(0x17, 1, 1);
    EXPECT_STREQ(curve.infinity().toText(), "(uendelig)");
    EXPECT_STREQ(curve.point(0, 0x1F).toText(), "(0, 1F)");
    EXPECT_STREQ(curve.point(0x11, 0x14).toText(), "(11, 14)");
    CurvePoint point = curve.point(0xABCDEF, 0x100000000);  // stored as given
    EXPECT_STREQ(point.toText(), "(ABCDEF, 100000000)");
    point.setAtInfinity(true);
    EXPECT_STREQ(point.toText(), "(uendelig)");
    point.setAtInfinity(false);
    EXPECT_STREQ(point.toText(), "(ABCDEF, 100000000)");
}

class PointTextRoundTripTest : public ::testing::TestWithParam<const char*> {};

// Reduced points render as GMP's hex and parse back to the same point; infinity keeps the
// coordinates that the target already had.
TEST_P(PointTextRoundTripTest, ParseOfRenderingGivesThePointBack) {
    SeededRandom random;
    TestCurve curve(GetParam(), "0", "0");
    const Mpz q(curve.q);
    const auto randomBelowQ = [&] {
        std::vector<bignum::Limb> limbs(curve.q.length() + 1);
        std::generate(limbs.begin(), limbs.end(), [&] {
            // Runs of zero and one bits find carries that uniform limbs rarely reach.
            const auto pick = random.below(4);
            return pick == 0   ? 0U
                   : pick == 1 ? ~0U
                               : static_cast<bignum::Limb>(random.below(1ULL << 32));
        });
        Mpz v;
        mpz_import(v.get(), limbs.size(), -1, sizeof(bignum::Limb), 0, 0, limbs.data());
        mpz_mod(v.get(), v.get(), q.get());
        return v;
    };
    const std::uint64_t iterations = SeededRandom::iterations(200);
    for (std::uint64_t i = 0; i < iterations; ++i) {
        const Mpz x = randomBelowQ();
        const Mpz y = randomBelowQ();
        CurvePoint source(curve.q, curve.A, curve.B, bignum::Modular(curve.q, x.natural()),
                          bignum::Modular(curve.q, y.natural()));
        const bool infinity = random.below(8) == 0;
        source.setAtInfinity(infinity);
        const std::string text = source.toText();
        EXPECT_EQ(text, infinity ? "(uendelig)" : "(" + x.hex() + ", " + y.hex() + ")");

        CurvePoint target = curve.point(1, 2);
        target.setAtInfinity(!infinity);
        target.fromText(text);
        EXPECT_EQ(target.atInfinity(), infinity) << text;
        if (infinity) {
            EXPECT_EQ(describe(affine(toWord(target.x().value()), toWord(target.y().value()))),
                      "(1, 2)");
        } else {
            EXPECT_EQ(target, source) << text;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(
    Moduli, PointTextRoundTripTest,
    ::testing::Values(
        "17", "FFFFFFFF00000001000000000000000000000000FFFFFFFFFFFFFFFFFFFFFFFF",
        "1FFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFF"
        "FFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFF"));

class DigitOracleTest : public ::testing::TestWithParam<const char*> {};

// Arbitrary bytes as digits, against the sequential 16*v + d of GMP: values of 16 and more carry
// into the digits before them. q = 0 leaves the whole value unreduced.
TEST_P(DigitOracleTest, ParsedCoordinatesMatchSequentialAccumulation) {
    SeededRandom random;
    TestCurve curve(GetParam(), "0", "0");
    const auto randomDigits = [&](char stop) {
        static constexpr std::string_view hexDigits = "0123456789ABCDEF";
        const std::size_t length = random.below(8) == 0 ? random.below(3000) : random.below(80);
        std::string digits;
        while (digits.size() < length) {
            const auto kind = random.below(4);
            const char c = kind < 2 ? hexDigits[random.below(16)]
                                    : static_cast<char>(kind == 2 ? 'a' + random.below(26)
                                                                  : 1 + random.below(255));
            if (c != stop) {
                digits.push_back(c);
            }
        }
        return digits;
    };
    const std::uint64_t iterations = SeededRandom::iterations(300);
    for (std::uint64_t i = 0; i < iterations; ++i) {
        std::string xDigits = randomDigits(',');
        if (!xDigits.empty() && xDigits[0] == 'u') {
            xDigits[0] = '0';
        }
        const std::string yDigits = randomDigits(')');
        const std::string text = "(" + xDigits + "," + static_cast<char>(1 + random.below(255)) +
                                 yDigits + ")" + randomDigits('\0');
        CurvePoint point = curve.infinity();
        point.fromText(text);
        EXPECT_FALSE(point.atInfinity());
        EXPECT_EQ(Mpz(point.x().value()), expectedValue(xDigits, curve.q)) << xDigits;
        EXPECT_EQ(Mpz(point.y().value()), expectedValue(yDigits, curve.q)) << yDigits;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Moduli, DigitOracleTest,
    ::testing::Values("0", "FFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFF000000000000000000000001"));

// A coordinate may have up to 2^20 bits, as a Natural may.
class LongTextTest : public ::testing::Test {
  protected:
    static constexpr std::size_t maxDigits = bignum::Natural::maxLimbs * 8;
    TestCurve unreduced_{0, 0, 0};
};

TEST_F(LongTextTest, LargestCoordinateFits) {
    CurvePoint point = unreduced_.infinity();
    point.fromText("(" + std::string(maxDigits, 'F') + ", 1)");
    EXPECT_FALSE(point.atInfinity());
    const auto limbs = point.x().value().limbs();
    EXPECT_EQ(limbs.size(), bignum::Natural::maxLimbs);
    EXPECT_TRUE(std::all_of(limbs.begin(), limbs.end(), [](bignum::Limb l) { return l == ~0U; }));
    EXPECT_EQ(toWord(point.y().value()), 1U);
}

// 2^(2^20) needs one limb too many, whether by length or by a digit value above 15 at the top.
TEST_F(LongTextTest, OversizedCoordinateThrowsBadAlloc) {
    const std::string tooLong[] = {"1" + std::string(maxDigits, '0'),
                                   "G" + std::string(maxDigits - 1, '0'),
                                   std::string(4'000'000, '1')};
    for (const std::string& digits : tooLong) {
        CurvePoint point = unreduced_.point(7, 8);
        point.setAtInfinity(true);
        EXPECT_THROW(point.fromText("(" + digits + ", 1)"), std::bad_alloc);
        EXPECT_FALSE(point.atInfinity());
        EXPECT_EQ(toWord(point.x().value()), 7U);
        EXPECT_EQ(toWord(point.y().value()), 8U);

        EXPECT_THROW(point.fromText("(5, " + digits + ")"), std::bad_alloc);
        EXPECT_EQ(toWord(point.x().value()), 5U);
        EXPECT_EQ(toWord(point.y().value()), 8U);
    }
}

// Leading zeros of any number do not count towards the size.
TEST_F(LongTextTest, MegabytesOfLeadingZerosParse) {
    TestCurve curve(0x17, 1, 1);
    CurvePoint point = curve.infinity();
    const std::string zeros(4'000'000, '0');
    point.fromText("(" + zeros + "18, " + zeros + "7)");
    EXPECT_STREQ(point.toText(), "(1, 7)");
}

}  // namespace
}  // namespace curve::test
