// Entry point of the Windows program.
#include <windows.h>

#include "app/KeyExchange.h"
#include "app/RandomSource.h"
#include "gui/WindowLayout.h"
#include "gui/win32/MainWindow.h"

namespace {

// The one key-exchange state: complete before the window exists, destroyed after the message
// loop has ended.
app::SystemRandom randomSource;
app::KeyExchange keyExchange{randomSource};

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int showCommand) {
    gui::win32::MainWindow window(instance, keyExchange);
    if (!window.create()) {
        return gui::startupFailedExitCode;
    }
    window.show(showCommand);

    // No accelerators and no dialog navigation: Tab does not move between the fields.
    MSG message{};
    while (GetMessageA(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    return static_cast<int>(message.wParam);
}
