#pragma once

#include <windows.h>

#include <filesystem>
#include <optional>
#include <string>

#include "app/FileChooser.h"

// The common save and open dialogs behind the file commands.
namespace gui::win32 {

// The dialogs' packed filter list: each description and pattern followed by a NUL byte, and one
// more NUL after the last pattern.
std::string packedFilter(const app::FileDialogOptions& options);

// Runs the save or open dialog owned by `owner`, starting from an empty file name. Returns the
// confirmed path, or nothing on cancel or error.
std::optional<std::filesystem::path> runFileDialog(HWND owner,
                                                   const app::FileDialogOptions& options);

}  // namespace gui::win32
