#include <fcntl.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <functional>
#include <new>
#include <stdexcept>
#include <string>
#include <vector>

#include "app/FailureReport.h"
#include "gui/CommandDispatch.h"
#include "gui/WindowLayout.h"
#include "tests/support/Fakes.h"
#include "tests/support/SmallCurve.h"
#include "tests/support/Support.h"

namespace kxtest {
namespace {

namespace command = gui::command;
using app::TextField;
using testing::ElementsAre;
using testing::IsEmpty;
using namespace std::string_literals;

std::string report(std::exception_ptr failure) {
    return FakeView::message(app::failureReport(failure), "Fejl!");
}
const std::string outOfMemory = report(std::make_exception_ptr(std::bad_alloc()));

std::string Pa(const std::string& a) {
    return pointText(testCurve.multiply(a, testPoint));
}

std::string publicFile(const std::string& q, const std::string& a) {
    return q + "*3B5AF16DF11649*40B77BE2CBBEDC*6C4AE1678418BE*10695272AE2CD6*" + Pa(a) + '\0';
}

// A random source and chooser that throw on request: a std::exception, and an int.
struct Parts final : app::RandomSource, app::FileChooser {
    std::uint32_t nextWord() override {
        return fail ? throw std::runtime_error("no entropy left") : random.nextWord();
    }
    std::optional<std::filesystem::path> choosePath(const app::FileDialogOptions& o) override {
        return fail ? throw 42 : chooser.choosePath(o);
    }
    bool fail = false;
    SeededRandom random{0x5EED};
    FakeChooser chooser;
};

// The dispatcher with a fake window, chooser, random source and shell.
struct Session final : gui::ShellRequests {
    void requestClose() override { ++closeRequests; }
    void showAbout() override { ++aboutBoxes; }
    void typeTestCurve(const std::string& a) {
        for (const auto& [field, value] : {std::pair{TextField::q, testCurve.q}, {TextField::A, testCurve.A},
                                            {TextField::B, testCurve.B}, {TextField::Px, testPoint.x},
                                            {TextField::Py, testPoint.y}}) {
            view.type(field, hexText(value));
        }
        view.type(TextField::a, a);
    }
    void answer(const std::string& name, const std::string& bytes = "") {
        if (!bytes.empty()) {
            writeFile(dir / name, bytes);
        }
        parts.chooser.willAnswer(dir / name);
    }
    void run(int id) { dispatcher.dispatch(id); }

