#include "gui/qt/Windows1252.h"

#include <QList>
#include <cstddef>

#include "app/Windows1252.h"

namespace gui::qt {
namespace {

constexpr char32_t firstTableByte = 0x80;
constexpr char32_t pastTableByte = 0xA0;
constexpr char32_t pastLatin1 = 0x100;

char toByte(char32_t codePoint) {
    if (codePoint < pastLatin1 && (codePoint < firstTableByte || codePoint >= pastTableByte)) {
        return static_cast<char>(static_cast<unsigned char>(codePoint));
    }
    for (std::size_t index = 0; index < app::windows1252UpperControls.size(); ++index) {
        if (app::windows1252UpperControls[index] == codePoint) {
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
        text.append(
            QChar(static_cast<char16_t>(app::fromWindows1252(static_cast<unsigned char>(byte)))));
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
