#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <map>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

#include "app/ExchangeFiles.h"
#include "app/FailureReport.h"
#include "app/KeyExchange.h"
#include "tests/support/Fakes.h"
#include "tests/support/SmallCurve.h"
#include "tests/support/Support.h"

namespace kxtest {
namespace {

using app::TextField;
using testing::ElementsAre;
using testing::IsEmpty;
using namespace std::string_literals;

const std::string offCurve = FakeView::message("Det indtastede punkt findes ikke p\xE5 kurven", "Fejl!");
const std::string receivedOffCurve =
    FakeView::message("Det modtagne punkt Pb findes ikke p\xE5 kurven", "Fejl!");
const std::string tooMuchData =
    FakeView::message("For meget data", "Wierdness", app::MessageIcon::warning);
const std::string saveFailed =
    FakeView::message("Filen kunne ikke gemmes", "Fejl!", app::MessageIcon::warning);

// One student: the state, the window's fields, the file dialog and a folder of files.
struct User {
    explicit User(std::uint64_t seed = 7) : random(seed) {}
    void typeTestCurve(const std::string& a) {
        for (const auto& [field, value] : {std::pair{TextField::q, testCurve.q}, {TextField::A, testCurve.A},
                                            {TextField::B, testCurve.B}, {TextField::Px, testPoint.x},
                                            {TextField::Py, testPoint.y}}) {
            view.type(field, hexText(value));
        }
        view.type(TextField::a, a);
    }
    std::string saved(void (*save)(app::KeyExchangeView&, app::FileChooser&)) {
        chooser.willAnswer(dir / "out");
        save(view, chooser);
        return readFile(dir / "out");
    }
    void open(const std::string& name, const std::string& bytes) {
        writeFile(dir / name, bytes);
        chooser.willAnswer(dir / name);
        name.ends_with(".secret") ? app::openSecretKey(view, chooser)
                                  : app::openPublicData(state, view, chooser);
    }
    std::set<std::string> files() const {
        std::set<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator(dir.path())) {
            names.insert(entry.path().filename().string());
        }
        return names;
    }

