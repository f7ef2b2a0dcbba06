// Loads any bytes as public data or, when the first byte is odd, as a secret key, through the
// window's commands, point text and all: no input may crash the program or stop it from working,
// so the test values then give the right Pa.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "gui/WindowLayout.h"
#include "tests/support/Fakes.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0 || size > 8192) {
        return -1;
    }
    namespace command = gui::command;
    kxtest::Student s(1);
    s.view.type(app::TextField::a, "2");
    s.run(data[0] % 2 != 0 ? command::openSecretKey : command::openPublicData, "in",
          std::string(reinterpret_cast<const char*>(data) + 1, size - 1));
    s.run(command::clearAll);
    s.run(command::useTestValues);
    s.view.type(app::TextField::a, "2");
    s.run(command::updatePaPab);
    if (s.view.text(app::TextField::Pa) !=
        kxtest::pointText(kxtest::testCurve.multiply("2", kxtest::testPoint))) {
        std::abort();
    }
    return 0;
}
