// Saves that fail leave the old file whole and nothing beside it.

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <filesystem>
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

const ViewEvent saveFailed =
    ViewEvent::message("Filen kunne ikke gemmes", "Fejl!", MessageIcon::warning);

struct SaveKind {
    const char* name;
    void (*save)(app::KeyExchangeView&, app::FileChooser&);
    bool ownerOnly;
    friend void PrintTo(const SaveKind& k, std::ostream* out) { *out << k.name; }
};

class SaveTest : public ::testing::TestWithParam<SaveKind> {
  protected:
    void save(const std::filesystem::path& target) {
        chooser.willAnswer(target);
        GetParam().save(view, chooser);
    }
    mode_t modeOf(const std::filesystem::path& path) {
        struct stat info {};
        EXPECT_EQ(::stat(path.c_str(), &info), 0);
        return info.st_mode & 0777;
    }

    kxtest::TempDir dir;
    kxtest::FakeView view;
    kxtest::FakeChooser chooser;
};

TEST_P(SaveTest, UnwritableTargetReportsAndLeavesNothing) {
    kxtest::writeFile(dir / "file", "not a folder");
    std::filesystem::create_directory(dir / "folder");
    kxtest::writeFile(dir / "folder" / "inside", "kept");
    for (const std::filesystem::path& target :
         {dir / "file" / "x.out", dir / "missing" / "x.out", dir.path() / "", dir / "folder"}) {
        SCOPED_TRACE(target.string());
        view.clearEvents();
        save(target);
        EXPECT_THAT(view.events(), ElementsAre(saveFailed));
        EXPECT_EQ(dir.entries(), (std::set<std::string>{"file", "folder"}));
        EXPECT_EQ(kxtest::readFile(dir / "file"), "not a folder");
        EXPECT_EQ(kxtest::readFile(dir / "folder" / "inside"), "kept");
    }
}

// Keys are owner-only whatever the umask; public data follows it, also when replacing a file.
TEST_P(SaveTest, ReplacesTheWholeFileWithItsMode) {
    view.type(TextField::a, "1A2B");
    view.type(TextField::Pab, "(1A2B, 1)");
    const mode_t oldMask = ::umask(0);
    save(dir / "new.out");
    ::umask(022);
    kxtest::writeFile(dir / "x.out", std::string(5000, 'o'));
    std::filesystem::permissions(dir / "x.out", std::filesystem::perms(0644));
    save(dir / "x.out");
    ::umask(oldMask);

    EXPECT_THAT(view.events(), IsEmpty());
    EXPECT_EQ(dir.entries(), (std::set<std::string>{"new.out", "x.out"}));
    EXPECT_EQ(kxtest::readFile(dir / "x.out"), kxtest::readFile(dir / "new.out"))
        << "the old content must not shine through";
    EXPECT_EQ(modeOf(dir / "new.out"), GetParam().ownerOnly ? 0600u : 0666u);
    EXPECT_EQ(modeOf(dir / "x.out"), GetParam().ownerOnly ? 0600u : 0644u);
}

// The write fails part way (the file-size limit is hit); the old file must survive whole. Run in
// a child process so that the limit stays there.
TEST_P(SaveTest, WriteFailingPartWayKeepsTheOldFile) {
    const std::string old(4096, 'o');
    kxtest::writeFile(dir / "x.out", old);
    for (const TextField field : {TextField::q, TextField::a, TextField::Pab}) {
        view.type(field, std::string(200, '7'));
    }
    const auto saveUnderLimit = [&] {
        std::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{64, 64};
        if (::setrlimit(RLIMIT_FSIZE, &limit) != 0) {
            std::_Exit(2);
        }
        save(dir / "x.out");
        std::_Exit(view.events() == std::vector<ViewEvent>{saveFailed} ? 0 : 1);
    };
    EXPECT_EXIT(saveUnderLimit(), ::testing::ExitedWithCode(0), "");
    EXPECT_EQ(kxtest::readFile(dir / "x.out"), old);
    EXPECT_EQ(dir.entries(), (std::set<std::string>{"x.out"}));
}

INSTANTIATE_TEST_SUITE_P(Kinds, SaveTest,
                         ::testing::Values(SaveKind{"Public", app::savePublicData, false},
                                           SaveKind{"Secret", app::saveSecretKey, true},
                                           SaveKind{"Shared", app::saveSharedKey, true}),
                         [](const auto& p) { return std::string(p.param.name); });

class LoadTest : public ::testing::TestWithParam<bool> {
  protected:
    void load(const std::filesystem::path& path) {
        chooser.willAnswer(path);
        GetParam() ? app::openSecretKey(view, chooser) : app::openPublicData(state, view, chooser);
    }
    kxtest::TempDir dir;
    kxtest::ScriptedRandom random{{}};
    app::KeyExchange state{random};
    kxtest::FakeView view;
    kxtest::FakeChooser chooser;
};

// Folders, FIFOs, devices and files above the limit are the hardening tests'; here the edges.
TEST_P(LoadTest, MissingFileIsSilentAndAFileOfExactly16MiBIsRead) {
    load(dir / "missing");
    EXPECT_THAT(view.events(), IsEmpty());
    EXPECT_TRUE(state.Pb().atInfinity());

    kxtest::writeFile(dir / "big", "");
    std::filesystem::resize_file(dir / "big", 16u << 20);
    load(dir / "big");  // the zero bytes end the one field at once
    EXPECT_THAT(view.events(),
                ElementsAre(ViewEvent::write(GetParam() ? TextField::a : TextField::Pb, "")));
}

INSTANTIATE_TEST_SUITE_P(Kinds, LoadTest, ::testing::Bool(),
                         [](const auto& p) { return p.param ? "Secret" : "Public"; });

}  // namespace
