#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "app/ExchangeFiles.h"
#include "app/KeyExchange.h"
#include "tests/app/Fakes.h"
#include "tests/app/TestCurve.h"
#include "tests/app/TestSupport.h"

namespace {

using app::MessageIcon;
using app::TextField;
using kxtest::ViewEvent;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

using namespace std::string_literals;

// One user: a state, its window, its file dialog, and a folder for its files.
struct User {
    explicit User(std::uint64_t seed = 1) : random(seed), state(random) {}
    void open(const std::string& name, const std::string& bytes) {
        kxtest::writeFile(dir / name, bytes);
        chooser.willAnswer(dir / name);
        name.ends_with(".secret") ? app::openSecretKey(view, chooser)
                                  : app::openPublicData(state, view, chooser);
    }
    std::string saved(void (*save)(app::KeyExchangeView&, app::FileChooser&)) {
        chooser.willAnswer(dir / "out");
        save(view, chooser);
        return kxtest::readFile(dir / "out");
    }

    kxtest::TempDir dir;
    kxtest::SeededRandom random;
    app::KeyExchange state;
    kxtest::FakeView view;
    kxtest::FakeChooser chooser;
};

TEST(ExchangeFiles, EachFileHoldsExactlyItsFieldTexts) {
    struct Case {
        const char* name;
        void (*save)(app::KeyExchangeView&, app::FileChooser&);
        std::vector<std::pair<TextField, std::string>> typed;
        std::string bytes;
    };
    const std::vector<Case> cases{
        {"public right after start", app::savePublicData, {}, "*****...\0"s},
        {"public", app::savePublicData,
         {{TextField::q, "725F8E91CC4087"}, {TextField::A, "3B5AF16DF11649"},
          {TextField::B, "40B77BE2CBBEDC"}, {TextField::Px, "6C4AE1678418BE"},
          {TextField::Py, "10695272AE2CD6"}, {TextField::Pa, "(6C4AE1678418BE, 10695272AE2CD6)"}},
         "725F8E91CC4087*3B5AF16DF11649*40B77BE2CBBEDC*6C4AE1678418BE*10695272AE2CD6*"
         "(6C4AE1678418BE, 10695272AE2CD6)\0"s},
        {"public as typed, each field ending at its NUL", app::savePublicData,
         {{TextField::q, "00ff"}, {TextField::A, "x*y"}, {TextField::Py, "12\0 34"s},
          {TextField::Pa, "(uendelig)"}},
         "00ff*x*y***12*(uendelig)\0"s},
        {"secret", app::saveSecretKey, {{TextField::a, "1A2B"}}, "1A2B"},
        {"empty secret", app::saveSecretKey, {}, ""},
        {"secret as typed", app::saveSecretKey, {{TextField::a, "0x1a\r\n"}}, "0x1a\r\n"},
        {"secret ending at its NUL", app::saveSecretKey, {{TextField::a, "AB\0CD"s}}, "AB"},
        {"shared point", app::saveSharedKey, {{TextField::Pab, "(6C4AE1678418BE, 1)"}},
         "(6C4AE1678418BE, 1)"},
        {"shared before any command", app::saveSharedKey, {}, "..."}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        User user;
        for (const auto& [field, text] : c.typed) {
            user.view.type(field, text);
        }
        EXPECT_EQ(user.saved(c.save), c.bytes);
        EXPECT_EQ(user.dir.entries(), (std::set<std::string>{"out"}));
        EXPECT_THAT(user.view.events(), IsEmpty());
    }
}

// Cancelling is no failure: nothing is written, shown or changed.
TEST(ExchangeFiles, EachCommandAsksWithItsFiltersAndACancelChangesNothing) {
    using Run = std::function<void(User&)>;
    struct Case {
        Run run;
        app::FileDialogKind kind;
        const char* description;
        const char* pattern;
        const char* allFiles;
    };
    const auto viewOnly = [](auto f) { return Run([f](User& u) { f(u.view, u.chooser); }); };
    const std::vector<Case> cases{
        {viewOnly(app::savePublicData), app::FileDialogKind::save, "Offentlig data (*.public)",
         "*.public", "All Files (*.*)"},
        {[](User& u) { app::openPublicData(u.state, u.view, u.chooser); },
         app::FileDialogKind::open, "Offentlig data (*.public)", "*.public", "All files (*.*)"},
        {viewOnly(app::saveSecretKey), app::FileDialogKind::save, "Hemmelige n\xF8gler (*.secret)",
         "*.secret", "All Files (*.*)"},
        {viewOnly(app::openSecretKey), app::FileDialogKind::open, "Hemmelige n\xF8gler (*.secret)",
         "*.secret", "All Files (*.*)"},
        {viewOnly(app::saveSharedKey), app::FileDialogKind::save,
         "F\xE6lles hemmelige n\xF8gler (*.comkey)", "*.comkey", "All Files (*.*)"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.description);
        User user;
        user.chooser.willCancel();
        c.run(user);
        ASSERT_EQ(user.chooser.requests().size(), 1u);
        const app::FileDialogOptions& asked = user.chooser.requests().front();
        EXPECT_EQ(asked.kind, c.kind);
        EXPECT_EQ(asked.filters[0].description, c.description);
        EXPECT_EQ(asked.filters[0].pattern, c.pattern);
        EXPECT_EQ(asked.filters[1].description, c.allFiles);
        EXPECT_EQ(asked.filters[1].pattern, "*.*");
        EXPECT_EQ("*." + std::string(asked.defaultExtension), c.pattern);
        EXPECT_THAT(user.view.events(), IsEmpty());
        EXPECT_THAT(user.dir.entries(), IsEmpty());
        EXPECT_TRUE(user.state.Pb().atInfinity());
    }
}

// The fields start with texts no file below holds, so every field a load leaves alone shows; the
// state's q is 65 from earlier input, so Pb must be parsed modulo the q field after the load.
TEST(ExchangeFiles, PublicLoadSplitsAtEachSeparator) {
    struct Case {
        std::string bytes;
        std::string fieldsAfter;  // q|A|B|Px|Py|Pb
        std::size_t tooMuchDataMessages;
        std::optional<std::string> PbAfter;  // the state's Pb, when it is settled
    };
    const std::vector<Case> cases{
        {"FF*2*3*4*5*(6, 7)\0"s, "FF|2|3|4|5|(6, 7)", 0, "(6, 7)"},
        {"FF*2*3*4*5*(70, 71)", "FF|2|3|4|5|(70, 71)", 0, "(70, 71)"},  // above the old q
        {"(1A, 1B)", "65|11|12|13|14|(1A, 1B)", 0, "(1A, 1B)"},
        {"(70, 71)", "65|11|12|13|14|(70, 71)", 0, "(B, C)"},  // reduced by the q field
        {"FF*2*3*(6, 7)", "FF|2|3|13|14|(6, 7)", 0, "(6, 7)"},
        {"1*2*3*4*5*6*(uendelig)", "1|2|3|4|5|(uendelig)", 1, "(uendelig)"},
        {"FF*2*3*4*5*6*7*8*(1, 2)\0"s, "FF|2|3|4|5|(1, 2)", 3, "(1, 2)"},
        {"F\0F*2*3*4\0\0junk*5*(6, 7)\0"s, "F|2|3|4|5|(6, 7)", 0, "(6, 7)"},
        {"FF*2*3*4*5*(6, 7)\0*(8, 9)"s, "FF|2|3|4|5|(8, 9)", 1, "(8, 9)"},
        {"******", "|||||", 1, std::nullopt},
        {"", "65|11|12|13|14|", 0, std::nullopt},
        {"FF*2*3*4*5*...", "FF|2|3|4|5|...", 0, std::nullopt},
        {"FF*2*3*4*5*(", "FF|2|3|4|5|(", 0, std::nullopt}};
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::PrintToString(c.bytes));
        User user;
        user.view.type(TextField::q, "65");
        user.state.readInputs(user.view);
        const std::vector<TextField> fields{TextField::q,  TextField::A,  TextField::B,
                                            TextField::Px, TextField::Py, TextField::Pb};
        for (std::size_t i = 0; i < fields.size(); ++i) {
            user.view.type(fields[i], i == 0 ? "65" : i < 5 ? std::to_string(10 + i) : "...");
        }
        user.view.type(TextField::a, "9");
        user.view.clearEvents();
        user.open("in.public", c.bytes);

