// Loads any file as public data or, when the first byte is odd, as a secret key: the fields
// follow the split at "*" (each text up to its NUL), each separator beyond the fifth gives one
// "For meget data", an update afterwards fails only with the arithmetic's own messages, and the
// test values then give the right Pa again.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <new>
#include <stdexcept>
#include <string>
#include <vector>

#include "app/ExchangeFiles.h"
#include "app/KeyExchange.h"
#include "tests/support/Fakes.h"
#include "tests/support/SmallCurve.h"
#include "tests/support/Support.h"

namespace {

using app::TextField;

void require(bool condition) {
    if (!condition) {
        std::abort();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0 || size > 8192) {
        return -1;
    }
    static const std::filesystem::path path = std::filesystem::temp_directory_path() /
                                             ("kx_fuzz_open_" + std::to_string(::getpid()));
    const std::string bytes(reinterpret_cast<const char*>(data) + 1, size - 1);
    kxtest::writeFile(path, bytes);
    kxtest::SeededRandom random(1);
    app::KeyExchange state(random);
    kxtest::FakeView view;
    kxtest::FakeChooser chooser;
    chooser.willAnswer(path);
    std::vector<std::string> parts(1);
    for (const char c : bytes) {
        if (c == '*') {
            parts.emplace_back();
        } else {
            parts.back().push_back(c);
        }
    }
    for (std::string& part : parts) {
        part.resize(part.find('\0') == std::string::npos ? part.size() : part.find('\0'));
    }
    if (data[0] % 2 != 0) {
        app::openSecretKey(view, chooser);
        require(view.text(TextField::a) == bytes.substr(0, bytes.find('\0')));
    } else {
        app::openPublicData(state, view, chooser);
        for (std::size_t i = 0; i < 5; ++i) {
            require(view.text(app::allTextFields[i]) == (i + 1 < parts.size() ? parts[i] : ""));
        }
        require(view.text(TextField::Pb) == parts.back());
        const std::size_t extra = parts.size() > 6 ? parts.size() - 6 : 0;
        require(view.messages() == std::vector<std::string>(extra, kxtest::FakeView::message(
                                                                   "For meget data", "Wierdness",
                                                                   app::MessageIcon::warning)));
    }
    try {
        state.updatePaPab(view);
    } catch (const std::invalid_argument&) {  // the arithmetic's messages, on hostile numbers
    } catch (const std::bad_alloc&) {
    }
    state.Pb().setAtInfinity(true);
    state.useTestValues(view);
    view.type(TextField::a, "2");
    state.updatePaPab(view);
    require(view.text(TextField::Pa) == kxtest::pointText(kxtest::testCurve.multiply("2", kxtest::testPoint)));
    return 0;
}
