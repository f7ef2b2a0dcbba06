#include "gui/win32/MainWindow.h"

#include <cstddef>

#include "gui/win32/FileDialog.h"

namespace gui::win32 {

namespace {

LPCSTR resourceName(int id) {
    return MAKEINTRESOURCEA(id);
}

// The single-byte calls want NUL-terminated text; views into the tables do not promise one.
std::string terminated(std::string_view text) {
    return std::string(text);
}

// A value field breaks a line at any character, so that a long number fills each line.
int CALLBACK breakAnywhere(LPSTR, int position, int length, int action) {
    switch (action) {
        case WB_LEFT:
            return position > 0 ? position - 1 : 0;
        case WB_RIGHT:
            return position < length ? position + 1 : length;
        default:
            return FALSE;  // WB_ISDELIMITER: no character is one
    }
}

DWORD styleOf(ControlClass controlClass) {
    switch (controlClass) {
        case ControlClass::edit:
            return WS_CHILD | WS_VISIBLE | ES_AUTOHSCROLL;
        case ControlClass::valueField:
            return WS_CHILD | WS_VISIBLE | WS_VSCROLL | ES_MULTILINE | ES_READONLY;
        case ControlClass::staticText:
        case ControlClass::button:
            break;
    }
    return WS_CHILD | WS_VISIBLE;
}

// Only OK (or Enter through it) closes the box; Escape and the close box send IDCANCEL, which is
// answered and ignored.
INT_PTR CALLBACK AboutDialog(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
    if (message != WM_COMMAND) {
        return FALSE;
    }
    if ((wParam & 0xFFFF) == IDOK) {
        EndDialog(dialog, 0);
    }
    return TRUE;
}

}  // namespace

MainWindow::MainWindow(HINSTANCE instance, app::KeyExchange& state)
    : instance_(instance), dispatcher_(state, *this, *this, *this) {}

bool MainWindow::create() {
    const std::string className = terminated(mainWindow.className);
    const std::string title = terminated(mainWindow.title);
    const std::string errorCaption = terminated(startupErrorCaption);

    WNDCLASSEXA windowClass{};
    windowClass.cbSize = sizeof windowClass;
    windowClass.style = 0;
    windowClass.lpfnWndProc = &MainWindow::windowProcedure;
    windowClass.hInstance = instance_;
    windowClass.hIcon = LoadIconA(instance_, resourceName(mainWindow.iconId));
    windowClass.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(COLOR_WINDOW + 1));
    windowClass.lpszMenuName = resourceName(mainWindow.menuId);
    windowClass.lpszClassName = className.c_str();
    windowClass.hIconSm = static_cast<HICON>(LoadImageA(instance_, resourceName(mainWindow.iconId),
                                                        IMAGE_ICON, 16, 16, LR_DEFAULTCOLOR));
    if (RegisterClassExA(&windowClass) == 0) {
        MessageBoxA(nullptr, terminated(registrationFailedMessage).c_str(), errorCaption.c_str(),
                    MB_ICONEXCLAMATION | MB_OK);
        return false;
    }

    // The procedure learns `this` from WM_NCCREATE, before WM_CREATE builds the controls.
    const HWND window =
        CreateWindowExA(WS_EX_CLIENTEDGE, className.c_str(), title.c_str(),
                        WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX, CW_USEDEFAULT, CW_USEDEFAULT,
                        mainWindow.width, mainWindow.height, nullptr, nullptr, instance_, this);
    if (window == nullptr) {
        MessageBoxA(nullptr, terminated(creationFailedMessage).c_str(), errorCaption.c_str(),
                    MB_ICONEXCLAMATION | MB_OK);
        return false;
    }
    return true;
}

void MainWindow::show(int showCommand) const {
    ShowWindow(window_, showCommand);
    UpdateWindow(window_);
}

