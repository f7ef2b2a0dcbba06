#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <stdexcept>
#include <string>

#include "app/RandomSource.h"

#ifdef _WIN32
#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
// windows.h first: bcrypt.h relies on its types.
#include <bcrypt.h>
#elif defined(__EMSCRIPTEN__)
#include <unistd.h>

#include <cerrno>
#else
#include <sys/random.h>

#include <cerrno>
#endif

namespace app {

std::uint32_t SystemRandom::nextWord() {
    std::array<unsigned char, sizeof(std::uint32_t)> bytes{};
#ifdef _WIN32
    const NTSTATUS status = ::BCryptGenRandom(
        nullptr, bytes.data(), static_cast<ULONG>(bytes.size()), BCRYPT_USE_SYSTEM_PREFERRED_RNG);
    if (status < 0) {
        throw std::runtime_error("the system random number generator failed (NTSTATUS " +
                                 std::to_string(static_cast<std::uint32_t>(status)) + ")");
    }
#elif defined(__EMSCRIPTEN__)
    // The browser's crypto.getRandomValues; emscripten has no getrandom.
    if (::getentropy(bytes.data(), bytes.size()) != 0) {
        throw std::runtime_error(std::string("the browser's random number generator failed: ") +
                                 std::strerror(errno));
    }
#else
    std::size_t filled = 0;
    while (filled < bytes.size()) {
        const ssize_t got = ::getrandom(bytes.data() + filled, bytes.size() - filled, 0);
        if (got < 0) {
            if (errno == EINTR) {
                continue;
            }
            throw std::runtime_error(std::string("the system random number generator failed: ") +
                                     std::strerror(errno));
        }
        filled += static_cast<std::size_t>(got);
    }
#endif
    std::uint32_t word = 0;
    std::memcpy(&word, bytes.data(), sizeof word);
    return word;
}

}  // namespace app
