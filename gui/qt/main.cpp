#include <QApplication>
#include <QMessageBox>
#include <exception>
#include <optional>

#include "app/KeyExchange.h"
#include "app/RandomSource.h"
#include "gui/WindowLayout.h"
#include "gui/qt/DanishQtTexts.h"
#include "gui/qt/MainWindow.h"
#include "gui/qt/Windows1252.h"

int main(int argc, char* argv[]) {
    // The state is complete before the window exists and outlives it.
    app::SystemRandom random;
    app::KeyExchange state(random);

    QApplication application(argc, argv);
    gui::qt::useDanishQtTexts(application);

    std::optional<gui::qt::MainWindow> window;
    try {
        window.emplace(state);
    } catch (const std::exception&) {
        QMessageBox::warning(nullptr, gui::qt::fromWindows1252(gui::startupErrorCaption),
                             gui::qt::fromWindows1252(gui::creationFailedMessage));
        return gui::startupFailedExitCode;
    }
    window->show();
    return QApplication::exec();
}