LRESULT CALLBACK MainWindow::windowProcedure(HWND window, UINT message, WPARAM wParam,
                                             LPARAM lParam) {
    if (message == WM_NCCREATE) {
        const auto* creation = reinterpret_cast<const CREATESTRUCTA*>(lParam);
        auto* self = static_cast<MainWindow*>(creation->lpCreateParams);
        self->window_ = window;
        SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    }
    auto* self = reinterpret_cast<MainWindow*>(GetWindowLongPtrA(window, GWLP_USERDATA));
    if (self == nullptr) {
        return DefWindowProcA(window, message, wParam, lParam);
    }
    // No exception may unwind through the system's frames. Commands catch their own; what is
    // left here is running out of memory while building a control's text.
    try {
        return self->handleMessage(message, wParam, lParam);
    } catch (...) {
        return 0;
    }
}

LRESULT MainWindow::handleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_CREATE:
            createControls();
            return 0;
        case WM_COMMAND:
            dispatcher_.dispatch(static_cast<int>(wParam & 0xFFFF));
            return 0;
        case WM_CLOSE:
            DestroyWindow(window_);
            return 0;
        case WM_DESTROY:
            PostQuitMessage(0);
            return 0;
        case WM_SIZE:
            return 0;
        default:
            return DefWindowProcA(window_, message, wParam, lParam);
    }
}

void MainWindow::createControls() {
    const std::string errorCaption = terminated(controlErrorCaption);
    RECT client{};
    GetClientRect(window_, &client);
    for (std::size_t index = 0; index < controls.size(); ++index) {
        const ControlSpec& control = controls[index];
        const Rect place = placed(control, client.right, client.bottom, ShellKind::windows);
        const HWND handle = CreateWindowExA(
            control.controlClass == ControlClass::edit ? WS_EX_CLIENTEDGE : 0,
            terminated(controlClassName(control.controlClass)).c_str(),
            terminated(control.text).c_str(), styleOf(control.controlClass), place.x, place.y,
            place.width, place.height, window_,
            reinterpret_cast<HMENU>(static_cast<INT_PTR>(control.id)), instance_, nullptr);
        if (handle != nullptr && control.controlClass == ControlClass::valueField) {
            SendMessageA(handle, WM_SETFONT,
                         reinterpret_cast<WPARAM>(GetStockObject(DEFAULT_GUI_FONT)), FALSE);
            SendMessageA(handle, EM_SETWORDBREAKPROC, 0, reinterpret_cast<LPARAM>(&breakAnywhere));
        }
        if (control.failureMessage.empty()) {
            continue;
        }
        controlHandles_[index] = handle;
        if (handle == nullptr) {
            MessageBoxA(window_, terminated(control.failureMessage).c_str(), errorCaption.c_str(),
                        MB_OK | MB_ICONERROR);
        }
    }
}

std::string MainWindow::fieldText(app::TextField field) const {
    const ControlSpec& control = controlFor(field);
    const HWND handle = controlHandles_[static_cast<std::size_t>(&control - controls.data())];
    if (handle == nullptr) {
        return {};
    }
    const int length = GetWindowTextLengthA(handle);
    if (length <= 0) {
        return {};
    }
    std::string text(static_cast<std::size_t>(length) + 1, '\0');
    const int copied = GetWindowTextA(handle, text.data(), length + 1);
    text.resize(static_cast<std::size_t>(copied > 0 ? copied : 0));
    return text;
}

void MainWindow::setFieldText(app::TextField field, std::string_view text) {
    SetDlgItemTextA(window_, controlFor(field).id, terminated(text).c_str());
}

void MainWindow::showMessage(std::string_view text, std::string_view caption,
                             app::MessageIcon icon) {
    MessageBoxA(nullptr, terminated(text).c_str(), terminated(caption).c_str(),
                icon == app::MessageIcon::warning ? MB_ICONEXCLAMATION : MB_OK);
}

std::optional<std::filesystem::path> MainWindow::choosePath(const app::FileDialogOptions& options) {
    return runFileDialog(window_, options);
}

void MainWindow::requestClose() {
    PostMessageA(window_, WM_CLOSE, 0, 0);
}

void MainWindow::showAbout() {
    DialogBoxParamA(instance_, resourceName(mainWindow.aboutDialogId), window_, AboutDialog, 0);
}

}  // namespace gui::win32
