// Starts the Windows program and drives its window from outside through Win32 messages, checking
// the shell's edge only: controls and menu against the shared window description, commands that
// reach the dispatcher, Windows-1252 text both ways, a message box that does not block, the save
// dialog, the About box, whole points shown and copied, and the exit. The number commands
// themselves are tested headless.
// Usage: keyexchange_wine_driver <keyexchange.exe> <empty work folder> <tests/data>
#include <process.h>
#include <windows.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>
#include <utility>

#include "app/ExchangeFiles.h"
#include "app/TypedNumber.h"
#include "gui/WindowLayout.h"

static int failures = 0;
static HWND mainWindow = nullptr;

// Prints and counts a failed expectation; the run goes on.
static bool check(bool passed, const std::string& what) {
    return passed || std::printf("FAILED %d: %s\n", ++failures, what.c_str()) < 0;
}

static bool same(const std::string& got, std::string_view want, const std::string& what) {
    return check(got == want, what + ": \"" + got + "\", expected \"" + std::string(want) + '"');
}

// False when the window does not answer within 10 s: a stuck program fails the run, not hangs it.
static bool sendTo(HWND window, UINT message, WPARAM wParam = 0, const void* lParam = nullptr) {
    return SendMessageTimeoutA(window, message, wParam, reinterpret_cast<LPARAM>(lParam),
                               SMTO_ABORTIFHUNG, 10000, nullptr) != 0;
}

static std::string textOf(HWND window) {
    char text[4096] = {};
    return sendTo(window, WM_GETTEXT, sizeof text, text) ? text : "";
}

// Polls every 20 ms for up to 15 s.
static auto waitFor(auto find) {
    auto found = find();
    for (int round = 0; round < 750 && !found; ++round, Sleep(20)) {
        found = find();
    }
    return found;
}

// Posts the command, so that the driver stays free to answer the modal window it opens, and
// returns that window once it shows with this owner (null: none).
static HWND openedBy(int id, HWND owner, const std::string& what) {
    PostMessageA(mainWindow, WM_COMMAND, static_cast<WPARAM>(id), 0);
    const HWND dialog = waitFor([owner] {
        const HWND found = FindWindowA("#32770", nullptr);
        return IsWindowVisible(found) && GetWindow(found, GW_OWNER) == owner ? found : nullptr;
    });
    return check(dialog, what + " opens") ? dialog : nullptr;
}

// Closes a modal window and waits until the command that opened it has finished.
static bool closes(HWND window, HWND target, UINT message, WPARAM wParam) {
    PostMessageA(target, message, wParam, 0);
    return waitFor([window] { return !IsWindow(window); }) && sendTo(mainWindow, WM_NULL);
}

// Runs a file command, types the name into the dialog's combo box cmb13 and closes it with the
// button; returns the file type the dialog showed first.
static std::string inFileDialog(int id, const std::string& name, WPARAM button) {
    const HWND dialog = openedBy(id, mainWindow, "an owned file dialog");
    const std::string fileType = textOf(GetDlgItem(dialog, 0x470));
    sendTo(GetDlgItem(dialog, 0x47C), WM_SETTEXT, 0, name.c_str());
    closes(dialog, dialog, WM_COMMAND, button);
    return fileType;
}

