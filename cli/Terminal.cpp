#include "cli/Terminal.h"

#ifdef _WIN32
#include <windows.h>
#else
#include "app/Windows1252.h"
#endif

namespace cli {

#ifdef _WIN32

std::string forTerminal(std::string_view windows1252) {
    return std::string(windows1252);
}

std::filesystem::path argumentPath(std::string_view argument) {
    const int bytes = static_cast<int>(argument.size());
    std::wstring wide(static_cast<std::size_t>(
                          MultiByteToWideChar(CP_ACP, 0, argument.data(), bytes, nullptr, 0)),
                      L'\0');
    MultiByteToWideChar(CP_ACP, 0, argument.data(), bytes, wide.data(),
                        static_cast<int>(wide.size()));
    return wide;
}

#else

std::string forTerminal(std::string_view windows1252) {
    std::string utf8;
    utf8.reserve(windows1252.size());
    for (const char byte : windows1252) {
        const char32_t c = app::fromWindows1252(static_cast<unsigned char>(byte));
        if (c < 0x80) {
            utf8 += static_cast<char>(c);
        } else if (c < 0x800) {
            utf8 += static_cast<char>(0xC0 | (c >> 6));
            utf8 += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            utf8 += static_cast<char>(0xE0 | (c >> 12));
            utf8 += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            utf8 += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return utf8;
}

std::filesystem::path argumentPath(std::string_view argument) {
    return std::string(argument);
}

#endif

}  // namespace cli
