#include "gui/qt/Windows1252.h"

#include <QList>
#include <array>
#include <cstddef>

namespace gui::qt {
namespace {

// Unicode of the bytes 0x80-0x9F; the undefined ones map to themselves.
constexpr std::array<char16_t, 32> upperControlRange{
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,  // 0x80
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,  // 0x88
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,  // 0x90
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,  // 0x98
};

constexpr char32_t firstTableByte = 0x80;
constexpr char32_t pastTableByte = 0xA0;
constexpr char32_t pastLatin1 = 0x100;

char toByte(char32_t codePoint) {
    if (codePoint < pastLatin1 && (codePoint < firstTableByte || codePoint >= pastTableByte)) {
        return static_cast<char>(static_cast<unsigned char>(codePoint));
    }
    for (std::size_t index = 0; index < upperControlRange.size(); ++index) {
        if (upperControlRange[index] == codePoint) {
            return static_cast<char>(static_cast<unsigned char>(firstTableByte + index));
        }
    }
    return '?';
}

}  // namespace

QString fromWindows1252(std::string_view bytes) {
    QString text;
    text.reserve(static_cast<qsizetype>(bytes.size()));
    for (const char byte : bytes) {
        const auto value = static_cast<unsigned char>(byte);
        if (value >= firstTableByte && value < pastTableByte) {
            text.append(QChar(upperControlRange[value - firstTableByte]));
        } else {
            text.append(QChar(value));
        }
    }
    return text;
}

std::string toWindows1252(const QString& text) {
    std::string bytes;
    bytes.reserve(static_cast<std::size_t>(text.size()));
    const QList<uint> codePoints = text.toUcs4();
    for (const uint codePoint : codePoints) {
        bytes.push_back(toByte(char32_t{codePoint}));
    }
    return bytes;
}

}  // namespace gui::qt
