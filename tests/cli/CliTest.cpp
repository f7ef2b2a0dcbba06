// keyexchange-cli in-process, on files written here, against the curve oracle; and the bad inputs
// of the window and the command line side by side.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <bit>
#include <csignal>
#include <random>
#include <regex>
#include <set>
#include <sstream>

#include "app/ExchangeFormats.h"
#include "cli/CommandLine.h"
#include "cli/Terminal.h"
#include "gui/WindowLayout.h"
#include "tests/support/Fakes.h"
#include "tests/support/GpCurves.h"
#include "tests/support/SmallCurve.h"
#include "tests/support/Support.h"

namespace kxtest {
namespace {

using app::TextField;

struct Outcome {
    int status;
    std::string out, err;
};
// What keyexchange-cli gives for the arguments; its stderr goes to errTo instead, when given.
Outcome cli(const std::vector<std::string>& args, std::ostream* errTo = nullptr) {
    const std::vector<std::string_view> views(args.begin(), args.end());
    std::ostringstream out, err;
    SeededRandom random(testSeed());
    const int status = cli::runCli(views, out, errTo != nullptr ? *errTo : err, random, false);
    return {status, out.str(), err.str()};
}
// Composite, and a strong pseudoprime to every prime base up to 31: random bases catch it.
constexpr SmallCurve composite{3825123056546413051, 5, 3825123056546413051 - 5};
const std::string verdicts = "55 bit; q er et primtal: ja; kurven er ikke-singul\xC3\xA6r: ja; ";
const std::string onCurve = "P ligger p\xC3\xA5 kurven: ";
const std::string PaOnCurve = "; Pa ligger p\xC3\xA5 kurven: ja";

TEST(Cli, CheckGivesEachVerdictAndFailsOnAnyNo) {
    TempDir dir;
    const AffinePoint unit{false, 1, 1}, offCurve{false, testPoint.x, testPoint.y + 1},
        Pa = testCurve.multiply("1F2E", testPoint);
    const std::array<std::string, 3> rows[] = {
        {"sound", publicData(testCurve, testPoint, Pa), verdicts + onCurve + "ja" + PaOnCurve},
        {"offcurve", publicData(testCurve, offCurve, Pa), verdicts + onCurve + "nej" + PaOnCurve},
        {"composite", publicData(composite, unit, unit),
         "62 bit; q er et primtal: nej; kurven er ikke-singul\xC3\xA6r: ja; " + onCurve + "ja" +
             PaOnCurve},
        {"singular", publicData({5, 0, 0}, {false, 4, 2}, {false, 1, 1}),  // y^2 = x^3
         "3 bit; q er et primtal: ja; kurven er ikke-singul\xC3\xA6r: nej; " + onCurve + "ja" +
             PaOnCurve},
        {"two", publicData({2, 1, 1}, {false, 0, 1}, {false, 0, 1}),  // 4A^3 + 27B^2 is odd
         "2 bit; q er et primtal: ja; kurven er ikke-singul\xC3\xA6r: nej; " + onCurve + "ja" +
             PaOnCurve},
    };
    std::vector<std::string> args{"check"};
    std::string expected;
    for (const auto& [file, bytes, verdict] : rows) {
        writeFile(dir / file, bytes);
        args.push_back((dir / file).string());
        expected += args.back() + ": " + verdict + "\n";
        EXPECT_EQ(cli({"check", args.back()}).status, file == "sound" ? 0 : 1) << file;
    }
    EXPECT_EQ(cli(args).out, expected) << "seed " << testSeed();
}

// Whether a trace's slope cell is the slope of the line through l and r whose third point
// reflected is sum, or "-" exactly for a sum that needs no line.
bool slopeFits(const SmallCurve& c, const std::string& cell, const AffinePoint& l,
               const AffinePoint& r, const AffinePoint& sum) {
    const bool noLine = l.atInfinity || r.atInfinity || sum.atInfinity;
    const std::uint64_t s = noLine ? 0 : std::stoull(cell, nullptr, 16),
                        x = c.minus(c.times(s, s), l.x + r.x);
    return noLine ? cell == "-" : x == sum.x && c.minus(c.times(s, c.minus(l.x, x)), l.y) == sum.y;
}

TEST(Cli, TraceRowsAreTheOraclesStepsAndSharedIsWhereTheyEnd) {
    TempDir dir;
    const std::tuple<SmallCurve, AffinePoint, std::uint64_t> cases[] = {
        {{0x17, 1, 1}, {false, 3, 0xA}, 0xD},    // the worked example of the README
        {{0x3A, 1, 0x39}, {false, 1, 1}, 0x2D},  // even q: operator+ alone
        {testCurve, testPoint, testSeed() % testCurve.q | 1}};
    for (const auto& [c, P, a] : cases) {
        const std::string secret = (dir / "a.secret").string(), pub = (dir / "p.public").string();
        writeFile(secret, hexText(a));
        writeFile(pub, publicData(c, P, P));
        const Outcome run = cli({"trace", secret, pub, "--csv"});
        std::istringstream rows(run.out.substr(run.out.find('\n') + 1));  // past the headings
        std::string row, added, doubled, points;
        AffinePoint result, R = P;
        for (std::size_t i = 0; a >> i != 0; ++i) {
            const bool bit = (a >> i & 1) != 0, last = a >> i == 1;
            const AffinePoint before = result, Rbefore = R;
            result = bit ? c.add(result, R) : result, R = last ? R : c.add(R, R);
            const std::string head =
                std::to_string(i) + (bit ? ",1,ja," : ",0,nej,") + (last ? "nej," : "ja,");
            ASSERT_TRUE(std::getline(rows, row) && row.starts_with(head)) << row << run.err;
            std::istringstream cells(row.substr(head.size()));
            std::getline(std::getline(std::getline(cells, added, ','), doubled, ','), points);
            EXPECT_TRUE(bit ? slopeFits(c, added, before, Rbefore, result) : added == "-");
            EXPECT_TRUE(last ? doubled == "-" : slopeFits(c, doubled, Rbefore, Rbefore, R));
            EXPECT_EQ(points, "\"" + pointText(result) + "\",\"" + pointText(R) + "\"") << i;
        }
        EXPECT_FALSE(std::getline(rows, row));
        // The file's last point is P, so a shared key is where the trace ends; --expect compares.
        // The even q fails check, and so shared, which still gives the point.
        const std::string Pab = pointText(result), key = (dir / "k.comkey").string();
        const Outcome shared = cli({"shared", secret, pub});
        EXPECT_EQ(std::tie(shared.status, shared.out), std::make_tuple(c.q % 2 == 0 ? 1 : 0, Pab));
        for (const std::string& expected : {Pab, Pab + " ", Pab.substr(1)}) {
            writeFile(key, expected);
            EXPECT_EQ(cli({"shared", secret, pub, "--expect", key}).status,
                      expected != Pab || c.q % 2 == 0);
        }
    }
    const std::string a = hexText(testSeed()), Pa = pointText(testCurve.multiply(a, testPoint));
    EXPECT_TRUE(cli({"trace", "--test-values", a}).out.ends_with("Pa = a\xC2\xB7P = " + Pa + "\n"));
}

TEST(Cli, UsageErrorsAndUnreadableFilesExitTwoWithOneLine) {
    TempDir dir;
    const std::string secret = KX_TESTDATA_DIR "/curves.txt", missing = (dir / "nowhere").string();
    // clang-format off
    const std::vector<std::vector<std::string>> cases{
        {}, {"frobnicate"}, {"check"}, {"check", missing}, {"check", dir.path.string()},
        {"shared", secret}, {"shared", secret, secret, "--expect", missing}, {"trace", secret, missing},
        {"trace", "--test-values"}, {"trace", "--test-values", "1", "--expect", secret},
        {"trace", "--test-values", "1" + std::string(1024, '0')},  // a of 4097 bits
        {"attack"}, {"attack", missing}, {"attack", secret, secret, secret}, {"attack", secret, "--csv"},
        {"attack", secret, "--limit", "0"}, {"attack", secret, "--limit", "66x"}, {"check", secret, "--limit", "9"}};
    // clang-format on
    for (const auto& args : cases) {
        const Outcome run = cli(args);
        EXPECT_EQ(run.status, 2) << testing::PrintToString(args);
        const bool namesMissing = run.err.find(missing) != std::string::npos;  // in one line
        EXPECT_TRUE(std::count(run.err.begin(), run.err.end(), '\n') == 1 &&
                    namesMissing == (args.size() > 1 && args.back() == missing))
            << run.err;
    }
}

// The gp curve's public file with the given Pa, or P as Pa.
std::string gpFile(const GpCurve& gp, std::string Pa = {}) {
    return gp.q + "*" + gp.A + "*" + gp.B + "*" + gp.Px + "*" + gp.Py + "*" +
           (Pa.empty() ? "(" + gp.Px + ", " + gp.Py + ")" : Pa) + '\0';
}

// From one file Eve finds a' = a mod ord(P), with ord(P) and its primes as gp has them; from two
// files of one exchange also the Pab that shared computes from Anna's secret and Bo's file.
TEST(Cli, AttackFindsTheSecretAndTheSharedKey) {
    TempDir dir;
    std::mt19937_64 random(testSeed());
    const std::string anna = (dir / "anna.public").string(), bo = (dir / "bo.public").string(),
                      annaKey = (dir / "anna.secret").string();
    // The sanitizer build leaves out the orders whose largest prime takes 10^5 rho steps.
    for (const char* kind :
         sanitized ? std::vector<const char*>{"smooth", "primepower"}
                   : std::vector<const char*>{"testvalues", "prime", "smooth", "twoprime"}) {
        const GpCurve& gp = gpCurves().at(kind);
        const SmallCurve c = gp.small();
        const std::uint64_t n = std::stoull(gp.order, nullptr, 16), a = random() % (2 * n),
                            b = random() % c.q;
        SCOPED_TRACE(std::string(kind) + " a " + hexText(a) + " seed " +
                     std::to_string(testSeed()));
        writeFile(annaKey, hexText(a));
        writeFile(anna, publicData(c, gp.P(), c.multiply(hexText(a), gp.P())));
        writeFile(bo, publicData(c, gp.P(), c.multiply(hexText(b), gp.P())));
        const Outcome one = cli({"attack", anna}), two = cli({"attack", anna, bo});
        EXPECT_EQ(std::tie(one.status, two.status), std::make_tuple(0, 0)) << one.err << two.err;
        EXPECT_THAT(one.out, testing::HasSubstr("a' = " + hexText(a % n) + ", fundet"));
        const std::string primes = std::regex_replace(gp.primes, std::regex("\\*"), " \xC2\xB7 ");
        EXPECT_THAT(one.out,
                    testing::StartsWith("ord(P) = " + gp.order +
                                        (gp.primes == gp.order ? ", et primtal" : " = " + primes) +
                                        ", fundet p\xC3\xA5 "));
        // A line per prime power, in gp's order, with the prime's bits.
        std::istringstream lines(one.out.substr(one.out.find("(Pohlig-Hellman):\n") + 18));
        std::istringstream powers(gp.primes);
        for (std::string line, power;
             std::getline(powers, power, '*') && std::getline(lines, line);) {
            const std::string prime = power.substr(0, power.find('^')),
                              exponent = power.substr(prime.size());
            EXPECT_THAT(line, testing::MatchesRegex(
                                  "  " + prime + (exponent.empty() ? "" : "\\" + exponent) + " +" +
                                  std::to_string(std::bit_width(std::stoull(prime, nullptr, 16))) +
                                  " bit  (baby-step giant-step|Pollards rho|intet at s\xC3\xB8ge) +"
                                  "[0-9]+ trin  [0-9]+,[0-9][0-9] s"));
        }
        if (gp.kind == "testvalues") {  // ord(P) as gp gave it in decimal
            EXPECT_THAT(one.out, testing::HasSubstr("(i titalssystemet 32193213246242456 = 2^3 "
                                                    "\xC2\xB7 23 \xC2\xB7 43 \xC2\xB7 61 "
                                                    "\xC2\xB7 66703437083)\n"));
        }
        EXPECT_THAT(two.out, testing::EndsWith("Med Pb = Pa fra " + bo +
                                               " er Pab = a'\xC2\xB7Pb den "
                                               "n\xC3\xB8gle, de to tror er hemmelig:\nPab = " +
                                               cli({"shared", annaKey, bo}).out + "\n"));
    }
}

// Each way an attack fails has its own status and message on stderr, while stdout keeps what Eve
// found: ord(P), or the estimate, with its caveat where ord(P) is unknown.
TEST(Cli, AttackFailsWithItsReasonAndStatus) {
    TempDir dir;
    const AffinePoint twiceP = testCurve.add(testPoint, testPoint);
    // The group of torsion5 holds Z/5 x Z/5: (2, 9) lies on it, P's multiples have x = 3 and 1E.
    const std::map<std::string, std::string> files{
        {"nosuch", gpFile(gpCurves().at("torsion5"), "(2, 9)")},
        {"beyond", gpFile(gpCurves().at("beyond"))},
        {"smooth", gpFile(gpCurves().at("smooth"))},
        {"values", gpFile(gpCurves().at("testvalues"))},
        {"otherP", publicData(testCurve, twiceP, twiceP)},
        {"composite", publicData(composite, {false, 1, 1}, {false, 1, 1})},
        {"key", "1F2E"}};
    for (const auto& [name, bytes] : files) {
        writeFile(dir / name, bytes);
    }
    const std::string F = (dir / "").string(),
                      eveCannot = ": Eve kan ikke n\xC3\xA5 hemmeligheden.";
    const std::string notFromOneExchange =
        ": de er ikke fra samme udveksling, s\xC3\xA5 der er intet f\xC3\xA6lles Pab at finde\n";
    // clang-format off
    const std::tuple<std::vector<std::string>, int, std::string, std::string> rows[] = {
        {{"attack", F + "nosuch"}, 1, "ord(P) = 5, et primtal", "nosuch: Der findes intet a med a\xC2\xB7P = Pa: Pa er ikke et multiplum af P.\n"},
        {{"attack", F + "beyond"}, 1, ", hvis ordenen er et primtal p\xC3\xA5 st\xC3\xB8rrelse med q ", "beyond: q er mindst 2^80, s\xC3\xA5 ordenen af P kan ikke findes" + eveCannot + "\n"},
        {{"attack", F + "smooth", "--limit", "10"}, 1, " Eve med Pollards rho: omkring 2^5 trin, under et sekund p\xC3\xA5 denne maskine ", "smooth: Den st\xC3\xB8rste primfaktor i ord(P) har 11 bit, over gr\xC3\xA6nsen p\xC3\xA5 2^10" + eveCannot + " Tilvalget --limit BITS h\xC3\xA6ver gr\xC3\xA6nsen.\n"},
        {{"attack", F + "smooth", "--limit", "11"}, 0, "a' = 1, fundet", ""},
        {{"attack", F + "values", F + "smooth"}, 1, "", "values og " + F + "smooth har ikke samme kurve (q, A og B)" + notFromOneExchange},
        {{"attack", F + "values", F + "otherP"}, 1, "", "values og " + F + "otherP har samme kurve, men ikke samme P" + notFromOneExchange},
        {{"attack", F + "composite"}, 1, "", "composite: q i filen er ikke et primtal\n"},
        {{"attack", F + "values", F + "key"}, 2, "", "key: er en hemmelig n\xC3\xB8gle (en .secret-fil); her skal st\xC3\xA5 en fil med offentlige data (en .public-fil)\n"},
    };
    // clang-format on
    for (const auto& [args, status, out, err] : rows) {
        const Outcome run = cli(args);
        EXPECT_EQ(run.status, status) << args[1];
        std::string lines = run.out;  // wrapped for reading
        std::replace(lines.begin(), lines.end(), '\n', ' ');
        EXPECT_THAT(lines, testing::HasSubstr(out)) << args[1];
        EXPECT_EQ(lines.find("(Pohlig-Hellman)") != std::string::npos, status == 0) << args[1];
        EXPECT_EQ(run.err, err.empty() ? "" : "keyexchange-cli: " + F + err) << args[1];
    }
}

// Ctrl+C, pressed as the progress line shows after a second, ends the attack with its message;
// then Ctrl+C does what it did before.
TEST(Cli, CtrlCStopsALongAttack) {
    class PressesCtrlC : public std::streambuf {
      public:
        std::string text;

      private:
        int_type overflow(int_type c) override {
            text += static_cast<char>(c);
            if (c == '\n' && std::count(text.begin(), text.end(), '\n') == 1) {
                std::raise(SIGINT);
            }
            return c;
        }
    };
    TempDir dir;
    const std::string file = (dir / "p.public").string();
    writeFile(file, gpFile(gpCurves().at("prime56")));  // rho expects 3 * 10^8 steps
    PressesCtrlC buffer;
    std::ostream err(&buffer);
    const auto before = std::signal(SIGINT, SIG_IGN);
    const Outcome run = cli({"attack", file}, &err);
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(std::signal(SIGINT, before), SIG_IGN) << "the handler from before is back";
    EXPECT_THAT(buffer.text,
                testing::MatchesRegex("Eve, primfaktor FE1EED1D6E41B1: [0-9]+ af omkring "
                                      "[0-9]+ trin, [0-9]+ s\nkeyexchange-cli: .*: "
                                      "Angrebet blev afbrudt.\n"));
    EXPECT_THAT(run.out, testing::StartsWith("ord(P) = FE1EED1D6E41B1, et primtal"));
}

// Everything a command may change: the state, the nine texts and the files in the folder.
std::set<std::string> everything(const Student& s) {
    std::set<std::string> all{app::writePublicData(s.state.publicData()) + s.state.a().toHex() +
                              "|" + s.state.Pb().toText() + "|" + s.state.Pab().toText()};
    for (std::size_t field = 0; field < s.view.texts.size(); ++field) {
        all.insert("field " + std::to_string(field) + "=" + s.view.texts[field]);
    }
    for (const auto& entry : std::filesystem::directory_iterator(s.dir.path)) {
        all.insert(entry.path().filename().string() + "=" + readFile(entry.path()));
    }
    return all;
}

std::string typed(std::string_view field, std::string_view character, int place) {
    return "Feltet " + std::string(field) + " indeholder " + std::string(character) +
           " p\xE5 plads " + std::to_string(place) +
           ", og det er ikke et hex-ciffer.\nTal skrives i hex med cifrene 0-9 og A-F (store eller "
           "sm\xE5 bogstaver). Mellemrum, linjeskift, \":\" og \"0x\" foran tallet springes "
           "over.\nIntet er \xE6ndret: ret feltet, og pr\xF8v igen.";
}
std::string notPublic(std::string_view reason) {
    return "Filen \"f\" er ikke en fil med offentlige data: " + std::string(reason) +
           ".\nIntet er \xE6ndret. \xC5"
           "bn den .public-fil, som den anden har gemt med \"Gem "
           "offentlig data...\", eller bed om en ny.";
}
std::string notSecret(std::string_view reason) {
    return "Filen \"f\" er ikke en hemmelig n\xF8gle: " + std::string(reason) +
           ".\nIntet er \xE6ndret. \xC5"
           "bn den .secret-fil, du selv har gemt med \"Gem hemmelig "
           "n\xF8gle a...\".";
}

struct BadInput {
    int command;          // run by a student in the middle of an exchange
    std::string input;    // typed into the field, or the file the dialog answers with
    std::string message;  // the window's one message
    // The line keyexchange-cli writes for the same input ("F: " for the file's path): a typed a
    // as trace --test-values, public data to check, a secret to shared; empty for none.
    std::string cli;
    int status = 0;
    std::optional<TextField> field = std::nullopt;
    std::string caption = "Forkert fil";
};

TEST(BadInputs, GetOneMessageAndChangeNothing) {
    namespace command = gui::command;
    using namespace std::string_literals;
    const std::string curve = hexText(testCurve.q) + "*" + hexText(testCurve.A) + "*" +
                              hexText(testCurve.B) + "*" + hexText(testPoint.x) + "*" +
                              hexText(testPoint.y) + "*";
    const std::string missing = "(no file)", noStar = "den indeholder intet \"*\"";
    const std::string Z = typed("a", "\"Z\"", 2), x = typed("a", "\"x\"", 7);
    const std::string G = "indeholder \"G\" p\xE5 plads 14, og det er ikke et hex-ciffer";
    const std::string tooLarge = std::string(16 << 20, '0') + "*";
    // clang-format off
    const BadInput rows[] = {
        {command::updatePaPab, "725F8E91CC408G", typed("q", "\"G\"", 14), "", 0, TextField::q, "Fejl!"},
        {command::updatePaPab, "1Z", Z, Z, 2, TextField::a, "Fejl!"},
        {command::generateSecret, "0x0x6C4A", typed("Px", "\"x\"", 4), "", 0, TextField::Px, "Fejl!"},
        {command::savePublicData, "3B5A-F16D", typed("A", "\"-\"", 5), "", 0, TextField::A, "Fejl!"},
        {command::saveSharedKey, "\xA0", typed("B", "et usynligt tegn (kode 160)", 1), "", 0, TextField::B, "Fejl!"},
        {command::openPublicData, "12 34 x", x, x, 2, TextField::a, "Fejl!"},
        {command::openSecretKey, "\xF8", typed("Py", "\"\xF8\"", 1), "", 0, TextField::Py, "Fejl!"},
        {command::useTestValues, "5 G", typed("a", "\"G\"", 3), "", 0, TextField::a, "Fejl!"},
        {command::saveSecretKey, "5:f?", typed("a", "\"?\"", 4), "", 0, TextField::a, "Fejl!"},
        {command::openPublicData, "\x89PNG\r\n\x1A\n\0\0\0\rIHDR"s, notPublic(noStar), "F: er ikke en fil med offentlige data: " + noStar, 1},
        {command::openPublicData, curve.substr(0, 20), notPublic("den har 2 dele adskilt af \"*\", men en fil med offentlige data har seks: q, A, B, Px, Py og Pa"), "F: er ikke en fil med offentlige data: den har 2 dele adskilt af \"*\", men en fil med offentlige data har seks: q, A, B, Px, Py og Pa", 1},
        {command::openPublicData, "", notPublic("filen er tom"), "F: er ikke en fil med offentlige data: filen er tom", 1},
        {command::openPublicData, "Hej Bo, her er mine tal\n", notPublic(noStar), "", 0},
        {command::openPublicData, "1F2E3D4C5B6A\n", notPublic(noStar + "; den ligner en hemmelig n\xF8gle (en .secret-fil)"), "F: er en hemmelig n\xF8gle (en .secret-fil); her skal st\xE5 en fil med offentlige data (en .public-fil)", 2},
        {command::openPublicData, "(215E7888D627B1, 14C95FFEA98EF9)", notPublic(noStar + "; den ligner en f\xE6lles n\xF8gle (en .comkey-fil)"), "F: er ikke en fil med offentlige data: " + noStar + "; den ligner en f\xE6lles n\xF8gle (en .comkey-fil)", 1},
        {command::openPublicData, "1*2*3*4*5*6*(uendelig)", notPublic("den har 7 dele adskilt af \"*\", men en fil med offentlige data har seks: q, A, B, Px, Py og Pa"), "", 0},
        {command::openPublicData, "725F8E91CC408G*1*2*3*4*(uendelig)", notPublic("q i filen " + G), "F: er ikke en fil med offentlige data: q i filen " + G, 1},
        {command::openPublicData, "725F\0"s + curve.substr(14) + "(uendelig)"s, notPublic("q i filen indeholder et usynligt tegn (kode 0) p\xE5 plads 5, og det er ikke et hex-ciffer"), "", 0},
        {command::openPublicData, std::string(262145, 'F') + "*1*1*1*1*(uendelig)", notPublic("q i filen har flere end 262144 cifre"), "", 0},
        {command::openPublicData, curve + "(1, 2", notPublic("Pa i filen er ikke et punkt skrevet som (X, Y) eller (uendelig)"), "", 0},
        {command::openPublicData, curve + "(1, 2, 3)", notPublic("Pa i filen er ikke et punkt skrevet som (X, Y) eller (uendelig)"), "", 0},
        {command::openPublicData, curve + "(1G, 2)", notPublic("Pa i filen indeholder \"G\" p\xE5 plads 3, og det er ikke et hex-ciffer"), "", 0},
        {command::openPublicData, curve + " (1, 2G)", notPublic("Pa i filen indeholder \"G\" p\xE5 plads 7, og det er ikke et hex-ciffer"), "", 0},
        {command::openPublicData, publicData(testCurve, testPoint, {false, testPoint.x, 1}), notPublic("Pa i filen ligger ikke p\xE5 kurven"), "F: er ikke en fil med offentlige data: Pa i filen ligger ikke p\xE5 kurven", 1},
        {command::openPublicData, tooLarge, "Filen \"f\" kan ikke bruges: " + app::tooLargeReason() + ".\nIntet er \xE6ndret. V\xE6lg den rigtige fil.", "F: er ikke en fil med offentlige data: " + app::tooLargeReason(), 1},
        {command::openPublicData, missing, "Filen \"f\" kunne ikke l\xE6ses.\nIntet er \xE6ndret. Tjek, at filen findes, og at du har lov til at l\xE6se den.", "F: filen findes ikke eller kan ikke l\xE6ses", 2, std::nullopt, "Fejl!"},
        {command::openSecretKey, curve + "(uendelig)", notSecret("den indeholder \"*\" p\xE5 plads 15, og det er ikke et hex-ciffer; den ligner en fil med offentlige data (en .public-fil)"), "\"shared\" tager den hemmelige n\xF8gle f\xF8rst og de offentlige data bagefter: keyexchange-cli shared FIL.secret FIL.public (se keyexchange-cli --help)", 2},
        {command::openSecretKey, "1F2E\x7F", notSecret("den indeholder et usynligt tegn (kode 127) p\xE5 plads 5, og det er ikke et hex-ciffer"), "F: er ikke en hemmelig n\xF8gle: den indeholder et usynligt tegn (kode 127) p\xE5 plads 5, og det er ikke et hex-ciffer", 1},
    };
    // clang-format on
    for (const BadInput& row : rows) {
        SCOPED_TRACE(row.input.substr(0, 40));
        Student s;
        s.typeTestCurve("2");
        s.run(command::openPublicData, "bo", publicData(testCurve, testPoint, testPoint));
        const std::filesystem::path file = s.dir / "f";
        if (row.field) {
            s.view.type(*row.field, row.input);
        } else if (row.input != missing) {
            writeFile(file, row.input);
        }
        s.chooser.answers.push_back(file);
        const std::set<std::string> before = everything(s);
        s.dispatcher.dispatch(row.command);
        EXPECT_EQ(s.view.messages, std::vector<std::string>{FakeView::message(
                                       row.message, row.caption, app::MessageIcon::warning)});
        EXPECT_EQ(everything(s), before);
        EXPECT_EQ(s.chooser.answers.size(), row.field ? 1U : 0U) << "the dialog opens for a file";
        if (row.cli.empty()) {
            continue;
        }
        // Public data is read alike by check and by Eve's attack.
        using Args = std::vector<std::string>;
        const std::vector<Args> runs =
            row.field ? std::vector<Args>{{"trace", "--test-values", row.input}}
            : row.command == command::openPublicData
                ? std::vector<Args>{{"check", file.string()}, {"attack", file.string()}}
                : std::vector<Args>{{"shared", file.string(), (s.dir / "bo").string()}};
        const std::string line = row.cli.starts_with("F: ")
                                     ? file.string() + ": " + cli::forTerminal(row.cli.substr(3))
                                     : cli::forTerminal(row.cli);
        for (const Args& args : runs) {
            const Outcome run = cli(args);
            EXPECT_EQ(std::tie(run.status, run.out, run.err),
                      std::make_tuple(row.status, "", "keyexchange-cli: " + line + "\n"))
                << args[0];
        }
    }
}

}  // namespace
}  // namespace kxtest