        std::string after = user.view.text(TextField::q);
        for (std::size_t i = 1; i < fields.size(); ++i) {
            after += "|" + user.view.text(fields[i]);
        }
        EXPECT_EQ(after, c.fieldsAfter);
        EXPECT_EQ(user.view.messages(),
                  std::vector<ViewEvent>(c.tooMuchDataMessages,
                                         ViewEvent::message("For meget data", "Wierdness",
                                                            MessageIcon::warning)));
        EXPECT_EQ(user.view.text(TextField::a), "9") << "a load of public data never touches a";
        if (c.PbAfter) {
            EXPECT_EQ(user.state.Pb().toText(), *c.PbAfter);
        }
    }
}

TEST(ExchangeFiles, SecretLoadPutsTheTextUpToItsFirstNulIntoA) {
    for (const auto& [bytes, shown] : std::vector<std::pair<std::string, std::string>>{
             {"1A2B", "1A2B"}, {"", ""}, {"1A\r\n", "1A\r\n"}, {"12\0 34"s, "12"}, {"1*2", "1*2"}}) {
        SCOPED_TRACE(::testing::PrintToString(bytes));
        User user;
        user.view.type(TextField::a, "before");
        user.open("in.secret", bytes);
        EXPECT_THAT(user.view.events(), ElementsAre(ViewEvent::write(TextField::a, shown)));
    }
}

