#include "ResourceChecks.h"

#include <windows.h>

#include <cstdint>
#include <cstring>
#include <span>
#include <string_view>

#include "gui/WindowLayout.h"

namespace kxtest {

namespace {

const WORD usEnglish = MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US);

std::span<const std::uint8_t> resourceBytes(HMODULE module, LPCSTR type, int id) {
    const HRSRC found = FindResourceExA(module, type, MAKEINTRESOURCEA(id), usEnglish);
    if (found == nullptr) {
        return {};
    }
    const HGLOBAL loaded = LoadResource(module, found);
    const void* data = loaded != nullptr ? LockResource(loaded) : nullptr;
    if (data == nullptr) {
        return {};
    }
    return {static_cast<const std::uint8_t*>(data), SizeofResource(module, found)};
}

// Walks a resource in little-endian units; reading past the end marks it broken and gives 0.
class Reader {
  public:
    explicit Reader(std::span<const std::uint8_t> bytes) : bytes_(bytes) {}

    std::uint16_t word() {
        if (offset_ + 2 > bytes_.size()) {
            broken_ = true;
            return 0;
        }
        const auto value = static_cast<std::uint16_t>(bytes_[offset_] | bytes_[offset_ + 1] << 8);
        offset_ += 2;
        return value;
    }
    std::uint32_t dword() {
        const std::uint32_t low = word();
        return low | std::uint32_t{word()} << 16;
    }
    std::int16_t shortValue() { return static_cast<std::int16_t>(word()); }
    // A NUL-terminated UTF-16 string, converted to Windows-1252.
    std::string text() {
        std::wstring wide;
        for (std::uint16_t unit = word(); unit != 0 && !broken_; unit = word()) {
            wide += static_cast<wchar_t>(unit);
        }
        if (wide.empty()) {
            return {};
        }
        const int size = WideCharToMultiByte(1252, 0, wide.data(), static_cast<int>(wide.size()),
                                             nullptr, 0, nullptr, nullptr);
        std::string narrow(static_cast<std::size_t>(size > 0 ? size : 0), '\0');
        WideCharToMultiByte(1252, 0, wide.data(), static_cast<int>(wide.size()), narrow.data(),
                            size, nullptr, nullptr);
        return narrow;
    }
    void alignToDword() { offset_ = (offset_ + 3) & ~std::size_t{3}; }
    bool broken() const { return broken_; }
    bool atEnd() const { return offset_ >= bytes_.size(); }

