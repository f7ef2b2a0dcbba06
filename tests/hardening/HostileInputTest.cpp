// Hostile input through the dispatcher: fields of a megabyte, numbers beyond 2^20 bits, files
// that are too large or not files at all, and a huge secret scalar. Each has one outcome, the
// typed text is never lost, and the next command works.
#include <fcntl.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <chrono>
#include <cstddef>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <random>
#include <string>
#include <vector>

#include "app/TextField.h"
#include "tests/app/TestSupport.h"
#include "tests/hardening/Harness.h"

namespace kxtest {
namespace {

using app::TextField;
using gui::command::openPublicData;
using gui::command::openSecretKey;
using gui::command::updatePaPab;

constexpr std::size_t megabyte = 1024 * 1024;

std::array<std::string, 9> allTexts(const FakeView& view) {
    std::array<std::string, 9> texts;
    for (std::size_t i = 0; i < texts.size(); ++i) {
        texts[i] = view.text(app::allTextFields[i]);
    }
    return texts;
}

void logDuration(const char* what, std::chrono::steady_clock::duration elapsed) {
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(elapsed).count();
    ::testing::Test::RecordProperty(what, std::to_string(ms) + " ms");
    std::cout << "[   TIME   ] " << what << ": " << ms << " ms\n";
}

std::string binaryJunk(std::size_t size, std::uint64_t seed) {
    std::mt19937_64 engine(seed);
    std::string bytes(size, '\0');
    for (char& c : bytes) {
        c = static_cast<char>(1 + engine() % 255);  // a field's text has no NUL inside
    }
    return bytes;
}

struct HugeFieldCase {
    const char* name;
    TextField field;
    std::string text;
    std::string parsedA;  // the secret it reads as when accepted; empty when refused
};

class HugeField : public ::testing::TestWithParam<HugeFieldCase> {};

// A huge text that denotes more than 2^20 bits is refused with the memory message and stays in
// its field; one that denotes a small number is read. Either way the next update computes.
TEST_P(HugeField, IsReadOrRefusedWithoutLosingTheTextAndTheNextUpdateWorks) {
    const HugeFieldCase& param = GetParam();
    Session session;
    session.enterTestCurve("2");
    session.view.type(param.field, param.text);
    const std::array<std::string, 9> typed = allTexts(session.view);
    session.view.clearEvents();

    const auto start = std::chrono::steady_clock::now();
    session.run(updatePaPab);
    logDuration(param.name, std::chrono::steady_clock::now() - start);

    if (param.parsedA.empty()) {
        EXPECT_THAT(session.view.events(),
                    ::testing::ElementsAre(ViewEvent::message(std::string(outOfMemoryReport),
                                                              "Fejl!", app::MessageIcon::none)));
        EXPECT_EQ(allTexts(session.view), typed);
    } else {
        EXPECT_TRUE(session.view.messages().empty());
        EXPECT_EQ(session.view.text(TextField::a), param.parsedA);
        EXPECT_EQ(session.view.text(TextField::Pa), expectedPa(param.parsedA));
    }

    session.enterTestCurve("5");
    EXPECT_EQ(session.view.text(TextField::Pa), expectedPa("5"));
}

std::vector<HugeFieldCase> hugeFieldCases() {
    const std::string hexDigits(megabyte, 'F');
    const std::string junk = binaryJunk(megabyte, testSeed());
    // One bit more than the largest number: 2^(4*262144).
    const std::string justTooBig = "1" + std::string(262144, '0');
    return {
        {"MegabyteOfHexInQ", TextField::q, hexDigits, ""},
        {"MegabyteOfHexInPx", TextField::Px, hexDigits, ""},
        {"MegabyteOfHexInA", TextField::a, hexDigits, ""},
        {"MegabyteOfJunkInB", TextField::B, junk, ""},
        {"MegabyteOfJunkInA", TextField::a, junk, ""},
        {"JustBeyondTheLimitInPy", TextField::Py, justTooBig, ""},
        {"JustBeyondTheLimitInA", TextField::a, justTooBig, ""},
        {"MegabyteOfLeadingZerosInA", TextField::a, std::string(megabyte, '0') + "1C", "1C"},
    };
}

INSTANTIATE_TEST_SUITE_P(Hardening, HugeField, ::testing::ValuesIn(hugeFieldCases()), CaseName{});

// A public file whose q is huge is refused the same way once the load parses it.
TEST(HugeFile, PublicDataWithAMegabyteQIsRefusedAndTheNextLoadWorks) {
    TempDir folder;
    Session session;
    session.enterTestCurve("2");
    writeFile(folder / "huge.public", std::string(megabyte, 'F') + "*1*1*1*1*(uendelig)");
    session.chooser.answer(folder / "huge.public");
    session.view.clearEvents();

    const auto start = std::chrono::steady_clock::now();
    session.run(openPublicData);
    logDuration("PublicFileWithMegabyteQ", std::chrono::steady_clock::now() - start);

    EXPECT_THAT(session.view.messages(),
                ::testing::ElementsAre(ViewEvent::message(std::string(outOfMemoryReport), "Fejl!",
                                                          app::MessageIcon::none)));

    const std::string good = std::string(testCurve.q) + "*" + std::string(testCurve.A) + "*" +
                             std::string(testCurve.B) + "*" + std::string(testCurve.Px) + "*" +
                             std::string(testCurve.Py) + "*" + expectedPa("3") + '\0';
    writeFile(folder / "good.public", good);
    session.chooser.answer(folder / "good.public");
    session.view.type(TextField::a, "2");
    session.run(openPublicData);
    EXPECT_EQ(session.view.text(TextField::Pab), expectedPa("6"));
    EXPECT_EQ(session.view.messages().size(), 1U) << "no message beyond the first refusal";
}

struct UnreadableCase {
    const char* name;
    int command;
    bool tooLarge;  // answered with "For meget data"; all others silently
};

class UnreadableChoice : public ::testing::TestWithParam<UnreadableCase> {};

// Loading what no exchange file can be reads nothing, never blocks, and changes no field; an
// oversized file is the only one that is answered with a message.
TEST_P(UnreadableChoice, ReadsNothingAndChangesNothing) {
    const UnreadableCase& param = GetParam();
    TempDir folder;
    std::vector<std::filesystem::path> paths;

    const std::filesystem::path oversized = folder / "big.public";
    {
        const int fd = ::open(oversized.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        ASSERT_GE(fd, 0);
        // Sparse: one byte over 16 MiB costs no disk space.
        ASSERT_EQ(::ftruncate(fd, static_cast<off_t>(16 * megabyte + 1)), 0);
        ::close(fd);
    }
    const std::filesystem::path fifo = folder / "pipe.public";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const std::filesystem::path link = folder / "zero.public";
    std::filesystem::create_symlink("/dev/zero", link);

    if (param.tooLarge) {
        paths = {oversized};
    } else {
        paths = {folder.path(), fifo, "/dev/zero", "/dev/null", link};
    }
    for (const std::filesystem::path& path : paths) {
        SCOPED_TRACE(path.string());
        Session session;
        session.enterTestCurve("2");
        const std::array<std::string, 9> before = allTexts(session.view);
        session.view.clearEvents();
        session.chooser.answer(path);

        session.run(param.command);

        std::vector<ViewEvent> expected;
        if (param.tooLarge) {
            expected.push_back(
                ViewEvent::message("For meget data", "Wierdness", app::MessageIcon::warning));
        }
        EXPECT_EQ(session.view.messages(), expected);
        EXPECT_EQ(allTexts(session.view), before);
        EXPECT_FALSE(session.chooser.pending());
    }
}

INSTANTIATE_TEST_SUITE_P(
    Hardening, UnreadableChoice,
    ::testing::Values(UnreadableCase{"OversizedPublicData", openPublicData, true},
                      UnreadableCase{"OversizedSecretKey", openSecretKey, true},
                      UnreadableCase{"NotAFilePublicData", openPublicData, false},
                      UnreadableCase{"NotAFileSecretKey", openSecretKey, false}),
    CaseName{});

// The largest scalar, 2^20 bits, is quick for the program but slow for the oracle, which shifts
// the whole scalar at every bit; KX_HUGE_SCALAR_BITS=1048576 measures it.
std::size_t hugeScalarBits() {
    if (const char* text = std::getenv("KX_HUGE_SCALAR_BITS")) {
        const unsigned long bits = std::strtoul(text, nullptr, 0);
        if (bits >= 4 && bits <= (1UL << 20)) {
            return bits;
        }
    }
#ifdef KX_SANITIZED_BUILD
    return 1024;
#else
    return 8192;
#endif
}

// A scalar far beyond any curve's order, on the test curve: the update either finishes with the
// oracle's point or is refused; which one and how long it took is logged.
TEST(HugeScalar, FinishesWithTheRightPointOrIsRefused) {
    const std::size_t bits = hugeScalarBits();
    std::mt19937_64 engine(testSeed());
    SCOPED_TRACE("seed " + std::to_string(testSeed()));
    std::string a(bits / 4, '0');
    static constexpr char digits[] = "0123456789ABCDEF";
    for (char& c : a) {
        c = digits[engine() % 16];
    }
    a.front() = 'F';  // exactly that many bits

    Session session;
    const auto start = std::chrono::steady_clock::now();
    session.enterTestCurve(a);
    logDuration("HugeScalarUpdate", std::chrono::steady_clock::now() - start);

    const std::vector<ViewEvent> messages = session.view.messages();
    if (messages.empty()) {
        std::cout << "[  RESULT  ] a of " << bits << " bits: finished\n";
        EXPECT_EQ(session.view.text(TextField::Pa), expectedPa(a));
    } else {
        std::cout << "[  RESULT  ] a of " << bits << " bits: refused\n";
        EXPECT_THAT(messages,
                    ::testing::ElementsAre(ViewEvent::message(std::string(outOfMemoryReport),
                                                              "Fejl!", app::MessageIcon::none)));
    }
    session.enterTestCurve("5");
    EXPECT_EQ(session.view.text(TextField::Pa), expectedPa("5"));
}

}  // namespace
}  // namespace kxtest
