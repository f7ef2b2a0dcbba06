#include <gtest/gtest.h>

#include <QMessageBox>
#include <QTest>
#include <functional>

#include "CurveOracle.h"
#include "ShellTestSupport.h"

namespace kxtest {
namespace {

using app::TextField;
namespace command = gui::command;

const AffinePoint& P = testPoint;
const SmallCurve& curve = testCurve;

// The same command from the menu and from its button.
enum class Source { menu, button };

void PrintTo(Source source, std::ostream* out) {
    *out << (source == Source::menu ? "menu" : "button");
}

struct SourcedCommand {
    int command;
    Source source;
};

class CommandTest : public ShellTest {
  protected:
    void runFrom(const SourcedCommand& sourced) {
        if (sourced.source == Source::menu) {
            run(sourced.command);
        } else {
            QTest::mouseClick(&button(sourced.command), Qt::LeftButton);
        }
    }

    void expectTestValuesShown() {
        EXPECT_EQ(shown(TextField::q), hexText(curve.q));
        EXPECT_EQ(shown(TextField::A), hexText(curve.A));
        EXPECT_EQ(shown(TextField::B), hexText(curve.B));
        EXPECT_EQ(shown(TextField::Px), hexText(P.x));
        EXPECT_EQ(shown(TextField::Py), hexText(P.y));
    }
};

class SourcedCommandTest : public CommandTest, public testing::WithParamInterface<Source> {};

INSTANTIATE_TEST_SUITE_P(MenuAndButton, SourcedCommandTest,
                         testing::Values(Source::menu, Source::button),
                         [](const testing::TestParamInfo<Source>& sourceInfo) {
                             return sourceInfo.param == Source::menu ? "menu" : "button";
                         });

TEST(TestCurveOracle, TestPointLiesOnTheTestCurveAndHasLargeOrder) {
    EXPECT_TRUE(curve.contains(P));
    EXPECT_TRUE(curve.contains(curve.multiply(0x123456789, P)));
    EXPECT_FALSE(curve.multiply(0xFFFF, P).atInfinity);
}

TEST_P(SourcedCommandTest, TestValuesAreShown) {
    runFrom({command::useTestValues, GetParam()});
    expectTestValuesShown();
    EXPECT_EQ(shown(TextField::a), "0");
    for (const TextField point : {TextField::Pa, TextField::Pb, TextField::Pab}) {
        EXPECT_EQ(shown(point), "(uendelig)");
    }
}

TEST_P(SourcedCommandTest, GenerateDrawsASecretBelowQAndShowsItsPa) {
    run(command::useTestValues);
    for (int draw = 0; draw < 5; ++draw) {
        SCOPED_TRACE(testing::Message() << "seed " << seed << " draw " << draw);
        runFrom({command::generateSecret, GetParam()});
        const std::optional<std::uint64_t> a = parseHexText(shown(TextField::a));
        ASSERT_TRUE(a.has_value()) << shown(TextField::a);
        EXPECT_LT(*a, curve.q);
        EXPECT_EQ(shown(TextField::Pa), pointText(curve.multiply(*a, P)));
        expectTestValuesShown();
    }
}

TEST_F(CommandTest, UpdateShowsPaForTheTypedSecret) {
    const std::uint64_t secrets[] = {1,
                                     2,
                                     3,
                                     0x10,
                                     curve.q - 1,
                                     curve.q,
                                     curve.q + 1,
                                     random.nextWide() % curve.q,
                                     random.nextWide()};
    run(command::useTestValues);
    for (const std::uint64_t secret : secrets) {
        SCOPED_TRACE(testing::Message() << "seed " << seed << " a " << hexText(secret));
        // Lower case and leading zeros are accepted and shown canonically.
        edit(TextField::a).setText(QString::fromStdString("00" + hexText(secret)).toLower());
        run(command::updatePaPab);
        EXPECT_EQ(shown(TextField::a), hexText(secret));
        EXPECT_EQ(shown(TextField::Pa), pointText(curve.multiply(secret, P)));
        EXPECT_EQ(shown(TextField::Pab), "(uendelig)");
    }
}

TEST_F(CommandTest, UpdateReducesTheCurveBelowQ) {
    run(command::useTestValues);
    edit(TextField::A).setText(QString::fromStdString(hexText(curve.A + curve.q)));
    edit(TextField::a).setText(QStringLiteral("1"));
    run(command::updatePaPab);
    EXPECT_EQ(shown(TextField::A), hexText(curve.A));
    EXPECT_EQ(shown(TextField::Pa), pointText(P));
}

TEST_F(CommandTest, ClearLeavesZerosAndPointsAtInfinity) {
    run(command::useTestValues);
    edit(TextField::a).setText(QStringLiteral("5"));
    run(command::updatePaPab);
    ASSERT_NE(shown(TextField::Pa), "(uendelig)");
    run(command::clearAll);
    for (const TextField field :
         {TextField::q, TextField::A, TextField::B, TextField::Px, TextField::Py, TextField::a}) {
        EXPECT_EQ(shown(field), "0");
    }
    for (const TextField point : {TextField::Pa, TextField::Pb, TextField::Pab}) {
        EXPECT_EQ(shown(point), "(uendelig)");
    }
}

TEST_F(CommandTest, ExitClosesTheWindow) {
    run(command::exit);
    EXPECT_TRUE(QTest::qWaitFor([this] { return !window.isVisible(); }));
}

TEST_F(CommandTest, OffCurvePointIsReportedAfterTheRewriteAndTheCommandCompletes) {
    run(command::useTestValues);
    const AffinePoint offCurve{false, P.x, curve.plus(P.y, 1)};
    ASSERT_FALSE(curve.contains(offCurve));
    edit(TextField::Py).setText(QString::fromStdString("000" + hexText(offCurve.y)).toLower());
    edit(TextField::a).setText(QStringLiteral("1"));
    SeenMessage seen;
    std::string pyWhileOpen;
    std::string paWhileOpen;
    const DialogResponder responder({recordAndDismiss(seen, [&] {
        pyWhileOpen = shown(TextField::Py);
        paWhileOpen = shown(TextField::Pa);
    })});
    run(command::updatePaPab);
    ASSERT_TRUE(responder.finished());
    EXPECT_EQ(seen.text, "Det indtastede punkt findes ikke p\xC3\xA5 kurven");
    EXPECT_EQ(seen.caption, "Fejl!");
    EXPECT_EQ(seen.icon, QMessageBox::NoIcon);
    EXPECT_FALSE(seen.hasParent);
    EXPECT_EQ(seen.modality, Qt::NonModal);
    EXPECT_FALSE(seen.windowBlocked);
    EXPECT_EQ(pyWhileOpen, hexText(offCurve.y));  // rewritten before the message
    EXPECT_EQ(paWhileOpen, "(uendelig)");         // not yet computed
    EXPECT_EQ(shown(TextField::Pa), pointText(offCurve));
}

TEST_F(CommandTest, SecondCommandRunsToCompletionWhileAMessageIsOpen) {
    run(command::useTestValues);
    edit(TextField::Py).setText(QStringLiteral("1"));
    edit(TextField::a).setText(QStringLiteral("2"));
    SeenMessage seen;
    std::string pyAfterSecond;
    std::string aAfterSecond;
    const DialogResponder responder({recordAndDismiss(seen, [&] {
        clickThroughWindow(button(command::useTestValues));
        pyAfterSecond = shown(TextField::Py);
        aAfterSecond = shown(TextField::a);
    })});
    run(command::updatePaPab);
    ASSERT_TRUE(responder.finished());
    // The second command finished inside the box: the test point is back, a already read.
    EXPECT_EQ(pyAfterSecond, hexText(P.y));
    EXPECT_EQ(aAfterSecond, "2");
    // The first then went on with the state the second left: 2 times the test point.
    EXPECT_EQ(shown(TextField::Pa), pointText(curve.multiply(2, P)));
    expectTestValuesShown();
}

}  // namespace
}  // namespace kxtest