  private:
    std::span<const std::uint8_t> bytes_;
    std::size_t offset_ = 0;
    bool broken_ = false;
};

void checkIcons(Expectations& expect, HMODULE module) {
    const auto group = resourceBytes(module, RT_GROUP_ICON, gui::mainWindow.iconId);
    if (!expect.check(!group.empty(), "icon group 1 in US English")) {
        return;
    }
    Reader reader(group);
    expect.equal(reader.word(), 0, "icon group reserved word");
    expect.equal(reader.word(), 1, "icon group type");
    const int count = reader.word();
    expect.equal(count, 2, "images in icon group 1");
    int sizesSeen = 0;
    for (int index = 0; index < count && !reader.broken(); ++index) {
        const int width = reader.word() & 0xFF;  // width and height bytes
        reader.word();                           // colour count and reserved byte
        reader.word();                           // planes
        const int bitCount = reader.word();
        reader.dword();  // bytes in the image
        const int imageId = reader.word();
        expect.equal(bitCount, 4, "bits per pixel of an icon image");
        sizesSeen |= width == 16 ? 1 : width == 32 ? 2 : 4;

        const auto image = resourceBytes(module, RT_ICON, imageId);
        Reader header(image);
        expect.equal(header.dword(), 40, "icon image header size");
        expect.equal(header.dword(), width, "icon image width");
        expect.equal(header.dword(), 2 * width, "icon image height (colour and mask)");
        header.word();
        expect.equal(header.word(), 4, "icon image bit count");
        // 40-byte header, 16 palette entries, 4-bit colour rows, 1-bit mask rows padded to 4.
        const auto rowBytes = [](int bits) { return ((bits + 31) / 32) * 4; };
        expect.equal(static_cast<long long>(image.size()),
                     40 + 64 + width * (rowBytes(4 * width) + rowBytes(width)), "icon image size");
    }
    expect.equal(sizesSeen, 3, "icon group holds one 16 x 16 and one 32 x 32 image");
}

void checkMenu(Expectations& expect, HMODULE module) {
    const auto menu = resourceBytes(module, RT_MENU, gui::mainWindow.menuId);
    if (!expect.check(!menu.empty(), "menu 201 in US English")) {
        return;
    }
    Reader reader(menu);
    expect.equal(reader.word(), 0, "menu template version");
    expect.equal(reader.word(), 0, "menu template header size");
    for (std::size_t entry = 0; entry < gui::menuBar.size(); ++entry) {
        const gui::MenuSpec& spec = gui::menuBar[entry];
        const std::uint16_t flags = reader.word();
        const bool isPopup = (flags & MF_POPUP) != 0;
        expect.check(isPopup == !spec.items.empty(), "drop-down or command on the menu bar");
        if (!isPopup) {
            expect.equal(reader.word(), spec.command, "menu bar command");
        }
        expect.equal(reader.text(), spec.text, "menu bar text");
        expect.equal((flags & MF_END) != 0, entry + 1 == gui::menuBar.size(), "menu bar end mark");
        for (std::size_t index = 0; index < spec.items.size(); ++index) {
            const std::uint16_t itemFlags = reader.word();
            expect.equal(itemFlags & ~MF_END, 0, "menu item flags (no separator, check, grey)");
            expect.equal((itemFlags & MF_END) != 0, index + 1 == spec.items.size(),
                         "menu item end mark");
            expect.equal(reader.word(), spec.items[index].command, "menu item command");
            expect.equal(reader.text(), spec.items[index].text, "menu item text");
        }
    }
    expect.check(!reader.broken() && reader.atEnd(), "menu template ends after the last item");
}

void checkAboutTemplate(Expectations& expect, HMODULE module) {
    const auto dialog = resourceBytes(module, RT_DIALOG, gui::mainWindow.aboutDialogId);
    if (!expect.check(!dialog.empty(), "dialog template 601 in US English")) {
        return;
    }
    const gui::DialogSpec& spec = gui::aboutDialog;
    Reader reader(dialog);
    expect.equal(reader.dword(), WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_SETFONT,
                 "About box style");
    expect.equal(reader.dword(), 0, "About box extended style");
    const int itemCount = reader.word();
    expect.equal(itemCount, static_cast<long long>(spec.items.size()), "About box items");
    expect.equal(reader.shortValue(), spec.x, "About box x");
    expect.equal(reader.shortValue(), spec.y, "About box y");
    expect.equal(reader.shortValue(), spec.width, "About box width");
    expect.equal(reader.shortValue(), spec.height, "About box height");
    expect.equal(reader.word(), 0, "About box has no menu");
    expect.equal(reader.word(), 0, "About box uses the dialog class");
    expect.equal(reader.text(), spec.caption, "About box caption");
    expect.equal(reader.word(), spec.fontPointSize, "About box font size");
    expect.equal(reader.text(), spec.fontName, "About box font");

    for (int index = 0; index < itemCount && !reader.broken(); ++index) {
        reader.alignToDword();
        const std::uint32_t style = reader.dword();
        const std::uint32_t extendedStyle = reader.dword();
        const int x = reader.shortValue();
        const int y = reader.shortValue();
        const int width = reader.shortValue();
        const int height = reader.shortValue();
        const int id = reader.shortValue();
        expect.equal(reader.word(), 0xFFFF, "About item class is predefined");
        const int classAtom = reader.word();
        const std::string text = reader.text();
        expect.equal(reader.word(), 0, "About item creation data");
        if (static_cast<std::size_t>(index) >= spec.items.size()) {
            continue;
        }
        const gui::DialogItemSpec& item = spec.items[static_cast<std::size_t>(index)];
        std::uint32_t expectedStyle = WS_CHILD | WS_VISIBLE | WS_GROUP | SS_CENTER;
        int expectedAtom = 0x82;  // static
        if (item.kind == gui::DialogItemKind::defaultPushButton) {
            expectedStyle = WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_DEFPUSHBUTTON;
            expectedAtom = 0x80;  // button
        } else if (item.kind == gui::DialogItemKind::groupBox) {
            expectedStyle = WS_CHILD | WS_VISIBLE | BS_GROUPBOX;
            expectedAtom = 0x80;
        }
        expect.equal(style, expectedStyle, "About item style");
        expect.equal(extendedStyle, 0, "About item extended style");
        expect.equal(classAtom, expectedAtom, "About item class");
        expect.equal(id, item.id, "About item identifier");
        expect.equal(x, item.x, "About item x");
        expect.equal(y, item.y, "About item y");
        expect.equal(width, item.width, "About item width");
        expect.equal(height, item.height, "About item height");
        expect.equal(text, item.text, "About item text");
    }
    expect.check(!reader.broken(), "About template is complete");
}

void checkManifest(Expectations& expect, HMODULE module) {
    const auto manifest = resourceBytes(module, RT_MANIFEST, 1);
    if (!expect.check(!manifest.empty(), "manifest 1 in US English")) {
        return;
    }
    const std::string_view text(reinterpret_cast<const char*>(manifest.data()), manifest.size());
    expect.check(text.find("level=\"asInvoker\"") != std::string_view::npos,
                 "manifest asks for asInvoker");
    expect.check(text.find("uiAccess=\"false\"") != std::string_view::npos,
                 "manifest sets uiAccess false");
}

}  // namespace

void checkResources(Expectations& expect, const std::string& programPath) {
    expect.section("resources");
    const HMODULE module = LoadLibraryExA(
        programPath.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
    if (!expect.check(module != nullptr, "program file opens as a resource module")) {
        return;
    }
    checkIcons(expect, module);
    checkMenu(expect, module);
    checkAboutTemplate(expect, module);
    checkManifest(expect, module);
    FreeLibrary(module);
}

}  // namespace kxtest
