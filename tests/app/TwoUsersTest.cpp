// Two users on one curve exchange their public data through files and reach the same shared point.

#include <gtest/gtest.h>

#include <string>

#include "app/ExchangeFiles.h"
#include "app/KeyExchange.h"
#include "tests/app/Fakes.h"
#include "tests/app/TestCurve.h"
#include "tests/app/TestSupport.h"

namespace {

using app::TextField;

struct User {
    explicit User(std::uint64_t seed) : random(seed), state(random) {}

    kxtest::SeededRandom random;
    app::KeyExchange state;
    kxtest::FakeView view;
    kxtest::FakeChooser chooser;
};

class TwoUsersTest : public ::testing::TestWithParam<kxtest::CurveText> {};

TEST_P(TwoUsersTest, BothReachTheSameSharedPoint) {
    const kxtest::CurveText& curve = GetParam();
    const kxtest::CurveOracle oracle = curve.oracle();
    const kxtest::OraclePoint G = curve.basePoint();
    ASSERT_TRUE(oracle.isOnCurve(G)) << "the base point in the test is mistyped";

    const std::uint64_t seed = kxtest::testSeed();
    SCOPED_TRACE("KX_TEST_SEED=" + std::to_string(seed));
    kxtest::TempDir dir;
    User alice(seed);
    User bob(seed + 1);

    for (User* user : {&alice, &bob}) {
        kxtest::typeCurve(user->view, curve);
        user->state.generateSecret(user->view);
        ASSERT_NE(user->view.text(TextField::Pa), "(uendelig)");
    }
    alice.chooser.willAnswer(dir / "alice.public");
    app::savePublicData(alice.view, alice.chooser);
    bob.chooser.willAnswer(dir / "bob.public");
    app::savePublicData(bob.view, bob.chooser);

    alice.chooser.willAnswer(dir / "bob.public");
    app::openPublicData(alice.state, alice.view, alice.chooser);
    alice.state.updatePaPab(alice.view);
    bob.chooser.willAnswer(dir / "alice.public");
    app::openPublicData(bob.state, bob.view, bob.chooser);
    bob.state.updatePaPab(bob.view);

    for (const TextField field :
         {TextField::q, TextField::A, TextField::B, TextField::Px, TextField::Py}) {
        EXPECT_EQ(alice.view.text(field), bob.view.text(field));
    }
    EXPECT_EQ(alice.view.text(TextField::Pb), bob.view.text(TextField::Pa));
    EXPECT_EQ(bob.view.text(TextField::Pb), alice.view.text(TextField::Pa));
    EXPECT_EQ(alice.view.text(TextField::Pab), bob.view.text(TextField::Pab));

    const mpz_class a = kxtest::fromHexText(alice.view.text(TextField::a));
    const mpz_class b = kxtest::fromHexText(bob.view.text(TextField::a));
    EXPECT_LT(a, kxtest::fromHexText(curve.q));
    EXPECT_EQ(alice.view.text(TextField::Pab), kxtest::pointText(oracle.multiply(a * b, G)));
    EXPECT_TRUE(alice.view.messages().empty());
    EXPECT_TRUE(bob.view.messages().empty());
}

INSTANTIATE_TEST_SUITE_P(Curves, TwoUsersTest,
                         ::testing::Values(kxtest::testCurve, kxtest::secp256r1),
                         kxtest::CaseName());

}  // namespace