// A value field holds the saved point whole, whatever is typed into it, copies it when all is
// selected and Ctrl+C typed, and breaks its lines at any character: each ends inside the field, and
// none but the last leaves its formatting rectangle room for three more characters (a break at the
// ", " would). Scrolled down by its scroll bar, its last lines show; only where `mayScroll` may the
// point need more lines than the field shows at once.
static void checkValueField(HWND field, const std::string& saved, bool mayScroll,
                            const std::string& what) {
    sendTo(field, WM_CHAR, 'x');  // read-only: changes nothing
    const std::string text = textOf(field);
    same(text, saved, what + " shows the saved point");
    RECT format{}, inside{};
    sendTo(field, EM_GETRECT, 0, &format);
    GetClientRect(field, &inside);  // the scroll bar excluded
    const HDC dc = GetDC(field);
    // Wine passes no font handle between processes, so the lines are measured in the GUI font
    // the field is to use: one in another font breaks elsewhere and fails the fit or the fill.
    SelectObject(dc, GetStockObject(DEFAULT_GUI_FONT));
    const auto extent = [dc](const std::string& part, UINT flags) {
        RECT box{};
        DrawTextA(dc, part.c_str(), static_cast<int>(part.size()), &box,
                  DT_CALCRECT | DT_NOPREFIX | DT_EDITCONTROL | flags);
        return box;
    };
    sendTo(field, WM_VSCROLL, SB_BOTTOM);
    const auto first = static_cast<int>(SendMessageA(field, EM_GETFIRSTVISIBLELINE, 0, 0));
    const auto lines = static_cast<int>(SendMessageA(field, EM_GETLINECOUNT, 0, 0));
    std::string shown;
    for (int line = 0; line < lines; ++line) {
        const auto start = static_cast<std::size_t>(
            SendMessageA(field, EM_LINEINDEX, static_cast<WPARAM>(line), 0));
        const std::string part = text.substr(
            start, static_cast<std::size_t>(SendMessageA(field, EM_LINELENGTH, start, 0)));
        const std::string where = what + " line " + std::to_string(line) + " \"" + part + '"';
        check(format.left + extent(part, DT_SINGLELINE).right <= inside.right,
              where + " shows whole");
        check(
            line + 1 == lines || extent(text.substr(start, part.size() + 3), DT_SINGLELINE).right >
                                     format.right - format.left,
            where + " leaves no room for three more characters");
        shown += line >= first ? part + "\r\n" : "";
    }
    ReleaseDC(field, dc);
    check(extent(shown, 0).bottom <= format.bottom - format.top && (first == 0 || mayScroll) &&
              (GetWindowLongA(field, GWL_STYLE) & WS_VSCROLL) != 0,
          what + ": " + std::to_string(lines - first) + " of " + std::to_string(lines) +
              " lines show after scrolling down " + std::to_string(first));
    std::string copied;
    sendTo(field, EM_SETSEL, 0, reinterpret_cast<const void*>(-1));
    sendTo(field, WM_CHAR, 3);
    if (OpenClipboard(nullptr)) {
        if (const HANDLE data = GetClipboardData(CF_TEXT)) {
            copied = static_cast<const char*>(GlobalLock(data));
            GlobalUnlock(data);
        }
        EmptyClipboard();  // so that a copy that fails next finds nothing
        CloseClipboard();
    }
    same(copied, saved, what + " as copied");
}

