#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "app/ExchangeFiles.h"
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

const ViewEvent tooMuchData =
    ViewEvent::message("For meget data", "Wierdness", MessageIcon::warning);

class ExchangeFilesTest : public ::testing::Test {
  protected:
    void openPublic(const std::string& bytes) {
        kxtest::writeFile(dir / "in.public", bytes);
        chooser.willAnswer(dir / "in.public");
        app::openPublicData(state, view, chooser);
    }
    void openSecret(const std::string& bytes) {
        kxtest::writeFile(dir / "in.secret", bytes);
        chooser.willAnswer(dir / "in.secret");
        app::openSecretKey(view, chooser);
    }
    std::string savedPublicData() {
        chooser.willAnswer(dir / "out.public");
        app::savePublicData(view, chooser);
        return kxtest::readFile(dir / "out.public");
    }

    kxtest::TempDir dir;
    kxtest::ScriptedRandom random{{}};
    app::KeyExchange state{random};
    kxtest::FakeView view;
    kxtest::FakeChooser chooser;
};

TEST_F(ExchangeFilesTest, PublicDataHoldsTheSixTextsSeparatedAndTerminated) {
    state.useTestValues(view);
    view.type(TextField::a, "1");
    state.updatePaPab(view);
    const std::string expected =
        "725F8E91CC4087*3B5AF16DF11649*40B77BE2CBBEDC*6C4AE1678418BE*10695272AE2CD6*"
        "(6C4AE1678418BE, 10695272AE2CD6)\0"s;
    EXPECT_EQ(savedPublicData(), expected);
    EXPECT_EQ(expected.size(), 14u * 5 + 32 + 6);
    EXPECT_THAT(view.messages(), IsEmpty());
}

TEST_F(ExchangeFilesTest, PublicDataRightAfterStartIsNineBytes) {
    EXPECT_EQ(savedPublicData(), "*****...\0"s);
}

TEST_F(ExchangeFilesTest, PublicDataTakesFieldsAsTypedAndEndsEachAtItsNul) {
    view.type(TextField::q, "00ff");
    view.type(TextField::A, "x*y");  // a typed "*" becomes a separator
    view.type(TextField::Py, "12\0 34"s);
    view.type(TextField::Pa, "(uendelig)");
    EXPECT_EQ(savedPublicData(), "00ff*x*y***12*(uendelig)\0"s);
}

struct KeyFileCase {
    const char* name;
    TextField field;
    std::string text;
    std::string expectedBytes;

    friend void PrintTo(const KeyFileCase& c, std::ostream* out) { *out << c.name; }
};

class KeyFileTest : public ExchangeFilesTest, public ::testing::WithParamInterface<KeyFileCase> {};

TEST_P(KeyFileTest, HoldsExactlyTheFieldText) {
    const KeyFileCase& c = GetParam();
    view.type(c.field, c.text);
    chooser.willAnswer(dir / "out");
    if (c.field == TextField::a) {
        app::saveSecretKey(view, chooser);
    } else {
        app::saveSharedKey(view, chooser);
    }
    EXPECT_EQ(kxtest::readFile(dir / "out"), c.expectedBytes);
    EXPECT_EQ(dir.entries(), (std::set<std::string>{"out"}));
    EXPECT_THAT(view.events(), IsEmpty());
}

INSTANTIATE_TEST_SUITE_P(
    SecretAndShared, KeyFileTest,
    ::testing::Values(KeyFileCase{"Secret", TextField::a, "1A2B", "1A2B"},
                      KeyFileCase{"EmptySecret", TextField::a, "", ""},
                      KeyFileCase{"SecretAsTyped", TextField::a, "0x1a\r\n", "0x1a\r\n"},
                      KeyFileCase{"SecretEndsAtNul", TextField::a, "AB\0CD"s, "AB"},
                      KeyFileCase{"SharedInfinity", TextField::Pab, "(uendelig)", "(uendelig)"},
                      KeyFileCase{"SharedPoint", TextField::Pab, "(6C4AE1678418BE, 10695272AE2CD6)",
                                  "(6C4AE1678418BE, 10695272AE2CD6)"},
                      KeyFileCase{"EmptyShared", TextField::Pab, "", ""},
                      KeyFileCase{"SharedBeforeAnyCommand", TextField::Pab, "...", "..."}),
    kxtest::CaseName());

struct DialogCase {
    const char* name;
    std::function<void(app::KeyExchange&, kxtest::FakeView&, kxtest::FakeChooser&)> run;
    app::FileDialogKind kind;
    const char* firstDescription;
    const char* firstPattern;
    const char* secondDescription;
    const char* defaultExtension;

    friend void PrintTo(const DialogCase& c, std::ostream* out) { *out << c.name; }
};

class DialogTest : public ExchangeFilesTest, public ::testing::WithParamInterface<DialogCase> {};

