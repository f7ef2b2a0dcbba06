// The key exchange through the window's commands: the dispatcher over the application, with a
// fake window, file dialog and random source.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <map>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

#include "app/ExchangeFiles.h"
#include "app/FailureReport.h"
#include "bignum/ArithmeticError.h"
#include "gui/CommandDispatch.h"
#include "gui/WindowLayout.h"
#include "tests/support/Fakes.h"
#include "tests/support/SmallCurve.h"
#include "tests/support/Support.h"

namespace kxtest {
namespace {

namespace command = gui::command;
using app::TextField;
using testing::IsEmpty;
using namespace std::string_literals;

template <class Failure>
std::string report(const Failure& failure) {
    return FakeView::message(app::failureReport(std::make_exception_ptr(failure)), "Fejl!");
}
const std::string outOfMemory = report(std::bad_alloc());
const std::string PbDropped = FakeView::message(
    "Pb og Pab er sat til (uendelig), fordi q, A, B eller P ikke l\xE6ngere er de tal, Pb kom "
    "med.\nN\xE5r I er enige om tallene, s\xE5 \xE5"
    "bn den andens offentlige data igen.",
    "Bem\xE6rk", app::MessageIcon::warning);
const std::string saveFailed =
    FakeView::message("Filen kunne ikke gemmes", "Fejl!", app::MessageIcon::warning);

std::string Pa(const std::string& a) {
    return pointText(testCurve.multiply(a, testPoint));
}

// Pa = a P for secrets typed in any case and never reduced; the inputs are shown canonically and
// reduced; the test values keep the typed a and update, and "Slet alt" clears every field.
TEST(Commands, ShowTheirResultsInTheFields) {
    Student s;
    for (const std::string& a : {""s, "1"s, "ffff"s, "725f8e91cc4086"s, "725F8E91CC4087"s,
                                 "000033193ea4f98521c0cbd3d56bc738"s}) {
        s.typeTestCurve(a);
        s.run(command::updatePaPab);
        EXPECT_EQ(s.view.text(TextField::Pa), Pa(a)) << a;
    }
    EXPECT_EQ(s.view.text(TextField::a), "33193EA4F98521C0CBD3D56BC738");  // q^2 + 7
    EXPECT_THAT(s.view.messages, IsEmpty());
    for (const auto& [typed, shown] :
         {std::pair{"00ff"s, "FF"s}, {"E4BF1D2398810E"s, "0"s}, {"725F8E91CC4097"s, "10"s}}) {
        s.view.type(TextField::A, typed);
        s.run(command::updatePaPab);
        EXPECT_EQ(s.view.text(TextField::A), shown) << typed;
    }
    Student t;
    t.view.type(TextField::a, "0x5");
    t.run(command::useTestValues);
    EXPECT_EQ(t.view.texts,
              (std::array<std::string, 9>{"725F8E91CC4087", "3B5AF16DF11649", "40B77BE2CBBEDC",
                                          "6C4AE1678418BE", "10695272AE2CD6", "5", Pa("5"),
                                          "(uendelig)", "(uendelig)"}));
    t.run(command::clearAll);
    EXPECT_EQ(t.view.texts, (std::array<std::string, 9>{"0", "0", "0", "0", "0", "0", "(uendelig)",
                                                        "(uendelig)", "(uendelig)"}));
    EXPECT_THAT(t.view.messages, IsEmpty());
}

// A drawn secret is below q for any q, and every value below a small q comes up.
TEST(Commands, GeneratedSecretsAreBelowQAndCoverSmallModuli) {
    std::mt19937_64 random(testSeed());
    std::map<std::uint64_t, std::set<std::string>> seen;
    Student s(testSeed());
    for (std::size_t i = 0; i < testIterations(1000); ++i) {
        const std::uint64_t q = i % 2 == 0 ? 1 + i / 2 % 4 : 1 + random() % (1ULL << (1 + i % 62));
        s.view.type(TextField::q, hexText(q));
        s.run(command::generateSecret);
        EXPECT_LT(std::stoull(s.view.text(TextField::a), nullptr, 16), q);
        seen[std::min<std::uint64_t>(q, 5)].insert(s.view.text(TextField::a));
    }
    for (std::uint64_t q = 1; q <= 4; ++q) {
        EXPECT_EQ(seen[q].size(), q) << "not every value below " << q << " came up";
    }
    // The system's source fills every bit: each is 0 in some of 64 words and 1 in others.
    app::SystemRandom system;
    std::uint32_t anyOne = 0, allOne = ~0U;
    for (int i = 0; i < 64; ++i) {
        const std::uint32_t word = system.nextWord();
        anyOne |= word, allOne &= word;
    }
    EXPECT_EQ(anyOne, ~0U);
    EXPECT_EQ(allOne, 0U);
}

// Each file holds exactly its field texts: the secret as typed, once it reads as a number, and Pab
// after the update its save runs first (public data: the next test); a cancel writes nothing.
TEST(ExchangeFiles, EachFileHoldsExactlyItsFieldTexts) {
    Student s;
    s.typeTestCurve("0xab CD");
    EXPECT_EQ(s.saved(command::saveSecretKey), "0xab CD");
    const AffinePoint Pb = testCurve.add(testPoint, testPoint);
    s.run(command::openPublicData, "bo", publicData(testCurve, testPoint, Pb));
    EXPECT_EQ(s.saved(command::saveSharedKey), Pa("1579A"));  // a (2P), not Pa
    for (const int id : {command::savePublicData, command::saveSecretKey, command::saveSharedKey}) {
        s.run(id);  // cancelled
    }
    EXPECT_EQ(s.files(), 2);
    EXPECT_THAT(s.view.messages, IsEmpty());
}

// A file in another hand's spelling reads as the file the program writes: digits of either case
// (lower case as hex, in Pa too), "0x" or "0X" after anything skipped, spaces, tabs, ':', line
// ends and no NUL; numbers at or above q come back reduced. The window takes it, and the next save
// writes the canonical file. A cancelled load still updates; a secret may end in a line end.
TEST(ExchangeFiles, PublicDataInAnySpellingReadsAsTheCanonicalFile) {
    const AffinePoint Pa = testCurve.multiply("1F2E", testPoint);
    const std::string canonical = publicData(testCurve, testPoint, Pa);
    std::string lower = canonical;
    std::ranges::transform(lower, lower.begin(), [](unsigned char c) { return std::tolower(c); });
    const std::string spelled =
        " \t0x" + hexText(testCurve.q) + "*" + hexText(testCurve.A + testCurve.q) + "\r\n*:0X" +
        hexText(testCurve.B) + "*" + hexText(testPoint.x) + "*" + hexText(testPoint.y) + "*(0x" +
        hexText(Pa.x) + ",\n" + hexText(Pa.y + testCurve.q) + ")\n";
    for (const std::string& bytes : {canonical, lower, spelled}) {
        const app::PublicDataReading read = app::readPublicData(bytes);
        ASSERT_TRUE(read.data) << read.refusal;
        EXPECT_EQ(app::writePublicData(*read.data), canonical);
        Student s;
        s.typeTestCurve("1");
        s.run(command::openPublicData, "bo", bytes);
        EXPECT_EQ(s.view.text(TextField::Pb), pointText(Pa));
        EXPECT_EQ(s.saved(command::savePublicData), publicData(testCurve, testPoint, testPoint));
        EXPECT_THAT(s.view.messages, IsEmpty());
    }
    Student s;
    s.typeTestCurve("");
    s.run(command::openSecretKey, "in.secret", "0x1f2e\r\n");
    EXPECT_EQ(s.view.text(TextField::a) + s.view.text(TextField::Pa), "1F2E" + pointText(Pa));
    s.view.type(TextField::q, "0c");
    s.run(command::openPublicData);  // cancelled, and updated all the same
    EXPECT_EQ(s.view.text(TextField::q), "C");
}

// Each student draws a secret, saves public data and opens the other's: on secp256r1 both reach
// the same shared point (a save writes it: the file test). Then the test values, or another P on
// the same curve, drop the received Pb and Pab with one message, and the next commands work.
TEST(ExchangeFiles, TwoStudentsReachTheSameSharedPointUntilTheNumbersChange) {
    const std::array<std::string, 5> p256{
        "FFFFFFFF00000001000000000000000000000000FFFFFFFFFFFFFFFFFFFFFFFF",
        "FFFFFFFF00000001000000000000000000000000FFFFFFFFFFFFFFFFFFFFFFFC",
        "5AC635D8AA3A93E7B3EBBD55769886BC651D06B0CC53B0F63BCE3C3E27D2604B",
        "6B17D1F2E12C4247F8BCE6E563A440F277037D812DEB33A0F4A13945D898C296",
        "4FE342E2FE1A7F9B8EE7EB4A7C0F9E162BCE33576B315ECECBB6406837BF51F5"};
    Student anna(testSeed()), bo(testSeed() + 1);
    for (Student* s : {&anna, &bo}) {
        std::copy(p256.begin(), p256.end(), s->view.texts.begin());
        s->run(command::generateSecret);
        s->run(command::savePublicData, "own.public");
    }
    anna.run(command::openPublicData, "bo.public", readFile(bo.dir / "own.public"));
    bo.run(command::openPublicData, "anna.public", readFile(anna.dir / "own.public"));
    EXPECT_NE(anna.view.text(TextField::Pab), "(uendelig)");
    EXPECT_EQ(anna.view.text(TextField::Pab), bo.view.text(TextField::Pab));
    EXPECT_THAT(anna.view.messages, IsEmpty());
    const std::string a = anna.view.text(TextField::a);
    anna.run(command::useTestValues);
    EXPECT_EQ(anna.view.text(TextField::Pa), Pa(a));
    anna.run(command::generateSecret);
    EXPECT_NE(anna.view.text(TextField::a), a);
    EXPECT_EQ(anna.view.text(TextField::Pa), Pa(anna.view.text(TextField::a)));
    // With another P on the curve the old Pb still lies on it, and the two Pab would differ.
    anna.run(command::openPublicData, "b", publicData(testCurve, testPoint, testPoint));
    const AffinePoint twoP = testCurve.add(testPoint, testPoint);
    anna.view.type(TextField::Px, hexText(twoP.x));
    anna.view.type(TextField::Py, hexText(twoP.y));
    anna.run(command::updatePaPab);
    EXPECT_EQ(anna.view.messages, std::vector<std::string>(2, PbDropped));
    EXPECT_EQ(anna.view.text(TextField::Pb) + anna.view.text(TextField::Pab),
              "(uendelig)(uendelig)");
}

// A save replaces the whole file or leaves the old one whole: keys owner-only whatever the
// umask, public data after the umask; a target that cannot be written, a write that fails part
// way (in a child process, under a file-size limit), and the first temporary names taken by a run
// that crashed: the save takes the next free name.
TEST(ExchangeFiles, SavesReplaceTheWholeFileOrNothing) {
    for (const auto& [id, mode] : {std::pair{command::savePublicData, 0644U},
                                   {command::saveSecretKey, 0600U},
                                   {command::saveSharedKey, 0600U}}) {
        Student s;
        s.typeTestCurve(std::string(200, '7'));
        s.run(command::openPublicData, "bo", publicData(testCurve, testPoint, testPoint));
        writeFile(s.dir / "folder", "not a folder");
        for (const std::string target : {"folder/x", "missing/x", "missing/"}) {
            s.run(id, target);
        }
        EXPECT_EQ(s.view.messages, std::vector<std::string>(3, saveFailed));
        const mode_t oldMask = ::umask(022);
        writeFile(s.dir / "old", std::string(5000, 'o'));
        ::chmod((s.dir / "old").c_str(), 0604);
        for (int i = 0; i < 10; ++i) {
            writeFile(
                s.dir / (".~kx" + std::to_string(::getpid()) + "-" + std::to_string(i) + ".tmp"),
                "");
        }
        s.run(id, "old");
        ::umask(oldMask);
        struct stat info {};
        ::stat((s.dir / "old").c_str(), &info);
        EXPECT_EQ(info.st_mode & 0777, mode);
        EXPECT_EQ(readFile(s.dir / "old"), s.saved(id));
        const auto underLimit = [&, id = id] {
            std::signal(SIGXFSZ, SIG_IGN);
            const rlimit limit{16, 16};
            ::setrlimit(RLIMIT_FSIZE, &limit);
            s.view.messages.clear();
            s.run(id, "old");
            std::_Exit(s.view.messages == std::vector<std::string>{saveFailed} ? 0 : 1);
        };
        const std::string before = readFile(s.dir / "old");
        EXPECT_EXIT(underLimit(), testing::ExitedWithCode(0), "");
        EXPECT_EQ(readFile(s.dir / "old"), before);
        EXPECT_EQ(s.files(), 14) << "folder, old, out, bo and the leftovers: nothing new";
    }
}

// A failure stops the command where it arose and is reported once, in Danish; typed texts stay,
// the next command works. 16 MiB is the largest file that is read.
TEST(Commands, FailuresAreReportedOnceAndTheNextCommandWorks) {
    const auto expect = [](int id, std::vector<std::string> messages, auto prepare) {
        Student s;
        s.typeTestCurve("2");
        prepare(s);
        const std::array<std::string, 9> before = s.view.texts;
        s.run(id);
        EXPECT_EQ(s.view.messages, messages) << "command " << id;
        EXPECT_TRUE(messages.size() != 1 || s.view.texts == before);
        s.random.fail = s.chooser.fail = false;
        s.view.onMessage = nullptr;
        s.view.messages.clear();
        s.typeTestCurve("5");
        s.run(command::updatePaPab);
        EXPECT_THAT(s.view.messages, IsEmpty());
        EXPECT_EQ(s.view.text(TextField::Pa), Pa("5"));
    };
    const std::string megabyte(1 << 20, 'F'), mebibytes(16 << 20, '0');
    expect(command::updatePaPab, {outOfMemory},
           [](Student& s) { s.view.type(TextField::Py, "1" + std::string(262144, '0')); });
    expect(command::updatePaPab, {},
           [](Student& s) { s.view.type(TextField::a, std::string(1 << 20, '0') + "1C"); });
    expect(command::updatePaPab, {outOfMemory}, [&](Student& s) {
        s.view.type(TextField::q, megabyte);
        s.view.onMessage = [] { throw 1; };
    });
    expect(command::generateSecret,
           {FakeView::message("Beregningen blev afbrudt: no entropy left", "Fejl!")},
           [](Student& s) { s.random.fail = true; });
    expect(command::saveSecretKey,
           {FakeView::message("Beregningen blev afbrudt: ukendt fejl", "Fejl!")},
           [](Student& s) { s.chooser.fail = true; });
    expect(command::openSecretKey, {}, [&](Student& s) { s.run(0, "f", mebibytes); });
    // The report of each refusal of the arithmetic is found by its kind, in Danish, with what to
    // check: the English message never reaches the student.
    for (int kind = 0; kind <= static_cast<int>(bignum::ArithmeticError::Kind::differentModuli);
         ++kind) {
        const bignum::ArithmeticError refusal(static_cast<bignum::ArithmeticError::Kind>(kind));
        EXPECT_THAT(report(refusal),
                    testing::AllOf(testing::HasSubstr("afbrudt: "), testing::HasSubstr("\nTjek"),
                                   testing::Not(testing::HasSubstr(refusal.what()))));
    }
}

// A command started while a message box is open runs to completion, and the command that showed
// the box goes on with the state it left.
TEST(Commands, ACommandInsideAMessageBoxRunsToCompletion) {
    static Student s;
    s.typeTestCurve("7");
    s.view.type(TextField::Py, "1");  // off the curve: the update shows a message
    s.view.onMessage = [] {
        s.view.onMessage = nullptr;
        s.dispatcher.dispatch(command::useTestValues);
    };
    s.run(command::updatePaPab);
    EXPECT_EQ(s.view.text(TextField::Py), hexText(testPoint.y));
    EXPECT_EQ(s.view.text(TextField::Pa), Pa("7"));
}

// Each allocation of an update, a save and a load fails in turn: one report, no descriptor or file
// left behind, the previous file whole, and the same command then works.
TEST(Commands, AFailedAllocationAtAnyStepIsReportedOnce) {
    const auto descriptors = [] {
        return std::distance(std::filesystem::directory_iterator("/proc/self/fd"), {});
    };
    for (const auto& [id, file] : {std::pair{command::updatePaPab, ""s},
                                   {command::savePublicData, "mine"s},
                                   {command::openPublicData, "other"s}}) {
        Student s;
        s.typeTestCurve("5");
        s.run(command::openPublicData, "other",
              publicData(testCurve, testPoint, testCurve.multiply("3", testPoint)));
        s.run(command::savePublicData, "mine");
        const std::string saved = readFile(s.dir / "mine");
        const auto count = descriptors();
        for (std::size_t n = 1;; ++n) {
            s.view.messages.clear();
            s.run(0, file);  // the answer is queued outside the failing run
            if (runFailingAllocation(n, [&, id = id] { s.dispatcher.dispatch(id); }) < n) {
                break;
            }
            SCOPED_TRACE("command " + std::to_string(id) + ", failing allocation " +
                         std::to_string(n));
            ASSERT_EQ(s.view.messages, std::vector<std::string>{outOfMemory});
            ASSERT_EQ(readFile(s.dir / "mine"), saved);
            ASSERT_EQ(s.files(), 2);
            ASSERT_EQ(descriptors(), count);
            s.chooser.answers.clear();  // when the failure came before the dialog
            s.view.messages.clear();
            s.run(id, file);
            ASSERT_THAT(s.view.messages, IsEmpty());
            ASSERT_EQ(s.view.text(TextField::Pab), Pa("F"));
        }
    }
}

}  // namespace
}  // namespace kxtest
