#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <utility>

#include "app/FileAccess.h"

namespace app::files {

namespace {

// Paths stay in the platform's native wide form, so any name the dialog returned can be opened.
class FileHandle {
  public:
    explicit FileHandle(HANDLE handle) noexcept : handle_(handle) {}
    FileHandle(const FileHandle&) = delete;
    FileHandle& operator=(const FileHandle&) = delete;
    ~FileHandle() {
        if (valid()) {
            ::CloseHandle(handle_);
        }
    }

    HANDLE get() const noexcept { return handle_; }
    bool valid() const noexcept { return handle_ != INVALID_HANDLE_VALUE; }
    bool close() noexcept {
        const HANDLE handle = std::exchange(handle_, INVALID_HANDLE_VALUE);
        return ::CloseHandle(handle) != 0;
    }

  private:
    HANDLE handle_;
};

constexpr DWORD maxChunk = 1u << 30;

bool writeAll(HANDLE handle, std::string_view bytes) {
    while (!bytes.empty()) {
        const auto chunk = static_cast<DWORD>(std::min<std::size_t>(bytes.size(), maxChunk));
        DWORD written = 0;
        if (::WriteFile(handle, bytes.data(), chunk, &written, nullptr) == 0 || written == 0) {
            return false;
        }
        bytes.remove_prefix(written);
    }
    return true;
}

}  // namespace

ReadResult readRegularFile(const std::filesystem::path& path, std::size_t maxBytes) {
    // Folders cannot be opened this way; pipes and devices are refused by their type.
    FileHandle file(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.valid() || ::GetFileType(file.get()) != FILE_TYPE_DISK) {
        return {ReadStatus::unreadable, {}};
    }
    LARGE_INTEGER size{};
    if (::GetFileSizeEx(file.get(), &size) == 0 || size.QuadPart < 0) {
        return {ReadStatus::unreadable, {}};
    }
    if (static_cast<std::uint64_t>(size.QuadPart) > maxBytes) {
        return {ReadStatus::tooLarge, {}};
    }
    std::string bytes(static_cast<std::size_t>(size.QuadPart), '\0');
    std::size_t filled = 0;
    while (filled < bytes.size()) {
        const auto chunk =
            static_cast<DWORD>(std::min<std::size_t>(bytes.size() - filled, maxChunk));
        DWORD got = 0;
        if (::ReadFile(file.get(), bytes.data() + filled, chunk, &got, nullptr) == 0) {
            return {ReadStatus::unreadable, {}};
        }
        if (got == 0) {
            break;  // the file shrank since its size was taken
        }
        filled += got;
    }
    bytes.resize(filled);
    return {ReadStatus::ok, std::move(bytes)};
}

// Windows files have no mode bits; a new file inherits its folder's access rules either way.
bool replaceFile(const std::filesystem::path& path, std::string_view bytes,
                 [[maybe_unused]] Visibility visibility) {
    if (!path.has_filename()) {
        return false;
    }
    // Names left by a run that crashed are passed over: each save tries from the first name on.
    std::filesystem::path temporary;
    HANDLE created = INVALID_HANDLE_VALUE;
    for (int attempt = 0; attempt < 100; ++attempt) {
        temporary = path.parent_path() / (".~kx" + std::to_string(::GetCurrentProcessId()) + "-" +
                                          std::to_string(attempt) + ".tmp");
        created = ::CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
        if (created != INVALID_HANDLE_VALUE || ::GetLastError() != ERROR_FILE_EXISTS) {
            break;
        }
    }
    FileHandle file(created);
    if (!file.valid()) {
        return false;
    }
    const bool written = writeAll(file.get(), bytes) && ::FlushFileBuffers(file.get()) != 0;
    const bool closed = file.close();
    if (!written || !closed ||
        ::MoveFileExW(temporary.c_str(), path.c_str(),
                      MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) == 0) {
        ::DeleteFileW(temporary.c_str());
        return false;
    }
    return true;
}

}  // namespace app::files
