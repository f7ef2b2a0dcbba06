#pragma once

#include <windows.h>

#include <array>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "app/FileChooser.h"
#include "app/KeyExchange.h"
#include "app/KeyExchangeView.h"
#include "gui/CommandDispatch.h"
#include "gui/WindowLayout.h"

namespace gui::win32 {

// The program's one top-level window, built with the single-byte Win32 calls from the shared
// window description. It keeps the handles of the controls that hold text fields or may fail to
// be created, and serves the key exchange as its view, file chooser and shell. The window is
// destroyed through its close path; this object must outlive the message loop.
class MainWindow final : public app::KeyExchangeView,
                         public app::FileChooser,
                         public ShellRequests {
  public:
    MainWindow(HINSTANCE instance, app::KeyExchange& state);
    MainWindow(const MainWindow&) = delete;
    MainWindow& operator=(const MainWindow&) = delete;

    // Registers the window class and creates the window with its controls. On failure tells the
    // user in a message box and returns false.
    bool create();
    void show(int showCommand) const;

    std::string fieldText(app::TextField field) const override;
    void setFieldText(app::TextField field, std::string_view text) override;
    void showMessage(std::string_view text, std::string_view caption,
                     app::MessageIcon icon) override;

    std::optional<std::filesystem::path> choosePath(const app::FileDialogOptions& options) override;

    void requestClose() override;
    void showAbout() override;

  private:
    static LRESULT CALLBACK windowProcedure(HWND window, UINT message, WPARAM wParam,
                                            LPARAM lParam);
    LRESULT handleMessage(UINT message, WPARAM wParam, LPARAM lParam);
    void createControls();

    HINSTANCE instance_;
    HWND window_ = nullptr;
    // By position in gui::controls; null for the controls that are created and forgotten, and
    // for any that could not be created.
    std::array<HWND, controls.size()> controlHandles_{};
    CommandDispatcher dispatcher_;
};

}  // namespace gui::win32
