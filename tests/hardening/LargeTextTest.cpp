// Hex text and point text at the largest sizes, against GMP references that build the value
// by halves, so that a parser or renderer that loses digits, carries or time shows up here.
#include <gmpxx.h>
#include <gtest/gtest.h>

#include <chrono>
#include <cstddef>
#include <cstring>
#include <iostream>
#include <random>
#include <string>
#include <string_view>

#include "bignum/Modular.h"
#include "bignum/Natural.h"
#include "curve/CurvePoint.h"
#include "tests/app/TestSupport.h"

namespace kxtest {
namespace {

using bignum::Natural;

using DigitFunction = unsigned (*)(unsigned char);

unsigned hexDigit(unsigned char c) {
    if (c >= '0' && c <= '9') {
        return c - 0x30u;
    }
    if (c >= 0x3A && c <= 'F') {
        return c - 0x37u;
    }
    return (c + 256u - 0x57u) % 256u;
}

unsigned pointDigit(unsigned char c) {
    const unsigned decimal = (c + 256u - 48u) % 256u;
    return decimal < 10 ? decimal : (c + 256u - 55u) % 256u;
}

// The value of sum d(s[i]) * 16^(n-1-i), split in halves: left * 16^|right| + right.
mpz_class referenceValue(std::string_view text, DigitFunction digit) {
    if (text.size() <= 16) {
        mpz_class value;
        for (const char c : text) {
            value = value * 16 + digit(static_cast<unsigned char>(c));
        }
        return value;
    }
    const std::size_t half = text.size() / 2;
    const mpz_class left = referenceValue(text.substr(0, half), digit);
    const mpz_class right = referenceValue(text.substr(half), digit);
    return (left << static_cast<mp_bitcnt_t>(4 * (text.size() - half))) + right;
}

mpz_class toMpz(const Natural& n) {
    mpz_class result;
    const auto limbs = n.limbs();
    if (!limbs.empty()) {
        mpz_import(result.get_mpz_t(), limbs.size(), -1, sizeof(bignum::Limb), 0, 0, limbs.data());
    }
    return result;
}

std::string randomText(std::size_t size, std::string_view alphabet, std::mt19937_64& engine) {
    std::string text(size, '0');
    for (char& c : text) {
        c = alphabet[engine() % alphabet.size()];
    }
    return text;
}

std::string allBytesButNul() {
    std::string bytes;
    for (int c = 1; c < 256; ++c) {
        bytes += static_cast<char>(c);
    }
    return bytes;
}

double millisecondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
        .count();
}

struct TextCase {
    const char* name;
    std::size_t size;
    std::string alphabet;
};

class LargeHexText : public ::testing::TestWithParam<TextCase> {};

// Parsing agrees with the digit-by-digit definition and rendering with GMP, up to the largest
// number; both times are logged per size so that growth beyond linear is visible.
TEST_P(LargeHexText, ParsesAndRendersLikeTheReference) {
    const TextCase& param = GetParam();
    std::mt19937_64 engine(testSeed());
    SCOPED_TRACE("seed " + std::to_string(testSeed()));
    std::string text = randomText(param.size, param.alphabet, engine);
    text.front() = 'F';

    Natural n;
    auto start = std::chrono::steady_clock::now();
    n.fromHex(text);
    const double parse = millisecondsSince(start);
    const mpz_class expected = referenceValue(text, hexDigit);
    ASSERT_EQ(toMpz(n), expected);

    start = std::chrono::steady_clock::now();
    const char* rendered = n.toHex();
    const double render = millisecondsSince(start);
    EXPECT_EQ(std::string_view(rendered), expected.get_str(-16));
    std::cout << "[   TIME   ] " << param.name << ": fromHex " << parse << " ms, toHex " << render
              << " ms\n";

    Natural back;
    back.fromHex(rendered);
    EXPECT_TRUE(back == n);
}

const std::string upperDigits = "0123456789ABCDEF";
const std::string mixedDigits = "0123456789ABCDEFabcdef";

INSTANTIATE_TEST_SUITE_P(
    Hardening, LargeHexText,
    ::testing::Values(TextCase{"Digits65536", 65536, upperDigits},
                      TextCase{"Digits131072", 131072, upperDigits},
                      TextCase{"DigitsAtTheLimit262144", 262144, mixedDigits},
                      // Any byte carries into the digits above; 4.03 bits per byte at most.
                      TextCase{"AnyBytes200000", 200000, allBytesButNul()}),
    CaseName{});

// The point parser on coordinates of 100000 digits and any bytes, reduced by a q of 16384 bits.
TEST(LargePointText, ParsesLikeTheReference) {
    std::mt19937_64 engine(testSeed());
    SCOPED_TRACE("seed " + std::to_string(testSeed()));
    std::string alphabet = allBytesButNul();
    std::erase(alphabet, ',');
    std::erase(alphabet, ')');
    const std::string xText = randomText(100000, alphabet, engine);
    const std::string yText = randomText(100000, alphabet, engine);
    std::string qText = "F";
    qText += randomText(4095, upperDigits, engine);

    Natural q;
    q.fromHex(qText);
    const bignum::Modular A(q);
    const bignum::Modular B(q);
    curve::CurvePoint point(q, A, B);
    const std::string text = "(" + xText + ", " + yText + ")";
    const auto start = std::chrono::steady_clock::now();
    point.fromText(text);
    std::cout << "[   TIME   ] fromText of " << text.size()
              << " bytes: " << millisecondsSince(start) << " ms\n";

    const mpz_class qValue(qText, 16);
    ASSERT_FALSE(point.atInfinity());
    EXPECT_EQ(toMpz(point.x().value()), mpz_class(referenceValue(xText, pointDigit) % qValue));
    EXPECT_EQ(toMpz(point.y().value()), mpz_class(referenceValue(yText, pointDigit) % qValue));
}

}  // namespace
}  // namespace kxtest
