#include <gtest/gtest.h>

#include <QTest>
#include <QWindow>

#include "ShellTestSupport.h"
#include "tests/gui/CurveOracle.h"

namespace kxtest {
namespace {

using app::TextField;
namespace command = gui::command;
const AffinePoint& P = testPoint;
const SmallCurve& curve = testCurve;
const char* const infinity = "(uendelig)";

class CommandTest : public ShellTest, public testing::WithParamInterface<bool> {
  protected:
    // The command from its button when the parameter says so, else from the menu.
    void runFrom(int commandId) {
        if (GetParam()) {
            QTest::mouseClick(&control(commandId), Qt::LeftButton);
        } else {
            run(commandId);
        }
    }
};
using UpdateTest = ShellTest;

void expectTestValuesShown(const gui::qt::MainWindow& window) {
    EXPECT_EQ(window.fieldText(TextField::q), hexText(curve.q));
    EXPECT_EQ(window.fieldText(TextField::A), hexText(curve.A));
    EXPECT_EQ(window.fieldText(TextField::B), hexText(curve.B));
    EXPECT_EQ(window.fieldText(TextField::Px), hexText(P.x));
    EXPECT_EQ(window.fieldText(TextField::Py), hexText(P.y));
}

INSTANTIATE_TEST_SUITE_P(MenuAndButton, CommandTest, testing::Bool(),
                         [](const auto& named) { return named.param ? "button" : "menu"; });

TEST(TestCurveOracle, TestPointLiesOnTheTestCurveAndHasLargeOrder) {
    EXPECT_TRUE(curve.contains(P));
    EXPECT_TRUE(curve.contains(curve.multiply(0x123456789, P)));
    EXPECT_FALSE(curve.multiply(0xFFFF, P).atInfinity);
}

TEST_P(CommandTest, TestValuesAreShown) {
    runFrom(command::useTestValues);
    expectTestValuesShown(window);
    EXPECT_EQ(shown(TextField::a), "0");
    for (const TextField point : {TextField::Pa, TextField::Pb, TextField::Pab}) {
        EXPECT_EQ(shown(point), infinity);
    }
}

TEST_P(CommandTest, GenerateDrawsASecretBelowQAndShowsItsPa) {
    run(command::useTestValues);
    for (int draw = 0; draw < 5; ++draw) {
        SCOPED_TRACE(testing::Message() << "seed " << seed << " draw " << draw);
        runFrom(command::generateSecret);
        const std::optional<std::uint64_t> a = parseHexText(shown(TextField::a));
        ASSERT_TRUE(a.has_value()) << shown(TextField::a);
        EXPECT_LT(*a, curve.q);
        EXPECT_EQ(shown(TextField::Pa), pointText(curve.multiply(*a, P)));
        expectTestValuesShown(window);
    }
}

TEST_F(UpdateTest, UpdateShowsPaForTheTypedSecretAndReducesTheCurve) {
    const std::uint64_t secrets[] = {1,
                                     2,
                                     0x10,
                                     curve.q - 1,
                                     curve.q,
                                     curve.q + 1,
                                     random.nextWide() % curve.q,
                                     random.nextWide()};
    run(command::useTestValues);
    for (const std::uint64_t secret : secrets) {
        SCOPED_TRACE(testing::Message() << "seed " << seed << " a " << hexText(secret));
        // Lower case, leading zeros and A beyond q are accepted and shown canonically.
        edit(TextField::a).setText(QString::fromStdString("00" + hexText(secret)).toLower());
        edit(TextField::A).setText(QString::fromStdString(hexText(curve.A + curve.q)));
        run(command::updatePaPab);
        EXPECT_EQ(shown(TextField::a), hexText(secret));
        EXPECT_EQ(shown(TextField::A), hexText(curve.A));
        EXPECT_EQ(shown(TextField::Pa), pointText(curve.multiply(secret, P)));
        EXPECT_EQ(shown(TextField::Pab), infinity);
    }
}

TEST_F(UpdateTest, ClearLeavesZerosAndPointsAtInfinityAndExitCloses) {
    run(command::useTestValues);
    edit(TextField::a).setText(QStringLiteral("5"));
    run(command::updatePaPab);
    ASSERT_NE(shown(TextField::Pa), infinity);
    run(command::clearAll);
    for (const TextField field : app::allTextFields) {
        const bool isPoint =
            field == TextField::Pa || field == TextField::Pb || field == TextField::Pab;
        EXPECT_EQ(shown(field), isPoint ? infinity : "0");
    }
    run(command::exit);
    EXPECT_TRUE(QTest::qWaitFor([this] { return !window.isVisible(); }));
}

TEST_F(UpdateTest, OffCurvePointIsReportedAfterTheRewriteAndTheCommandCompletes) {
    run(command::useTestValues);
    const AffinePoint offCurve{false, P.x, curve.plus(P.y, 1)};
    ASSERT_FALSE(curve.contains(offCurve));
    edit(TextField::Py).setText(QString::fromStdString("000" + hexText(offCurve.y)).toLower());
    edit(TextField::a).setText(QStringLiteral("1"));
    SeenMessage seen;
    std::string pyWhileOpen, paWhileOpen;
    const DialogResponder responder({recordAndDismiss(seen, [&] {
        pyWhileOpen = shown(TextField::Py);
        paWhileOpen = shown(TextField::Pa);
    })});
    run(command::updatePaPab);
    ASSERT_TRUE(responder.finished());
    EXPECT_EQ(seen.text, "Det indtastede punkt findes ikke p\xC3\xA5 kurven");
    EXPECT_EQ(seen.caption, "Fejl!");
    EXPECT_EQ(seen.icon, QMessageBox::NoIcon);
    EXPECT_EQ(seen.modality, Qt::NonModal);
    EXPECT_FALSE(seen.windowBlocked);
    EXPECT_EQ(pyWhileOpen, hexText(offCurve.y));  // rewritten before the message
    EXPECT_EQ(paWhileOpen, infinity);             // not yet computed
    EXPECT_EQ(shown(TextField::Pa), pointText(offCurve));
}

TEST_F(UpdateTest, SecondCommandRunsToCompletionWhileAMessageIsOpen) {
    run(command::useTestValues);
    edit(TextField::Py).setText(QStringLiteral("1"));
    edit(TextField::a).setText(QStringLiteral("2"));
    SeenMessage seen;
    std::string pyAfterSecond, aAfterSecond;
    const DialogResponder responder({recordAndDismiss(seen, [&] {
        // Clicked the way a mouse does, through the window, so a modal box would block it.
        QWidget& target = control(command::useTestValues);
        QTest::mouseClick(window.windowHandle(), Qt::LeftButton, Qt::NoModifier,
                          target.mapTo(&window, target.rect().center()));
        pyAfterSecond = shown(TextField::Py);
        aAfterSecond = shown(TextField::a);
    })});
    run(command::updatePaPab);
    ASSERT_TRUE(responder.finished());
    EXPECT_EQ(pyAfterSecond, hexText(P.y));  // the second finished inside the box
    EXPECT_EQ(aAfterSecond, "2");
    // The first then went on with the state the second left: 2 times the test point.
    EXPECT_EQ(shown(TextField::Pa), pointText(curve.multiply(2, P)));
    expectTestValuesShown(window);
}

}  // namespace
}  // namespace kxtest
