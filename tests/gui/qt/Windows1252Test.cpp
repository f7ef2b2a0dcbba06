#include <gtest/gtest.h>
#include <iconv.h>

#include <array>
#include <optional>
#include <string>
#include <string_view>

#include "gui/qt/Windows1252.h"

// glibc's converter is the oracle; it leaves the five undefined bytes unmapped, which this
// program keeps as the control characters of the same value so that every byte round-trips.
namespace {

bool isUndefined(char32_t value) {
    return value == 0x81 || value == 0x8D || value == 0x8F || value == 0x90 || value == 0x9D;
}

// The input converted by iconv, or nothing when it has no image.
std::optional<std::string> iconvert(const char* to, const char* from, std::string input) {
    static const iconv_t decoder = iconv_open("UTF-8", "CP1252");
    static const iconv_t encoder = iconv_open("CP1252", "UTF-32LE");
    const iconv_t handle = std::string_view(to) == "UTF-8" ? decoder : encoder;
    EXPECT_NE(handle, reinterpret_cast<iconv_t>(-1)) << from;
    iconv(handle, nullptr, nullptr, nullptr, nullptr);
    std::array<char, 16> output{};
    char* in = input.data();
    char* out = output.data();
    std::size_t inLeft = input.size();
    std::size_t outLeft = output.size();
    const bool converted =
        iconv(handle, &in, &inLeft, &out, &outLeft) != static_cast<std::size_t>(-1);
    return converted ? std::optional(std::string(output.data(), output.size() - outLeft))
                     : std::nullopt;
}

TEST(Windows1252, DecodesEveryByteAsTheSystemConverterDoes) {
    for (char32_t byte = 0; byte < 256; ++byte) {
        const std::string input(1, static_cast<char>(byte));
        const QString decoded = gui::qt::fromWindows1252(input);
        EXPECT_EQ(decoded.toUtf8().toStdString(), isUndefined(byte)
                                                      ? QString(QChar(byte)).toUtf8().toStdString()
                                                      : iconvert("UTF-8", "CP1252", input).value())
            << static_cast<unsigned>(byte);
    }
}

TEST(Windows1252, EncodesEveryCharacterAsTheSystemConverterDoesOrAsQuestionMark) {
    for (char32_t codePoint = 0; codePoint < 0x30000; ++codePoint) {
        if (codePoint >= 0xD800 && codePoint < 0xE000) {
            continue;  // surrogates are no characters
        }
        std::string utf32;
        for (int shift = 0; shift < 32; shift += 8) {
            utf32.push_back(static_cast<char>((codePoint >> shift) & 0xFF));
        }
        const std::string expected = isUndefined(codePoint)
                                         ? std::string(1, static_cast<char>(codePoint))
                                         : iconvert("CP1252", "UTF-32LE", utf32).value_or("?");
        EXPECT_EQ(gui::qt::toWindows1252(QStringView(QChar::fromUcs4(codePoint)).toString()),
                  expected)
            << std::hex << static_cast<unsigned>(codePoint);
    }
}

TEST(Windows1252, AllBytesSurviveARoundTripInOneText) {
    std::string bytes;
    for (unsigned byte = 0; byte < 256; ++byte) {
        bytes.push_back(static_cast<char>(byte));
    }
    const QString text = gui::qt::fromWindows1252(bytes);
    EXPECT_EQ(text.size(), 256);
    EXPECT_EQ(gui::qt::toWindows1252(text), bytes);
}

TEST(Windows1252, OneQuestionMarkPerCharacterWithoutByteInLongerTexts) {
    // Beyond the basic plane: two UTF-16 units but one character; a lone surrogate is none.
    EXPECT_EQ(gui::qt::toWindows1252(QString::fromUtf8("a\xF0\x9F\x98\x80"
                                                       "b\xE2\x82\xAC")),
              "a?b\x80");
    EXPECT_EQ(gui::qt::toWindows1252(QString(QChar(char16_t{0xD83D})) + QStringLiteral("x")), "?x");
}

}  // namespace
