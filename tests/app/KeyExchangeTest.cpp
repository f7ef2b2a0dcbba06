#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/KeyExchange.h"
#include "tests/app/Fakes.h"
#include "tests/app/TestCurve.h"
#include "tests/app/TestSupport.h"

namespace {

using app::MessageIcon;
using app::TextField;
using kxtest::ViewEvent;
using ::testing::IsEmpty;

const ViewEvent pointOffCurve =
    ViewEvent::message("Det indtastede punkt findes ikke p\xE5 kurven", "Fejl!", MessageIcon::none);
const ViewEvent receivedOffCurve = ViewEvent::message(
    "Det modtagne punkt Pb findes ikke p\xE5 kurven", "Fejl!", MessageIcon::none);
const std::vector<std::string> startTexts{"0", "0", "0", "0", "0", "0",
                                          "(uendelig)", "(uendelig)", "(uendelig)"};

std::vector<ViewEvent> writesOf(const std::vector<std::string>& texts) {
    std::vector<ViewEvent> events;
    for (std::size_t i = 0; i < texts.size(); ++i) {
        events.push_back(ViewEvent::write(app::allTextFields[i], texts[i]));
    }
    return events;
}

class KeyExchangeTest : public ::testing::Test {
  protected:
    kxtest::ScriptedRandom random{{0x9ABCDEF0, 0x00123456}};
    app::KeyExchange state{random};
    kxtest::FakeView view;
    kxtest::CurveOracle oracle = kxtest::testCurve.oracle();
    kxtest::OraclePoint P = kxtest::testCurve.basePoint();
};

TEST_F(KeyExchangeTest, StartStateAndTestValuesAreShownInFieldOrder) {
    state.showState(view);
    EXPECT_EQ(view.events(), writesOf(startTexts));
    view.clearEvents();
    view.type(TextField::a, "5");  // typed but never read: the state's a is shown
    state.useTestValues(view);
    EXPECT_EQ(view.events(),
              writesOf({"725F8E91CC4087", "3B5AF16DF11649", "40B77BE2CBBEDC", "6C4AE1678418BE",
                        "10695272AE2CD6", "0", "(uendelig)", "(uendelig)", "(uendelig)"}));
    EXPECT_TRUE(state.P().atInfinity()) << "the test values must not make P affine";
}

TEST_F(KeyExchangeTest, UpdateComputesPaAsTheSecretTimesPAndNeverReducesA) {
    const mpz_class q = kxtest::fromHexText(kxtest::testCurve.q);
    for (const mpz_class& secret : std::vector<mpz_class>{0, 1, 2, 0xFFFF, q - 1, q, q * q + 7}) {
        SCOPED_TRACE("a = " + kxtest::toHexText(secret));
        kxtest::typeCurve(view, kxtest::testCurve);
        view.type(TextField::a, secret == 0 ? "" : secret.get_str(16));  // lower case, as typed
        state.updatePaPab(view);
        EXPECT_EQ(view.text(TextField::Pa), kxtest::pointText(oracle.multiply(secret, P)));
        EXPECT_EQ(view.text(TextField::a), kxtest::toHexText(secret));
        EXPECT_EQ(view.text(TextField::Pab), "(uendelig)");
    }
    EXPECT_THAT(view.messages(), IsEmpty());
}

TEST_F(KeyExchangeTest, CurveInputsAreShownReducedAndCanonical) {
    const mpz_class q = kxtest::fromHexText(kxtest::testCurve.q);
    const std::vector<std::pair<std::string, std::string>> typedAndShown{
        {"00ff", "FF"}, {"3b5af16df11649", "3B5AF16DF11649"}, {"", "0"},
        {std::string(kxtest::testCurve.q), "0"}, {kxtest::toHexText(q + 16), "10"},
        {kxtest::toHexText(2 * q + 3), "3"}};
    for (const auto& [typed, shown] : typedAndShown) {
        SCOPED_TRACE("A typed as \"" + typed + "\"");
        kxtest::typeCurve(view, kxtest::testCurve);
        view.type(TextField::A, typed);
        state.updatePaPab(view);
        EXPECT_EQ(view.text(TextField::A), shown);
    }
}

// Which of P and Pb are off the curve decides the messages; they follow a rewrite of the inputs
// and precede the results, and the update goes on with the points as they are.
TEST_F(KeyExchangeTest, OffCurveMessagesFollowTheRewriteAndTheUpdateGoesOn) {
    struct Case {
        const char* Py;
        kxtest::OraclePoint Pb;
        std::vector<ViewEvent> messages;
    };
    const mpz_class x = P.x;
    const std::vector<Case> cases{{"10695272AE2CD6", {false, x, P.y}, {}},
                                  {"10695272AE2CD6", {}, {}},
                                  {"10695272AE2CD7", {}, {pointOffCurve}},
                                  {"10695272AE2CD6", {false, x, 1}, {receivedOffCurve}},
                                  {"1", {false, 1, 2}, {pointOffCurve, receivedOffCurve}}};
    for (const Case& c : cases) {
        const std::string PbText = kxtest::pointText(c.Pb);
        SCOPED_TRACE(std::string("Py ") + c.Py + ", Pb " + PbText);
        kxtest::FakeView fresh;
        kxtest::typeCurve(fresh, kxtest::testCurve);
        fresh.type(TextField::Py, c.Py);
        app::KeyExchange user(random);
        user.readInputs(fresh);  // gives Pb a curve to be parsed on
        user.Pb().fromText(PbText);
        fresh.type(TextField::a, "2");
        fresh.clearEvents();
        user.updatePaPab(fresh);

        std::vector<std::string> texts{std::string(kxtest::testCurve.q), "3B5AF16DF11649",
                                       "40B77BE2CBBEDC", "6C4AE1678418BE", c.Py, "2",
                                       "(uendelig)", PbText, "(uendelig)"};
        std::vector<ViewEvent> expected;  // the rewrite comes first only when there is a message
        if (!c.messages.empty()) {
            expected = writesOf(texts);
            expected.insert(expected.end(), c.messages.begin(), c.messages.end());
        }
        texts[6] = kxtest::pointText(oracle.multiply(2, {false, x, kxtest::fromHexText(c.Py)}));
        texts[8] = kxtest::pointText(oracle.multiply(2, c.Pb));
        for (const ViewEvent& write : writesOf(texts)) {
            expected.push_back(write);
        }
        EXPECT_EQ(fresh.events(), expected);
    }
}

TEST_F(KeyExchangeTest, ClearAllResetsFieldsAndPointsWithoutMessage) {
    kxtest::typeCurve(view, kxtest::testCurve);
    view.type(TextField::a, "5");
    state.updatePaPab(view);
    state.Pb().fromText("(6C4AE1678418BE, 10695272AE2CD6)");
    state.updatePaPab(view);
    ASSERT_NE(view.text(TextField::Pab), "(uendelig)");
    view.clearEvents();

    state.clearAll(view);

    std::vector<ViewEvent> expected = writesOf({"0", "0", "0", "0", "0", "", "", "", ""});
    for (const ViewEvent& write : writesOf(startTexts)) {
        expected.push_back(write);
    }
    EXPECT_EQ(view.events(), expected);
    EXPECT_TRUE(state.Pa().atInfinity() && state.Pb().atInfinity() && state.Pab().atInfinity());
    EXPECT_TRUE(state.q().limbs().empty());
}

TEST_F(KeyExchangeTest, GenerateReplacesTheTypedSecretByADrawBelowQ) {
    kxtest::typeCurve(view, kxtest::testCurve);
    view.type(TextField::a, "77");
    state.generateSecret(view);
    EXPECT_EQ(view.text(TextField::a), "1234569ABCDEF0");
    EXPECT_EQ(view.text(TextField::Pa),
              kxtest::pointText(oracle.multiply(kxtest::fromHexText("1234569ABCDEF0"), P)));
    EXPECT_THAT(view.messages(), IsEmpty());
}

}  // namespace
