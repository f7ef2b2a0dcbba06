// The global operator new of the test executables that link this file: while
// runFailingAllocation runs, it counts allocations and fails the chosen one, so that every
// std::bad_alloc path is taken (and leak-checked in the sanitizer build). Every form is replaced,
// so that the sanitizer's own never frees what these allocate; out of line, so that the
// optimiser pairs each new with this delete.

#include <cstdlib>
#include <new>

#include "tests/support/Support.h"

namespace {
bool armed = false;
std::size_t allocations = 0;
std::size_t failing = 0;
}  // namespace

[[gnu::noinline]] void* operator new(std::size_t size) {
    void* p = armed && ++allocations == failing ? nullptr : std::malloc(size == 0 ? 1 : size);
    return p != nullptr ? p : throw std::bad_alloc();
}
[[gnu::noinline]] void* operator new[](std::size_t size) {
    return operator new(size);
}
[[gnu::noinline]] void operator delete(void* p) noexcept {
    std::free(p);
}
[[gnu::noinline]] void operator delete[](void* p) noexcept {
    std::free(p);
}
[[gnu::noinline]] void operator delete(void* p, std::size_t) noexcept {
    std::free(p);
}
[[gnu::noinline]] void operator delete[](void* p, std::size_t) noexcept {
    std::free(p);
}

std::size_t kxtest::runFailingAllocation(std::size_t n, const std::function<void()>& operation) {
    allocations = 0;
    failing = n;
    armed = true;
    try {
        operation();
    } catch (const std::bad_alloc&) {
    }
    armed = false;
    return allocations;
}

void kxtest::failNextAllocation() {
    allocations = 0;
    failing = 1;
    armed = true;
}
