#pragma once

#include <array>
#include <filesystem>
#include <optional>
#include <string_view>

namespace app {

enum class FileDialogKind { save, open };

struct FileFilter {
    std::string_view description;  // Windows-1252, e.g. "Offentlig data (*.public)"
    std::string_view pattern;      // e.g. "*.public"
};

// What a shell's file dialog is asked for. A save dialog requires an existing folder, hides the
// read-only box and confirms before overwriting; an open dialog requires an existing file.
struct FileDialogOptions {
    FileDialogKind kind;
    std::array<FileFilter, 2> filters;  // the first is selected
    std::string_view defaultExtension;  // without the dot
};

// Puts up the platform's file dialog; each shell implements it once, tests answer it themselves.
class FileChooser {
  public:
    virtual ~FileChooser() = default;
    // The confirmed path, or nothing on cancel or error.
    virtual std::optional<std::filesystem::path> choosePath(const FileDialogOptions& options) = 0;

  protected:
    FileChooser() = default;
    FileChooser(const FileChooser&) = default;
    FileChooser& operator=(const FileChooser&) = default;
};

}  // namespace app
