#include "gui/win32/FileDialog.h"

#include <commdlg.h>

#include <array>
#include <string_view>

namespace gui::win32 {

namespace {

constexpr DWORD saveFlags =
    OFN_EXPLORER | OFN_PATHMUSTEXIST | OFN_HIDEREADONLY | OFN_OVERWRITEPROMPT;
constexpr DWORD openFlags = OFN_EXPLORER | OFN_FILEMUSTEXIST | OFN_HIDEREADONLY;
static_assert(saveFlags == 0x80806 && openFlags == 0x81004);

// The dialog hands back Windows-1252 bytes; the path object is built from the same text in UTF-16
// so that no later narrow conversion can alter a letter.
std::filesystem::path pathFromAnsi(std::string_view ansi) {
    const int length = static_cast<int>(ansi.size());
    const int wideLength = MultiByteToWideChar(CP_ACP, 0, ansi.data(), length, nullptr, 0);
    if (wideLength <= 0) {
        return {};
    }
    std::wstring wide(static_cast<std::size_t>(wideLength), L'\0');
    MultiByteToWideChar(CP_ACP, 0, ansi.data(), length, wide.data(), wideLength);
    return std::filesystem::path(wide);
}

}  // namespace

std::string packedFilter(const app::FileDialogOptions& options) {
    std::string packed;
    for (const app::FileFilter& filter : options.filters) {
        packed.append(filter.description);
        packed.push_back('\0');
        packed.append(filter.pattern);
        packed.push_back('\0');
    }
    packed.push_back('\0');
    return packed;
}

std::optional<std::filesystem::path> runFileDialog(HWND owner,
                                                   const app::FileDialogOptions& options) {
    const std::string filter = packedFilter(options);
    const std::string defaultExtension(options.defaultExtension);
    std::array<char, MAX_PATH> fileName{};  // starts empty

    OPENFILENAMEA dialog{};
    dialog.lStructSize = sizeof dialog;
    dialog.hwndOwner = owner;
    dialog.lpstrFilter = filter.c_str();
    dialog.nFilterIndex = 1;
    dialog.lpstrFile = fileName.data();
    dialog.nMaxFile = static_cast<DWORD>(fileName.size());
    dialog.lpstrDefExt = defaultExtension.c_str();

    BOOL confirmed = FALSE;
    if (options.kind == app::FileDialogKind::save) {
        dialog.Flags = saveFlags;
        confirmed = GetSaveFileNameA(&dialog);
    } else {
        dialog.Flags = openFlags;
        confirmed = GetOpenFileNameA(&dialog);
    }
    if (!confirmed) {
        return std::nullopt;
    }
    fileName.back() = '\0';
    const std::string_view chosen(fileName.data());
    if (chosen.empty()) {
        return std::nullopt;
    }
    return pathFromAnsi(chosen);
}

}  // namespace gui::win32
