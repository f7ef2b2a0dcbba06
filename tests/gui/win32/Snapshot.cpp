#include "Snapshot.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <fstream>
#include <string_view>
#include <vector>

namespace kxtest {

namespace {

std::uint32_t crc32(std::string_view bytes, std::uint32_t crc = 0) {
    static const std::array<std::uint32_t, 256> table = [] {
        std::array<std::uint32_t, 256> entries{};
        for (std::uint32_t index = 0; index < 256; ++index) {
            std::uint32_t value = index;
            for (int bit = 0; bit < 8; ++bit) {
                value = (value & 1) != 0 ? 0xEDB88320U ^ (value >> 1) : value >> 1;
            }
            entries[index] = value;
        }
        return entries;
    }();
    crc = ~crc;
    for (const char character : bytes) {
        crc = table[(crc ^ static_cast<unsigned char>(character)) & 0xFF] ^ (crc >> 8);
    }
    return ~crc;
}

void appendBigEndian(std::string& out, std::uint32_t value) {
    for (int shift = 24; shift >= 0; shift -= 8) {
        out += static_cast<char>((value >> shift) & 0xFF);
    }
}

void appendChunk(std::string& out, std::string_view type, std::string_view data) {
    appendBigEndian(out, static_cast<std::uint32_t>(data.size()));
    std::string typed(type);
    typed += data;
    out += typed;
    appendBigEndian(out, crc32(typed));
}

// A zlib stream of stored (uncompressed) deflate blocks: large but simple and exact.
std::string storedZlib(std::string_view raw) {
    std::string stream = "\x78\x01";
    std::uint32_t a = 1;
    std::uint32_t b = 0;
    for (const char character : raw) {
        a = (a + static_cast<unsigned char>(character)) % 65521;
        b = (b + a) % 65521;
    }
    std::size_t offset = 0;
    do {
        const std::size_t length = std::min<std::size_t>(raw.size() - offset, 65535);
        const bool last = offset + length == raw.size();
        stream += static_cast<char>(last ? 1 : 0);
        const auto size = static_cast<std::uint16_t>(length);
        const auto complement = static_cast<std::uint16_t>(~size);
        stream += static_cast<char>(size & 0xFF);
        stream += static_cast<char>(size >> 8);
        stream += static_cast<char>(complement & 0xFF);
        stream += static_cast<char>(complement >> 8);
        stream.append(raw.substr(offset, length));
        offset += length;
    } while (offset < raw.size());
    appendBigEndian(stream, b << 16 | a);
    return stream;
}

}  // namespace

bool saveWindowSnapshot(HWND window, const std::string& pngPath) {
    RECT rect{};
    if (!GetWindowRect(window, &rect)) {
        return false;
    }
    const int width = rect.right - rect.left;
    const int height = rect.bottom - rect.top;
    if (width <= 0 || height <= 0) {
        return false;
    }

    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;  // top row first
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;

    const HDC screen = GetDC(nullptr);
    const HDC memory = CreateCompatibleDC(screen);
    void* bits = nullptr;
    const HBITMAP bitmap = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    bool copied = false;
    std::string raw;
    if (bitmap != nullptr && memory != nullptr) {
        const HGDIOBJ previous = SelectObject(memory, bitmap);
        copied = BitBlt(memory, 0, 0, width, height, screen, rect.left, rect.top, SRCCOPY) != 0;
        GdiFlush();
        if (copied) {
            const auto* pixels = static_cast<const std::uint8_t*>(bits);
            raw.reserve(static_cast<std::size_t>(height) *
                        (1 + 3 * static_cast<std::size_t>(width)));
            for (int row = 0; row < height; ++row) {
                raw += '\0';  // no filter
                for (int column = 0; column < width; ++column) {
                    const std::uint8_t* pixel =
                        pixels + (static_cast<std::size_t>(row) * static_cast<std::size_t>(width) +
                                  static_cast<std::size_t>(column)) *
                                     4;
                    raw += static_cast<char>(pixel[2]);
                    raw += static_cast<char>(pixel[1]);
                    raw += static_cast<char>(pixel[0]);
                }
            }
        }
        SelectObject(memory, previous);
    }
    if (bitmap != nullptr) {
        DeleteObject(bitmap);
    }
    if (memory != nullptr) {
        DeleteDC(memory);
    }
    ReleaseDC(nullptr, screen);
    if (!copied) {
        return false;
    }

    std::string header;
    appendBigEndian(header, static_cast<std::uint32_t>(width));
    appendBigEndian(header, static_cast<std::uint32_t>(height));
    header += std::string("\x08\x02\x00\x00\x00", 5);  // 8-bit RGB, no interlace
    std::string png = "\x89PNG\r\n\x1A\n";
    appendChunk(png, "IHDR", header);
    appendChunk(png, "IDAT", storedZlib(raw));
    appendChunk(png, "IEND", {});

    std::ofstream file(pngPath, std::ios::binary | std::ios::trunc);
    file.write(png.data(), static_cast<std::streamsize>(png.size()));
    return static_cast<bool>(file);
}

}  // namespace kxtest
