#pragma once
// A key exchange driven through the command dispatcher with a fake window, chooser and shell, as
// the hardening tests use it, and the expected Pa of the test curve from the GMP oracle.
#include <exception>
#include <filesystem>
#include <new>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "app/FailureReport.h"
#include "app/KeyExchange.h"
#include "gui/CommandDispatch.h"
#include "gui/WindowLayout.h"
#include "tests/app/Fakes.h"
#include "tests/app/TestCurve.h"

namespace kxtest {

class QuietShell final : public gui::ShellRequests {
  public:
    void requestClose() override { ++requests_; }
    void showAbout() override { ++requests_; }
    int requests() const { return requests_; }

  private:
    int requests_ = 0;
};

// Answers the next dialog with the path it was given, once; later dialogs are cancelled. Moving
// the answer out allocates nothing, so a failing allocation never strands an answer.
class AnsweringChooser final : public app::FileChooser {
  public:
    void answer(std::filesystem::path path) { next_ = std::move(path); }
    bool pending() const { return next_.has_value(); }
    std::optional<std::filesystem::path> choosePath(const app::FileDialogOptions&) override {
        return std::exchange(next_, std::nullopt);
    }

  private:
    std::optional<std::filesystem::path> next_;
};

inline const std::string outOfMemoryReport =
    app::failureReport(std::make_exception_ptr(std::bad_alloc()));

struct Session {
    SeededRandom random{7};
    app::KeyExchange state{random};
    FakeView view;
    AnsweringChooser chooser;
    QuietShell shell;
    gui::CommandDispatcher dispatcher{state, view, chooser, shell};

    void run(int command) { dispatcher.dispatch(command); }

    // The test curve with the given secret, typed in and updated.
    void enterTestCurve(const std::string& a) {
        typeCurve(view, testCurve);
        view.type(app::TextField::a, a);
        run(gui::command::updatePaPab);
    }
};

// a*P on the test curve, as the oracle computes it.
inline std::string expectedPa(const std::string& aHex) {
    const CurveOracle oracle = testCurve.oracle();
    return pointText(oracle.multiply(fromHexText(aHex), testCurve.basePoint()));
}

}  // namespace kxtest
