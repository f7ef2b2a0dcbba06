// Saves that fail leave the old file whole and nothing beside it; loads of anything but a small
// regular file read nothing and never block.

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <ostream>
#include <string>
#include <vector>

#include "app/ExchangeFiles.h"
#include "tests/app/Fakes.h"
#include "tests/app/TestSupport.h"

namespace {

using app::MessageIcon;
using app::TextField;
using kxtest::ViewEvent;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

using namespace std::string_literals;

const ViewEvent saveFailed =
    ViewEvent::message("Filen kunne ikke gemmes", "Fejl!", MessageIcon::warning);
const ViewEvent tooMuchData =
    ViewEvent::message("For meget data", "Wierdness", MessageIcon::warning);

constexpr std::uintmax_t sixteenMiB = 16u * 1024 * 1024;

struct SaveKind {
    const char* name;
    void (*save)(app::KeyExchangeView&, app::FileChooser&);
    mode_t modeUnderUmask022;

    friend void PrintTo(const SaveKind& c, std::ostream* out) { *out << c.name; }
};

const std::vector<SaveKind> saveKinds{
    {"Public", app::savePublicData, 0644},
    {"Secret", app::saveSecretKey, 0600},
    {"Shared", app::saveSharedKey, 0600},
};

class SaveTest : public ::testing::TestWithParam<SaveKind> {
  protected:
    SaveTest() {
        view.type(TextField::a, "1A2B3C4D5E6F");
        view.type(TextField::Pab, "(1A2B3C4D5E6F, 1)");
    }

    kxtest::TempDir dir;
    kxtest::FakeView view;
    kxtest::FakeChooser chooser;
};

TEST_P(SaveTest, UnwritableFolderReportsAndLeavesNothing) {
    kxtest::writeFile(dir / "file", "not a folder");
    for (const std::filesystem::path& target :
         {dir / "file" / "x.out", dir / "missing" / "x.out", dir.path() / ""}) {
        SCOPED_TRACE(target.string());
        view.clearEvents();
        chooser.willAnswer(target);
        GetParam().save(view, chooser);
        EXPECT_THAT(view.events(), ElementsAre(saveFailed));
        EXPECT_EQ(dir.entries(), (std::set<std::string>{"file"}));
        EXPECT_EQ(kxtest::readFile(dir / "file"), "not a folder");
    }
}

TEST_P(SaveTest, FolderInTheWayIsNotReplaced) {
    std::filesystem::create_directory(dir / "x.out");
    kxtest::writeFile(dir / "x.out" / "inside", "kept");
    chooser.willAnswer(dir / "x.out");
    GetParam().save(view, chooser);
    EXPECT_THAT(view.events(), ElementsAre(saveFailed));
    EXPECT_EQ(dir.entries(), (std::set<std::string>{"x.out"}));
    EXPECT_EQ(kxtest::readFile(dir / "x.out" / "inside"), "kept");
}

TEST_P(SaveTest, OverwriteReplacesTheWholeFileAndSetsItsMode) {
    const mode_t oldMask = ::umask(022);
    kxtest::writeFile(dir / "x.out", std::string(5000, 'o'));
    std::filesystem::permissions(dir / "x.out", std::filesystem::perms(0644));
    chooser.willAnswer(dir / "x.out");
    GetParam().save(view, chooser);
    struct stat info {};
    const int statResult = ::stat((dir / "x.out").c_str(), &info);
    ::umask(oldMask);

    EXPECT_THAT(view.events(), IsEmpty());
    EXPECT_EQ(dir.entries(), (std::set<std::string>{"x.out"}));
    const std::string saved = kxtest::readFile(dir / "x.out");
    EXPECT_LT(saved.size(), 100u) << "the old content must not shine through";
    EXPECT_EQ(saved.find('o'), std::string::npos);
    ASSERT_EQ(statResult, 0);
    EXPECT_EQ(info.st_mode & 0777, GetParam().modeUnderUmask022);
}

TEST_P(SaveTest, NewFileModeFollowsTheUmaskOnlyForPublicData) {
    const mode_t oldMask = ::umask(0);
    chooser.willAnswer(dir / "new.out");
    GetParam().save(view, chooser);
    struct stat info {};
    const int statResult = ::stat((dir / "new.out").c_str(), &info);
    ::umask(oldMask);
    ASSERT_EQ(statResult, 0);
    const mode_t expected = GetParam().modeUnderUmask022 == 0644 ? 0666 : 0600;
    EXPECT_EQ(info.st_mode & 0777, expected);
}

// The write fails part way (the file-size limit is hit); the old file must survive whole. Run in
// a child process so that the limit stays there.
TEST_P(SaveTest, WriteFailingPartWayKeepsTheOldFile) {
    const std::string old(4096, 'o');
    kxtest::writeFile(dir / "x.out", old);
    chooser.willAnswer(dir / "x.out");
    view.type(TextField::q, std::string(200, '7'));
    view.type(TextField::a, std::string(200, '7'));
    view.type(TextField::Pab, std::string(200, '7'));
    const auto saveUnderLimit = [&] {
        std::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{64, 64};
        if (::setrlimit(RLIMIT_FSIZE, &limit) != 0) {
            std::fputs("setrlimit failed\n", stderr);
            std::_Exit(2);
        }
        GetParam().save(view, chooser);
        const bool reported = view.events() == std::vector<ViewEvent>{saveFailed};
        if (!reported) {
            std::fputs("the failed write was not reported\n", stderr);
        }
        std::_Exit(reported ? 0 : 1);
    };
    EXPECT_EXIT(saveUnderLimit(), ::testing::ExitedWithCode(0), "");
    EXPECT_EQ(kxtest::readFile(dir / "x.out"), old);
    EXPECT_EQ(dir.entries(), (std::set<std::string>{"x.out"}));
}

INSTANTIATE_TEST_SUITE_P(Kinds, SaveTest, ::testing::ValuesIn(saveKinds), kxtest::CaseName());

struct LoadKind {
    const char* name;
    std::function<void(app::KeyExchange&, kxtest::FakeView&, kxtest::FakeChooser&)> load;

