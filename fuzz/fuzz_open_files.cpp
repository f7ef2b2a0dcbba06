// Loads any bytes as public data or, when the first byte is odd, as a secret key, through the
// window's commands, point text and all: no input may crash the program or stop it from working,
// so the test values then give the right Pa.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "gui/CommandDispatch.h"
#include "gui/WindowLayout.h"
#include "tests/support/Fakes.h"
#include "tests/support/SmallCurve.h"
#include "tests/support/Support.h"

namespace {

struct Shell final : gui::ShellRequests {
    void requestClose() override {}
    void showAbout() override {}
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0 || size > 8192) {
        return -1;
    }
    static const std::filesystem::path path =
        std::filesystem::temp_directory_path() / ("kx_fuzz_open_" + std::to_string(::getpid()));
    kxtest::writeFile(path, std::string(reinterpret_cast<const char*>(data) + 1, size - 1));
    kxtest::SeededRandom random(1);
    app::KeyExchange state(random);
    kxtest::FakeView view;
    kxtest::FakeChooser chooser;
    Shell shell;
    gui::CommandDispatcher dispatcher(state, view, chooser, shell);
    view.type(app::TextField::a, "2");
    chooser.answers.push_back(path);
    dispatcher.dispatch(data[0] % 2 != 0 ? gui::command::openSecretKey
                                         : gui::command::openPublicData);
    dispatcher.dispatch(gui::command::clearAll);
    dispatcher.dispatch(gui::command::useTestValues);
    view.type(app::TextField::a, "2");
    dispatcher.dispatch(gui::command::updatePaPab);
    if (view.text(app::TextField::Pa) !=
        kxtest::pointText(kxtest::testCurve.multiply("2", kxtest::testPoint))) {
        std::abort();
    }
    return 0;
}
