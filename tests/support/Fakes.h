#pragma once

// Stand-ins for the window, the file dialog and the random source, so that the application and
// the dispatcher run headless: a view that keeps its fields and the messages it showed, a
// chooser that answers from a script, seeded random words, and a student who has all three and a
// folder of files. Free of any test framework, so that the fuzz targets use them too.

#include <algorithm>
#include <array>
#include <deque>
#include <filesystem>
#include <optional>
#include <random>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "app/FileChooser.h"
#include "app/KeyExchangeView.h"
#include "app/RandomSource.h"
#include "app/TextField.h"
#include "gui/CommandDispatch.h"
#include "tests/support/SmallCurve.h"
#include "tests/support/Support.h"

namespace kxtest {

// Starts as the window does: the edits empty, the point fields showing "...". Each message is
// kept as "[Caption] text", with " (warning)" for that icon.
class FakeView final : public app::KeyExchangeView {
  public:
    std::string fieldText(app::TextField field) const override { return texts[index(field)]; }
    void setFieldText(app::TextField field, std::string_view text) override {
        texts[index(field)] = std::string(text);
    }
    void showMessage(std::string_view text, std::string_view caption,
                     app::MessageIcon icon) override {
        messages.push_back(message(text, caption, icon));
        if (onMessage) {
            onMessage();
        }
    }
    static std::string message(std::string_view text, std::string_view caption,
                               app::MessageIcon icon = app::MessageIcon::none) {
        return "[" + std::string(caption) + "] " + std::string(text) +
               (icon == app::MessageIcon::warning ? " (warning)" : "");
    }
    // What the user types.
    void type(app::TextField field, std::string text) { texts[index(field)] = std::move(text); }
    const std::string& text(app::TextField field) const { return texts[index(field)]; }

    std::array<std::string, 9> texts{"", "", "", "", "", "", "...", "...", "..."};
    std::vector<std::string> messages;
    void (*onMessage)() = nullptr;  // runs inside the message box

  private:
    static std::size_t index(app::TextField field) { return static_cast<std::size_t>(field); }
};

// Answers each dialog with the next scripted path, or cancels when the script is empty. Either
// fake throws on request.
class FakeChooser final : public app::FileChooser {
  public:
    std::optional<std::filesystem::path> choosePath(const app::FileDialogOptions&) override {
        if (fail) {
            throw 42;  // not even a std::exception
        }
        if (answers.empty()) {
            return std::nullopt;
        }
        std::filesystem::path answer = std::move(answers.front());
        answers.pop_front();
        return answer;
    }

    std::deque<std::filesystem::path> answers;
    bool fail = false;
};

class SeededRandom final : public app::RandomSource {
  public:
    explicit SeededRandom(std::uint64_t seed) : engine_(seed) {}
    std::uint32_t nextWord() override {
        return fail ? throw std::runtime_error("no entropy left")
                    : static_cast<std::uint32_t>(engine_());
    }

    bool fail = false;

  private:
    std::mt19937_64 engine_;
};

// One student: the window's commands on the state, and a folder of files.
struct Student final : gui::ShellRequests {
    explicit Student(std::uint64_t seed = 7) : random(seed) {}
    void requestClose() override {}
    void showAbout() override {}
    void typeTestCurve(std::string a) {
        std::ranges::move(
            std::array{hexText(testCurve.q), hexText(testCurve.A), hexText(testCurve.B),
                       hexText(testPoint.x), hexText(testPoint.y), std::move(a)},
            view.texts.begin());
    }
    // Runs the command with the dialog answered by the named file, written first if bytes are
    // given.
    void run(int id, const std::string& file = "", const std::optional<std::string>& bytes = {}) {
        if (bytes) {
            writeFile(dir / file, *bytes);
        }
        if (!file.empty()) {
            chooser.answers.push_back(dir / file);
        }
        dispatcher.dispatch(id);
    }
    std::string saved(int id) {
        run(id, "out");
        return readFile(dir / "out");
    }
    auto files() const { return std::distance(std::filesystem::directory_iterator(dir.path), {}); }

    TempDir dir;
    SeededRandom random;
    FakeChooser chooser;
    app::KeyExchange state{random};
    FakeView view;
    gui::CommandDispatcher dispatcher{state, view, chooser, *this};
};

}  // namespace kxtest