    friend void PrintTo(const LoadKind& c, std::ostream* out) { *out << c.name; }
};

const std::vector<LoadKind> loadKinds{
    {"Public", [](auto& s, auto& v, auto& c) { app::openPublicData(s, v, c); }},
    {"Secret", [](auto&, auto& v, auto& c) { app::openSecretKey(v, c); }},
};

class LoadTest : public ::testing::TestWithParam<LoadKind> {
  protected:
    void load(const std::filesystem::path& path) {
        chooser.willAnswer(path);
        GetParam().load(state, view, chooser);
    }

    kxtest::TempDir dir;
    kxtest::ScriptedRandom random{{}};
    app::KeyExchange state{random};
    kxtest::FakeView view;
    kxtest::FakeChooser chooser;
};

void makeSparseFile(const std::filesystem::path& path, std::uintmax_t size) {
    kxtest::writeFile(path, "");
    std::filesystem::resize_file(path, size);
}

TEST_P(LoadTest, FolderAndMissingFileReadNothingSilently) {
    std::filesystem::create_directory(dir / "folder");
    for (const std::filesystem::path& path : {dir / "folder", dir / "missing", dir.path()}) {
        SCOPED_TRACE(path.string());
        load(path);
        EXPECT_THAT(view.events(), IsEmpty());
    }
    EXPECT_TRUE(state.Pb().atInfinity());
}

TEST_P(LoadTest, OversizedFileIsRefusedWithAMessage) {
    makeSparseFile(dir / "big", sixteenMiB + 1);
    load(dir / "big");
    EXPECT_THAT(view.events(), ElementsAre(tooMuchData));
    EXPECT_TRUE(state.Pb().atInfinity());
}

TEST_P(LoadTest, FileOfExactlyTheLimitIsRead) {
    makeSparseFile(dir / "big", sixteenMiB);
    load(dir / "big");
    EXPECT_THAT(view.messages(), IsEmpty());
    ASSERT_EQ(view.events().size(), 1u) << "the zero bytes end the one field at once";
    EXPECT_EQ(view.events().front().text, "");
}

// A child process with an alarm, so that a load that blocks fails the test instead of hanging it.
TEST_P(LoadTest, FifoAndDevicesNeitherBlockNorRead) {
    ASSERT_EQ(::mkfifo((dir / "fifo").c_str(), 0600), 0);
    for (const std::filesystem::path& path :
         {dir / "fifo", std::filesystem::path("/dev/zero"), std::filesystem::path("/dev/null")}) {
        SCOPED_TRACE(path.string());
        const auto loadWithAlarm = [&] {
            ::alarm(10);
            load(path);
            const bool untouched = view.events().empty();
            if (!untouched) {
                std::fputs("the load changed something\n", stderr);
            }
            std::_Exit(untouched ? 0 : 1);
        };
        EXPECT_EXIT(loadWithAlarm(), ::testing::ExitedWithCode(0), "");
    }
}

INSTANTIATE_TEST_SUITE_P(Kinds, LoadTest, ::testing::ValuesIn(loadKinds), kxtest::CaseName());

}  // namespace
