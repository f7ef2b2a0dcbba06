// Starts the Windows program and drives it from outside, as a user would: window, controls and
// menu against the shared description; the number commands against an independent curve
// arithmetic; the About box; the file commands through the real common dialogs; and the exit.
// Usage: keyexchange_wine_driver <keyexchange.exe> <work folder> <snapshot.png>
#include <windows.h>
// After windows.h, which it needs.
#include <gdiplus.h>

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "Harness.h"
#include "app/ExchangeFiles.h"
#include "gui/WindowLayout.h"
#include "tests/gui/CurveOracle.h"

namespace {

using app::TextField;
using namespace kxtest;

Expectations expect;

// The built-in test values, as the program shows them.
const std::pair<TextField, std::string> testValues[] = {{TextField::q, hexText(testCurve.q)},
                                                        {TextField::A, hexText(testCurve.A)},
                                                        {TextField::B, hexText(testCurve.B)},
                                                        {TextField::Px, hexText(testPoint.x)},
                                                        {TextField::Py, hexText(testPoint.y)}};
const AffinePoint& P = testPoint;

class Program {
  public:
    explicit Program(const std::string& path) {
        STARTUPINFOA startup{};
        startup.cb = sizeof startup;
        startup.dwFlags = STARTF_USESHOWWINDOW;
        startup.wShowWindow = SW_SHOWNORMAL;
        std::string commandLine = concat({"\"", path, "\""});
        if (CreateProcessA(path.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                           nullptr, &startup, &process_) == 0) {
            return;
        }
        WaitForInputIdle(process_.hProcess, 10000);
        // Found by its title, as a user would, among this process's windows.
        const std::string title(gui::mainWindow.title);
        window_ = waitFor([&] {
            const HWND found = FindWindowA(nullptr, title.c_str());
            DWORD owner = 0;
            GetWindowThreadProcessId(found, &owner);
            return owner == process_.dwProcessId ? found : nullptr;
        });
    }
    Program(const Program&) = delete;
    Program& operator=(const Program&) = delete;
    ~Program() {
        if (process_.hProcess != nullptr) {
            TerminateProcess(process_.hProcess, 99);  // fails harmlessly once it has ended
            CloseHandle(process_.hThread);
            CloseHandle(process_.hProcess);
        }
    }

    HWND window() const { return window_; }
    // The exit code, or -1 when the process has not ended within 15 s.
    long long waitForExit() const {
        DWORD code = 0;
        return WaitForSingleObject(process_.hProcess, 15000) == WAIT_OBJECT_0 &&
                       GetExitCodeProcess(process_.hProcess, &code)
                   ? static_cast<long long>(code)
                   : -1;
    }

    HWND field(TextField which) const { return GetDlgItem(window_, gui::controlFor(which).id); }
    std::string text(TextField which) const { return windowText(field(which)); }
    void type(TextField which, std::string_view text) const {
        expect.check(setWindowText(field(which), text), "typing into a field");
    }
    // A command that opens no window of its own: handled when the call returns.
    void command(int id) const {
        expect.check(sendTo(window_, WM_COMMAND, static_cast<WPARAM>(id)),
                     concat({"the window answers command ", std::to_string(id)}));
    }
    // A command that opens a modal window: queued, so the driver stays free to answer it.
    void post(int id) const { PostMessageA(window_, WM_COMMAND, static_cast<WPARAM>(id), 0); }
    HWND waitForDialog(HWND owner, std::string_view caption = {}) const {
        return waitFor([&] { return findDialog(process_.dwProcessId, owner, caption); });
    }
    // Waits until queued work and any modal window the driver has just closed are done.
    void settle() const { sendTo(window_, WM_NULL); }

