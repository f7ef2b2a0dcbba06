#pragma once

// Stand-ins for the window, the file dialog and the random source, so that the application and
// the dispatcher run headless: a view that logs every field write and message in order, a
// chooser that answers from a script, and seeded random words. Free of any test framework, so
// that the fuzz targets use them too.

#include <array>
#include <cstddef>
#include <cstdint>
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

namespace kxtest {

inline constexpr std::array<std::string_view, 9> fieldNames{"q", "A",  "B",  "Px", "Py",
                                                            "a", "Pa", "Pb", "Pab"};

// Starts as the window does: the six edits empty, the three point fields showing "...". The log
// holds "q=TEXT" for a write and "[Caption] text" (with " (warning)" for that icon) for a
// message.
class FakeView final : public app::KeyExchangeView {
  public:
    FakeView() { texts_[6] = texts_[7] = texts_[8] = "..."; }

    std::string fieldText(app::TextField field) const override { return text(field); }
    void setFieldText(app::TextField field, std::string_view text) override {
        texts_[index(field)] = std::string(text);
        log.push_back(std::string(fieldNames[index(field)]) + "=" + std::string(text));
    }
    void showMessage(std::string_view text, std::string_view caption,
                     app::MessageIcon icon) override {
        log.push_back(message(text, caption, icon));
        if (onMessage) {
            onMessage();
        }
    }

    static std::string message(std::string_view text, std::string_view caption,
                               app::MessageIcon icon = app::MessageIcon::none) {
        return "[" + std::string(caption) + "] " + std::string(text) +
               (icon == app::MessageIcon::warning ? " (warning)" : "");
    }
    // What the user types: changes the field without a log entry.
    void type(app::TextField field, std::string text) { texts_[index(field)] = std::move(text); }
    const std::string& text(app::TextField field) const { return texts_[index(field)]; }
    std::array<std::string, 9> texts() const { return texts_; }
    std::vector<std::string> messages() const {
        std::vector<std::string> found;
        for (const std::string& entry : log) {
            if (entry.front() == '[') {
                found.push_back(entry);
            }
        }
        return found;
    }

    std::vector<std::string> log;
    void (*onMessage)() = nullptr;  // runs inside the message box, e.g. to throw

  private:
    static std::size_t index(app::TextField field) { return static_cast<std::size_t>(field); }
    std::array<std::string, 9> texts_{};
};

// Answers each dialog with the next scripted path, or cancels (nothing) when the script is empty.
// Keeps the options it was asked with.
class FakeChooser final : public app::FileChooser {
  public:
    void willAnswer(std::optional<std::filesystem::path> path) {
        answers_.push_back(std::move(path));
    }
    std::optional<std::filesystem::path> choosePath(
        const app::FileDialogOptions& options) override {
        requests.push_back(options);
        if (answers_.empty()) {
            return std::nullopt;
        }
        std::optional<std::filesystem::path> answer = std::move(answers_.front());
        answers_.pop_front();
        return answer;
    }
    std::size_t unusedAnswers() const { return answers_.size(); }
    void dropAnswers() { answers_.clear(); }

    std::vector<app::FileDialogOptions> requests;

  private:
    std::deque<std::optional<std::filesystem::path>> answers_;
};

// Words from a seed; beyond the budget it throws, so that a draw that keeps rejecting fails the
// test instead of hanging it.
class SeededRandom final : public app::RandomSource {
  public:
    explicit SeededRandom(std::uint64_t seed, std::size_t budget = SIZE_MAX)
        : engine_(seed), budget_(budget) {}
    std::uint32_t nextWord() override {
        if (used == budget_) {
            throw std::runtime_error("random word budget exhausted");
        }
        ++used;
        return static_cast<std::uint32_t>(engine_());
    }

    std::size_t used = 0;

  private:
    std::mt19937_64 engine_;
    std::size_t budget_;
};

}  // namespace kxtest
