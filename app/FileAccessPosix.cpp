#include <fcntl.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <string>
#include <utility>

#include "app/FileAccess.h"

namespace app::files {

namespace {

class FileDescriptor {
  public:
    explicit FileDescriptor(int fd) noexcept : fd_(fd) {}
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    ~FileDescriptor() {
        if (fd_ >= 0) {
            ::close(fd_);
        }
    }

    int get() const noexcept { return fd_; }
    bool valid() const noexcept { return fd_ >= 0; }
    // Closes now, so that a failure to close (a late write error) can be seen.
    bool close() noexcept {
        const int fd = std::exchange(fd_, -1);
        return ::close(fd) == 0;
    }

  private:
    int fd_;
};

bool writeAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t written = ::write(fd, bytes.data(), bytes.size());
        if (written < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        if (written == 0) {
            return false;
        }
        bytes.remove_prefix(static_cast<std::size_t>(written));
    }
    return true;
}

bool fsyncRetrying(int fd) {
    while (::fsync(fd) != 0) {
        if (errno != EINTR) {
            return false;
        }
    }
    return true;
}

// Makes the rename itself durable; a file system that cannot sync folders is no reason to fail.
void syncFolder(const std::filesystem::path& folder) {
    const std::filesystem::path name = folder.empty() ? std::filesystem::path(".") : folder;
    FileDescriptor fd(::open(name.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (fd.valid()) {
        fsyncRetrying(fd.get());
    }
}

struct TemporaryFile {
    std::filesystem::path path;
    int fd;
};

// A fresh file in the target's folder, so that the final rename stays within one file system.
TemporaryFile createTemporaryBeside(const std::filesystem::path& target, mode_t mode) {
    // Names left by a run that crashed are passed over: each save tries from the first name on.
    const std::filesystem::path folder = target.parent_path();
    for (int attempt = 0; attempt < 100; ++attempt) {
        const std::string name =
            ".~kx" + std::to_string(::getpid()) + "-" + std::to_string(attempt) + ".tmp";
        std::filesystem::path candidate = folder / name;
        const int fd = ::open(candidate.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
        if (fd >= 0) {
            return {std::move(candidate), fd};
        }
        if (errno != EEXIST && errno != EINTR) {
            break;
        }
    }
    return {{}, -1};
}

}  // namespace

ReadResult readRegularFile(const std::filesystem::path& path, std::size_t maxBytes) {
    // Non-blocking, so that opening a FIFO returns at once; it is then refused as not regular.
    FileDescriptor fd(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    if (!fd.valid()) {
        return {ReadStatus::unreadable, {}};
    }
    struct stat info {};
    if (::fstat(fd.get(), &info) != 0 || !S_ISREG(info.st_mode) || info.st_size < 0) {
        return {ReadStatus::unreadable, {}};
    }
    if (static_cast<std::uintmax_t>(info.st_size) > maxBytes) {
        return {ReadStatus::tooLarge, {}};
    }
    std::string bytes(static_cast<std::size_t>(info.st_size), '\0');
    std::size_t filled = 0;
    while (filled < bytes.size()) {
        const ssize_t got = ::read(fd.get(), bytes.data() + filled, bytes.size() - filled);
        if (got < 0) {
            if (errno == EINTR) {
                continue;
            }
            return {ReadStatus::unreadable, {}};
        }
        if (got == 0) {
            break;  // the file shrank since fstat
        }
        filled += static_cast<std::size_t>(got);
    }
    bytes.resize(filled);
    return {ReadStatus::ok, std::move(bytes)};
}

bool replaceFile(const std::filesystem::path& path, std::string_view bytes, Visibility visibility) {
    if (!path.has_filename()) {
        return false;
    }
    const mode_t mode = visibility == Visibility::ownerOnly ? 0600 : 0666;
    TemporaryFile temporary = createTemporaryBeside(path, mode);
    if (temporary.fd < 0) {
        return false;
    }
    FileDescriptor fd(temporary.fd);
    const bool written = writeAll(fd.get(), bytes) && fsyncRetrying(fd.get());
    const bool closed = fd.close();
    if (!written || !closed || ::rename(temporary.path.c_str(), path.c_str()) != 0) {
        ::unlink(temporary.path.c_str());
        return false;
    }
    syncFolder(path.parent_path());
    return true;
}

}  // namespace app::files
