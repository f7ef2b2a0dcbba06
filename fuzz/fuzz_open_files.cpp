// Loads arbitrary file contents as public data and as a secret key through the application
// layer, with a fake window and a chooser that answers the file's path, and checks that the
// fields are set as the "*" split says, that each extra separator gives one message, and that
// the state's next update still works.
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "app/ExchangeFiles.h"
#include "app/KeyExchange.h"
#include "app/TextField.h"
#include "fuzz/GmpModel.h"
#include "tests/app/Fakes.h"

namespace {

using app::TextField;

constexpr std::size_t maxInputBytes = 8192;
// A longer secret would make the follow-up update slow without reaching new code.
constexpr std::size_t maxSecretForUpdate = 8;

constexpr std::array<TextField, 5> leadingFields{TextField::q, TextField::A, TextField::B,
                                                 TextField::Px, TextField::Py};

const std::filesystem::path& inputPath() {
    static const std::filesystem::path path =
        std::filesystem::temp_directory_path() /
        ("kx_fuzz_open_" + std::to_string(::getpid()) + ".bin");
    return path;
}

void writeInput(const std::string& bytes) {
    std::ofstream out(inputPath(), std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out) {
        kxfuzz::fail("cannot write the input file");
    }
}

std::string untilNul(const std::string& text) {
    return text.substr(0, text.find('\0'));
}

std::vector<std::string> splitAtStars(const std::string& bytes) {
    std::vector<std::string> parts(1);
    for (const char c : bytes) {
        if (c == '*') {
            parts.emplace_back();
        } else {
            parts.back() += c;
        }
    }
    return parts;
}

bool knownArithmeticMessage(std::string_view message) {
    return message == "divide by 0 error" || message == "result would be negative" ||
           message == "Modulus must be the same!" || message == "Natural is not that big" ||
           message == "Natural not that big";
}

// An update on arbitrary input may stop with one of the arithmetic's own messages, nothing else.
void updateTolerantly(app::KeyExchange& state, kxtest::FakeView& view) {
    try {
        state.updatePaPab(view);
    } catch (const std::invalid_argument& failure) {
        if (!knownArithmeticMessage(failure.what())) {
            kxfuzz::fail(failure.what());
        }
    }
}

// After whatever the file did, the test curve with a = 2 must give the same Pa as in a fresh
// state.
void checkNextUpdateWorks(app::KeyExchange& state, kxtest::FakeView& view) {
    static const std::string expectedPa = [] {
        kxtest::SeededRandom random(1);
        app::KeyExchange fresh(random);
        kxtest::FakeView freshView;
        fresh.useTestValues(freshView);
        freshView.type(TextField::a, "2");
        fresh.updatePaPab(freshView);
        return freshView.text(TextField::Pa);
    }();
    state.Pb().setAtInfinity(true);  // a received point off the curve may rightly fail
    state.useTestValues(view);
    view.type(TextField::a, "2");
    state.updatePaPab(view);
    if (view.text(TextField::Pa) != expectedPa) {
        kxfuzz::fail("the update after a hostile load gave a wrong Pa");
    }
}

void checkPublicLoad(const std::string& bytes) {
    kxtest::SeededRandom random(1);
    app::KeyExchange state(random);
    kxtest::FakeView view;
    const std::array<std::string, 5> before{"11", "22", "33", "44", "55"};
    for (std::size_t i = 0; i < leadingFields.size(); ++i) {
        view.type(leadingFields[i], before[i]);
    }
    view.type(TextField::a, "3");
    kxtest::FakeChooser chooser;
    chooser.willAnswer(inputPath());

    app::openPublicData(state, view, chooser);

    const std::vector<std::string> parts = splitAtStars(bytes);
    const std::size_t separators = parts.size() - 1;
    for (std::size_t i = 0; i < leadingFields.size(); ++i) {
        const std::string expected = i < separators ? untilNul(parts[i]) : before[i];
        if (view.text(leadingFields[i]) != expected) {
            kxfuzz::fail("a leading field differs from the split");
        }
    }
    const std::string received = untilNul(parts.back());
    if (view.text(TextField::Pb) != received) {
        kxfuzz::fail("Pb differs from the text after the last separator");
    }
    const std::size_t extra = separators > 5 ? separators - 5 : 0;
    const std::vector<kxtest::ViewEvent> messages = view.messages();
    if (messages.size() != extra) {
        kxfuzz::fail("not one message per extra separator");
    }
    for (const kxtest::ViewEvent& message : messages) {
        if (message.text != "For meget data" || message.caption != "Wierdness" ||
            message.icon != app::MessageIcon::warning) {
            kxfuzz::fail("wrong message for an extra separator");
        }
    }
    const bool infinity = received.size() > 1 && received[1] == 'u';
    if (state.Pb().atInfinity() != infinity) {
        kxfuzz::fail("Pb's flag differs from its text");
    }

    updateTolerantly(state, view);
    checkNextUpdateWorks(state, view);
}

void checkSecretLoad(const std::string& bytes) {
    kxtest::SeededRandom random(1);
    app::KeyExchange state(random);
    kxtest::FakeView view;
    kxtest::FakeChooser chooser;
    chooser.willAnswer(inputPath());

    app::openSecretKey(view, chooser);

    const std::string expected = untilNul(bytes);
    if (view.text(TextField::a) != expected) {
        kxfuzz::fail("the a field differs from the file up to its first NUL");
    }
    if (!view.messages().empty()) {
        kxfuzz::fail("a secret key load showed a message");
    }
    if (expected.size() <= maxSecretForUpdate) {
        state.useTestValues(view);
        view.type(TextField::a, expected);
        updateTolerantly(state, view);
        bignum::Natural a;
        a.fromHex(expected);
        if (!(state.a() == a)) {
            kxfuzz::fail("the update did not take the loaded a");
        }
    }
    checkNextUpdateWorks(state, view);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size > maxInputBytes) {
        return -1;
    }
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    writeInput(bytes);
    checkPublicLoad(bytes);
    checkSecretLoad(bytes);
    return 0;
}
