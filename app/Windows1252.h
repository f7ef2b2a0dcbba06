#pragma once

#include <array>

// The program's text encoding as Unicode, for the front ends that convert at their edge.
namespace app {

// The code points of the bytes 0x80-0x9F; the five that Windows-1252 leaves undefined (0x81,
// 0x8D, 0x8F, 0x90, 0x9D) map to the control characters of the same value, so bytes survive a
// round trip. Every other byte is the code point of its value.
inline constexpr std::array<char16_t, 32> windows1252UpperControls{
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,  // 0x80
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,  // 0x88
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,  // 0x90
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,  // 0x98
};

constexpr char32_t fromWindows1252(unsigned char byte) noexcept {
    return byte >= 0x80 && byte < 0xA0 ? char32_t{windows1252UpperControls[byte - 0x80U]}
                                       : char32_t{byte};
}

// The byte of a character, or "?" for a character with no byte.
constexpr unsigned char toWindows1252(char32_t character) noexcept {
    for (unsigned byte = 0; byte <= 0xFF; ++byte) {
        if (fromWindows1252(static_cast<unsigned char>(byte)) == character) {
            return static_cast<unsigned char>(byte);
        }
    }
    return '?';
}

}  // namespace app
