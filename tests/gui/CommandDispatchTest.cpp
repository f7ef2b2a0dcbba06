#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <functional>
#include <ostream>
#include <stdexcept>
#include <string>
#include <vector>

#include "gui/CommandDispatch.h"
#include "gui/WindowLayout.h"
#include "tests/app/Fakes.h"
#include "tests/app/TestSupport.h"

namespace {

using app::MessageIcon;
using app::TextField;
using kxtest::ViewEvent;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

using namespace std::string_literals;

class FakeShell final : public gui::ShellRequests {
  public:
    void requestClose() override { ++closeRequests; }
    void showAbout() override { ++aboutBoxes; }

    int closeRequests = 0;
    int aboutBoxes = 0;
};

ViewEvent interrupted(const std::string& reason) {
    return ViewEvent::message("Beregningen blev afbrudt: " + reason, "Fejl!", MessageIcon::none);
}

const std::string testQ = "725F8E91CC4087";
const std::string testPoint = "(6C4AE1678418BE, 10695272AE2CD6)";

void typeTestCurve(kxtest::FakeView& view) {
    view.type(TextField::q, testQ);
    view.type(TextField::A, "3B5AF16DF11649");
    view.type(TextField::B, "40B77BE2CBBEDC");
    view.type(TextField::Px, "6C4AE1678418BE");
    view.type(TextField::Py, "10695272AE2CD6");
}

// Everything a dispatcher talks to, open to the test cases below.
struct Harness {
    explicit Harness(app::RandomSource& random) : state(random) {}

    kxtest::TempDir dir;
    app::KeyExchange state;
    kxtest::FakeView view;
    kxtest::FakeChooser chooser;
    FakeShell shell;
    gui::CommandDispatcher dispatcher{state, view, chooser, shell};
};

struct CommandCase {
    const char* name;
    int id;
    std::function<void(Harness&)> prepare;
    std::function<void(Harness&)> check;
    int dialogs = 0;
    int closeRequests = 0;
    int aboutBoxes = 0;

