#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

#include "app/KeyExchange.h"
#include "tests/app/Fakes.h"
#include "tests/app/TestCurve.h"
#include "tests/app/TestSupport.h"

namespace {

using app::MessageIcon;
using app::TextField;
using kxtest::FakeView;
using kxtest::ViewEvent;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

const ViewEvent pointOffCurve =
    ViewEvent::message("Det indtastede punkt findes ikke p\xE5 kurven", "Fejl!", MessageIcon::none);
const ViewEvent receivedOffCurve = ViewEvent::message(
    "Det modtagne punkt Pb findes ikke p\xE5 kurven", "Fejl!", MessageIcon::none);

std::vector<ViewEvent> writesOf(const std::vector<std::string>& texts) {
    std::vector<ViewEvent> events;
    for (std::size_t i = 0; i < texts.size(); ++i) {
        events.push_back(ViewEvent::write(app::allTextFields[i], texts[i]));
    }
    return events;
}

std::vector<std::string> allTexts(const FakeView& view) {
    std::vector<std::string> texts;
    for (const TextField field : app::allTextFields) {
        texts.push_back(view.text(field));
    }
    return texts;
}

class KeyExchangeTest : public ::testing::Test {
  protected:
    kxtest::ScriptedRandom random{{}};
    app::KeyExchange state{random};
    FakeView view;
    kxtest::CurveOracle oracle = kxtest::testCurve.oracle();
    kxtest::OraclePoint P = kxtest::testCurve.basePoint();
};

TEST_F(KeyExchangeTest, FreshStateShowsZerosAndInfinityInFieldOrder) {
    state.showState(view);
    EXPECT_EQ(view.events(),
              writesOf({"0", "0", "0", "0", "0", "0", "(uendelig)", "(uendelig)", "(uendelig)"}));
}

TEST_F(KeyExchangeTest, TestValuesReplaceEveryFieldButLeaveSecretAndPointsAlone) {
    view.type(TextField::a, "5");  // typed but never read: the state's a is shown
    state.useTestValues(view);
    EXPECT_EQ(view.events(),
              writesOf({"725F8E91CC4087", "3B5AF16DF11649", "40B77BE2CBBEDC", "6C4AE1678418BE",
                        "10695272AE2CD6", "0", "(uendelig)", "(uendelig)", "(uendelig)"}));
    EXPECT_TRUE(state.P().atInfinity()) << "the test values must not make P affine";
    EXPECT_EQ(state.q().limbs().size(), 2u);
}

TEST_F(KeyExchangeTest, UpdateComputesPaAsTheSecretTimesP) {
    state.useTestValues(view);
    const mpz_class q = kxtest::fromHexText(kxtest::testCurve.q);
    const std::vector<mpz_class> secrets{0, 1, 2, 3, 0xFFFF, q - 1, q, q + 1, q * q + 7};
    for (const mpz_class& secret : secrets) {
        SCOPED_TRACE("a = " + kxtest::toHexText(secret));
        view.type(TextField::a, secret.get_str(16));  // lower case, as a user may type it
        state.updatePaPab(view);
        EXPECT_EQ(view.text(TextField::Pa), kxtest::pointText(oracle.multiply(secret, P)));
        EXPECT_EQ(view.text(TextField::a), kxtest::toHexText(secret)) << "a is never reduced";
        EXPECT_EQ(view.text(TextField::Pab), "(uendelig)");
    }
    EXPECT_THAT(view.messages(), IsEmpty());
}

TEST_F(KeyExchangeTest, EmptySecretGivesInfinity) {
    kxtest::typeCurve(view, kxtest::testCurve);
    state.updatePaPab(view);
    EXPECT_EQ(view.text(TextField::a), "0");
    EXPECT_EQ(view.text(TextField::Pa), "(uendelig)");
    EXPECT_EQ(view.text(TextField::Pab), "(uendelig)");
}

TEST_F(KeyExchangeTest, InputsAreShownReducedAndCanonical) {
    struct Case {
        const char* typedA;
        const char* shownA;
    };
    const mpz_class q = kxtest::fromHexText(kxtest::testCurve.q);
    const std::string qPlus16 = kxtest::toHexText(q + 16);
    const std::string doubleQPlus3 = kxtest::toHexText(2 * q + 3);
    const std::vector<Case> cases{{"00ff", "FF"},
                                  {"3b5af16df11649", "3B5AF16DF11649"},
                                  {"", "0"},
                                  {kxtest::testCurve.q.data(), "0"},
                                  {qPlus16.c_str(), "10"},
                                  {doubleQPlus3.c_str(), "3"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string("A typed as \"") + c.typedA + "\"");
        kxtest::typeCurve(view, kxtest::testCurve);
        view.type(TextField::A, c.typedA);
        state.updatePaPab(view);
        EXPECT_EQ(view.text(TextField::A), c.shownA);
    }
}

TEST_F(KeyExchangeTest, PointOffCurveIsReportedAfterTheRewriteAndTheUpdateGoesOn) {
    kxtest::typeCurve(view, kxtest::testCurve);
    view.type(TextField::Py, "10695272AE2CD7");  // y + 1
    view.type(TextField::a, "2");
    state.updatePaPab(view);

    const kxtest::OraclePoint moved{false, P.x, P.y + 1};
    std::vector<ViewEvent> expected =
        writesOf({"725F8E91CC4087", "3B5AF16DF11649", "40B77BE2CBBEDC", "6C4AE1678418BE",
                  "10695272AE2CD7", "2", "(uendelig)", "(uendelig)", "(uendelig)"});
    expected.push_back(pointOffCurve);
    for (const ViewEvent& write :
         writesOf({"725F8E91CC4087", "3B5AF16DF11649", "40B77BE2CBBEDC", "6C4AE1678418BE",
                   "10695272AE2CD7", "2", kxtest::pointText(oracle.multiply(2, moved)),
                   "(uendelig)", "(uendelig)"})) {
        expected.push_back(write);
    }
    EXPECT_EQ(view.events(), expected);
}

// Which of P and Pb are off the curve decides the messages; either one brings the rewrite first.
struct OffCurveCase {
    const char* name;
    const char* Py;
    const char* receivedPoint;  // nullptr: Pb stays at infinity
    std::vector<ViewEvent> messages;

