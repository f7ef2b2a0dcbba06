#pragma once

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
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

// Deterministic words (splitmix64) for the secrets the window draws; KX_TEST_SEED reproduces.
class SeededRandom final : public app::RandomSource {
  public:
    explicit SeededRandom(std::uint64_t seed) : state_(seed) {}
    std::uint32_t nextWord() override { return static_cast<std::uint32_t>(nextWide() >> 32); }
    std::uint64_t nextWide();

  private:
    std::uint64_t state_;
};

inline QString utf8(const char* text) {
    return QString::fromUtf8(text);
}
inline std::string utf8(const QString& text) {
    return text.toUtf8().toStdString();
}

// The first visible top-level window of type T that satisfies the filter, or null.
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

// Answers the dialogs a command opens, from inside their event loops: each step is polled until it
// reports that it acted. Any dialog left open for seconds fails the test and is closed, so a
// wrong or missing answer ends the test instead of hanging it.
class DialogResponder {
  public:
    using Step = std::function<bool()>;
    explicit DialogResponder(std::vector<Step> steps = {});
    DialogResponder(const DialogResponder&) = delete;
    DialogResponder& operator=(const DialogResponder&) = delete;
    bool finished() const { return next_ == steps_.size(); }

  private:
    void poll();
    std::vector<Step> steps_;
    std::size_t next_ = 0;
    QTimer timer_;
    QElapsedTimer sinceStep_;
};

// What an ownerless message box of the key exchange showed while it was open.
struct SeenMessage {
    std::string text;  // UTF-8
    std::string caption;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    Qt::WindowModality modality = Qt::ApplicationModal;
    bool windowBlocked = true;
};

// A step that records the ownerless message box, runs whileOpen, then presses OK.
DialogResponder::Step recordAndDismiss(SeenMessage& seen, std::function<void()> whileOpen = {});

// Types text into a widget, one key press per code point.
void typeText(QWidget& widget, const QString& text);

// A shown main window on a state of its own, run from inside a temporary current folder so that
// a file dialog answered wrongly cannot write into the source tree.
class ShellTest : public ::testing::Test {
  protected:
    ShellTest();
    void SetUp() override;
    void TearDown() override;

    QWidget& control(int id);  // the only control with this identifier
    QLineEdit& edit(app::TextField field);
    void run(int command) { runOn(window, command); }
    static void runOn(gui::qt::MainWindow& target, int command);  // from the menu
    std::string shown(app::TextField field) const { return window.fieldText(field); }

    const std::uint64_t seed;
    SeededRandom random;
    app::KeyExchange state{random};
    gui::qt::MainWindow window{state};
    QTemporaryDir folder;
    QString previousFolder;
    DialogResponder watchdog;  // no steps: only closes dialogs nobody answers
};

}  // namespace kxtest
