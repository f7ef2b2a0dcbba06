// Starts the Windows program and drives it from outside, as a user would: window, controls and
// menu against the shared description; the number commands against an independent curve
// arithmetic; the About box; the file commands through the real common dialogs; and the exits.
// Usage: keyexchange_wine_driver <keyexchange.exe> <work folder> [<snapshot.png>]
#include <windows.h>

#include <array>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "CurveOracle.h"
#include "Expect.h"
#include "RemoteWindows.h"
#include "ResourceChecks.h"
#include "Snapshot.h"
#include "app/ExchangeFiles.h"
#include "gui/WindowLayout.h"

namespace {

using app::TextField;
using kxtest::OraclePoint;

kxtest::Expectations expect;

// The built-in test curve and point, as the program shows them.
constexpr std::string_view testQ = "725F8E91CC4087";
constexpr std::string_view testA = "3B5AF16DF11649";
constexpr std::string_view testB = "40B77BE2CBBEDC";
constexpr std::string_view testPx = "6C4AE1678418BE";
constexpr std::string_view testPy = "10695272AE2CD6";

kxtest::CurveOracle testCurve() {
    return kxtest::CurveOracle(*kxtest::parseHex(testQ), *kxtest::parseHex(testA),
                               *kxtest::parseHex(testB));
}

OraclePoint testPoint() {
    return {false, *kxtest::parseHex(testPx), *kxtest::parseHex(testPy)};
}

bool runningOnWine() {
    const HMODULE ntdll = GetModuleHandleA("ntdll.dll");
    return ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

// ---------------------------------------------------------------------------------------------
// The program as a process.

class Program {
  public:
    explicit Program(const std::string& path) {
        STARTUPINFOA startup{};
        startup.cb = sizeof startup;
        startup.dwFlags = STARTF_USESHOWWINDOW;
        startup.wShowWindow = SW_SHOWNORMAL;
        std::string commandLine = kxtest::concat({"\"", path, "\""});
        started_ = CreateProcessA(path.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0,
                                  nullptr, nullptr, &startup, &process_) != 0;
        if (!started_) {
            return;
        }
        WaitForInputIdle(process_.hProcess, 10000);
        const std::string title(gui::mainWindow.title);
        window_ = kxtest::waitFor([&]() -> HWND {
            const HWND found = FindWindowA(nullptr, title.c_str());
            DWORD owner = 0;
            GetWindowThreadProcessId(found, &owner);
            return found != nullptr && owner == process_.dwProcessId ? found : nullptr;
        });
    }
    Program(const Program&) = delete;
    Program& operator=(const Program&) = delete;
    ~Program() {
        if (!started_) {
            return;
        }
        if (WaitForSingleObject(process_.hProcess, 0) == WAIT_TIMEOUT) {
            TerminateProcess(process_.hProcess, 99);
            WaitForSingleObject(process_.hProcess, 5000);
        }
        CloseHandle(process_.hThread);
        CloseHandle(process_.hProcess);
    }

    bool running() const { return started_ && window_ != nullptr; }
    HWND window() const { return window_; }
    DWORD processId() const { return process_.dwProcessId; }

    // The exit code, or -1 when the process has not ended within the time.
    long long waitForExit(DWORD milliseconds = 15000) const {
        if (WaitForSingleObject(process_.hProcess, milliseconds) != WAIT_OBJECT_0) {
            return -1;
        }
        DWORD code = 0;
        GetExitCodeProcess(process_.hProcess, &code);
        return code;
    }

    HWND control(int id) const { return GetDlgItem(window_, id); }
    HWND field(TextField field) const { return control(gui::controlFor(field).id); }
    std::string text(TextField which) const { return kxtest::windowText(field(which)); }
    void type(TextField which, std::string_view text) const {
        expect.check(kxtest::setWindowText(field(which), text), "typing into a field");
    }

    // A command that opens no window of its own: handled when the call returns.
    void command(int id, int notification = 0) const {
        const WPARAM wParam = static_cast<WPARAM>(static_cast<unsigned>(notification) << 16 |
                                                  static_cast<unsigned>(id));
        if (!expect.check(kxtest::sendTo(window_, WM_COMMAND, wParam, 0),
                          kxtest::concat({"the window answers command ", std::to_string(id)}))) {
            std::printf("  windows of the program:\n%s",
                        kxtest::describeWindows(processId()).c_str());
        }
    }
    // A command that opens a modal window: queued, so the driver stays free to answer it.
    void postCommand(int id) const { kxtest::postTo(window_, WM_COMMAND, static_cast<WPARAM>(id)); }

    HWND waitForDialog(HWND owner, std::string_view caption = {}, HWND except = nullptr) const {
        return kxtest::waitFor(
            [&] { return kxtest::findDialog(processId(), owner, caption, except); });
    }

    // Waits until queued work and any modal window the driver has just closed are done.
    void settle() const { kxtest::sendTo(window_, WM_NULL); }

  private:
    PROCESS_INFORMATION process_{};
    bool started_ = false;
    HWND window_ = nullptr;
};

std::string readFile(const std::string& path) {
    std::string bytes;
    if (std::FILE* file = std::fopen(path.c_str(), "rb")) {
        char block[4096];
        for (std::size_t got = 0; (got = std::fread(block, 1, sizeof block, file)) > 0;) {
            bytes.append(block, got);
        }
        std::fclose(file);
    }
    return bytes;
}

void writeFile(const std::string& path, std::string_view bytes) {
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

bool fileExists(const std::string& path) {
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// ---------------------------------------------------------------------------------------------
// Window, controls, menu.

void checkMainWindow(const Program& program) {
    expect.section("main window");
    const HWND window = program.window();
    expect.equal(kxtest::windowClass(window), gui::mainWindow.className, "window class name");
    expect.equal(kxtest::windowText(window), gui::mainWindow.title, "window title");

    const auto style = static_cast<DWORD>(GetWindowLongPtrA(window, GWL_STYLE));
    const DWORD frameBits = WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_MAXIMIZEBOX |
                            WS_THICKFRAME | WS_CHILD | WS_POPUP;
    expect.equal(style & frameBits, WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX,
                 "title bar, system menu and minimise box; neither resizable nor maximisable");
    const auto extendedStyle = static_cast<DWORD>(GetWindowLongPtrA(window, GWL_EXSTYLE));
    expect.check((extendedStyle & WS_EX_CLIENTEDGE) != 0, "main window has a client edge");
    expect.check(GetParent(window) == nullptr, "main window has no parent");

    RECT outer{};
    GetWindowRect(window, &outer);
    expect.equal(outer.right - outer.left, gui::mainWindow.width, "outer width");
    expect.equal(outer.bottom - outer.top, gui::mainWindow.height, "outer height");

    expect.equal(static_cast<long long>(GetClassLongPtrA(window, GCL_STYLE)), 0, "class style");
    expect.equal(static_cast<long long>(GetClassLongPtrA(window, GCL_CBCLSEXTRA)), 0,
                 "extra class bytes");
    expect.equal(static_cast<long long>(GetClassLongPtrA(window, GCL_CBWNDEXTRA)), 0,
                 "extra window bytes");
    expect.check(GetClassLongPtrA(window, GCLP_HMODULE) != 0, "class information is readable");
    // Wine keeps a class's brush and icons in the owning process and answers 0 to any other;
    // Windows lets them be read from here.
    if (!runningOnWine()) {
        expect.equal(static_cast<long long>(GetClassLongPtrA(window, GCLP_HBRBACKGROUND)),
                     COLOR_WINDOW + 1, "background brush");
        expect.check(GetClassLongPtrA(window, GCLP_HICON) != 0, "class has a large icon");
        expect.check(GetClassLongPtrA(window, GCLP_HICONSM) != 0, "class has a small icon");
    }
}

void checkControls(const Program& program) {
    expect.section("controls");
    const std::vector<HWND> children = kxtest::childrenOf(program.window());
    if (!expect.equal(static_cast<long long>(children.size()),
                      static_cast<long long>(gui::controls.size()), "number of controls")) {
        return;
    }
    // Child windows keep their creation order among their siblings.
    for (std::size_t index = 0; index < children.size(); ++index) {
        const gui::ControlSpec& spec = gui::controls[index];
        const HWND child = children[index];
        const std::string where = kxtest::concat({"control #", std::to_string(index + 1), " "});
        const std::string_view className = gui::controlClassName(spec.controlClass);
        expect.check(kxtest::sameClass(child, className),
                     kxtest::concat(
                         {where, "class ", kxtest::windowClass(child), ", expected ", className}));
        expect.equal(GetDlgCtrlID(child), spec.id, where + "identifier");
        expect.equal(kxtest::windowText(child), spec.text, where + "text");

        const RECT rect = kxtest::rectInParent(child);
        expect.equal(rect.left, spec.x, where + "x");
        expect.equal(rect.top, spec.y, where + "y");
        expect.equal(rect.right - rect.left, spec.width, where + "width");
        expect.equal(rect.bottom - rect.top, spec.height, where + "height");

        const auto style = static_cast<DWORD>(GetWindowLongPtrA(child, GWL_STYLE));
        const auto extendedStyle = static_cast<DWORD>(GetWindowLongPtrA(child, GWL_EXSTYLE));
        expect.equal(style & (WS_CHILD | WS_VISIBLE), WS_CHILD | WS_VISIBLE,
                     where + "child, visible");
        expect.equal(style & (WS_TABSTOP | WS_BORDER | WS_VSCROLL | WS_HSCROLL), 0,
                     where + "no tab stop, border or scroll bars");
        switch (spec.controlClass) {
            case gui::ControlClass::edit:
                expect.equal(style & (ES_AUTOHSCROLL | ES_MULTILINE | ES_UPPERCASE | ES_NUMBER |
                                      ES_READONLY | ES_PASSWORD),
                             ES_AUTOHSCROLL, where + "single-line edit taking any text");
                expect.check((extendedStyle & WS_EX_CLIENTEDGE) != 0, where + "client edge");
                {
                    LRESULT limit = 0;
                    kxtest::sendTo(child, EM_GETLIMITTEXT, 0, 0, &limit);
                    expect.check(limit >= 30000, where + "no text limit set");
                }
                break;
            case gui::ControlClass::button:
                expect.equal(style & BS_TYPEMASK, BS_PUSHBUTTON, where + "plain push button");
                expect.equal(extendedStyle & WS_EX_CLIENTEDGE, 0, where + "no client edge");
                break;
            case gui::ControlClass::staticText:
                expect.equal(style & SS_TYPEMASK, SS_LEFT, where + "left-aligned static text");
                expect.equal(extendedStyle & WS_EX_CLIENTEDGE, 0, where + "no client edge");
                break;
        }
    }
}

void checkMenu(const Program& program) {
    expect.section("menu");
    const HMENU menuBar = GetMenu(program.window());
    if (!expect.check(menuBar != nullptr, "main window has a menu")) {
        return;
    }
    // Wine keeps menus in the owning process: their items cannot be read from another one. The
    // menu resource is checked item by item in any case.
    if (runningOnWine()) {
        return;
    }
    if (!expect.equal(GetMenuItemCount(menuBar), static_cast<long long>(gui::menuBar.size()),
                      "menu bar entries")) {
        return;
    }
    const auto itemText = [](HMENU menu, int position) {
        char text[256] = {};
        const int length = GetMenuStringA(menu, static_cast<UINT>(position), text,
                                          static_cast<int>(sizeof text), MF_BYPOSITION);
        return std::string(text, static_cast<std::size_t>(length > 0 ? length : 0));
    };
    for (std::size_t entry = 0; entry < gui::menuBar.size(); ++entry) {
        const gui::MenuSpec& spec = gui::menuBar[entry];
        const int position = static_cast<int>(entry);
        expect.equal(itemText(menuBar, position), spec.text, "menu bar text");
        const HMENU dropDown = GetSubMenu(menuBar, position);
        if (spec.items.empty()) {
            expect.check(dropDown == nullptr, "\"&Om\" is a command on the menu bar");
            expect.equal(static_cast<long long>(GetMenuItemID(menuBar, position)), spec.command,
                         "menu bar command");
            continue;
        }
        if (!expect.check(dropDown != nullptr, "drop-down menu") ||
            !expect.equal(GetMenuItemCount(dropDown), static_cast<long long>(spec.items.size()),
                          "items in drop-down")) {
            continue;
        }
        for (std::size_t index = 0; index < spec.items.size(); ++index) {
            const int itemPosition = static_cast<int>(index);
            expect.equal(itemText(dropDown, itemPosition), spec.items[index].text,
                         "menu item text");
            expect.equal(static_cast<long long>(GetMenuItemID(dropDown, itemPosition)),
                         spec.items[index].command, "menu item command");
            const UINT state =
                GetMenuState(dropDown, static_cast<UINT>(itemPosition), MF_BYPOSITION);
            expect.equal(state & (MF_SEPARATOR | MF_CHECKED | MF_GRAYED | MF_DISABLED), 0,
                         "menu item enabled, unchecked, not a separator");
        }
    }
}

void checkInitialFields(const Program& program) {
    expect.section("fields at start");
    for (const TextField field :
         {TextField::q, TextField::A, TextField::B, TextField::Px, TextField::Py, TextField::a}) {
        expect.equal(program.text(field), "", "edit field empty at start");
    }
    for (const TextField field : {TextField::Pa, TextField::Pb, TextField::Pab}) {
        expect.equal(program.text(field), "...", "value field shows \"...\" at start");
    }
}

// ---------------------------------------------------------------------------------------------
// Number commands, checked against the independent arithmetic.

void checkOracle() {
    expect.section("oracle");
    const kxtest::CurveOracle curve = testCurve();
    const OraclePoint P = testPoint();
    expect.check(curve.isOnCurve(P), "the test point lies on the test curve");
    expect.equal(kxtest::pointText(curve.multiply("1", P)), kxtest::pointText(P), "1*P = P");
    expect.equal(kxtest::pointText(curve.multiply("2", P)), kxtest::pointText(curve.add(P, P)),
                 "2*P = P + P");
    const OraclePoint sixP = curve.multiply("6", P);
    expect.equal(kxtest::pointText(curve.multiply("3", curve.multiply("2", P))),
                 kxtest::pointText(sixP), "3*(2*P) = 6*P");
    expect.check(curve.isOnCurve(sixP), "6*P lies on the curve");
}

void useTestValues(const Program& program) {
    program.command(gui::command::useTestValues);
    expect.equal(program.text(TextField::q), testQ, "test q");
    expect.equal(program.text(TextField::A), testA, "test A");
    expect.equal(program.text(TextField::B), testB, "test B");
    expect.equal(program.text(TextField::Px), testPx, "test Px");
    expect.equal(program.text(TextField::Py), testPy, "test Py");
}

std::string canonicalHex(std::string_view digits) {
    std::string upper;
    for (const char character : digits) {
        upper +=
            static_cast<char>(character >= 'a' && character <= 'f' ? character - 32 : character);
    }
    const std::size_t first = upper.find_first_not_of('0');
    return first == std::string::npos ? "0" : upper.substr(first);
}

std::uint32_t testSeed() {
    const char* seed = std::getenv("KX_TEST_SEED");
    return seed != nullptr ? static_cast<std::uint32_t>(std::strtoul(seed, nullptr, 0)) : 20240611U;
}

std::string randomHex(std::mt19937& generator, std::size_t digits) {
    static constexpr char hexDigits[] = "0123456789abcdef";
    std::string text;
    std::uniform_int_distribution<int> digit(0, 15);
    for (std::size_t index = 0; index < digits; ++index) {
        text += hexDigits[digit(generator)];
    }
    return text;
}

void checkPublicPoints(const Program& program) {
    expect.section("Pa = a*P for typed secrets");
    useTestValues(program);
    const kxtest::CurveOracle curve = testCurve();
    const OraclePoint P = testPoint();

    std::vector<std::string> secrets = {
        "1", "2", "3", "0", "00ff", "725F8E91CC4086", "725F8E91CC4087", "725F8E91CC4088"};
    const std::uint32_t seed = testSeed();
    std::mt19937 generator(seed);
    for (const std::size_t digits : {8U, 14U, 16U, 40U}) {
        secrets.push_back(randomHex(generator, digits));
    }
    for (const std::string& secret : secrets) {
        program.type(TextField::a, secret);
        program.command(gui::command::updatePaPab);
        const std::string context =
            kxtest::concat({" for a = ", secret, " (KX_TEST_SEED=", std::to_string(seed), ")"});
        expect.equal(program.text(TextField::a), canonicalHex(secret),
                     kxtest::concat({"a shown canonically", context}));
        expect.equal(program.text(TextField::Pa), kxtest::pointText(curve.multiply(secret, P)),
                     kxtest::concat({"Pa", context}));
        expect.equal(program.text(TextField::Pb), "(uendelig)",
                     kxtest::concat({"Pb before any load", context}));
        expect.equal(program.text(TextField::Pab), "(uendelig)",
                     kxtest::concat({"Pab = a*infinity", context}));
    }

    program.type(TextField::a, "");
    program.command(gui::command::updatePaPab);
    expect.equal(program.text(TextField::a), "0", "an empty a reads as zero");
    expect.equal(program.text(TextField::Pa), "(uendelig)", "Pa for an empty a");
}

void checkButtonsMatchMenu(const Program& program) {
    expect.section("buttons and menu items");
    const kxtest::CurveOracle curve = testCurve();
    const std::uint64_t q = *kxtest::parseHex(testQ);

    program.command(gui::command::clearAll);
    expect.equal(program.text(TextField::q), "0", "q after \"&Slet alt\"");
    expect.equal(program.text(TextField::a), "0", "a after \"&Slet alt\"");
    expect.equal(program.text(TextField::Pab), "(uendelig)", "Pab after \"&Slet alt\"");

    // The button sends the command with its click notification; the menu sends it plainly.
    const HWND testButton = program.control(gui::command::useTestValues);
    expect.check(kxtest::sendTo(testButton, BM_CLICK), "clicking \"Brug test-v\xE6rdier\"");
    expect.equal(program.text(TextField::Py), testPy, "Py after the test-values button");

    std::vector<std::string> drawn;
    const HWND generateButton = program.control(gui::command::generateSecret);
    for (int round = 0; round < 6; ++round) {
        if (round % 2 == 0) {
            expect.check(kxtest::sendTo(generateButton, BM_CLICK), "clicking \"Gener\xE9r a\"");
        } else {
            program.command(gui::command::generateSecret);
        }
        const std::string secret = program.text(TextField::a);
        const std::optional<std::uint64_t> value = kxtest::parseHex(secret);
        expect.check(value.has_value() && *value < q,
                     kxtest::concat({"drawn a = ", secret, " lies below q"}));
        expect.equal(program.text(TextField::Pa),
                     kxtest::pointText(curve.multiply(secret, testPoint())), "Pa for a drawn a");
        drawn.push_back(secret);
    }
    expect.check(drawn.front() != drawn.back() || drawn[1] != drawn[2], "successive draws differ");

    // Identifiers that are no command, such as an edit's change notification, do nothing.
    program.type(TextField::q, "00725f8e91cc4087");
    program.command(2002, EN_CHANGE);
    program.command(2001);
    program.command(999);
    expect.equal(program.text(TextField::q), "00725f8e91cc4087", "edit notifications run nothing");
    // Only the low 16 bits name the command.
    program.command(gui::command::updatePaPab, 1);
    expect.equal(program.text(TextField::q), testQ, "command with a notification code");
}

void checkOffCurvePoint(const Program& program) {
    expect.section("point off the curve");
    useTestValues(program);
    const std::string secret = "1F2E3D4C5B6A7988";
    const std::string offCurveY = kxtest::hexText(*kxtest::parseHex(testPy) + 1);
    program.type(TextField::a, secret);
    program.type(TextField::Py, kxtest::concat({"0", offCurveY}));
    program.type(TextField::A, kxtest::concat({"0", testA}));
    program.postCommand(gui::command::updatePaPab);

    const HWND box = program.waitForDialog(nullptr, "Fejl!");
    if (!expect.check(box != nullptr, "the off-curve message box appears")) {
        std::printf("  windows of the program:\n%s",
                    kxtest::describeWindows(program.processId()).c_str());
        return;
    }
    expect.equal(kxtest::messageBoxText(box), "Det indtastede punkt findes ikke p\xE5 kurven",
                 "off-curve message");
    expect.check(GetWindow(box, GW_OWNER) == nullptr, "the message box has no owner");
    expect.check(IsWindowEnabled(program.window()) != 0, "the main window stays usable");
    // The fields were rewritten before the message.
    expect.equal(program.text(TextField::A), testA, "A rewritten before the message");
    expect.equal(program.text(TextField::Py), offCurveY, "Py rewritten before the message");

    kxtest::postTo(box, WM_COMMAND, IDOK);
    expect.check(kxtest::waitUntil([&] { return IsWindow(box) == 0; }), "the box closes on OK");
    program.settle();

    // The chord and tangent formulas do not involve B, so the oracle computes on the curve
    // through the edited point.
    const kxtest::CurveOracle curve = testCurve();
    const OraclePoint offCurve{false, *kxtest::parseHex(testPx), *kxtest::parseHex(offCurveY)};
    expect.check(!curve.isOnCurve(offCurve), "the edited point is off the curve");
    expect.equal(program.text(TextField::Pa), kxtest::pointText(curve.multiply(secret, offCurve)),
                 "Pa still computed for the point off the curve");
}

// ---------------------------------------------------------------------------------------------
// The About box.

void checkAboutBox(const Program& program) {
    expect.section("About box");
    program.postCommand(gui::command::about);
    const std::string caption(gui::aboutDialog.caption);
    const HWND about = program.waitForDialog(program.window(), caption);
    if (!expect.check(about != nullptr, "the About box opens, owned by the main window")) {
        return;
    }
    expect.check(IsWindowEnabled(program.window()) == 0, "the main window is disabled under it");

    const std::vector<HWND> items = kxtest::childrenOf(about);
    if (expect.equal(static_cast<long long>(items.size()),
                     static_cast<long long>(gui::aboutDialog.items.size()), "About box items")) {
        for (std::size_t index = 0; index < items.size(); ++index) {
            expect.equal(kxtest::windowText(items[index]), gui::aboutDialog.items[index].text,
                         "About item text");
        }
    }
    // The template's position is that of the box's client area in the owner's client area.
    POINT boxOrigin{0, 0};
    ClientToScreen(about, &boxOrigin);
    POINT ownerOrigin{0, 0};
    ClientToScreen(program.window(), &ownerOrigin);
    expect.equal(boxOrigin.x, ownerOrigin.x, "About box at the left of the client area");
    expect.equal(boxOrigin.y, ownerOrigin.y, "About box at the top of the client area");

    // Cancel, whether sent, from the close box or from the Escape key, leaves the box open.
    kxtest::sendTo(about, WM_COMMAND, IDCANCEL);
    kxtest::sendTo(about, WM_CLOSE);
    kxtest::postTo(GetDlgItem(about, IDOK), WM_KEYDOWN, VK_ESCAPE, 0);
    kxtest::postTo(GetDlgItem(about, IDOK), WM_KEYUP, VK_ESCAPE, 0);
    kxtest::sendTo(about, WM_NULL);
    expect.check(IsWindow(about) != 0 && IsWindowVisible(about) != 0,
                 "cancel, close box and Escape leave the About box open");

    // Enter reaches OK as the default button.
    kxtest::postTo(GetDlgItem(about, IDOK), WM_KEYDOWN, VK_RETURN, 0);
    kxtest::postTo(GetDlgItem(about, IDOK), WM_KEYUP, VK_RETURN, 0);
    expect.check(kxtest::waitUntil([&] { return IsWindow(about) == 0; }),
                 "Enter closes the About box");
    expect.check(kxtest::waitUntil([&] { return IsWindowEnabled(program.window()) != 0; }),
                 "the main window is enabled again");

    program.postCommand(gui::command::about);
    const HWND again = program.waitForDialog(program.window(), caption);
    if (expect.check(again != nullptr, "the About box opens again")) {
        kxtest::postTo(GetDlgItem(again, IDOK), BM_CLICK);
        expect.check(kxtest::waitUntil([&] { return IsWindow(again) == 0; }),
                     "OK closes the About box");
    }
}

// ---------------------------------------------------------------------------------------------
// File commands through the common dialogs.

// The dialog's list texts in Windows-1252. Read through the wide calls: Wine hands a list item of
// another process's dialog back in UTF-16 even to the single-byte call.
std::vector<std::string> comboItems(HWND combo) {
    std::vector<std::string> items;
    DWORD_PTR count = 0;
    SendMessageTimeoutW(combo, CB_GETCOUNT, 0, 0, SMTO_ABORTIFHUNG, 10000, &count);
    for (DWORD_PTR index = 0; index < count && index < 20; ++index) {
        DWORD_PTR length = 0;
        SendMessageTimeoutW(combo, CB_GETLBTEXTLEN, index, 0, SMTO_ABORTIFHUNG, 10000, &length);
        if (length > 1000) {
            break;
        }
        std::wstring wide(length + 1, L'\0');
        SendMessageTimeoutW(combo, CB_GETLBTEXT, index, reinterpret_cast<LPARAM>(wide.data()),
                            SMTO_ABORTIFHUNG, 10000, &length);
        wide.resize(length <= wide.size() ? length : 0);
        std::string narrow(wide.size(), '\0');
        const int converted =
            WideCharToMultiByte(1252, 0, wide.data(), static_cast<int>(wide.size()), narrow.data(),
                                static_cast<int>(narrow.size()), nullptr, nullptr);
        narrow.resize(static_cast<std::size_t>(converted > 0 ? converted : 0));
        items.push_back(narrow);
    }
    return items;
}

constexpr int fileTypeCombo = 0x470;  // cmb1
constexpr int fileNameCombo = 0x47C;  // cmb13
constexpr int fileNameEdit = 0x480;   // edt1

HWND fileNameBox(HWND dialog) {
    if (const HWND combo = kxtest::findDescendant(dialog, fileNameCombo, "ComboBox")) {
        if (const HWND edit = FindWindowExA(combo, nullptr, "Edit", nullptr)) {
            return edit;
        }
    }
    return kxtest::findDescendant(dialog, fileNameEdit, "Edit");
}

// Runs one file command through its dialog: checks the dialog's owner and filters, then types
// the path and confirms, or cancels when the path is empty.
void runFileCommand(const Program& program, int command, const app::FileDialogOptions& options,
                    const std::string& path, const std::string& what) {
    program.postCommand(command);
    const HWND dialog = program.waitForDialog(program.window());
    if (!expect.check(dialog != nullptr, what + ": the file dialog opens, owned by the window")) {
        std::printf("  windows of the program:\n%s",
                    kxtest::describeWindows(program.processId()).c_str());
        return;
    }
    expect.check(IsWindowEnabled(program.window()) == 0, what + ": the main window is disabled");
    const HWND types = kxtest::findDescendant(dialog, fileTypeCombo, "ComboBox");
    const std::vector<std::string> filters =
        types != nullptr ? comboItems(types) : std::vector<std::string>{};
    if (expect.equal(static_cast<long long>(filters.size()), 2, what + ": two file types")) {
        expect.equal(filters[0], options.filters[0].description, what + ": first file type");
        expect.equal(filters[1], options.filters[1].description, what + ": second file type");
    }
    if (types != nullptr) {
        LRESULT selected = -1;
        kxtest::sendTo(types, CB_GETCURSEL, 0, 0, &selected);
        expect.equal(selected, 0, what + ": the first file type is selected");
    }
    const HWND name = fileNameBox(dialog);
    expect.check(name != nullptr, what + ": the dialog has a file name box");
    if (name != nullptr) {
        expect.equal(kxtest::windowText(name), "", what + ": the file name starts empty");
    }

    if (path.empty() || name == nullptr) {
        kxtest::postTo(dialog, WM_COMMAND, IDCANCEL);
    } else {
        kxtest::setWindowText(name, path);
        kxtest::postTo(GetDlgItem(dialog, IDOK), BM_CLICK);
    }
    expect.check(kxtest::waitUntil([&] { return IsWindow(dialog) == 0; }),
                 what + ": the dialog closes");
    program.settle();
}

void checkFiles(const Program& program, const std::string& folder) {
    expect.section("exchange files");
    const kxtest::CurveOracle curve = testCurve();
    const OraclePoint P = testPoint();
    for (const char* name : {"alice.public", "alice.secret", "alice.comkey", "bob.public",
                             "cancelled.public", "overfull.public"}) {
        DeleteFileA(kxtest::concat({folder, "\\", name}).c_str());
    }

    // Alice: test values, a secret, her public point.
    useTestValues(program);
    const std::string aliceSecret = "5A17CE0FF1CE";
    program.type(TextField::a, aliceSecret);
    program.command(gui::command::updatePaPab);
    const OraclePoint alicePublic = curve.multiply(aliceSecret, P);
    expect.equal(program.text(TextField::Pa), kxtest::pointText(alicePublic), "Alice's Pa");

    // Typed without extension: the dialog adds the default one.
    runFileCommand(program, gui::command::savePublicData, app::publicDataSaveDialog,
                   folder + "\\alice", "save public data");
    std::string expectedPublic = kxtest::concat({testQ, "*", testA, "*", testB, "*", testPx, "*",
                                                 testPy, "*", kxtest::pointText(alicePublic)});
    expectedPublic += '\0';
    expect.equal(readFile(folder + "\\alice.public"), expectedPublic, "bytes of alice.public");

    runFileCommand(program, gui::command::saveSecretKey, app::secretKeySaveDialog,
                   folder + "\\alice.secret", "save secret key");
    expect.equal(readFile(folder + "\\alice.secret"), aliceSecret, "bytes of alice.secret");
    // Windows-1252 letters in the name must reach the file system unchanged, also the euro sign,
    // where the code page differs from Latin-1.
    const std::string danishName = folder + "\\n\xF8gle-\x80.secret";
    DeleteFileA(danishName.c_str());
    runFileCommand(program, gui::command::saveSecretKey, app::secretKeySaveDialog, danishName,
                   "save under a Danish name");
    expect.equal(readFile(danishName), aliceSecret,
                 "bytes of the file with Danish letters and a euro sign in its name");

    // Bob's public data, written here from the oracle, in the exchange format.
    const std::string bobSecret = "B0B5EC2E7";
    const OraclePoint bobPublic = curve.multiply(bobSecret, P);
    std::string bobFile = kxtest::concat({testQ, "*", testA, "*", testB, "*", testPx, "*", testPy,
                                          "*", kxtest::pointText(bobPublic)});
    bobFile += '\0';
    writeFile(folder + "\\bob.public", bobFile);

    // Clear everything, then load it all back: secret first, then Bob's public data.
    program.command(gui::command::clearAll);
    runFileCommand(program, gui::command::openSecretKey, app::secretKeyOpenDialog,
                   folder + "\\alice.secret", "open secret key");
    expect.equal(program.text(TextField::a), aliceSecret, "a loaded from alice.secret");
    runFileCommand(program, gui::command::openPublicData, app::publicDataOpenDialog,
                   folder + "\\bob.public", "open public data");
    expect.equal(program.text(TextField::q), testQ, "q loaded from bob.public");
    expect.equal(program.text(TextField::Py), testPy, "Py loaded from bob.public");
    expect.equal(program.text(TextField::Pa), kxtest::pointText(alicePublic), "Pa after loading");
    expect.equal(program.text(TextField::Pb), kxtest::pointText(bobPublic), "Pb is Bob's Pa");
    const std::string shared = kxtest::pointText(curve.multiply(aliceSecret, bobPublic));
    expect.equal(shared, kxtest::pointText(curve.multiply(bobSecret, alicePublic)),
                 "oracle: both sides reach the same point");
    expect.equal(program.text(TextField::Pab), shared, "Pab = a*Pb");

    runFileCommand(program, gui::command::saveSharedKey, app::sharedKeySaveDialog,
                   folder + "\\alice", "save shared key");
    expect.equal(readFile(folder + "\\alice.comkey"), shared, "bytes of alice.comkey");

    // Saving over an existing file asks first; the driver answers yes.
    program.type(TextField::a, "abc");
    program.command(gui::command::updatePaPab);
    program.postCommand(gui::command::saveSecretKey);
    const HWND dialog = program.waitForDialog(program.window());
    if (expect.check(dialog != nullptr, "second save: the dialog opens")) {
        kxtest::setWindowText(fileNameBox(dialog), folder + "\\alice.secret");
        kxtest::postTo(GetDlgItem(dialog, IDOK), BM_CLICK);
        const HWND confirm = program.waitForDialog(dialog, {}, nullptr);
        if (expect.check(confirm != nullptr, "overwriting asks for confirmation")) {
            kxtest::postTo(confirm, WM_COMMAND, IDYES);
        }
        expect.check(kxtest::waitUntil([&] { return IsWindow(dialog) == 0; }),
                     "second save: the dialog closes");
        program.settle();
    }
    expect.equal(readFile(folder + "\\alice.secret"), "ABC", "alice.secret after overwriting");

    // A cancelled load still rereads and rewrites all fields.
    program.type(TextField::q, "00725f8e91cc4087");
    runFileCommand(program, gui::command::openPublicData, app::publicDataOpenDialog, "",
                   "cancelled open");
    expect.equal(program.text(TextField::q), testQ, "fields rewritten after a cancelled load");
    expect.check(!fileExists(folder + "\\cancelled.public"), "cancelling writes nothing");

    // More than five separators: one message per extra one, the rest as usual.
    writeFile(folder + "\\overfull.public", std::string("1*2*3*4*5*6*(uendelig)"));
    program.postCommand(gui::command::openPublicData);
    const HWND openDialog = program.waitForDialog(program.window());
    if (expect.check(openDialog != nullptr, "overfull load: the dialog opens")) {
        kxtest::setWindowText(fileNameBox(openDialog), folder + "\\overfull.public");
        kxtest::postTo(GetDlgItem(openDialog, IDOK), BM_CLICK);
        const HWND warning = program.waitForDialog(nullptr, "Wierdness");
        if (expect.check(warning != nullptr, "\"For meget data\" appears")) {
            expect.equal(kxtest::messageBoxText(warning), "For meget data", "overfull message");
            kxtest::postTo(warning, WM_COMMAND, IDOK);
            expect.check(kxtest::waitUntil([&] { return IsWindow(warning) == 0; }),
                         "the warning closes");
        }
        program.settle();
        // A second box would be open by now: the load goes on at once after the first.
        expect.check(kxtest::findDialog(program.processId(), nullptr, "Wierdness") == nullptr,
                     "only one warning for one extra separator");
    }
    expect.equal(program.text(TextField::q), "1", "q from the overfull file");
    expect.equal(program.text(TextField::Pb), "(uendelig)", "Pb from the overfull file");
}

// ---------------------------------------------------------------------------------------------

void checkExit(const Program& program, bool throughMenu) {
    expect.section(throughMenu ? "exit through \"&Afslut\"" : "exit through the close box");
    if (throughMenu) {
        program.postCommand(gui::command::exit);
    } else {
        kxtest::postTo(program.window(), WM_SYSCOMMAND, SC_CLOSE);
    }
    expect.equal(program.waitForExit(), 0, "exit code");
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s <keyexchange.exe> <work folder> [<snapshot.png>]\n",
                     argc > 0 ? argv[0] : "driver");
        return 2;
    }
    const std::string programPath = argv[1];
    const std::string folder = argv[2];
    std::printf("driver: seed KX_TEST_SEED=%u, code page %u\n", testSeed(), GetACP());
    expect.equal(GetACP(), 1252, "the ANSI code page is Windows-1252");

    checkOracle();
    kxtest::checkResources(expect, programPath);
    {
        const Program program(programPath);
        if (!expect.check(program.running(), "the program starts and shows its window")) {
            return 1;
        }
        checkMainWindow(program);
        checkControls(program);
        checkMenu(program);
        checkInitialFields(program);
        checkPublicPoints(program);
        if (argc > 3) {
            useTestValues(program);
            program.type(TextField::a, "1F2E3D4C5B6A7988");
            program.command(gui::command::updatePaPab);
            expect.check(kxtest::saveWindowSnapshot(program.window(), argv[3]),
                         "snapshot of the window");
        }
        checkButtonsMatchMenu(program);
        checkOffCurvePoint(program);
        checkAboutBox(program);
        checkFiles(program, folder);
        checkExit(program, true);
    }
    {
        const Program program(programPath);
        if (expect.check(program.running(), "the program starts again")) {
            checkExit(program, false);
        }
    }
    std::printf("%s: %d failed expectation(s)\n", expect.failures() == 0 ? "PASSED" : "FAILED",
                expect.failures());
    return expect.failures() == 0 ? 0 : 1;
}