// Cancelling is no failure: nothing is written, shown or changed.
TEST_P(DialogTest, AsksWithItsFiltersAndACancelChangesNothing) {
    const DialogCase& c = GetParam();
    chooser.willCancel();
    c.run(state, view, chooser);

    ASSERT_EQ(chooser.requests().size(), 1u);
    const app::FileDialogOptions& asked = chooser.requests().front();
    EXPECT_EQ(asked.kind, c.kind);
    EXPECT_EQ(asked.filters[0].description, c.firstDescription);
    EXPECT_EQ(asked.filters[0].pattern, c.firstPattern);
    EXPECT_EQ(asked.filters[1].description, c.secondDescription);
    EXPECT_EQ(asked.filters[1].pattern, "*.*");
    EXPECT_EQ(asked.defaultExtension, c.defaultExtension);

    EXPECT_THAT(view.events(), IsEmpty());
    EXPECT_THAT(dir.entries(), IsEmpty());
    EXPECT_TRUE(state.Pb().atInfinity());
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(FiveCommands, DialogTest, ::testing::Values(
    DialogCase{"SavePublic", [](auto&, auto& v, auto& c) { app::savePublicData(v, c); },
               app::FileDialogKind::save, "Offentlig data (*.public)", "*.public", "All Files (*.*)",
               "public"},
    DialogCase{"OpenPublic", [](auto& s, auto& v, auto& c) { app::openPublicData(s, v, c); },
               app::FileDialogKind::open, "Offentlig data (*.public)", "*.public", "All files (*.*)",
               "public"},
    DialogCase{"SaveSecret", [](auto&, auto& v, auto& c) { app::saveSecretKey(v, c); },
               app::FileDialogKind::save, "Hemmelige n\xF8gler (*.secret)", "*.secret",
               "All Files (*.*)", "secret"},
    DialogCase{"OpenSecret", [](auto&, auto& v, auto& c) { app::openSecretKey(v, c); },
               app::FileDialogKind::open, "Hemmelige n\xF8gler (*.secret)", "*.secret",
               "All Files (*.*)", "secret"},
    DialogCase{"SaveShared", [](auto&, auto& v, auto& c) { app::saveSharedKey(v, c); },
               app::FileDialogKind::save, "F\xE6lles hemmelige n\xF8gler (*.comkey)", "*.comkey",
               "All Files (*.*)", "comkey"}),
    kxtest::CaseName());
// clang-format on

// What a ".public" file of a given shape does to the fields and messages. The fields start with
// texts no file below holds, so every field that a load leaves alone can be seen.
struct PublicLoadCase {
    const char* name;
    std::string bytes;
    std::string fieldsAfter;  // q|A|B|Px|Py|Pb
    int tooMuchDataMessages;
    std::optional<std::string> PbAfter;  // the state's Pb as point text, when it is settled

    friend void PrintTo(const PublicLoadCase& c, std::ostream* out) { *out << c.name; }
};

class PublicLoadTest : public ExchangeFilesTest,
                       public ::testing::WithParamInterface<PublicLoadCase> {};

TEST_P(PublicLoadTest, SplitsAtEachSeparator) {
    const PublicLoadCase& c = GetParam();
    const std::vector<TextField> fields{TextField::A, TextField::B, TextField::Px, TextField::Py,
                                        TextField::Pb};
    view.type(TextField::q, "65");
    view.type(TextField::A, "11");
    view.type(TextField::B, "12");
    view.type(TextField::Px, "13");
    view.type(TextField::Py, "14");
    view.type(TextField::Pb, "...");
    openPublic(c.bytes);

    std::string after = view.text(TextField::q);
    for (const TextField field : fields) {
        after += "|" + view.text(field);
    }
    EXPECT_EQ(after, c.fieldsAfter);
    EXPECT_EQ(view.messages(),
              std::vector<ViewEvent>(static_cast<std::size_t>(c.tooMuchDataMessages), tooMuchData));
    EXPECT_EQ(view.text(TextField::a), "") << "a load of public data never touches a";
    if (c.PbAfter) {
        EXPECT_EQ(state.Pb().toText(), *c.PbAfter);
    }
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(Shapes, PublicLoadTest, ::testing::Values(
    PublicLoadCase{"FiveSeparators", "FF*2*3*4*5*(6, 7)\0"s, "FF|2|3|4|5|(6, 7)", 0, "(6, 7)"},
    PublicLoadCase{"NoTerminator", "FF*2*3*4*5*(6, 7)", "FF|2|3|4|5|(6, 7)", 0, "(6, 7)"},
    PublicLoadCase{"NoSeparatorOnlyPb", "(1A, 1B)", "65|11|12|13|14|(1A, 1B)", 0, "(1A, 1B)"},
    PublicLoadCase{"ThreeSeparatorsKeepTheRest", "FF*2*3*(6, 7)", "FF|2|3|13|14|(6, 7)", 0, "(6, 7)"},
    PublicLoadCase{"SixSeparatorsDropTheSixthText", "1*2*3*4*5*6*(uendelig)", "1|2|3|4|5|(uendelig)",
                   1, "(uendelig)"},
    PublicLoadCase{"EightSeparatorsThreeMessages", "FF*2*3*4*5*6*7*8*(1, 2)\0"s, "FF|2|3|4|5|(1, 2)",
                   3, "(1, 2)"},
    PublicLoadCase{"NulCutsAFieldShort", "F\0F*2*3*4\0\0junk*5*(6, 7)\0"s, "F|2|3|4|5|(6, 7)", 0,
                   "(6, 7)"},
    PublicLoadCase{"ScanGoesOnAfterANul", "FF*2*3*4*5*(6, 7)\0*(8, 9)"s, "FF|2|3|4|5|(8, 9)", 1,
                   "(8, 9)"},
    PublicLoadCase{"AllSeparators", "******", "|||||", 1, std::nullopt},
    PublicLoadCase{"EmptyFile", "", "65|11|12|13|14|", 0, std::nullopt},
    PublicLoadCase{"LastFieldShorterThanPointText", "FF*2*3*4*5*...", "FF|2|3|4|5|...", 0, std::nullopt},
    PublicLoadCase{"LastFieldOneByte", "FF*2*3*4*5*(", "FF|2|3|4|5|(", 0, std::nullopt}),
    kxtest::CaseName());
// clang-format on

TEST_F(ExchangeFilesTest, ReceivedPointIsReducedByTheLoadedCurveNotAnEarlierSmallerQ) {
    view.type(TextField::q, "17");
    state.readInputs(view);
    ASSERT_EQ(state.q().toHex(), std::string("17"));

    const std::string received = "(6C4AE1678418BE, 10695272AE2CD6)";
    openPublic("725F8E91CC4087*3B5AF16DF11649*40B77BE2CBBEDC*6C4AE1678418BE*10695272AE2CD6*" +
               received + "\0"s);
    EXPECT_EQ(state.Pb().toText(), received);

    view.type(TextField::a, "1");
    state.updatePaPab(view);
    EXPECT_EQ(view.text(TextField::Pb), received);
    EXPECT_EQ(view.text(TextField::Pab), received);
    EXPECT_THAT(view.messages(), IsEmpty());
}

TEST_F(ExchangeFilesTest, ReceivedPointIsReducedByTheQFieldAfterTheLoad) {
    view.type(TextField::q, "1D");
    openPublic("(20, 21)");  // no separators: the q field keeps 1D
    EXPECT_EQ(state.Pb().toText(), std::string("(3, 4)"));
}

struct SecretLoadCase {
    const char* name;
    std::string bytes;
    std::string fieldAfter;

    friend void PrintTo(const SecretLoadCase& c, std::ostream* out) { *out << c.name; }
};

class SecretLoadTest : public ExchangeFilesTest,
                       public ::testing::WithParamInterface<SecretLoadCase> {};

TEST_P(SecretLoadTest, PutsTheTextUpToItsFirstNulIntoA) {
    const SecretLoadCase& c = GetParam();
    view.type(TextField::a, "before");
    openSecret(c.bytes);
    EXPECT_EQ(view.text(TextField::a), c.fieldAfter);
    EXPECT_THAT(view.events(), ElementsAre(ViewEvent::write(TextField::a, c.fieldAfter)));
}

INSTANTIATE_TEST_SUITE_P(Contents, SecretLoadTest,
                         ::testing::Values(SecretLoadCase{"Plain", "1A2B", "1A2B"},
                                           SecretLoadCase{"Empty", "", ""},
                                           SecretLoadCase{"LineEnd", "1A\r\n", "1A\r\n"},
                                           SecretLoadCase{"NulInside", "12\0 34"s, "12"},
                                           SecretLoadCase{"Separators", "1*2", "1*2"}),
                         kxtest::CaseName());

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

TEST_F(ExchangeFilesTest, SecretEndingInALineEndChangesA) {
    openSecret("1A\r\n");
    state.updatePaPab(view);
    mpz_class expected = 0;
    for (const char c : std::string("1A\r\n")) {
        expected = expected * 16 + digitValue(static_cast<unsigned char>(c));
    }
    EXPECT_EQ(view.text(TextField::a), kxtest::toHexText(expected));
    EXPECT_NE(view.text(TextField::a), "1A");
}

TEST_F(ExchangeFilesTest, EmptySecretRoundTripsToZero) {
    chooser.willAnswer(dir / "k.secret");
    app::saveSecretKey(view, chooser);
    view.type(TextField::a, "77");
    chooser.willAnswer(dir / "k.secret");
    app::openSecretKey(view, chooser);
    EXPECT_EQ(view.text(TextField::a), "");
    state.updatePaPab(view);
    EXPECT_EQ(view.text(TextField::a), "0");
}

TEST_F(ExchangeFilesTest, SecretFileAsPublicDataOnlyChangesPb) {
    view.type(TextField::q, "65");
    view.type(TextField::a, "9");
    openPublic("1A2B");
    EXPECT_THAT(view.events(), ElementsAre(ViewEvent::write(TextField::Pb, "1A2B")));
}

}  // namespace
