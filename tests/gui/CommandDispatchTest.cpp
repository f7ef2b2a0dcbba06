#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <functional>
#include <new>
#include <stdexcept>
#include <string>
#include <vector>

#include "app/FailureReport.h"
#include "gui/CommandDispatch.h"
#include "gui/WindowLayout.h"
#include "tests/app/Fakes.h"
#include "tests/app/TestSupport.h"
#include "tests/gui/CurveOracle.h"

namespace {

using app::MessageIcon;
using app::TextField;
using kxtest::ViewEvent;
using ::testing::IsEmpty;

using namespace std::string_literals;

const std::string testQ = "725F8E91CC4087";
const std::string testPointText = "(6C4AE1678418BE, 10695272AE2CD6)";

ViewEvent fault(const std::string& text) {
    return ViewEvent::message(text, "Fejl!", MessageIcon::none);
}
template <typename Failure>
ViewEvent interrupted(const Failure& failure) {
    return fault(app::failureReport(std::make_exception_ptr(failure)));
}

// A random source and chooser that throw on demand: a std::exception and an int.
struct Failing final : app::RandomSource, app::FileChooser {
    std::uint32_t nextWord() override {
        return fail ? throw std::runtime_error("no entropy left") : words.nextWord();
    }
    std::optional<std::filesystem::path> choosePath(const app::FileDialogOptions& o) override {
        return fail ? throw 42 : script.choosePath(o);
    }
    bool fail = false;
    kxtest::ScriptedRandom words{{0x9ABCDEF0, 0x00123456}};
    kxtest::FakeChooser script;
};

// Everything a dispatcher talks to.
struct Harness : gui::ShellRequests {
    void requestClose() override { ++closeRequests; }
    void showAbout() override { ++aboutBoxes; }
    void typeTestCurve() {
        for (const auto& [field, text] : {std::pair{TextField::q, testQ},
                                          {TextField::A, "3B5AF16DF11649"s},
                                          {TextField::B, "40B77BE2CBBEDC"s},
                                          {TextField::Px, "6C4AE1678418BE"s},
                                          {TextField::Py, "10695272AE2CD6"s}}) {
            view.type(field, text);
        }
    }