    TempDir dir;
    SeededRandom random;
    app::KeyExchange state{random};
    FakeView view;
    FakeChooser chooser;
};

std::vector<std::string> writes(const std::vector<std::string>& texts) {
    std::vector<std::string> log;
    for (std::size_t i = 0; i < texts.size(); ++i) {
        log.push_back(std::string(fieldNames[i]) + "=" + texts[i]);
    }
    return log;
}

TEST(KeyExchange, StartAndTestValuesAreShownInFieldOrder) {
    User user;
    user.state.showState(user.view);
    user.view.type(TextField::a, "5");  // typed, never read: the state's a is shown
    user.state.useTestValues(user.view);
    std::vector<std::string> expected = writes({"0", "0", "0", "0", "0", "0", "(uendelig)",
                                                "(uendelig)", "(uendelig)"});
    for (const std::string& entry :
         writes({"725F8E91CC4087", "3B5AF16DF11649", "40B77BE2CBBEDC", "6C4AE1678418BE",
                 "10695272AE2CD6", "0", "(uendelig)", "(uendelig)", "(uendelig)"})) {
        expected.push_back(entry);
    }
    EXPECT_EQ(user.view.log, expected);
    EXPECT_TRUE(user.state.P().atInfinity()) << "the test values do not make P affine";
}

// Pa = a P for secrets typed in any case, none reduced; A typed in any form is shown reduced.
TEST(KeyExchange, UpdateShowsPaAndTheInputsCanonicallyAndReduced) {
    User user;
    for (const std::string& a : {""s, "1"s, "2"s, "ffff"s, "725f8e91cc4086"s,
                                 "725F8E91CC4087"s, "000033193ea4f98521c0cbd3d56bc738"s}) {
        user.typeTestCurve(a);
        user.state.updatePaPab(user.view);
        EXPECT_EQ(user.view.text(TextField::Pa), pointText(testCurve.multiply(a, testPoint))) << a;
        EXPECT_EQ(user.view.text(TextField::Pab), "(uendelig)");
    }
    EXPECT_EQ(user.view.text(TextField::a), "33193EA4F98521C0CBD3D56BC738");
    EXPECT_THAT(user.view.messages(), IsEmpty());
    for (const auto& [typed, shown] : {std::pair{"00ff"s, "FF"s}, {""s, "0"s}, {"725F8E91CC4087"s, "0"s},
                                       {"E4BF1D2398810E"s, "0"s}, {"725F8E91CC4097"s, "10"s}}) {
        user.view.type(TextField::A, typed);
        user.state.updatePaPab(user.view);
        EXPECT_EQ(user.view.text(TextField::A), shown) << typed;
    }
}

// P or a received Pb off the curve is reported after the inputs are rewritten, and the update
// goes on with the points as they are.
TEST(KeyExchange, OffCurvePointsAreReportedAndTheUpdateGoesOn) {
    const std::string Pb = "(6C4AE1678418BE, 1)";
    const std::tuple<const char*, std::string, std::vector<std::string>> cases[] = {
        {"10695272AE2CD6", "(uendelig)", {}},
        {"10695272AE2CD7", "(uendelig)", {offCurve}},
        {"10695272AE2CD6", Pb, {receivedOffCurve}},
        {"1", Pb, {offCurve, receivedOffCurve}}};
    for (const auto& [Py, PbText, messages] : cases) {
        User user;
        user.typeTestCurve("2");
        user.view.type(TextField::Py, Py);
        user.state.readInputs(user.view);
        user.state.Pb().fromText(PbText);
        user.view.log.clear();
        user.state.updatePaPab(user.view);
        std::vector<std::string> shown{"725F8E91CC4087", "3B5AF16DF11649", "40B77BE2CBBEDC",
                                       "6C4AE1678418BE", Py, "2", "(uendelig)", PbText,
                                       "(uendelig)"};
        std::vector<std::string> expected;
        if (!messages.empty()) {
            expected = writes(shown);
            expected.insert(expected.end(), messages.begin(), messages.end());
        }
        const auto twice = [&](const std::string& y, const std::string& x) {
            const AffinePoint p{false, std::stoull(x, nullptr, 16), std::stoull(y, nullptr, 16)};
            return pointText(testCurve.add(p, p));
        };
        shown[6] = twice(Py, "6C4AE1678418BE");
        shown[8] = PbText == Pb ? twice("1", "6C4AE1678418BE") : "(uendelig)";
        for (const std::string& entry : writes(shown)) {
            expected.push_back(entry);
        }
        EXPECT_EQ(user.view.log, expected) << Py << " " << PbText;
    }
}

TEST(KeyExchange, ClearAllLeavesZerosAndPointsAtInfinityWithoutAMessage) {
    User user;
    user.typeTestCurve("5");
    user.state.updatePaPab(user.view);
    user.state.Pb().fromText("(6C4AE1678418BE, 10695272AE2CD6)");
    user.state.updatePaPab(user.view);
    user.view.log.clear();
    user.state.clearAll(user.view);
    EXPECT_EQ(user.view.texts(), (std::array<std::string, 9>{"0", "0", "0", "0", "0", "0", "(uendelig)",
                                                             "(uendelig)", "(uendelig)"}));
    EXPECT_THAT(user.view.messages(), IsEmpty());
}

// A drawn secret is below q for any q, every value below a small q comes up, and the typed
// secret gives way to the draw.
TEST(KeyExchange, GeneratedSecretsAreBelowQAndCoverSmallModuli) {
    std::mt19937_64 random(testSeed());
    std::map<std::uint64_t, std::set<std::uint64_t>> seen;
    for (std::size_t i = 0; i < testIterations(1000); ++i) {
        const std::uint64_t q = i % 2 == 0 ? 1 + i % 4 : 1 + random() % (1ULL << (1 + i % 62));
        User user(random());
        user.view.type(TextField::q, hexText(q));
        user.view.type(TextField::a, hexText(q));
        user.state.generateSecret(user.view);
        const std::uint64_t a = std::stoull(user.view.text(TextField::a), nullptr, 16);
        EXPECT_LT(a, q);
        if (q <= 4) {
            seen[q].insert(a);
        }
    }
    for (const auto& [q, values] : seen) {
        EXPECT_EQ(values.size(), q) << "not every value below " << q << " came up";
    }
}

TEST(ExchangeFiles, EachFileHoldsExactlyItsFieldTexts) {
    const std::tuple<void (*)(app::KeyExchangeView&, app::FileChooser&), std::vector<std::pair<TextField, std::string>>, std::string> cases[] = {
        {app::savePublicData, {}, "*****...\0"s},
        {app::savePublicData,
         {{TextField::q, "00ff"}, {TextField::A, "x*y"}, {TextField::Py, "12\0 34"s}, {TextField::Pa, "(1, 2)"}},
         "00ff*x*y***12*(1, 2)\0"s},
        {app::saveSecretKey, {{TextField::a, "0x1a\r\n"}}, "0x1a\r\n"},
        {app::saveSecretKey, {}, ""},
        {app::saveSecretKey, {{TextField::a, "AB\0CD"s}}, "AB"},
        {app::saveSharedKey, {{TextField::Pab, "(6C4AE1678418BE, 1)"}}, "(6C4AE1678418BE, 1)"}};
    for (const auto& [save, typed, bytes] : cases) {
        User user;
        for (const auto& [field, text] : typed) {
            user.view.type(field, text);
        }
        EXPECT_EQ(user.saved(save), bytes);
        EXPECT_EQ(user.files(), std::set<std::string>{"out"});
        EXPECT_THAT(user.view.log, IsEmpty());
    }
}

TEST(ExchangeFiles, EachCommandAsksWithItsFiltersAndACancelChangesNothing) {
    const std::tuple<std::function<void(User&)>, app::FileDialogKind, std::string, std::string> cases[] = {
        {[](User& u) { app::savePublicData(u.view, u.chooser); }, app::FileDialogKind::save, "Offentlig data (*.public)", "All Files (*.*)"},
        {[](User& u) { app::openPublicData(u.state, u.view, u.chooser); }, app::FileDialogKind::open, "Offentlig data (*.public)", "All files (*.*)"},
        {[](User& u) { app::saveSecretKey(u.view, u.chooser); }, app::FileDialogKind::save, "Hemmelige n\xF8gler (*.secret)", "All Files (*.*)"},
        {[](User& u) { app::openSecretKey(u.view, u.chooser); }, app::FileDialogKind::open, "Hemmelige n\xF8gler (*.secret)", "All Files (*.*)"},
        {[](User& u) { app::saveSharedKey(u.view, u.chooser); }, app::FileDialogKind::save, "F\xE6lles hemmelige n\xF8gler (*.comkey)", "All Files (*.*)"}};
    for (const auto& [run, kind, description, allFiles] : cases) {
        User user;
        run(user);
        ASSERT_EQ(user.chooser.requests.size(), 1U);
        const app::FileDialogOptions& asked = user.chooser.requests[0];
        const std::string pattern = description.substr(description.find('('));
        EXPECT_EQ(asked.kind, kind);
        EXPECT_EQ(asked.filters[0].description, description);
        EXPECT_EQ("(" + std::string(asked.filters[0].pattern) + ")", pattern);
        EXPECT_EQ(asked.filters[1].description, allFiles);
        EXPECT_EQ(asked.filters[1].pattern, "*.*");
        EXPECT_EQ("(*." + std::string(asked.defaultExtension) + ")", pattern);
        EXPECT_THAT(user.view.log, IsEmpty());
        EXPECT_THAT(user.files(), IsEmpty());
    }
}

// The state's q is 65 from earlier input: Pb is parsed modulo the q the load leaves in the field.
TEST(ExchangeFiles, PublicDataIsSplitAtEachSeparator) {
    const std::tuple<std::string, std::string, std::size_t, std::string> cases[] = {
        {"FF*2*3*4*5*(70, 71)\0"s, "FF|2|3|4|5|(70, 71)", 0, "(70, 71)"},
        {"(70, 71)", "65|11|12|13|14|(70, 71)", 0, "(B, C)"},
        {"FF*2*3*(6, 7)", "FF|2|3|13|14|(6, 7)", 0, "(6, 7)"},
        {"FF*2*3*4*5*6*7*8*(1, 2)\0"s, "FF|2|3|4|5|(1, 2)", 3, "(1, 2)"},
        {"F\0F*2*3*4\0\0junk*5*(6, 7)\0"s, "F|2|3|4|5|(6, 7)", 0, "(6, 7)"},
        {"FF*2*3*4*5*(6, 7)\0*(8, 9)"s, "FF|2|3|4|5|(8, 9)", 1, "(8, 9)"},
        {"1*2*3*4*5*(uendelig)", "1|2|3|4|5|(uendelig)", 0, "(uendelig)"}};
    for (const auto& [bytes, fields, extraSeparators, Pb] : cases) {
        User user;
        user.view.type(TextField::q, "65");
        user.state.readInputs(user.view);
        for (const auto& [field, text] : {std::pair{TextField::A, "11"}, {TextField::B, "12"},
                                          {TextField::Px, "13"}, {TextField::Py, "14"}, {TextField::a, "9"}}) {
            user.view.type(field, text);
        }
        user.view.log.clear();
        user.open("in.public", bytes);
        std::string shown = user.view.text(TextField::q);
        for (const TextField field : {TextField::A, TextField::B, TextField::Px, TextField::Py, TextField::Pb}) {
            shown += "|" + user.view.text(field);
        }
        EXPECT_EQ(shown, fields);
        EXPECT_EQ(user.view.messages(), std::vector<std::string>(extraSeparators, tooMuchData));
        EXPECT_EQ(user.view.text(TextField::a), "9");
        EXPECT_STREQ(user.state.Pb().toText(), Pb.c_str());
    }
    User user;
    user.view.type(TextField::a, "before");
    user.open("in.secret", "12\0 34"s);
    EXPECT_THAT(user.view.log, ElementsAre("a=12"));
}

// Each student draws a secret, saves public data and opens the other's: both reach the same
// shared point, on the test curve and on secp256r1, and save it alike.
TEST(ExchangeFiles, TwoStudentsReachTheSameSharedPoint) {
    const std::array<std::string, 5> p256{
        "FFFFFFFF00000001000000000000000000000000FFFFFFFFFFFFFFFFFFFFFFFF",
        "FFFFFFFF00000001000000000000000000000000FFFFFFFFFFFFFFFFFFFFFFFC",
        "5AC635D8AA3A93E7B3EBBD55769886BC651D06B0CC53B0F63BCE3C3E27D2604B",
        "6B17D1F2E12C4247F8BCE6E563A440F277037D812DEB33A0F4A13945D898C296",
        "4FE342E2FE1A7F9B8EE7EB4A7C0F9E162BCE33576B315ECECBB6406837BF51F5"};
    for (const bool realCurve : {false, true}) {
        User anna(testSeed()), bo(testSeed() + 1);
        for (User* user : {&anna, &bo}) {
            user->typeTestCurve("");
            for (std::size_t i = 0; realCurve && i < p256.size(); ++i) {
                user->view.type(app::allTextFields[i], p256[i]);
            }
            user->state.generateSecret(user->view);
            writeFile(user->dir / "own.public", user->saved(app::savePublicData));
        }
        anna.open("bo.public", readFile(bo.dir / "own.public"));
        bo.open("anna.public", readFile(anna.dir / "own.public"));
        for (User* user : {&anna, &bo}) {
            user->state.updatePaPab(user->view);
            EXPECT_THAT(user->view.messages(), IsEmpty());
        }
        EXPECT_NE(anna.view.text(TextField::Pab), "(uendelig)");
        EXPECT_EQ(anna.view.text(TextField::Pab), bo.view.text(TextField::Pab));
        EXPECT_EQ(anna.saved(app::saveSharedKey), bo.saved(app::saveSharedKey));
    }
}

mode_t modeOf(const std::filesystem::path& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 ? info.st_mode & 0777 : 0;
}

// A save replaces the whole file or leaves the old one whole: keys owner-only whatever the
// umask, public data after the umask; a target that cannot be written, a write that fails part
// way (in a child process, under a file-size limit) and a leftover temporary file of an earlier
// crash.
TEST(FileSafety, SavesReplaceTheWholeFileOrNothing) {
    for (const auto& [save, ownerOnly] : {std::pair{&app::savePublicData, false},
                                          {&app::saveSecretKey, true}, {&app::saveSharedKey, true}}) {
        User user;
        for (const TextField field : {TextField::q, TextField::a, TextField::Pab}) {
            user.view.type(field, std::string(200, '7'));
        }
        writeFile(user.dir / "folder", "not a folder");
        for (const std::string target : {"folder/x", "missing/x", ""}) {
            user.chooser.willAnswer(user.dir / target);
            save(user.view, user.chooser);
        }
        EXPECT_EQ(user.view.messages(), std::vector<std::string>(3, saveFailed));
        const mode_t oldMask = ::umask(022);
        writeFile(user.dir / "old", std::string(5000, 'o'));
        ::chmod((user.dir / "old").c_str(), 0600);
        writeFile(user.dir / (".~kx" + std::to_string(::getpid()) + "-0.tmp"), "left over");
        user.chooser.willAnswer(user.dir / "old");
        save(user.view, user.chooser);
        ::umask(oldMask);
        EXPECT_EQ(readFile(user.dir / "old"), user.saved(save));
        EXPECT_EQ(modeOf(user.dir / "old"), ownerOnly ? 0600U : 0644U);
        const auto underLimit = [&] {
            std::signal(SIGXFSZ, SIG_IGN);
            const rlimit limit{64, 64};
            ::setrlimit(RLIMIT_FSIZE, &limit);
            user.view.log.clear();
            user.chooser.willAnswer(user.dir / "old");
            save(user.view, user.chooser);
            std::_Exit(user.view.log == std::vector<std::string>{saveFailed} ? 0 : 1);
        };
        const std::string before = readFile(user.dir / "old");
        EXPECT_EXIT(underLimit(), testing::ExitedWithCode(0), "");
        EXPECT_EQ(readFile(user.dir / "old"), before);
        EXPECT_EQ(user.files().size(), 4U) << "folder, old, out and the leftover; nothing new";
    }
}

// A missing file is silent; a file of exactly 16 MiB is read, one byte more is refused.
TEST(FileSafety, LoadsReadWholeFilesUpToTheLimit) {
    for (const std::string name : {"x.public", "x.secret"}) {
        User user;
        user.chooser.willAnswer(user.dir / "missing");
        name.ends_with(".secret") ? app::openSecretKey(user.view, user.chooser)
                                  : app::openPublicData(user.state, user.view, user.chooser);
        EXPECT_THAT(user.view.log, IsEmpty());
        user.open(name, std::string(16 << 20, '0'));
        EXPECT_THAT(user.view.messages(), IsEmpty());
        user.open(name, std::string((16 << 20) + 1, '0'));
        EXPECT_THAT(user.view.messages(), ElementsAre(tooMuchData));
    }
}

// Every message the arithmetic throws is told in Danish with what to check on a line of its own.
TEST(FailureReport, ArithmeticMessagesAreExplainedInDanish) {
    std::set<std::string> reports;
    for (const std::string message : {"Natural is not that big", "Natural not that big",
                                      "result would be negative", "divide by 0 error",
                                      "Modulus must be the same!"}) {
        const std::string report =
            app::failureReport(std::make_exception_ptr(std::invalid_argument(message)));
        EXPECT_THAT(report, testing::StartsWith("Beregningen blev afbrudt: ")) << message;
        EXPECT_THAT(report, testing::Not(testing::HasSubstr(message)));
        EXPECT_THAT(report.substr(report.find('\n') + 1), testing::StartsWith("Tjek")) << message;
        reports.insert(report);
    }
    EXPECT_EQ(reports.size(), 4U) << "only the two 'not that big' messages share a report";
    EXPECT_EQ(app::failureReport(std::make_exception_ptr(std::runtime_error("disk on fire"))),
              "Beregningen blev afbrudt: disk on fire");
}

}  // namespace
}  // namespace kxtest
