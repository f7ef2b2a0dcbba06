#pragma once

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QElapsedTimer>
#include <QHash>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "app/KeyExchange.h"
#include "app/RandomSource.h"
#include "gui/WindowLayout.h"
#include "gui/qt/MainWindow.h"

namespace kxtest {

// The seed comes from KX_TEST_SEED when set, so one variable reproduces a failure.
std::uint64_t testSeed();

// Deterministic 32-bit words (splitmix64) for the secrets the window draws.
class SeededRandom final : public app::RandomSource {
  public:
    explicit SeededRandom(std::uint64_t seed) : state_(seed) {}
    std::uint32_t nextWord() override;
    std::uint64_t nextWide();

  private:
    std::uint64_t state_;
};

// Converts UTF-8 test literals to the window's Unicode text and back.
QString utf8(const char* text);
std::string utf8(const QString& text);

// The first visible window of type T that satisfies the filter, or null.
template <typename T>
T* visibleWindow(const std::function<bool(T&)>& filter = [](T&) { return true; }) {
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        auto* window = dynamic_cast<T*>(widget);
        if (window != nullptr && window->isVisible() && filter(*window)) {
            return window;
        }
    }
    return nullptr;
}

// Answers the dialogs and message boxes that a command opens, from inside their event loops.
// Each step is tried every few milliseconds until it reports that it found its window and acted;
// then the next step takes over. If a step never succeeds, the responder closes every dialog
// after a while, so a failing test ends instead of hanging.
class DialogResponder {
  public:
    using Step = std::function<bool()>;
    explicit DialogResponder(std::vector<Step> steps);
    DialogResponder(const DialogResponder&) = delete;
    DialogResponder& operator=(const DialogResponder&) = delete;

    bool finished() const { return next_ == steps_.size(); }

  private:
    void poll();

    std::vector<Step> steps_;
    std::size_t next_ = 0;
    QTimer timer_;
    QElapsedTimer clock_;
};

// What a message box of the key exchange showed while it was open.
struct SeenMessage {
    std::string text;  // UTF-8
    std::string caption;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    bool hasParent = true;
    Qt::WindowModality modality = Qt::ApplicationModal;
    bool windowBlocked = true;
};

// A step that records the message box, runs whileOpen, and then presses OK.
DialogResponder::Step recordAndDismiss(SeenMessage& seen, std::function<void()> whileOpen = {});

// Clicks the widget the way a mouse does: through its window, so that a modal box blocks it.
void clickThroughWindow(QWidget& target);

// Types text into a widget key by key, one code point per key press.
void typeText(QWidget& widget, const QString& text);

// Fails the test and closes any dialog or message box that stays open for seconds: one that
// no responder expected would otherwise wait for ever.
class DialogWatchdog {
  public:
    DialogWatchdog();
    DialogWatchdog(const DialogWatchdog&) = delete;
    DialogWatchdog& operator=(const DialogWatchdog&) = delete;

  private:
    void check();

    QTimer timer_;
    QElapsedTimer clock_;
    QHash<const QWidget*, qint64> firstSeen_;
};

// A shown main window on a state of its own.
class ShellTest : public ::testing::Test {
  protected:
    ShellTest();
    void SetUp() override;

    QWidget& control(int id);  // the only control with this identifier
    QLineEdit& edit(app::TextField field);
    QLabel& valueLabel(app::TextField field);
    QPushButton& button(int command);
    QAction& action(int command);
    // Runs a command from the menu.
    void run(int command) { action(command).trigger(); }
    std::string shown(app::TextField field) const { return window.fieldText(field); }

    const std::uint64_t seed;
    SeededRandom random;
    app::KeyExchange state{random};
    gui::qt::MainWindow window{state};
    DialogWatchdog watchdog;
};

}  // namespace kxtest
