// Exhausted memory: the global operator new fails at the N-th allocation, for every N that an
// operation makes. Each failure must be reported once, leak nothing (LeakSanitizer watches the
// sanitizer build), leave no file half-written, and leave a state whose next command is right.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstddef>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <iostream>
#include <new>
#include <set>
#include <string>
#include <vector>

#include "app/TextField.h"
#include "curve/CurvePoint.h"
#include "curve/ScalarMultiplication.h"
#include "tests/app/TestSupport.h"
#include "tests/hardening/Harness.h"

namespace {

// Counting and failing only while armed, so that the test's own bookkeeping is never hit.
bool armed = false;
std::size_t allocations = 0;
std::size_t failingAllocation = 0;  // 0: none fails

void* allocate(std::size_t size) {
    if (armed) {
        ++allocations;
        if (allocations == failingAllocation) {
            throw std::bad_alloc();
        }
    }
    if (void* p = std::malloc(size == 0 ? 1 : size)) {
        return p;
    }
    throw std::bad_alloc();
}

}  // namespace

[[gnu::noinline]] void* operator new(std::size_t size) {
    return allocate(size);
}
[[gnu::noinline]] void* operator new[](std::size_t size) {
    return allocate(size);
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

namespace kxtest {
namespace {

using app::TextField;
using gui::command::openPublicData;
using gui::command::savePublicData;
using gui::command::updatePaPab;

// Runs the operation armed; returns how many allocations it made and whether it threw
// std::bad_alloc.
struct ArmedRun {
    std::size_t allocations;
    bool threw;
};

ArmedRun runArmed(std::size_t failAt, const std::function<void()>& operation) {
    allocations = 0;
    failingAllocation = failAt;
    armed = true;
    bool threw = false;
    try {
        operation();
    } catch (const std::bad_alloc&) {
        threw = true;
    }
    armed = false;
    failingAllocation = 0;
    return {allocations, threw};
}

std::size_t openDescriptors() {
    std::size_t count = 0;
    for ([[maybe_unused]] const auto& entry :
         std::filesystem::directory_iterator("/proc/self/fd")) {
        ++count;
    }
    return count;
}

std::string publicFile(const std::string& PaText) {
    return std::string(testCurve.q) + "*" + std::string(testCurve.A) + "*" +
           std::string(testCurve.B) + "*" + std::string(testCurve.Px) + "*" +
           std::string(testCurve.Py) + "*" + PaText + '\0';
}

const std::vector<ViewEvent> oneOutOfMemoryReport{
    ViewEvent::message(std::string(outOfMemoryReport), "Fejl!", app::MessageIcon::none)};

TEST(AllocationFailure, ScalarMultiplicationThrowsAndLeavesItsArgumentsIntact) {
    Session session;
    session.enterTestCurve("1");
    const curve::CurvePoint& P = session.state.P();
    bignum::Natural k;
    k.fromHex("B5");
    const std::string expected = expectedPa("B5");
    // A first run fills the arithmetic's per-modulus caches, which later runs reuse.
    (void)curve::multiply(P, k);

    const ArmedRun counted = runArmed(0, [&] { (void)curve::multiply(P, k); });
    ASSERT_FALSE(counted.threw);
    ASSERT_GT(counted.allocations, 0U);
    std::cout << "[  COUNT   ] " << counted.allocations << " allocations\n";
    for (std::size_t n = 1; n <= counted.allocations; ++n) {
        SCOPED_TRACE("failing allocation " + std::to_string(n));
        const ArmedRun run = runArmed(n, [&] { (void)curve::multiply(P, k); });
        ASSERT_TRUE(run.threw);
        ASSERT_EQ(std::string(k.toHex()), "B5");
        ASSERT_EQ(std::string(curve::multiply(P, k).toText()), expected);
    }
}

TEST(AllocationFailure, UpdateIsReportedOnceAndTheNextUpdateIsRight) {
    TempDir folder;
    writeFile(folder / "other.public", publicFile(expectedPa("3")));
    Session session;
    session.enterTestCurve("5");
    session.chooser.answer(folder / "other.public");
    session.run(openPublicData);
    ASSERT_EQ(session.view.text(TextField::Pab), expectedPa("F"));

    session.view.clearEvents();
    const ArmedRun counted = runArmed(0, [&] { session.run(updatePaPab); });
    ASSERT_GT(counted.allocations, 0U);
    std::cout << "[  COUNT   ] " << counted.allocations << " allocations\n";
    for (std::size_t n = 1; n <= counted.allocations; ++n) {
        SCOPED_TRACE("failing allocation " + std::to_string(n));
        session.view.clearEvents();
        const ArmedRun run = runArmed(n, [&] { session.run(updatePaPab); });
        if (run.allocations < n) {
            // Buffers kept from earlier rounds: this round needed fewer allocations.
            EXPECT_GT(n + 16, counted.allocations)
                << "only " << run.allocations << " of " << counted.allocations << " allocations";
            break;
        }
        ASSERT_EQ(session.view.messages(), oneOutOfMemoryReport);

        session.view.clearEvents();
        session.run(updatePaPab);
        ASSERT_TRUE(session.view.messages().empty());
        ASSERT_EQ(session.view.text(TextField::Pa), expectedPa("5"));
        ASSERT_EQ(session.view.text(TextField::Pab), expectedPa("F"));
    }
}

TEST(AllocationFailure, FailedSaveKeepsThePreviousFileWhole) {
    TempDir folder;
    const std::filesystem::path target = folder / "mine.public";
    Session session;
    session.enterTestCurve("3");
    session.chooser.answer(target);
    session.run(savePublicData);
    const std::string previous = readFile(target);
    ASSERT_EQ(previous, publicFile(expectedPa("3")));

    session.view.type(TextField::a, "5");
    session.run(updatePaPab);
    const std::string next = publicFile(expectedPa("5"));
    const std::size_t descriptors = openDescriptors();

    session.chooser.answer(target);
    const ArmedRun counted = runArmed(0, [&] { session.run(savePublicData); });
    ASSERT_EQ(readFile(target), next);
    session.view.type(TextField::a, "3");
    session.run(updatePaPab);
    session.chooser.answer(target);
    session.run(savePublicData);
    ASSERT_EQ(readFile(target), previous);
    session.view.type(TextField::a, "5");
    session.run(updatePaPab);

    std::cout << "[  COUNT   ] " << counted.allocations << " allocations\n";
    for (std::size_t n = 1; n <= counted.allocations; ++n) {
        SCOPED_TRACE("failing allocation " + std::to_string(n));
        session.view.clearEvents();
        session.chooser.answer(target);
        const ArmedRun run = runArmed(n, [&] { session.run(savePublicData); });
        if (run.allocations < n) {
            // Buffers kept from earlier rounds: this round needed fewer allocations.
            EXPECT_GT(n + 16, counted.allocations)
                << "only " << run.allocations << " of " << counted.allocations << " allocations";
            break;
        }
        const std::string content = readFile(target);
        // Either nothing was replaced, or the failure came after the whole file was in place.
        ASSERT_TRUE(content == previous || content == next);
        ASSERT_EQ(session.view.messages(), oneOutOfMemoryReport);
        ASSERT_EQ(folder.entries(), std::set<std::string>{"mine.public"});
        ASSERT_EQ(openDescriptors(), descriptors);
        // A failure in the update that the save runs first comes before the dialog.
        ASSERT_TRUE(!session.chooser.pending() || content == previous);

        session.chooser.answer(target);
        session.run(savePublicData);
        ASSERT_EQ(readFile(target), next);

        // Back to the previous file for the next round.
        session.view.type(TextField::a, "3");
        session.run(updatePaPab);
        session.chooser.answer(target);
        session.run(savePublicData);
        ASSERT_EQ(readFile(target), previous);
        session.view.type(TextField::a, "5");
        session.run(updatePaPab);
    }
}

TEST(AllocationFailure, FailedLoadIsReportedOnceAndTheNextLoadIsRight) {
    TempDir folder;
    const std::filesystem::path other = folder / "other.public";
    writeFile(other, publicFile(expectedPa("3")));
    Session session;
    session.enterTestCurve("5");
    const std::size_t descriptors = openDescriptors();

    session.chooser.answer(other);
    session.run(openPublicData);
    session.view.clearEvents();
    session.chooser.answer(other);
    const ArmedRun counted = runArmed(0, [&] { session.run(openPublicData); });
    ASSERT_GT(counted.allocations, 0U);
    std::cout << "[  COUNT   ] " << counted.allocations << " allocations\n";
    for (std::size_t n = 1; n <= counted.allocations; ++n) {
        SCOPED_TRACE("failing allocation " + std::to_string(n));
        session.view.clearEvents();
        session.chooser.answer(other);
        const ArmedRun run = runArmed(n, [&] { session.run(openPublicData); });
        if (run.allocations < n) {
            // Buffers kept from earlier rounds: this round needed fewer allocations.
            EXPECT_GT(n + 16, counted.allocations)
                << "only " << run.allocations << " of " << counted.allocations << " allocations";
            break;
        }
        ASSERT_EQ(session.view.messages(), oneOutOfMemoryReport);
        ASSERT_EQ(openDescriptors(), descriptors);
        ASSERT_FALSE(session.chooser.pending());

        session.view.clearEvents();
        session.view.type(TextField::a, "5");
        session.chooser.answer(other);
        session.run(openPublicData);
        ASSERT_TRUE(session.view.messages().empty());
        ASSERT_EQ(session.view.text(TextField::Pab), expectedPa("F"));
    }
}

}  // namespace
}  // namespace kxtest
