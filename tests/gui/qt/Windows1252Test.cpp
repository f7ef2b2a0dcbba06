#include <gtest/gtest.h>
#include <iconv.h>

#include <array>
#include <cerrno>
#include <optional>
#include <string>

#include "gui/qt/Windows1252.h"

// glibc's converter is the oracle; it leaves the five undefined bytes unmapped, which this
// program keeps as the control characters of the same value so that every byte round-trips.
namespace {

constexpr std::array<unsigned, 5> undefinedBytes{0x81, 0x8D, 0x8F, 0x90, 0x9D};

bool isUndefined(unsigned byte) {
    for (const unsigned undefined : undefinedBytes) {
        if (undefined == byte) {
            return true;
        }
    }
    return false;
}

class Iconv {
  public:
    Iconv(const char* to, const char* from) : handle_(iconv_open(to, from)) {}
    ~Iconv() {
        if (handle_ != invalid()) {
            iconv_close(handle_);
        }
    }
    Iconv(const Iconv&) = delete;
    Iconv& operator=(const Iconv&) = delete;

    bool valid() const { return handle_ != invalid(); }

    // The converted bytes, or nothing when the input has no image.
    std::optional<std::string> convert(std::string input) const {
        std::array<char, 16> output{};
        char* in = input.data();
        std::size_t inLeft = input.size();
        char* out = output.data();
        std::size_t outLeft = output.size();
        iconv(handle_, nullptr, nullptr, nullptr, nullptr);
        if (iconv(handle_, &in, &inLeft, &out, &outLeft) == static_cast<std::size_t>(-1)) {
            return std::nullopt;
        }
        return std::string(output.data(), output.size() - outLeft);
    }

  private:
    static iconv_t invalid() { return reinterpret_cast<iconv_t>(-1); }
    iconv_t handle_;
};

std::string asUtf32(char32_t codePoint) {
    std::string bytes(4, '\0');
    for (std::size_t index = 0; index < 4; ++index) {
        bytes[index] = static_cast<char>((codePoint >> (8 * index)) & 0xFF);
    }
    return bytes;
}

TEST(Windows1252, DecodesEveryByteAsTheSystemConverterDoes) {
    const Iconv decoder("UTF-8", "CP1252");
    ASSERT_TRUE(decoder.valid());
    for (unsigned byte = 0; byte < 256; ++byte) {
        SCOPED_TRACE(byte);
        const std::string input(1, static_cast<char>(byte));
        const QString decoded = gui::qt::fromWindows1252(input);
        if (isUndefined(byte)) {
            EXPECT_EQ(decoded, QString(QChar(static_cast<char16_t>(byte))));
        } else {
            const std::optional<std::string> expected = decoder.convert(input);
            ASSERT_TRUE(expected.has_value());
            EXPECT_EQ(decoded.toUtf8().toStdString(), *expected);
        }
    }
}

TEST(Windows1252, EncodesEveryCharacterAsTheSystemConverterDoesOrAsQuestionMark) {
    const Iconv encoder("CP1252", "UTF-32LE");
    ASSERT_TRUE(encoder.valid());
    for (char32_t codePoint = 0; codePoint < 0x30000; ++codePoint) {
        if (codePoint >= 0xD800 && codePoint < 0xE000) {
            continue;  // surrogates are no characters
        }
        const std::string encoded =
            gui::qt::toWindows1252(QStringView(QChar::fromUcs4(codePoint)).toString());
        if (codePoint < 256 && isUndefined(codePoint)) {
            EXPECT_EQ(encoded, std::string(1, static_cast<char>(codePoint)))
                << static_cast<unsigned>(codePoint);
            continue;
        }
        const std::optional<std::string> expected = encoder.convert(asUtf32(codePoint));
        EXPECT_EQ(encoded, expected.value_or("?")) << std::hex << static_cast<unsigned>(codePoint);
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

TEST(Windows1252, OneQuestionMarkPerCharacterWithoutByte) {
    // A character beyond the basic plane is two UTF-16 units but one character; a lone
    // surrogate is no character at all.
    const char16_t loneSurrogate = 0xD83D;
    const struct {
        QString text;
        std::string expected;
    } cases[] = {
        {QString::fromUtf8("\xF0\x9F\x98\x80"), "?"},
        {QString::fromUtf8("a\xCE\xA9"
                           "b"),
         "a?b"},
        {QString(QChar(loneSurrogate)) + QStringLiteral("x"), "?x"},
        {QString::fromUtf8("\xE2\x82\xAC\xC3\xA6"), "\x80\xE6"},
    };
    for (const auto& [text, expected] : cases) {
        EXPECT_EQ(gui::qt::toWindows1252(text), expected);
    }
}

}  // namespace
