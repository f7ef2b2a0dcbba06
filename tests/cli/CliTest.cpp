// keyexchange-cli in-process, on files written here, against the curve oracle.
#include <gtest/gtest.h>

#include <sstream>

#include "cli/CommandLine.h"
#include "tests/support/Fakes.h"
#include "tests/support/SmallCurve.h"
#include "tests/support/Support.h"

namespace kxtest {
namespace {

struct Outcome {
    int status;
    std::string out, err;
};
Outcome cli(const std::vector<std::string>& args, bool terminal = false) {
    const std::vector<std::string_view> views(args.begin(), args.end());
    std::ostringstream out, err;
    SeededRandom random(testSeed());
    const int status = cli::runCli(views, out, err, random, terminal);
    return {status, out.str(), err.str()};
}
const std::string verdicts = "55 bit; q er et primtal: ja; kurven er ikke-singul\xC3\xA6r: ja; ";
const std::string onCurve = "P ligger p\xC3\xA5 kurven: ja; Pa ligger p\xC3\xA5 kurven: ";

TEST(Cli, CheckGivesEachVerdictAndFailsOnAnyNo) {
    TempDir dir;
    const AffinePoint unit{false, 1, 1}, offCurve{false, testPoint.x, testPoint.y + 1};
    const std::array<std::string, 3> rows[] = {
        {"sound", publicData(testCurve, testPoint, testCurve.multiply("1F2E", testPoint)),
         verdicts + onCurve + "ja"},
        {"offcurve", publicData(testCurve, testPoint, offCurve), verdicts + onCurve + "nej"},
        // Composite, and a strong pseudoprime to every prime base up to 31: random bases catch it.
        {"composite", publicData({3825123056546413051, 5, 3825123056546413051 - 5}, unit, unit),
         "62 bit; q er et primtal: nej; kurven er ikke-singul\xC3\xA6r: ja; " + onCurve + "ja"},
        {"singular", publicData({5, 0, 0}, {false, 4, 2}, {false, 1, 1}),  // y^2 = x^3
         "3 bit; q er et primtal: ja; kurven er ikke-singul\xC3\xA6r: nej; " + onCurve + "ja"},
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
        const std::string Pab = pointText(result), key = (dir / "k.comkey").string();
        EXPECT_EQ(cli({"shared", secret, pub}).out, Pab);
        for (const std::string& expected : {Pab, Pab + " ", Pab.substr(1)}) {
            writeFile(key, expected);
            EXPECT_EQ(cli({"shared", secret, pub, "--expect", key}).status, expected != Pab);
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
        {"trace", "--test-values", "1" + std::string(1024, '0')}};  // a of 4097 bits
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

}  // namespace
}  // namespace kxtest
