#pragma once

#include <cstddef>
#include <filesystem>
#include <string>
#include <string_view>

// Whole-file reads and crash-safe whole-file writes for the exchange files, with a POSIX and a
// Win32 implementation. Nothing here talks to the user.
namespace app::files {

enum class ReadStatus {
    ok,
    unreadable,  // missing, not a regular file, or an I/O error
    tooLarge,    // a regular file of more than the allowed size; nothing was read
};

struct ReadResult {
    ReadStatus status;
    std::string bytes;  // the whole file when status is ok, else empty
};

// Reads a regular file of at most maxBytes. Never blocks on a FIFO or a device: those are
// unreadable, as are folders.
ReadResult readRegularFile(const std::filesystem::path& path, std::size_t maxBytes);

enum class Visibility {
    normal,     // the usual permissions of a new file (0666 less the umask)
    ownerOnly,  // readable and writable by the owner alone, where the file system has modes
};

// Writes the bytes to a new file beside path, flushes it to the disk and renames it over path.
// Returns false when any step fails; the file at path is then as it was and nothing new remains.
bool replaceFile(const std::filesystem::path& path, std::string_view bytes, Visibility visibility);

}  // namespace app::files
