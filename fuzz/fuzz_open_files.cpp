// Opens any bytes as public data or, when the first byte is odd, as a secret key, through the
// window's commands: a refused file gets one message and changes no field, a file that is taken
// reads back from what the program would write as the same file, and the program then works, so
// the test values give the right Pa.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "app/ExchangeFormats.h"
#include "gui/WindowLayout.h"
#include "tests/support/Fakes.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0 || size > 8192) {
        return -1;
    }
    namespace command = gui::command;
    using app::TextField;
    const bool secret = data[0] % 2 != 0;
    const std::string bytes(reinterpret_cast<const char*>(data) + 1, size - 1);
    kxtest::Student s(1);
    s.typeTestCurve("2");
    const auto typed = s.view.texts;
    s.run(secret ? command::openSecretKey : command::openPublicData, "in", bytes);
    const app::PublicDataReading reading = app::readPublicData(bytes);
    const bool taken = secret ? app::readSecretKey(bytes).a.has_value() : reading.data.has_value();
    if (!taken && (s.view.messages.size() != 1 || s.view.texts != typed)) {
        std::abort();
    }
    if (taken && !secret) {
        const std::string written = app::writePublicData(*reading.data);
        const app::PublicDataReading again = app::readPublicData(written);
        if (!again.data || app::writePublicData(*again.data) != written ||
            s.view.text(TextField::q) != reading.data->q.toHex()) {
            std::abort();
        }
    }
    s.run(command::clearAll);
    s.view.type(TextField::a, "2");
    s.run(command::useTestValues);
    if (s.view.text(TextField::Pa) !=
        kxtest::pointText(kxtest::testCurve.multiply("2", kxtest::testPoint))) {
        std::abort();
    }
    return 0;
}
