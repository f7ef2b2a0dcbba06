#pragma once

#include <windows.h>

#include <cstdio>
#include <initializer_list>
#include <source_location>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

// The Wine driver's harness: expectations that print each failure with its place and both values
// and count it without stopping the run, and calls that drive another process's windows, each
// with a deadline so that a stuck program fails the run instead of hanging it.
namespace kxtest {

// Joins texts; also keeps clear of a false -Wrestrict alarm that GCC 12 raises for
// "literal" + std::string at -O3.
inline std::string concat(std::initializer_list<std::string_view> parts) {
    std::string joined;
    for (const std::string_view part : parts) {
        joined.append(part);
    }
    return joined;
}

// Bytes as readable text: printable ASCII as is, everything else as \xHH.
inline std::string printable(std::string_view bytes) {
    std::string shown;
    for (const char character : bytes) {
        char escape[5] = {character, '\0'};
        const auto byte = static_cast<unsigned char>(character);
        if (byte < 0x20 || byte >= 0x7F || character == '\\') {
            std::snprintf(escape, sizeof escape, "\\x%02X", static_cast<unsigned>(byte));
        }
        shown += escape;
    }
    return shown;
}

class Expectations {
  public:
    using Where = std::source_location;

    bool check(bool passed, std::string_view what, Where where = Where::current()) {
        return passed || fail(what, "", where);
    }
    bool equal(std::string_view actual, std::string_view expected, std::string_view what,
               Where where = Where::current()) {
        return actual == expected ||
               fail(what,
                    concat({"\n    actual:   \"", printable(actual), "\"\n    expected: \"",
                            printable(expected), "\""}),
                    where);
    }
    template <class Actual, class Expected>
    requires std::is_integral_v<Actual> && std::is_integral_v<Expected>
    bool equal(Actual actual, Expected expected, std::string_view what,
               Where where = Where::current()) {
        const auto left = static_cast<long long>(actual);
        const auto right = static_cast<long long>(expected);
        return left == right || fail(what,
                                     concat({"\n    actual:   ", std::to_string(left),
                                             "\n    expected: ", std::to_string(right)}),
                                     where);
    }
    void section(std::string_view name) {
        std::printf("-- %.*s\n", static_cast<int>(name.size()), name.data());
        std::fflush(stdout);
    }
    int failures() const { return failures_; }

  private:
    bool fail(std::string_view what, const std::string& details, Where where) {
        ++failures_;
        std::printf("FAILED %s:%u: %.*s%s\n", where.file_name(),
                    static_cast<unsigned>(where.line()), static_cast<int>(what.size()), what.data(),
                    details.c_str());
        std::fflush(stdout);
        return false;
    }

    int failures_ = 0;
};

// SendMessageTimeoutA; false when the window did not answer within 10 s.
inline bool sendTo(HWND window, UINT message, WPARAM wParam = 0, LPARAM lParam = 0,
                   LRESULT* result = nullptr) {
    DWORD_PTR reply = 0;
    const bool answered = SendMessageTimeoutA(window, message, wParam, lParam,
                                              SMTO_NORMAL | SMTO_ABORTIFHUNG, 10000, &reply) != 0;
    if (result != nullptr) {
        *result = static_cast<LRESULT>(reply);
    }
    return answered;
}

inline std::string windowText(HWND window) {
    LRESULT length = 0;
    if (!sendTo(window, WM_GETTEXTLENGTH, 0, 0, &length) || length <= 0) {
        return {};
    }
    std::string text(static_cast<std::size_t>(length) + 1, '\0');
    sendTo(window, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()), &length);
    text.resize(static_cast<std::size_t>(length > 0 ? length : 0));
    return text;
}

inline bool setWindowText(HWND window, std::string_view text) {
    const std::string terminated(text);
    return sendTo(window, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(terminated.c_str()));
}

inline std::string windowClass(HWND window) {
    char name[256] = {};
    GetClassNameA(window, name, static_cast<int>(sizeof name));
    return name;
}

// UTF-16 to Windows-1252, one byte per character.
inline std::string toCodePage1252(std::wstring_view wide) {
    std::string text(wide.size(), '\0');
    const int size =
        WideCharToMultiByte(1252, 0, wide.data(), static_cast<int>(wide.size()), text.data(),
                            static_cast<int>(text.size()), nullptr, nullptr);
    text.resize(static_cast<std::size_t>(size > 0 ? size : 0));
    return text;
}

// Direct children, first to last in the sibling order.
inline std::vector<HWND> childrenOf(HWND parent) {
    std::vector<HWND> children;
    for (HWND child = GetWindow(parent, GW_CHILD); child != nullptr && children.size() < 1000;
         child = GetWindow(child, GW_HWNDNEXT)) {
        children.push_back(child);
    }
    return children;
}

// Polls every 20 ms for up to 15 s.
template <class Condition>
bool waitUntil(Condition condition) {
    for (int round = 0; round < 750; ++round, Sleep(20)) {
        if (condition()) {
            return true;
        }
    }
    return false;
}

template <class Find>
HWND waitFor(Find find) {
    HWND found = nullptr;
    waitUntil([&] { return (found = find()) != nullptr; });
    return found;
}

// A visible dialog-class window (#32770) of the process, with this owner (or any owner when
// owner is null) and caption (or any caption when empty).
inline HWND findDialog(DWORD processId, HWND owner, std::string_view caption = {}) {
    struct Search {
        DWORD processId;
        HWND owner;
        std::string_view caption;
        HWND found;
    } search{processId, owner, caption, nullptr};
    EnumWindows(
        [](HWND window, LPARAM context) -> BOOL {
            auto& wanted = *reinterpret_cast<Search*>(context);
            DWORD process = 0;
            GetWindowThreadProcessId(window, &process);
            const bool match =
                process == wanted.processId && IsWindowVisible(window) &&
                windowClass(window) == "#32770" &&
                (wanted.owner == nullptr || GetWindow(window, GW_OWNER) == wanted.owner) &&
                (wanted.caption.empty() || windowText(window) == wanted.caption);
            wanted.found = match ? window : wanted.found;
            return !match;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.found;
}

// The text of the first static child whose text is not empty: a message box's message.
inline std::string messageBoxText(HWND box) {
    for (const HWND child : childrenOf(box)) {
        std::string text = lstrcmpiA(windowClass(child).c_str(), "Static") == 0 ? windowText(child)
                                                                                : std::string();
        if (!text.empty()) {
            return text;
        }
    }
    return {};
}

}  // namespace kxtest
