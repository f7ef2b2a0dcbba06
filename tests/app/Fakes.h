#pragma once

// Stand-ins for the window, the file dialog and the random source, so that the application can be
// driven headless: a view that records every field write and message in order, a chooser that
// answers from a script and records what it was asked, and deterministic random words. Free of
// any test framework, so fuzz targets can use it too.

#include <algorithm>
#include <array>
#include <iterator>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <filesystem>
#include <optional>
#include <ostream>
#include <random>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "app/FileChooser.h"
#include "app/KeyExchangeView.h"
#include "app/RandomSource.h"
#include "app/TextField.h"

namespace kxtest {

inline std::size_t fieldIndex(app::TextField field) {
    return static_cast<std::size_t>(field);
}

inline const char* fieldName(app::TextField field) {
    static constexpr std::array<const char*, 9> names{"q", "A",  "B",  "Px", "Py",
                                                      "a", "Pa", "Pb", "Pab"};
    return names[fieldIndex(field)];
}

// One thing the view was told, in the order it was told.
struct ViewEvent {
    enum class Kind { fieldWrite, message };
    Kind kind;
    app::TextField field;  // fieldWrite
    std::string text;      // the field's new text, or the message
    std::string caption;   // message
    app::MessageIcon icon;

    static ViewEvent write(app::TextField field, std::string text) {
        return {Kind::fieldWrite, field, std::move(text), {}, app::MessageIcon::none};
    }
    static ViewEvent message(std::string text, std::string caption, app::MessageIcon icon) {
        return {Kind::message, app::TextField::q, std::move(text), std::move(caption), icon};
    }
    bool operator==(const ViewEvent&) const = default;
};

inline std::ostream& operator<<(std::ostream& out, const ViewEvent& event) {
    if (event.kind == ViewEvent::Kind::fieldWrite) {
        return out << "write " << fieldName(event.field) << " \"" << event.text << "\"";
    }
    return out << "message \"" << event.text << "\" caption \"" << event.caption << "\" icon "
               << (event.icon == app::MessageIcon::warning ? "warning" : "none");
}

// Starts as the window does: the six edits empty, the three point fields showing "...".
class FakeView final : public app::KeyExchangeView {
  public:
    FakeView() { texts_[6] = texts_[7] = texts_[8] = "..."; }  // Pa, Pb, Pab

    std::string fieldText(app::TextField field) const override { return texts_[fieldIndex(field)]; }
    void setFieldText(app::TextField field, std::string_view text) override {
        texts_[fieldIndex(field)] = std::string(text);
        events_.push_back(ViewEvent::write(field, std::string(text)));
    }
    void showMessage(std::string_view text, std::string_view caption,
                     app::MessageIcon icon) override {
        events_.push_back(ViewEvent::message(std::string(text), std::string(caption), icon));
        if (throwOnMessage_) {
            throw std::runtime_error("message box could not be shown");
        }
    }

    // What the user types: changes the field without recording an event.
    void type(app::TextField field, std::string text) {
        texts_[fieldIndex(field)] = std::move(text);
    }
    const std::string& text(app::TextField field) const { return texts_[fieldIndex(field)]; }

    const std::vector<ViewEvent>& events() const { return events_; }
    std::vector<ViewEvent> messages() const {
        std::vector<ViewEvent> result;
        std::copy_if(events_.begin(), events_.end(), std::back_inserter(result),
                     [](const ViewEvent& event) { return event.kind == ViewEvent::Kind::message; });
        return result;
    }
    void clearEvents() { events_.clear(); }
    void throwOnMessage(bool enabled) { throwOnMessage_ = enabled; }

  private:
    std::array<std::string, 9> texts_{};
    std::vector<ViewEvent> events_;
    bool throwOnMessage_ = false;
};

// Answers each dialog with the next scripted path, or a cancel (nothing); an unscripted dialog is
// cancelled and counted.
class FakeChooser final : public app::FileChooser {
  public:
    void willAnswer(std::optional<std::filesystem::path> path) {
        answers_.push_back(std::move(path));
    }
    void willCancel() { answers_.emplace_back(std::nullopt); }

    std::optional<std::filesystem::path> choosePath(
        const app::FileDialogOptions& options) override {
        requests_.push_back(options);
        if (answers_.empty()) {
            ++unexpectedDialogs_;
            return std::nullopt;
        }
        std::optional<std::filesystem::path> answer = std::move(answers_.front());
        answers_.pop_front();
        return answer;
    }

    const std::vector<app::FileDialogOptions>& requests() const { return requests_; }
    std::size_t unusedAnswers() const { return answers_.size(); }
    // Dialogs opened beyond the script; each was cancelled.
    std::size_t unexpectedDialogs() const { return unexpectedDialogs_; }

  private:
    std::deque<std::optional<std::filesystem::path>> answers_;
    std::vector<app::FileDialogOptions> requests_;
    std::size_t unexpectedDialogs_ = 0;
};

// Hands out the given words in order; running out throws, so a loop that never accepts a draw
// ends the test instead of hanging it.
class ScriptedRandom final : public app::RandomSource {
  public:
    explicit ScriptedRandom(std::vector<std::uint32_t> words) : words_(std::move(words)) {}
    std::uint32_t nextWord() override {
        if (used_ == words_.size()) {
            throw std::runtime_error("scripted random words exhausted");
        }
        return words_[used_++];
    }
    std::size_t used() const { return used_; }

  private:
    std::vector<std::uint32_t> words_;
    std::size_t used_ = 0;
};

// Pseudo-random words from a seed. With a budget, asking for more words than that throws, so
// that a draw which keeps rejecting fails the test instead of hanging it.
class SeededRandom final : public app::RandomSource {
  public:
    explicit SeededRandom(std::uint64_t seed, std::size_t budget = SIZE_MAX)
        : engine_(seed), budget_(budget) {}
    std::uint32_t nextWord() override {
        if (used_ == budget_) {
            throw std::runtime_error("random word budget exhausted");
        }
        ++used_;
        return static_cast<std::uint32_t>(engine_());
    }
    void resetBudget(std::size_t budget) {
        budget_ = budget;
        used_ = 0;
    }

  private:
    std::mt19937_64 engine_;
    std::size_t budget_;
    std::size_t used_ = 0;
};

}  // namespace kxtest