    friend void PrintTo(const OffCurveCase& c, std::ostream* out) { *out << c.name; }
};

class OffCurveTest : public KeyExchangeTest, public ::testing::WithParamInterface<OffCurveCase> {};

TEST_P(OffCurveTest, MessagesFollowTheRewriteInOrder) {
    const OffCurveCase& c = GetParam();
    kxtest::typeCurve(view, kxtest::testCurve);
    view.type(TextField::Py, c.Py);
    state.readInputs(view);  // gives Pb a curve to be parsed on
    if (c.receivedPoint != nullptr) {
        state.Pb().fromText(c.receivedPoint);
    }
    view.clearEvents();
    state.readInputs(view);

    if (c.messages.empty()) {
        EXPECT_THAT(view.events(), IsEmpty());
        return;
    }
    ASSERT_EQ(view.events().size(), 9 + c.messages.size());
    for (std::size_t i = 0; i < 9; ++i) {
        EXPECT_EQ(view.events()[i].kind, ViewEvent::Kind::fieldWrite) << "event " << i;
    }
    EXPECT_EQ(view.messages(), c.messages);
}

const std::string testPointText = "(6C4AE1678418BE, 10695272AE2CD6)";

INSTANTIATE_TEST_SUITE_P(
    PAndPb, OffCurveTest,
    ::testing::Values(OffCurveCase{"BothOnCurve", "10695272AE2CD6", testPointText.c_str(), {}},
                      OffCurveCase{"PbAtInfinity", "10695272AE2CD6", nullptr, {}},
                      OffCurveCase{"POff", "10695272AE2CD7", nullptr, {pointOffCurve}},
                      OffCurveCase{
                          "PbOff", "10695272AE2CD6", "(6C4AE1678418BE, 1)", {receivedOffCurve}},
                      OffCurveCase{"BothOff", "1", "(1, 2)", {pointOffCurve, receivedOffCurve}}),
    kxtest::CaseName());

TEST_F(KeyExchangeTest, ReceivedPointOffCurveStillGetsMultiplied) {
    kxtest::typeCurve(view, kxtest::testCurve);
    state.readInputs(view);
    state.Pb().fromText("(6C4AE1678418BE, 1)");
    view.type(TextField::a, "1");
    state.updatePaPab(view);
    EXPECT_THAT(view.messages(), ElementsAre(receivedOffCurve));
    EXPECT_EQ(view.text(TextField::Pab), "(6C4AE1678418BE, 1)");
}

TEST_F(KeyExchangeTest, ClearAllResetsFieldsAndPointsWithoutMessage) {
    kxtest::typeCurve(view, kxtest::testCurve);
    view.type(TextField::a, "5");
    state.updatePaPab(view);
    state.Pb().fromText(testPointText);
    state.updatePaPab(view);
    ASSERT_NE(view.text(TextField::Pab), "(uendelig)");
    view.clearEvents();

    state.clearAll(view);

    std::vector<ViewEvent> expected = writesOf({"0", "0", "0", "0", "0", "", "", "", ""});
    for (const ViewEvent& write :
         writesOf({"0", "0", "0", "0", "0", "0", "(uendelig)", "(uendelig)", "(uendelig)"})) {
        expected.push_back(write);
    }
    EXPECT_EQ(view.events(), expected);
    EXPECT_TRUE(state.Pa().atInfinity());
    EXPECT_TRUE(state.Pb().atInfinity());
    EXPECT_TRUE(state.Pab().atInfinity());
    EXPECT_FALSE(state.P().atInfinity());
    EXPECT_TRUE(state.q().limbs().empty());
}

TEST_F(KeyExchangeTest, GenerateWithEmptyFieldsDrawsZeroWithoutMessage) {
    state.generateSecret(view);
    EXPECT_EQ(allTexts(view), (std::vector<std::string>{"0", "0", "0", "0", "0", "0", "(uendelig)",
                                                        "(uendelig)", "(uendelig)"}));
    EXPECT_THAT(view.messages(), IsEmpty());
    EXPECT_EQ(random.used(), 0u);
}

TEST_F(KeyExchangeTest, GenerateReplacesTheTypedSecretByADrawBelowQ) {
    kxtest::ScriptedRandom words({0x9ABCDEF0, 0x00123456});
    app::KeyExchange drawing(words);
    kxtest::typeCurve(view, kxtest::testCurve);
    view.type(TextField::a, "77");
    drawing.generateSecret(view);
    EXPECT_EQ(view.text(TextField::a), "1234569ABCDEF0");
    EXPECT_EQ(view.text(TextField::Pa),
              kxtest::pointText(oracle.multiply(kxtest::fromHexText("1234569ABCDEF0"), P)));
    EXPECT_THAT(view.messages(), IsEmpty());
}

}  // namespace