    friend void PrintTo(const CommandCase& c, std::ostream* out) { *out << c.name; }
};

class CommandTest : public ::testing::TestWithParam<CommandCase> {
  protected:
    kxtest::ScriptedRandom random{{0x9ABCDEF0, 0x00123456}};
    Harness h{random};
};

TEST_P(CommandTest, ReachesItsOperation) {
    const CommandCase& c = GetParam();
    c.prepare(h);
    h.dispatcher.dispatch(c.id);
    c.check(h);
    EXPECT_EQ(h.chooser.requests().size(), static_cast<std::size_t>(c.dialogs));
    EXPECT_EQ(h.chooser.unusedAnswers(), 0u);
    EXPECT_EQ(h.chooser.unexpectedDialogs(), 0u);
    EXPECT_EQ(h.shell.closeRequests, c.closeRequests);
    EXPECT_EQ(h.shell.aboutBoxes, c.aboutBoxes);
}

void nothing(Harness&) {}

INSTANTIATE_TEST_SUITE_P(
    Commands, CommandTest,
    ::testing::Values(
        CommandCase{"SavePublicData", gui::command::savePublicData,
                    [](Harness& h) { h.chooser.willAnswer(h.dir / "p.public"); },
                    [](Harness& h) {
                        EXPECT_EQ(kxtest::readFile(h.dir / "p.public"), "*****...\0"s);
                        EXPECT_EQ(h.chooser.requests()[0].defaultExtension, "public");
                        EXPECT_THAT(h.view.events(), IsEmpty());
                    },
                    1},
        CommandCase{"SaveSecretKey", gui::command::saveSecretKey,
                    [](Harness& h) {
                        h.view.type(TextField::a, "abc");
                        h.chooser.willAnswer(h.dir / "k.secret");
                    },
                    [](Harness& h) {
                        EXPECT_EQ(kxtest::readFile(h.dir / "k.secret"), "abc");
                        EXPECT_EQ(h.chooser.requests()[0].defaultExtension, "secret");
                    },
                    1},
        CommandCase{"OpenPublicDataThenUpdate", gui::command::openPublicData,
                    [](Harness& h) {
                        kxtest::writeFile(h.dir / "in.public", "65*2*3*4*5*(uendelig)\0"s);
                        h.chooser.willAnswer(h.dir / "in.public");
                        h.view.type(TextField::a, "00ff");
                    },
                    [](Harness& h) {
                        EXPECT_EQ(h.view.text(TextField::q), "65");
                        EXPECT_EQ(h.view.text(TextField::Px), "4");
                        EXPECT_EQ(h.view.text(TextField::Pb), "(uendelig)");
                        EXPECT_EQ(h.view.text(TextField::a), "FF") << "the update did not run";
                    },
                    1},
        CommandCase{"CancelledOpenPublicDataStillUpdates", gui::command::openPublicData,
                    [](Harness& h) {
                        h.chooser.willCancel();
                        h.view.type(TextField::q, "00ff");
                    },
                    [](Harness& h) {
                        EXPECT_EQ(h.view.text(TextField::q), "FF");
                        EXPECT_EQ(h.view.text(TextField::Pa), "(uendelig)");
                    },
                    1},
        CommandCase{"OpenSecretKeyThenUpdate", gui::command::openSecretKey,
                    [](Harness& h) {
                        kxtest::writeFile(h.dir / "in.secret", "0005");
                        h.chooser.willAnswer(h.dir / "in.secret");
                        h.view.type(TextField::q, "0a");
                    },
                    [](Harness& h) {
                        EXPECT_EQ(h.view.text(TextField::a), "5");
                        EXPECT_EQ(h.view.text(TextField::q), "A");
                    },
                    1},
        CommandCase{"CancelledOpenSecretKeyStillUpdates", gui::command::openSecretKey,
                    [](Harness& h) {
                        h.chooser.willCancel();
                        h.view.type(TextField::a, "0b");
                    },
                    [](Harness& h) { EXPECT_EQ(h.view.text(TextField::a), "B"); }, 1},
        CommandCase{"SaveSharedKey", gui::command::saveSharedKey,
                    [](Harness& h) {
                        h.view.type(TextField::Pab, "(1, 2)");
                        h.chooser.willAnswer(h.dir / "s.comkey");
                    },
                    [](Harness& h) {
                        EXPECT_EQ(kxtest::readFile(h.dir / "s.comkey"), "(1, 2)");
                        EXPECT_EQ(h.chooser.requests()[0].defaultExtension, "comkey");
                    },
                    1},
        CommandCase{"Exit", gui::command::exit, nothing,
                    [](Harness& h) { EXPECT_THAT(h.view.events(), IsEmpty()); }, 0, 1},
        CommandCase{"ClearAll", gui::command::clearAll,
                    [](Harness& h) { h.view.type(TextField::q, "5"); },
                    [](Harness& h) {
                        EXPECT_EQ(h.view.text(TextField::q), "0");
                        EXPECT_EQ(h.view.text(TextField::Pb), "(uendelig)");
                        EXPECT_EQ(h.view.text(TextField::a), "0");
                    }},
        CommandCase{"UpdatePaPab", gui::command::updatePaPab,
                    [](Harness& h) { h.view.type(TextField::q, "00ff"); },
                    [](Harness& h) {
                        EXPECT_EQ(h.view.text(TextField::q), "FF");
                        EXPECT_EQ(h.view.text(TextField::Pab), "(uendelig)");
                    }},
        CommandCase{"UseTestValues", gui::command::useTestValues, nothing,
                    [](Harness& h) {
                        EXPECT_EQ(h.view.text(TextField::q), testQ);
                        EXPECT_EQ(h.view.text(TextField::Pa), "(uendelig)");
                    }},
        CommandCase{"GenerateSecret", gui::command::generateSecret,
                    [](Harness& h) { typeTestCurve(h.view); },
                    [](Harness& h) {
                        EXPECT_EQ(h.view.text(TextField::a), "1234569ABCDEF0");
                        EXPECT_NE(h.view.text(TextField::Pa), "(uendelig)");
                    }},
        CommandCase{"About", gui::command::about, nothing,
                    [](Harness& h) { EXPECT_THAT(h.view.events(), IsEmpty()); }, 0, 0, 1}),
    kxtest::CaseName());

TEST(CommandDispatch, OtherIdentifiersDoNothing) {
    kxtest::ScriptedRandom random({});
    Harness h(random);
    h.view.type(TextField::q, "00ff");
    for (const int id :
         {0,    1,    2,    300,  307,  400,  405,  501,  503, 601,   2001,         2002,
          2003, 2004, 2005, 2006, 2007, 2008, 2009, 2010, -1,  65535, 0x10000 + 402}) {
        SCOPED_TRACE(id);
        h.dispatcher.dispatch(id);
    }
    EXPECT_THAT(h.view.events(), IsEmpty());
    EXPECT_THAT(h.chooser.requests(), IsEmpty());
    EXPECT_EQ(h.shell.closeRequests, 0);
    EXPECT_EQ(h.shell.aboutBoxes, 0);
    EXPECT_EQ(h.view.text(TextField::q), "00ff");
}

class FailureTest : public ::testing::Test {
  protected:
    kxtest::ScriptedRandom random{{}};
    Harness h{random};
};

TEST_F(FailureTest, NumberTooLargeForMemoryIsReportedAndTheNextCommandWorks) {
    h.view.type(TextField::q, std::string(262145, 'F'));  // 2^20 + 4 bits
    h.dispatcher.dispatch(gui::command::updatePaPab);
    EXPECT_THAT(
        h.view.messages(),
        ElementsAre(interrupted("tallene er for store til den tilg\xE6ngelige hukommelse")));

    h.view.clearEvents();
    h.dispatcher.dispatch(gui::command::useTestValues);
    h.view.type(TextField::a, "1");
    h.dispatcher.dispatch(gui::command::updatePaPab);
    EXPECT_THAT(h.view.messages(), IsEmpty());
    EXPECT_EQ(h.view.text(TextField::q), testQ);
    EXPECT_EQ(h.view.text(TextField::Pa), testPoint);
}

TEST_F(FailureTest, ReceivedPointAboveASmallerQIsReportedAndTheNextCommandWorks) {
    typeTestCurve(h.view);
    kxtest::writeFile(h.dir / "other.public", testQ +
                                                  "*3B5AF16DF11649*40B77BE2CBBEDC*6C4AE1678418BE*"
                                                  "10695272AE2CD6*" +
                                                  testPoint + "\0"s);
    h.chooser.willAnswer(h.dir / "other.public");
    h.view.type(TextField::a, "2");
    h.dispatcher.dispatch(gui::command::openPublicData);
    ASSERT_THAT(h.view.messages(), IsEmpty());
    ASSERT_EQ(h.view.text(TextField::Pb), testPoint);

    h.view.type(TextField::q, "17");
    h.dispatcher.dispatch(gui::command::updatePaPab);
    // Both points are checked first, then a*Pb meets the coordinates left above q.
    const auto offCurve = [](const std::string& text) {
        return ViewEvent::message(text, "Fejl!", MessageIcon::none);
    };
    EXPECT_THAT(h.view.messages(),
                ElementsAre(offCurve("Det indtastede punkt findes ikke p\xE5 kurven"),
                            offCurve("Det modtagne punkt Pb findes ikke p\xE5 kurven"),
                            interrupted("result would be negative")));

    h.view.clearEvents();
    h.dispatcher.dispatch(gui::command::useTestValues);
    h.view.type(TextField::a, "1");
    h.dispatcher.dispatch(gui::command::updatePaPab);
    EXPECT_THAT(h.view.messages(), IsEmpty());
    EXPECT_EQ(h.view.text(TextField::Pab), testPoint);
}

class FailingRandom final : public app::RandomSource {
  public:
    std::uint32_t nextWord() override { throw std::runtime_error("no entropy left"); }
};

TEST(CommandDispatchFailure, RandomSourceFailureIsReportedWithItsText) {
    FailingRandom random;
    Harness h(random);
    typeTestCurve(h.view);
    h.view.type(TextField::a, "7");
    h.dispatcher.dispatch(gui::command::generateSecret);
    EXPECT_THAT(h.view.events(), ElementsAre(interrupted("no entropy left")))
        << "the command stops before its rewrite";

    h.dispatcher.dispatch(gui::command::updatePaPab);
    EXPECT_EQ(h.view.text(TextField::a), "7");
}

class ThrowingChooser final : public app::FileChooser {
  public:
    std::optional<std::filesystem::path> choosePath(const app::FileDialogOptions&) override {
        throw 42;
    }
};

TEST(CommandDispatchFailure, ExceptionOfUnknownTypeIsReported) {
    kxtest::ScriptedRandom random({});
    app::KeyExchange state(random);
    kxtest::FakeView view;
    ThrowingChooser chooser;
    FakeShell shell;
    gui::CommandDispatcher dispatcher(state, view, chooser, shell);
    dispatcher.dispatch(gui::command::saveSecretKey);
    EXPECT_THAT(view.messages(), ElementsAre(interrupted("ukendt fejl")));
}

TEST_F(FailureTest, MessageBoxThatFailsInTurnDoesNotEndTheProgram) {
    h.view.throwOnMessage(true);
    h.view.type(TextField::q, std::string(262145, 'F'));
    h.dispatcher.dispatch(gui::command::updatePaPab);
    EXPECT_EQ(h.view.messages().size(), 1u);

    h.view.throwOnMessage(false);
    h.dispatcher.dispatch(gui::command::useTestValues);
    EXPECT_EQ(h.view.text(TextField::q), testQ);
}

}  // namespace