    int closeRequests = 0;
    int aboutBoxes = 0;
    kxtest::TempDir dir;
    Failing parts;
    kxtest::FakeChooser& chooser = parts.script;
    app::KeyExchange state{parts};
    kxtest::FakeView view;
    gui::CommandDispatcher dispatcher{state, view, parts, *this};
};

TEST(CommandDispatch, EveryCommandReachesItsOperation) {
    using Step = std::function<void(Harness&)>;
    struct Case {
        const char* name;
        int id;
        Step prepare;
        Step check;
        std::size_t dialogs = 0;
        int closeRequests = 0;
        int aboutBoxes = 0;
    };
    const auto answer = [](const char* name, std::string typed = "", TextField field = TextField::a) {
        return Step([=](Harness& h) {
            h.view.type(field, typed);
            h.chooser.willAnswer(h.dir / name);
        });
    };
    const auto shows = [](TextField field, std::string text) {
        return Step([=](Harness& h) { EXPECT_EQ(h.view.text(field), text); });
    };
    const auto holds = [](const char* name, std::string bytes) {
        return Step([=](Harness& h) { EXPECT_EQ(kxtest::readFile(h.dir / name), bytes); });
    };
    const Step nothing = [](Harness&) {};
    const Step noWrites = [](Harness& h) { EXPECT_THAT(h.view.events(), IsEmpty()); };
    const std::vector<Case> cases{
        // The saves update first, so a typed but not yet computed a is saved with its own Pa.
        {"save public", gui::command::savePublicData,
         [answer](Harness& h) { h.typeTestCurve(); answer("p.public", "3")(h); },
         holds("p.public", testQ + "*3B5AF16DF11649*40B77BE2CBBEDC*6C4AE1678418BE*10695272AE2CD6*" +
                               kxtest::pointText(kxtest::testCurve.multiply(3, kxtest::testPoint)) +
                               '\0'),
         1},
        {"save secret", gui::command::saveSecretKey, answer("k.secret", "abc"),
         holds("k.secret", "abc"), 1},
        {"save shared", gui::command::saveSharedKey,
         [answer](Harness& h) {
             h.typeTestCurve();
             h.state.Pb().fromText(testPointText);
             answer("s.comkey", "5")(h);
         },
         holds("s.comkey", kxtest::pointText(kxtest::testCurve.multiply(5, kxtest::testPoint))), 1},
        {"open public, then update", gui::command::openPublicData,
         [answer](Harness& h) {
             kxtest::writeFile(h.dir / "in.public", "65*2*3*4*5*(uendelig)\0"s);
             answer("in.public", "00ff")(h);
         },
         [](Harness& h) {
             EXPECT_EQ(h.view.text(TextField::Px), "4");
             EXPECT_EQ(h.view.text(TextField::a), "FF") << "the update did not run";
         },
         1},
        {"cancelled open public still updates", gui::command::openPublicData,
         [](Harness& h) { h.chooser.willCancel(); h.view.type(TextField::q, "00ff"); },
         shows(TextField::q, "FF"), 1},
        {"open secret, then update", gui::command::openSecretKey,
         [answer](Harness& h) {
             kxtest::writeFile(h.dir / "in.secret", "0005");
             answer("in.secret", "0a", TextField::q)(h);
         },
         [](Harness& h) {
             EXPECT_EQ(h.view.text(TextField::a), "5");
             EXPECT_EQ(h.view.text(TextField::q), "A");
         },
         1},
        {"cancelled open secret still updates", gui::command::openSecretKey,
         [](Harness& h) { h.chooser.willCancel(); h.view.type(TextField::a, "0b"); },
         shows(TextField::a, "B"), 1},
        {"exit", gui::command::exit, nothing, noWrites, 0, 1},
        {"about", gui::command::about, nothing, noWrites, 0, 0, 1},
        {"clear all", gui::command::clearAll, [](Harness& h) { h.view.type(TextField::Pb, "5"); },
         shows(TextField::Pb, "(uendelig)")},
        {"update", gui::command::updatePaPab, [](Harness& h) { h.view.type(TextField::q, "00ff"); },
         shows(TextField::q, "FF")},
        {"test values", gui::command::useTestValues, nothing, shows(TextField::q, testQ)},
        {"generate", gui::command::generateSecret, [](Harness& h) { h.typeTestCurve(); },
         shows(TextField::a, "1234569ABCDEF0")}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Harness h;
        c.prepare(h);
        h.dispatcher.dispatch(c.id);
        c.check(h);
        EXPECT_EQ(h.chooser.requests().size(), c.dialogs);
        EXPECT_EQ(h.chooser.unusedAnswers() + h.chooser.unexpectedDialogs(), 0u);
        EXPECT_EQ(h.closeRequests, c.closeRequests);
        EXPECT_EQ(h.aboutBoxes, c.aboutBoxes);
    }
}

TEST(CommandDispatch, OtherIdentifiersDoNothing) {
    Harness h;
    h.view.type(TextField::q, "00ff");
    for (const int id : {0, 1, 2, 300, 307, 400, 405, 501, 503, 601, 2001, 2005, 2010, -1, 65535,
                         0x10000 + 402}) {
        h.dispatcher.dispatch(id);
    }
    EXPECT_THAT(h.view.events(), IsEmpty());
    EXPECT_THAT(h.chooser.requests(), IsEmpty());
    EXPECT_EQ(h.closeRequests + h.aboutBoxes, 0);
    EXPECT_EQ(h.view.text(TextField::q), "00ff");
}

// An exception that escapes a command becomes the message, and the next command works.
TEST(CommandDispatch, EscapingExceptionIsReportedAndTheStateStaysUsable) {
    struct Case {
        const char* name;
        std::function<void(Harness&)> prepare;
        int id;
        std::vector<ViewEvent> messages;
        bool rewritesNothing;
    };
    const std::string tooLarge(262145, 'F');  // 2^20 + 4 bits
    const ViewEvent outOfMemory = interrupted(std::bad_alloc());
    const std::vector<Case> cases{
        {"out of memory", [&](Harness& h) { h.view.type(TextField::q, tooLarge); },
         gui::command::updatePaPab, {outOfMemory}, false},
        {"message box fails in turn",
         [&](Harness& h) { h.view.type(TextField::q, tooLarge); h.view.throwOnMessage(true); },
         gui::command::updatePaPab, {outOfMemory}, false},
        {"random source fails", [](Harness& h) { h.typeTestCurve(); h.parts.fail = true; },
         gui::command::generateSecret, {fault("Beregningen blev afbrudt: no entropy left")}, true},
        {"unknown exception type", [](Harness& h) { h.parts.fail = true; },
         gui::command::saveSecretKey, {fault("Beregningen blev afbrudt: ukendt fejl")}, true},
        // Pb left above a smaller q: both points are checked, then a*Pb fails.
        {"received point above a smaller q",
         [](Harness& h) {
             h.typeTestCurve();
             h.state.readInputs(h.view);
             h.state.Pb().fromText(testPointText);
             h.view.type(TextField::q, "17");
         },
         gui::command::updatePaPab,
         {fault("Det indtastede punkt findes ikke p\xE5 kurven"),
          fault("Det modtagne punkt Pb findes ikke p\xE5 kurven"),
          interrupted(std::invalid_argument("result would be negative"))},
         false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Harness h;
        c.prepare(h);
        h.view.type(TextField::a, "7");
        h.view.clearEvents();
        h.dispatcher.dispatch(c.id);
        EXPECT_EQ(h.view.messages(), c.messages);
        if (c.rewritesNothing) {
            EXPECT_EQ(h.view.events(), c.messages) << "the command stops where it failed";
        }

        h.parts.fail = false;
        h.view.throwOnMessage(false);
        h.view.clearEvents();
        h.dispatcher.dispatch(gui::command::useTestValues);
        h.view.type(TextField::a, "1");
        h.dispatcher.dispatch(gui::command::updatePaPab);
        EXPECT_THAT(h.view.messages(), IsEmpty());
        EXPECT_EQ(h.view.text(TextField::Pa), testPointText);
    }
}

}  // namespace