// The digit value of any byte, as the number parser takes it.
unsigned digitValue(unsigned char c) {
    unsigned d = (c - 0x30u) & 0xFFu;
    if (d >= 10) {
        d = (d - 7u) & 0xFFu;
        if (d >= 16) {
            d = (d - 32u) & 0xFFu;
        }
    }
    return d;
}

TEST(ExchangeFiles, SecretEndingInALineEndChangesA) {
    User user;
    user.open("in.secret", "1A\r\n");
    user.state.updatePaPab(user.view);
    mpz_class expected = 0;
    for (const char c : std::string("1A\r\n")) {
        expected = expected * 16 + digitValue(static_cast<unsigned char>(c));
    }
    EXPECT_EQ(user.view.text(TextField::a), kxtest::toHexText(expected));
    EXPECT_NE(user.view.text(TextField::a), "1A");
}

// Each user draws a secret, saves its public data and opens the other's; both reach a*b*G.
class TwoUsersTest : public ::testing::TestWithParam<kxtest::CurveText> {};

TEST_P(TwoUsersTest, BothReachTheSameSharedPoint) {
    const kxtest::CurveText& curve = GetParam();
    ASSERT_TRUE(curve.oracle().isOnCurve(curve.basePoint())) << "the base point is mistyped";
    const std::uint64_t seed = kxtest::testSeed();
    SCOPED_TRACE("KX_TEST_SEED=" + std::to_string(seed));
    User alice(seed);
    User bob(seed + 1);
    for (User* user : {&alice, &bob}) {
        kxtest::typeCurve(user->view, curve);
        user->state.generateSecret(user->view);
        user->saved(app::savePublicData);
    }
    alice.open("in.public", kxtest::readFile(bob.dir / "out"));
    bob.open("in.public", kxtest::readFile(alice.dir / "out"));
    for (User* user : {&alice, &bob}) {
        user->state.updatePaPab(user->view);
        EXPECT_THAT(user->view.messages(), IsEmpty());
    }
    EXPECT_EQ(alice.view.text(TextField::Pb), bob.view.text(TextField::Pa));
    EXPECT_EQ(bob.view.text(TextField::Pb), alice.view.text(TextField::Pa));
    EXPECT_EQ(alice.view.text(TextField::Pab), bob.view.text(TextField::Pab));

    const mpz_class a = kxtest::fromHexText(alice.view.text(TextField::a));
    const mpz_class b = kxtest::fromHexText(bob.view.text(TextField::a));
    EXPECT_LT(a, kxtest::fromHexText(curve.q));
    const kxtest::OraclePoint abG = curve.oracle().multiply(a * b, curve.basePoint());
    EXPECT_FALSE(abG.atInfinity);
    EXPECT_EQ(alice.view.text(TextField::Pab), kxtest::pointText(abG));
}

INSTANTIATE_TEST_SUITE_P(Curves, TwoUsersTest,
                         ::testing::Values(kxtest::testCurve, kxtest::secp256r1),
                         kxtest::CaseName());

}  // namespace
