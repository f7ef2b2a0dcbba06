#pragma once

#include <QString>
#include <string>
#include <string_view>

// The shell's text edge: the program keeps Windows-1252 bytes, Qt shows Unicode.
namespace gui::qt {

// Every byte has a character; the five bytes that Windows-1252 leaves undefined (0x81, 0x8D,
// 0x8F, 0x90, 0x9D) become the control characters of the same value, so bytes survive a round
// trip.
QString fromWindows1252(std::string_view bytes);

// One byte per character; a character with no byte (one outside Latin-1 and the 0x80-0x9F
// table, or a broken surrogate) becomes "?".
std::string toWindows1252(const QString& text);

}  // namespace gui::qt