    int closeRequests = 0;
    int aboutBoxes = 0;
    TempDir dir;
    Parts parts;
    app::KeyExchange state{parts};
    FakeView view;
    gui::CommandDispatcher dispatcher{state, view, parts, *this};
};

// Each command reaches its operation, the loads update afterwards (after a cancel too), the saves
// of public data and of Pab update first, and other identifiers do nothing.
TEST(Dispatch, EveryCommandReachesItsOperation) {
    using Step = std::function<void(Session&)>;
    const std::tuple<int, Step, Step, int> cases[] = {
        {command::savePublicData, [](Session& s) { s.typeTestCurve("3"); s.answer("p.public"); },
         [](Session& s) { EXPECT_EQ(readFile(s.dir / "p.public"), publicFile("725F8E91CC4087", "3")); }, 0},
        {command::saveSecretKey, [](Session& s) { s.view.type(TextField::a, "abc"); s.answer("k.secret"); },
         [](Session& s) { EXPECT_EQ(readFile(s.dir / "k.secret"), "abc"); }, 0},
        {command::saveSharedKey,
         [](Session& s) {
             s.typeTestCurve("5");
             s.state.Pb().fromText(pointText(testPoint));
             s.answer("s.comkey");
         },
         [](Session& s) { EXPECT_EQ(readFile(s.dir / "s.comkey"), Pa("5")); }, 0},
        {command::openPublicData, [](Session& s) { s.view.type(TextField::a, "00ff"); s.answer("in.public", "65*0*0*0*0*(uendelig)\0"s); },
         [](Session& s) { EXPECT_EQ(s.view.text(TextField::Px) + s.view.text(TextField::a), "0FF"); }, 0},
        {command::openPublicData, [](Session& s) { s.view.type(TextField::q, "00ff"); },
         [](Session& s) { EXPECT_EQ(s.view.text(TextField::q), "FF"); }, 0},
        {command::openSecretKey, [](Session& s) { s.view.type(TextField::q, "0a"); s.answer("in.secret", "0005"); },
         [](Session& s) { EXPECT_EQ(s.view.text(TextField::a) + s.view.text(TextField::q), "5A"); }, 0},
        {command::openSecretKey, [](Session& s) { s.view.type(TextField::a, "0b"); },
         [](Session& s) { EXPECT_EQ(s.view.text(TextField::a), "B"); }, 0},
        {command::exit, [](Session&) {}, [](Session& s) { EXPECT_THAT(s.view.log, IsEmpty()); }, 1},
        {command::about, [](Session&) {}, [](Session& s) { EXPECT_THAT(s.view.log, IsEmpty()); }, 10},
        {command::clearAll, [](Session& s) { s.view.type(TextField::Pb, "5"); },
         [](Session& s) { EXPECT_EQ(s.view.text(TextField::Pb), "(uendelig)"); }, 0},
        {command::updatePaPab, [](Session& s) { s.view.type(TextField::q, "00ff"); },
         [](Session& s) { EXPECT_EQ(s.view.text(TextField::q), "FF"); }, 0},
        {command::useTestValues, [](Session&) {}, [](Session& s) { EXPECT_EQ(s.view.text(TextField::q), "725F8E91CC4087"); }, 0},
        {command::generateSecret, [](Session& s) { s.typeTestCurve("1"); },
         [](Session& s) { EXPECT_EQ(s.view.text(TextField::Pa), Pa(s.view.text(TextField::a))); }, 0}};
    for (const auto& [id, prepare, check, shellRequests] : cases) {
        SCOPED_TRACE("command " + std::to_string(id));
        Session s;
        prepare(s);
        s.run(id);
        check(s);
        EXPECT_EQ(s.closeRequests + 10 * s.aboutBoxes, shellRequests);
        EXPECT_EQ(s.parts.chooser.unusedAnswers(), 0U);
        EXPECT_THAT(s.view.messages(), IsEmpty());
    }
    Session s;
    s.view.type(TextField::q, "00ff");
    for (const int id : {0, 1, 300, 307, 400, 405, 501, 503, 601, 2005, -1, 0x10000 + 402}) {
        s.run(id);
    }
    EXPECT_THAT(s.view.log, IsEmpty());
    EXPECT_EQ(s.closeRequests + s.aboutBoxes + static_cast<int>(s.parts.chooser.requests.size()), 0);
}

// A failure stops the command where it arose and is reported once, in Danish; the fields keep
// what was typed, and the next commands work. Files that cannot be exchange files are read as
// nothing, silently.
TEST(Dispatch, FailuresAreReportedOnceAndTheNextCommandWorks) {
    const std::string megabyte(1 << 20, 'F');
    std::string junk(1 << 20, '\0');
    for (std::size_t i = 0; i < junk.size(); ++i) {
        junk[i] = static_cast<char>(1 + (i * 2654435761U) % 255);
    }
    using Step = std::function<void(Session&)>;
    const auto typed = [](TextField field, std::string text) {
        return Step([=](Session& s) { s.view.type(field, text); });
    };
    const std::tuple<const char*, Step, int, std::vector<std::string>> cases[] = {
        {"megabyte q", typed(TextField::q, megabyte), command::updatePaPab, {outOfMemory}},
        {"megabyte Px", typed(TextField::Px, megabyte), command::updatePaPab, {outOfMemory}},
        {"megabyte of junk in a", typed(TextField::a, junk), command::updatePaPab, {outOfMemory}},
        {"2^(4*262144) in Py", typed(TextField::Py, "1" + std::string(262144, '0')), command::updatePaPab, {outOfMemory}},
        {"megabyte of leading zeros in a", typed(TextField::a, std::string(1 << 20, '0') + "1C"), command::updatePaPab, {}},
        {"message box fails in turn",
         [&](Session& s) { s.view.type(TextField::q, megabyte); s.view.onMessage = [] { throw 1; }; },
         command::updatePaPab, {outOfMemory}},
        {"random source fails", [](Session& s) { s.parts.fail = true; }, command::generateSecret,
         {report(std::make_exception_ptr(std::runtime_error("no entropy left")))}},
        {"unknown exception", [](Session& s) { s.parts.fail = true; }, command::saveSecretKey,
         {FakeView::message("Beregningen blev afbrudt: ukendt fejl", "Fejl!")}},
        {"public file with a megabyte q", [&](Session& s) { s.answer("big.public", megabyte + "*1*1*1*1*(uendelig)"); },
         command::openPublicData, {outOfMemory}},
        {"a folder", [](Session& s) { s.parts.chooser.willAnswer(s.dir.path()); }, command::openPublicData, {}},
        {"a FIFO",
         [](Session& s) {
             ::mkfifo((s.dir / "pipe").c_str(), 0600);
             s.parts.chooser.willAnswer(s.dir / "pipe");
         },
         command::openSecretKey, {}},
        {"a device", [](Session& s) { s.parts.chooser.willAnswer("/dev/zero"); }, command::openPublicData, {}},
        {"a link to a device",
         [](Session& s) {
             std::filesystem::create_symlink("/dev/zero", s.dir / "zero.secret");
             s.parts.chooser.willAnswer(s.dir / "zero.secret");
         },
         command::openSecretKey, {}},
        // Pb left above a smaller q: both points are reported off the curve, then a Pb fails.
        {"received point above a smaller q",
         [](Session& s) {
             s.typeTestCurve("7");
             s.state.readInputs(s.view);
             s.state.Pb().fromText(pointText(testPoint));
             s.view.type(TextField::q, "17");
         },
         command::updatePaPab,
         {FakeView::message("Det indtastede punkt findes ikke p\xE5 kurven", "Fejl!"),
          FakeView::message("Det modtagne punkt Pb findes ikke p\xE5 kurven", "Fejl!"),
          report(std::make_exception_ptr(std::invalid_argument("result would be negative")))}}};
    for (const auto& [name, prepare, id, messages] : cases) {
        SCOPED_TRACE(name);
        Session s;
        s.typeTestCurve("2");
        prepare(s);
        const std::array<std::string, 9> before = s.view.texts();
        s.run(id);
        EXPECT_EQ(s.view.messages(), messages);
        if (messages.size() == 1 && id != command::openPublicData) {
            EXPECT_EQ(s.view.texts(), before) << "a refused command rewrites nothing";
        }
        s.parts.fail = false;
        s.view.onMessage = nullptr;
        s.view.log.clear();
        s.typeTestCurve("5");
        s.run(command::updatePaPab);
        EXPECT_THAT(s.view.messages(), IsEmpty());
        EXPECT_EQ(s.view.text(TextField::Pa), Pa("5"));
    }
}

// A scalar far beyond the curve's order, 8192 bits, gives the oracle's point.
TEST(Dispatch, AHugeSecretGivesTheRightPoint) {
    std::mt19937_64 random(testSeed());
    std::string a = "F";
    for (int i = 0; i < 2047; ++i) {
        a += "0123456789ABCDEF"[random() % 16];
    }
    Session s;
    s.typeTestCurve(a);
    s.run(command::updatePaPab);
    EXPECT_EQ(s.view.text(TextField::Pa), Pa(a));
}

// A command started while a message box is open runs to completion inside it, and the command
// that showed the box goes on with the state as that one left it.
TEST(Dispatch, ACommandInsideAMessageBoxRunsToCompletion) {
    static Session* session = nullptr;
    Session s;
    session = &s;
    s.typeTestCurve("3");
    s.view.type(TextField::Py, "1");  // off the curve: the update shows a message
    s.view.onMessage = [] {
        session->view.onMessage = nullptr;
        session->run(command::useTestValues);
    };
    s.run(command::updatePaPab);
    EXPECT_EQ(s.view.text(TextField::Py), "10695272AE2CD6");
    EXPECT_EQ(s.view.text(TextField::Pa), Pa("3"));
}

// Each allocation of an update, a save and a load fails in turn: one report, no descriptor or
// file left behind, the previous file whole, and the same command then works.
TEST(Dispatch, AFailedAllocationAtAnyStepIsReportedOnce) {
    const auto descriptors = [] {
        return std::distance(std::filesystem::directory_iterator("/proc/self/fd"), {});
    };
    const std::tuple<int, std::string> commands[] = {{command::updatePaPab, ""}, {command::savePublicData, "mine.public"},
                                                     {command::openPublicData, "other.public"}};
    for (const auto& [id, file] : commands) {
        Session s;
        s.answer("other.public", publicFile("725F8E91CC4087", "3"));
        s.typeTestCurve("5");
        s.run(command::openPublicData);
        s.answer("mine.public");
        s.run(command::savePublicData);
        const std::string saved = readFile(s.dir / "mine.public");
        const auto count = descriptors();
        for (std::size_t n = 1;; ++n) {
            s.view.log.clear();
            if (!file.empty()) {
                s.parts.chooser.willAnswer(s.dir / file);
            }
            if (runFailingAllocation(n, [&] { s.run(id); }) < n) {
                break;
            }
            SCOPED_TRACE("command " + std::to_string(id) + ", failing allocation " + std::to_string(n));
            ASSERT_THAT(s.view.messages(), ElementsAre(outOfMemory));
            ASSERT_EQ(readFile(s.dir / "mine.public"), saved);
            ASSERT_EQ(std::distance(std::filesystem::directory_iterator(s.dir.path()), {}), 2);
            ASSERT_EQ(descriptors(), count);
            s.parts.chooser.dropAnswers();  // the failure came before the dialog
            if (!file.empty()) {
                s.parts.chooser.willAnswer(s.dir / file);
            }
            s.view.log.clear();
            s.run(id);
            ASSERT_THAT(s.view.messages(), IsEmpty());
            ASSERT_EQ(s.view.text(TextField::Pab), Pa("F"));
        }
    }
}

}  // namespace
}  // namespace kxtest