int main(int, char** argv) {
    // Wine keeps a window's menu in the owning process, so the menu is loaded from the program
    // file. Each table's rows, then one position past the last holding nothing: no text, id -1,
    // which is also the id of a drop-down.
    const auto checkItems = [](HMENU menu, const auto& rows) {
        for (std::size_t at = 0; at <= rows.size(); ++at) {
            char shown[256] = {};
            GetMenuStringA(menu, static_cast<UINT>(at), shown, sizeof shown, MF_BYPOSITION);
            const auto sent = static_cast<int>(GetMenuItemID(menu, static_cast<int>(at)));
            const bool row = at < rows.size();
            same(shown + (" -> " + std::to_string(sent)),
                 std::string(row ? rows[at].text : "") + " -> " +
                     std::to_string(row && rows[at].command != 0 ? rows[at].command : -1),
                 "menu item");
        }
    };
    const HMENU bar = LoadMenuA(LoadLibraryExA(argv[1], nullptr, LOAD_LIBRARY_AS_DATAFILE),
                                MAKEINTRESOURCEA(gui::mainWindow.menuId));
    checkItems(bar, gui::menuBar);
    for (std::size_t entry = 0; entry < gui::menuBar.size(); ++entry) {
        checkItems(GetSubMenu(bar, static_cast<int>(entry)), gui::menuBar[entry].items);
    }

    const auto program = reinterpret_cast<HANDLE>(_spawnl(_P_NOWAIT, argv[1], argv[1], nullptr));
    const std::string windowClass(gui::mainWindow.className), title(gui::mainWindow.title);
    mainWindow = waitFor([&] { return FindWindowA(windowClass.c_str(), title.c_str()); });
    if (!check(mainWindow != nullptr, "the main window appears, found by class and title")) {
        return 1;
    }

    // Every row of the control table is a child, in creation order, with its class, id, text
    // and place in the client area.
    const auto describe = [](std::string_view kind, int id, std::string_view text, RECT box) {
        return std::string(kind) + " " + std::to_string(id) + " \"" + std::string(text) + "\" " +
               std::to_string(box.left) + "," + std::to_string(box.top) + "," +
               std::to_string(box.right) + "," + std::to_string(box.bottom);
    };
    RECT client{};
    GetClientRect(mainWindow, &client);
    HWND child = GetWindow(mainWindow, GW_CHILD);
    for (const gui::ControlSpec& row : gui::controls) {
        char kind[16] = {};
        RECT box{};
        GetClassNameA(child, kind, sizeof kind);
        GetWindowRect(child, &box);
        MapWindowPoints(nullptr, mainWindow, reinterpret_cast<POINT*>(&box), 2);
        const gui::Rect p = placed(row, client.right, client.bottom, gui::ShellKind::windows);
        same(describe(CharUpperA(kind), GetDlgCtrlID(child), textOf(child), box),
             describe(gui::controlClassName(row.controlClass), row.id, row.text,
                      {p.x, p.y, p.x + p.width, p.y + p.height}),
             "control");
        check(row.controlClass != gui::ControlClass::valueField ||
                  (box.right <= client.right && box.bottom <= client.bottom),
              std::to_string(row.id) + " lies inside the client area");
        child = GetWindow(child, GW_HWNDNEXT);
    }
    check(child == nullptr, "no control beyond the table");

    // A button reaches the dispatcher; so does a menu command while the off-curve message box,
    // which has no owner, is open.
    const HWND a = GetDlgItem(mainWindow, gui::controlFor(app::TextField::a).id);
    const HWND Py = GetDlgItem(mainWindow, gui::controlFor(app::TextField::Py).id);
    sendTo(mainWindow, WM_COMMAND, gui::command::useTestValues);
    const std::string before = textOf(a);
    sendTo(GetDlgItem(mainWindow, gui::command::generateSecret), BM_CLICK);
    check(textOf(a) != before, "a click on \"Gener\xE9r a\" draws a new a, not " + before);
    sendTo(Py, WM_SETTEXT, 0, "1");
    if (const HWND box = openedBy(gui::command::updatePaPab, nullptr, "an unowned message box")) {
        same(textOf(GetDlgItem(box, 0xFFFF)), "Det indtastede punkt findes ikke p\xE5 kurven",
             "the off-curve message");
        check(IsWindowEnabled(mainWindow), "the main window stays enabled under the message box");
        check(sendTo(mainWindow, WM_COMMAND, gui::command::useTestValues) && textOf(Py) != "1",
              "with the message box open, the menu's test values replace Py = 1");
        check(closes(box, box, WM_COMMAND, IDOK), "OK closes the message box");
    }

    // The About box ignores Escape (IDCANCEL) and the close box (SC_CLOSE); OK closes it.
    if (const HWND about = openedBy(gui::command::about, mainWindow, "the owned About box")) {
        check(sendTo(about, WM_COMMAND, IDCANCEL) && sendTo(about, WM_SYSCOMMAND, SC_CLOSE) &&
                  IsWindowVisible(about),
              "Escape and the close box leave the About box open");
        check(closes(about, GetDlgItem(about, IDOK), BM_CLICK, 0), "OK closes the About box");
    }

    // A save dialog shows the command's first file type and takes the name in its combo box
    // cmb13. Cancel writes nothing. OK writes the typed a under the typed name with the default
    // extension, the name in Windows-1252 with the euro sign where that differs from Latin-1. An a
    // that is no number gets, before any dialog, the message that names its character, the euro
    // sign too.
    const std::string letters = "\xE6\xF8\xE5\x80", name = argv[2] + ("\\n\xF8gle" + letters);
    const auto save = [&name](int id, const app::FileDialogOptions& options, WPARAM button) {
        same(inFileDialog(id, name, button), options.filters[0].description, "file type");
    };
    save(gui::command::savePublicData, app::publicDataSaveDialog, IDCANCEL);
    check(std::filesystem::is_empty(argv[2]), "cancel writes nothing");
    sendTo(a, WM_SETTEXT, 0, "1\x80");
    if (const HWND box = openedBy(gui::command::saveSecretKey, nullptr, "the message about a")) {
        same(textOf(GetDlgItem(box, 0xFFFF)), app::badFieldMessage(app::TextField::a, {'\x80', 2}),
             "the message about a");
        closes(box, box, WM_COMMAND, IDOK);
        check(FindWindowA("#32770", nullptr) == nullptr, "no save dialog after the message");
    }
    sendTo(a, WM_SETTEXT, 0, "0a");
    save(gui::command::saveSecretKey, app::secretKeySaveDialog, IDOK);
    std::string saved;
    std::getline(std::ifstream(name + ".secret", std::ios::binary), saved, '\0');
    same(saved, "0a", "the saved a");

    // An exchange with itself on each curve of the base points, with q, A and B from the curves:
    // Pa and Pb show the Pa saved in the public data, Pab the saved shared key.
    std::ifstream points(argv[3] + std::string("\\base-points.txt"));
    std::string curve, x, y;
    int exchanges = 0;
    for (; points >> curve >> x >> y; ++exchanges) {
        std::ifstream table(argv[3] + std::string("\\curves.txt"));
        std::string named, q, A, B;
        while (table >> named >> q >> A >> B && named != curve) {
        }
        sendTo(mainWindow, WM_COMMAND, gui::command::clearAll);  // no Pb off the new curve
        const std::array<std::string, 5> typed{q, A, B, x, y};   // the fields q to Py
        for (std::size_t at = 0; at < typed.size(); ++at) {
            const int id = gui::controlFor(app::allTextFields[at]).id;
            sendTo(GetDlgItem(mainWindow, id), WM_SETTEXT, 0, typed[at].c_str());
        }
        sendTo(mainWindow, WM_COMMAND, gui::command::generateSecret);
        const std::string file = argv[2] + ("\\" + curve);
        inFileDialog(gui::command::savePublicData, file, IDOK);
        inFileDialog(gui::command::openPublicData, file + ".public", IDOK);
        inFileDialog(gui::command::saveSharedKey, file, IDOK);
        std::string publicData, Pab;
        std::getline(std::ifstream(file + ".public", std::ios::binary), publicData, '\0');
        std::getline(std::ifstream(file + ".comkey", std::ios::binary), Pab, '\0');
        const std::string Pa = publicData.substr(publicData.rfind('*') + 1);
        for (const auto& [id, point] : {std::pair{2008, Pa}, {2009, Pa}, {2010, Pab}}) {
            checkValueField(GetDlgItem(mainWindow, id), point, curve != "secp256r1",
                            curve + " field " + std::to_string(id));
        }
    }
    check(exchanges == 2, "an exchange on P-256 and one on P-521");

    PostMessageA(mainWindow, WM_COMMAND, gui::command::exit, 0);
    DWORD code = WaitForSingleObject(program, 15000);
    check(code == WAIT_OBJECT_0 && GetExitCodeProcess(program, &code) && code == 0,
          "\"&Afslut\" ends the program with exit code 0");
    std::printf("%s: %d failed expectation(s)\n", failures == 0 ? "PASSED" : "FAILED", failures);
    return failures == 0 ? 0 : 1;
}