  private:
    PROCESS_INFORMATION process_{};
    HWND window_ = nullptr;
};

std::string readFile(const std::string& path) {
    std::string bytes;
    if (std::FILE* file = std::fopen(path.c_str(), "rb")) {
        for (int character = 0; (character = std::fgetc(file)) != EOF;) {
            bytes += static_cast<char>(character);
        }
        std::fclose(file);
    }
    return bytes;
}

// What the screen shows of the window, as a PNG file for a person to look at.
bool saveSnapshot(HWND window, const std::string& path) {
    RECT rect{};
    GetWindowRect(window, &rect);
    const HDC screen = GetDC(nullptr);
    const HDC memory = CreateCompatibleDC(screen);
    const HBITMAP bitmap =
        CreateCompatibleBitmap(screen, rect.right - rect.left, rect.bottom - rect.top);
    const HGDIOBJ previous = SelectObject(memory, bitmap);
    bool saved = BitBlt(memory, 0, 0, rect.right - rect.left, rect.bottom - rect.top, screen,
                        rect.left, rect.top, SRCCOPY) != 0;
    SelectObject(memory, previous);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    std::wstring widePath(path.size(), L'\0');
    widePath.resize(static_cast<std::size_t>(
        MultiByteToWideChar(CP_ACP, 0, path.data(), static_cast<int>(path.size()), widePath.data(),
                            static_cast<int>(widePath.size()))));
    const Gdiplus::GdiplusStartupInput input;
    ULONG_PTR token = 0;
    Gdiplus::GdiplusStartup(&token, &input, nullptr);
    {
        // The PNG encoder's class identifier, the same in every GDI+.
        const CLSID png = {
            0x557CF406, 0x1A04, 0x11D3, {0x9A, 0x73, 0x00, 0x00, 0xF8, 0x1E, 0xF3, 0x2E}};
        Gdiplus::Bitmap image(bitmap, nullptr);
        saved = saved && image.Save(widePath.c_str(), &png, nullptr) == Gdiplus::Ok;
    }
    Gdiplus::GdiplusShutdown(token);
    DeleteObject(bitmap);
    return saved;
}

// Menu 201 as the program file holds it, in US English: two zero header words, then per entry
// its flags, the command of a plain item and the text in UTF-16.
void checkMenuResource(const std::string& programPath) {
    const HMODULE module = LoadLibraryExA(
        programPath.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
    const HRSRC found = module == nullptr
                            ? nullptr
                            : FindResourceExA(module, MAKEINTRESOURCEA(4) /* RT_MENU */,
                                              MAKEINTRESOURCEA(gui::mainWindow.menuId),
                                              MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US));
    if (!expect.check(found != nullptr, "menu 201 in US English")) {
        return;
    }
    const auto* word = static_cast<const WORD*>(LockResource(LoadResource(module, found)));
    const WORD* const end = word + SizeofResource(module, found) / 2;
    const auto next = [&]() -> WORD { return word < end ? *word++ : 0; };
    const auto text = [&] {
        std::wstring wide;
        for (WORD unit = next(); unit != 0; unit = next()) {
            wide += static_cast<wchar_t>(unit);
        }
        return toCodePage1252(wide);
    };
    expect.equal(next() | next(), 0, "menu template header");
    for (std::size_t entry = 0; entry < gui::menuBar.size(); ++entry) {
        const gui::MenuSpec& row = gui::menuBar[entry];
        const WORD flags = next();
        expect.equal(flags & ~MF_POPUP, entry + 1 == gui::menuBar.size() ? MF_END : 0,
                     "menu bar flags: plain, the end mark on the last");
        expect.equal((flags & MF_POPUP) != 0, !row.items.empty(), "drop-down or command");
        if ((flags & MF_POPUP) == 0) {
            expect.equal(next(), row.command, "menu bar command");
        }
        expect.equal(text(), row.text, "menu bar text");
        for (std::size_t index = 0; index < row.items.size(); ++index) {
            expect.equal(next(), index + 1 == row.items.size() ? MF_END : 0,
                         "menu item flags: plain, the end mark on the last");
            expect.equal(next(), row.items[index].command, "menu item command");
            expect.equal(text(), row.items[index].text, "menu item text");
        }
    }
    expect.check(word == end, "menu template ends after the last item");
    FreeLibrary(module);
}

void checkWindow(const Program& program, const std::string& programPath) {
    expect.section("window, controls and menu");
    const HWND window = program.window();
    expect.equal(windowClass(window), gui::mainWindow.className, "window class name");
    const auto style = static_cast<DWORD>(GetWindowLongPtrA(window, GWL_STYLE));
    expect.equal(style & (WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_MAXIMIZEBOX |
                          WS_THICKFRAME | WS_CHILD | WS_POPUP),
                 WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX,
                 "title bar, system menu and minimise box; neither resizable nor maximisable");
    expect.check((GetWindowLongPtrA(window, GWL_EXSTYLE) & WS_EX_CLIENTEDGE) != 0,
                 "main window has a client edge");
    RECT outer{};
    GetWindowRect(window, &outer);
    expect.equal(outer.right - outer.left, gui::mainWindow.width, "outer width");
    expect.equal(outer.bottom - outer.top, gui::mainWindow.height, "outer height");
    // Wine keeps a class's brush and icons in the owning process and answers 0 to any other;
    // Windows lets them be read from here. So they are not checked.

    const std::vector<HWND> children = childrenOf(window);
    expect.equal(children.size(), gui::controls.size(), "number of controls");
    // Child windows keep their creation order among their siblings.
    for (std::size_t index = 0; index < children.size() && index < gui::controls.size(); ++index) {
        const gui::ControlSpec& row = gui::controls[index];
        const HWND child = children[index];
        const std::string where = concat({"control #", std::to_string(index + 1), " "});
        const std::string_view className = gui::controlClassName(row.controlClass);
        expect.check(lstrcmpiA(windowClass(child).c_str(), std::string(className).c_str()) == 0,
                     concat({where, "class ", windowClass(child), ", expected ", className}));
        expect.equal(GetDlgCtrlID(child), row.id, where + "identifier");
        expect.equal(windowText(child), row.text, where + "text");
        RECT rect{};
        GetWindowRect(child, &rect);
        MapWindowPoints(nullptr, window, reinterpret_cast<POINT*>(&rect), 2);
        const auto box = [](long x, long y, long width, long height) {
            return concat({std::to_string(x), ",", std::to_string(y), " ", std::to_string(width),
                           "x", std::to_string(height)});
        };
        expect.equal(box(rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top),
                     box(row.x, row.y, row.width, row.height), where + "rectangle");
        expect.equal(GetWindowLongPtrA(child, GWL_STYLE) & (WS_CHILD | WS_VISIBLE | WS_TABSTOP),
                     WS_CHILD | WS_VISIBLE, where + "a visible child without tab stop");
        expect.equal((GetWindowLongPtrA(child, GWL_EXSTYLE) & WS_EX_CLIENTEDGE) != 0,
                     row.controlClass == gui::ControlClass::edit, where + "client edge on edits");
    }

    // Wine keeps menus in the owning process: their items cannot be read from another one (on
    // Windows they can). So the window's menu is read from the program file.
    expect.check(GetMenu(window) != nullptr, "main window has a menu");
    checkMenuResource(programPath);
}

void useTestValues(const Program& program) {
    program.command(gui::command::useTestValues);
    for (const auto& [field, value] : testValues) {
        expect.equal(program.text(field), value, "test value");
    }
}

void checkPublicPoints(const Program& program, const std::string& snapshotPath) {
    expect.section("403, then 402: Pa = a*P");
    useTestValues(program);
    const char* seedText = std::getenv("KX_TEST_SEED");
    const auto seed = seedText != nullptr
                          ? static_cast<unsigned>(std::strtoul(seedText, nullptr, 0))
                          : std::random_device{}();
    std::mt19937 generator(seed);
    std::string beyond64Bits;
    while (beyond64Bits.size() < 40) {
        beyond64Bits += "0123456789abcdef"[generator() % 16];
    }
    // Zero, lower case, leading zeros, q + 1, empty (reads as zero) and a random 40-digit secret.
    for (const std::string secret :
         {"0", "1", "00ff", "725f8e91cc4088", "", beyond64Bits.c_str()}) {
        program.type(TextField::a, secret);
        program.command(gui::command::updatePaPab);
        std::string shown;  // upper case without leading zeros
        for (const char digit : secret) {
            shown += shown.empty() && digit == '0'
                         ? ""
                         : std::string(1, static_cast<char>(std::toupper(digit)));
        }
        const std::string context =
            concat({" for a = \"", secret, "\" (KX_TEST_SEED=", std::to_string(seed), ")"});
        expect.equal(program.text(TextField::a), shown.empty() ? "0" : shown,
                     concat({"a shown", context}));
        expect.equal(program.text(TextField::Pa), pointText(testCurve.multiply(secret, P)),
                     concat({"Pa", context}));
    }

    // The button sends its command too; the drawn secret lies below q.
    expect.check(sendTo(GetDlgItem(program.window(), gui::command::generateSecret), BM_CLICK),
                 "clicking \"Gener\xE9r a\"");
    const std::string drawn = program.text(TextField::a);
    if (expect.check(parseHexText(drawn).value_or(testCurve.q) < testCurve.q,
                     concat({"drawn a = ", drawn, " below q"}))) {
        expect.equal(program.text(TextField::Pa), pointText(testCurve.multiply(drawn, P)),
                     "Pa for the drawn a");
    }
    expect.check(saveSnapshot(program.window(), snapshotPath), "snapshot of the window");
}

void checkOffCurvePoint(const Program& program) {
    expect.section("point off the curve");
    useTestValues(program);
    const std::string secret = "1F2E3D4C5B6A7988";
    const AffinePoint offCurve{false, P.x, testCurve.plus(P.y, 1)};
    program.type(TextField::a, secret);
    program.type(TextField::Py, concat({"0", hexText(offCurve.y)}));
    program.post(gui::command::updatePaPab);

    const HWND box = program.waitForDialog(nullptr, "Fejl!");
    if (!expect.check(box != nullptr, "the off-curve message box appears")) {
        return;
    }
    expect.equal(messageBoxText(box), "Det indtastede punkt findes ikke p\xE5 kurven",
                 "off-curve message");
    PostMessageA(box, WM_COMMAND, IDOK, 0);
    expect.check(waitUntil([&] { return IsWindow(box) == 0; }), "the box closes on OK");
    program.settle();
    // The chord and tangent formulas do not involve B, so the oracle computes on the curve
    // through the edited point.
    expect.check(!testCurve.contains(offCurve), "the edited point is off the curve");
    expect.equal(program.text(TextField::Py), hexText(offCurve.y), "Py rewritten canonically");
    expect.equal(program.text(TextField::Pa), pointText(testCurve.multiply(secret, offCurve)),
                 "Pa still computed for the point off the curve");
}

void checkAboutBox(const Program& program) {
    expect.section("About box");
    program.post(gui::command::about);
    const HWND about = program.waitForDialog(program.window(), gui::aboutDialog.caption);
    if (!expect.check(about != nullptr, "the About box opens, owned by the main window")) {
        return;
    }
    expect.check(IsWindowEnabled(program.window()) == 0, "the main window is disabled under it");
    const std::vector<HWND> items = childrenOf(about);
    expect.equal(items.size(), gui::aboutDialog.items.size(), "About box items");
    for (std::size_t index = 0; index < items.size() && index < gui::aboutDialog.items.size();
         ++index) {
        expect.equal(windowText(items[index]), gui::aboutDialog.items[index].text,
                     "About item text");
    }
    sendTo(about, WM_COMMAND, IDCANCEL);
    sendTo(about, WM_NULL);
    expect.check(IsWindow(about) != 0 && IsWindowVisible(about) != 0, "IDCANCEL leaves it open");
    PostMessageA(GetDlgItem(about, IDOK), BM_CLICK, 0, 0);
    expect.check(waitUntil([&] { return IsWindow(about) == 0; }), "OK closes the About box");
    expect.check(waitUntil([&] { return IsWindowEnabled(program.window()) != 0; }),
                 "the main window is enabled again");
}

// The dialog's list texts in Windows-1252. Read through the wide calls: Wine hands a list item of
// another process's dialog back in UTF-16 even to the single-byte call.
std::vector<std::string> comboItems(HWND combo) {
    std::vector<std::string> items;
    DWORD_PTR count = 0;
    SendMessageTimeoutW(combo, CB_GETCOUNT, 0, 0, SMTO_ABORTIFHUNG, 10000, &count);
    for (DWORD_PTR index = 0; index < count && index < 20; ++index) {
        DWORD_PTR length = 0;
        SendMessageTimeoutW(combo, CB_GETLBTEXTLEN, index, 0, SMTO_ABORTIFHUNG, 10000, &length);
        std::wstring wide(length < 1000 ? length + 1 : 0, L'\0');
        SendMessageTimeoutW(combo, CB_GETLBTEXT, index, reinterpret_cast<LPARAM>(wide.data()),
                            SMTO_ABORTIFHUNG, 10000, &length);
        items.push_back(toCodePage1252(std::wstring_view(wide).substr(0, length)));
    }
    return items;
}

// Runs one file command through its dialog: checks the dialog's owner and file types, then
// types the path and confirms.
void runFileCommand(const Program& program, int command, const app::FileDialogOptions& options,
                    const std::string& path) {
    const std::string what = path.substr(path.rfind('\\') + 1) + ": ";
    program.post(command);
    const HWND dialog = program.waitForDialog(program.window());
    if (!expect.check(dialog != nullptr, what + "the file dialog opens, owned by the window")) {
        return;
    }
    const std::vector<std::string> types = comboItems(GetDlgItem(dialog, 0x470));  // cmb1
    if (expect.equal(types.size(), 2, what + "two file types")) {
        expect.equal(types[0], options.filters[0].description, what + "first file type");
        expect.equal(types[1], options.filters[1].description, what + "second file type");
    }
    // The name box: the edit of combo box cmb13, or else edit edt1, at any depth.
    HWND name = nullptr;
    EnumChildWindows(
        dialog,
        [](HWND child, LPARAM found) -> BOOL {
            const int id = GetDlgCtrlID(child);
            const bool edit = lstrcmpiA(windowClass(child).c_str(), "Edit") == 0;
            if (edit && (id == 0x480 || GetDlgCtrlID(GetParent(child)) == 0x47C)) {
                *reinterpret_cast<HWND*>(found) = child;
            }
            return *reinterpret_cast<HWND*>(found) == nullptr;
        },
        reinterpret_cast<LPARAM>(&name));
    if (expect.check(name != nullptr && setWindowText(name, path), what + "typing the name")) {
        PostMessageA(GetDlgItem(dialog, IDOK), BM_CLICK, 0, 0);
    } else {
        PostMessageA(dialog, WM_COMMAND, IDCANCEL, 0);
    }
    expect.check(waitUntil([&] { return IsWindow(dialog) == 0; }), what + "the dialog closes");
    program.settle();
}

void checkFiles(const Program& program, const std::string& folder) {
    expect.section("exchange files through the file dialogs");
    useTestValues(program);
    const std::string secret = "5A17CE0FF1CE";
    program.type(TextField::a, secret);
    program.command(gui::command::updatePaPab);
    const AffinePoint Pa = testCurve.multiply(secret, P);

    // Typed without extension: the dialog adds the default one.
    runFileCommand(program, gui::command::savePublicData, app::publicDataSaveDialog,
                   folder + "\\alice");
    std::string publicBytes;
    for (const auto& [field, value] : testValues) {
        publicBytes += concat({value, "*"});
    }
    publicBytes += pointText(Pa) + '\0';
    expect.equal(readFile(folder + "\\alice.public"), publicBytes, "bytes of alice.public");
    // Windows-1252 letters in the name must reach the file system unchanged, also the euro sign,
    // where the code page differs from Latin-1.
    const std::string secretPath = folder + "\\n\xF8gle-\x80.secret";
    runFileCommand(program, gui::command::saveSecretKey, app::secretKeySaveDialog, secretPath);
    expect.equal(readFile(secretPath), secret, "bytes of the secret key file");

    // Cleared, then both loaded back: Pb is the saved Pa, and Pab = a*Pb.
    program.command(gui::command::clearAll);
    expect.equal(program.text(TextField::a), "0", "a cleared");
    runFileCommand(program, gui::command::openSecretKey, app::secretKeyOpenDialog, secretPath);
    expect.equal(program.text(TextField::a), secret, "a loaded back");
    runFileCommand(program, gui::command::openPublicData, app::publicDataOpenDialog,
                   folder + "\\alice.public");
    for (const auto& [field, value] : testValues) {
        expect.equal(program.text(field), value, "curve and P loaded back");
    }
    expect.equal(program.text(TextField::Pa), pointText(Pa), "Pa after loading");
    expect.equal(program.text(TextField::Pb), pointText(Pa), "Pb is the loaded public point");
    expect.equal(program.text(TextField::Pab), pointText(testCurve.multiply(secret, Pa)),
                 "Pab = a*Pb");
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fprintf(stderr,
                     "usage: keyexchange_wine_driver <keyexchange.exe> <work folder> "
                     "<snapshot.png>\n");
        return 2;
    }
    expect.equal(GetACP(), 1252, "the ANSI code page is Windows-1252");
    expect.check(testCurve.contains(P) && testCurve.contains(testCurve.multiply("6", P)),
                 "oracle: P and 6P lie on the test curve");
    const std::string programPath = argv[1];
    const std::string guide = programPath.substr(0, programPath.rfind('\\') + 1) + "l\xE6smig.pdf";
    expect.check(GetFileAttributesA(guide.c_str()) != INVALID_FILE_ATTRIBUTES,
                 "the guide lies beside the program, where the About box sends the student");
    {
        const Program program(argv[1]);
        if (!expect.check(program.window() != nullptr, "the main window appears, found by title")) {
            return 1;
        }
        checkWindow(program, argv[1]);
        checkPublicPoints(program, argv[3]);
        checkOffCurvePoint(program);
        checkAboutBox(program);
        checkFiles(program, argv[2]);
        expect.section("exit through \"&Afslut\"");
        program.post(gui::command::exit);
        expect.equal(program.waitForExit(), 0, "exit code");
    }
    std::printf("%s: %d failed expectation(s)\n", expect.failures() == 0 ? "PASSED" : "FAILED",
                expect.failures());
    return expect.failures() == 0 ? 0 : 1;
}
