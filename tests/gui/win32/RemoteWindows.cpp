#include "RemoteWindows.h"

#include <thread>

#include "Expect.h"

namespace kxtest {

namespace {

UINT timeoutMilliseconds() {
    return static_cast<UINT>(replyTimeout.count());
}

struct DialogSearch {
    DWORD processId;
    HWND owner;
    std::string_view caption;
    HWND except;
    HWND found;
};

BOOL CALLBACK matchDialog(HWND window, LPARAM context) {
    auto& search = *reinterpret_cast<DialogSearch*>(context);
    DWORD processId = 0;
    GetWindowThreadProcessId(window, &processId);
    if (processId != search.processId || window == search.except || !IsWindowVisible(window) ||
        windowClass(window) != "#32770") {
        return TRUE;
    }
    if (search.owner != nullptr && GetWindow(window, GW_OWNER) != search.owner) {
        return TRUE;
    }
    if (!search.caption.empty() && windowText(window) != search.caption) {
        return TRUE;
    }
    search.found = window;
    return FALSE;
}

struct DescendantSearch {
    int id;
    std::string_view className;
    HWND found;
};

BOOL CALLBACK matchDescendant(HWND window, LPARAM context) {
    auto& search = *reinterpret_cast<DescendantSearch*>(context);
    if (GetDlgCtrlID(window) == search.id && sameClass(window, search.className)) {
        search.found = window;
        return FALSE;
    }
    return TRUE;
}

struct Listing {
    DWORD processId;
    std::string text;
};

BOOL CALLBACK listWindow(HWND window, LPARAM context) {
    auto& listing = *reinterpret_cast<Listing*>(context);
    DWORD processId = 0;
    GetWindowThreadProcessId(window, &processId);
    if (processId == listing.processId) {
        listing.text += concat({"    [", windowClass(window), "] \"", windowText(window), "\"",
                                IsWindowVisible(window) ? "" : " (hidden)", "\n"});
    }
    return TRUE;
}

}  // namespace

bool sendTo(HWND window, UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result) {
    DWORD_PTR reply = 0;
    const LRESULT answered =
        SendMessageTimeoutA(window, message, wParam, lParam, SMTO_NORMAL | SMTO_ABORTIFHUNG,
                            timeoutMilliseconds(), &reply);
    if (result != nullptr) {
        *result = static_cast<LRESULT>(reply);
    }
    return answered != 0;
}

void postTo(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    PostMessageA(window, message, wParam, lParam);
}

std::string windowText(HWND window) {
    LRESULT length = 0;
    if (!sendTo(window, WM_GETTEXTLENGTH, 0, 0, &length) || length <= 0) {
        return {};
    }
    std::string text(static_cast<std::size_t>(length) + 1, '\0');
    LRESULT copied = 0;
    sendTo(window, WM_GETTEXT, static_cast<WPARAM>(text.size()),
           reinterpret_cast<LPARAM>(text.data()), &copied);
    text.resize(static_cast<std::size_t>(copied > 0 ? copied : 0));
    return text;
}

bool setWindowText(HWND window, std::string_view text) {
    const std::string terminated(text);
    return sendTo(window, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(terminated.c_str()));
}

std::string windowClass(HWND window) {
    char name[256] = {};
    const int length = GetClassNameA(window, name, static_cast<int>(sizeof name));
    return std::string(name, static_cast<std::size_t>(length > 0 ? length : 0));
}

bool sameClass(HWND window, std::string_view className) {
    const std::string actual = windowClass(window);
    return actual.size() == className.size() &&
           CompareStringA(LOCALE_INVARIANT, NORM_IGNORECASE, actual.data(),
                          static_cast<int>(actual.size()), className.data(),
                          static_cast<int>(className.size())) == CSTR_EQUAL;
}

std::vector<HWND> childrenOf(HWND parent) {
    std::vector<HWND> children;
    for (HWND child = GetWindow(parent, GW_CHILD); child != nullptr && children.size() < 1000;
         child = GetWindow(child, GW_HWNDNEXT)) {
        children.push_back(child);
    }
    return children;
}

HWND findDescendant(HWND parent, int id, std::string_view className) {
    DescendantSearch search{id, className, nullptr};
    EnumChildWindows(parent, matchDescendant, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

RECT rectInParent(HWND child) {
    RECT rect{};
    GetWindowRect(child, &rect);
    MapWindowPoints(nullptr, GetParent(child), reinterpret_cast<POINT*>(&rect), 2);
    return rect;
}

HWND waitFor(const std::function<HWND()>& find, std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    do {
        if (const HWND window = find()) {
            return window;
        }
        std::this_thread::sleep_for(20ms);
    } while (std::chrono::steady_clock::now() < deadline);
    return nullptr;
}

bool waitUntil(const std::function<bool()>& condition, std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    do {
        if (condition()) {
            return true;
        }
        std::this_thread::sleep_for(20ms);
    } while (std::chrono::steady_clock::now() < deadline);
    return false;
}

HWND findDialog(DWORD processId, HWND owner, std::string_view caption, HWND except) {
    DialogSearch search{processId, owner, caption, except, nullptr};
    EnumWindows(matchDialog, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

std::string messageBoxText(HWND box) {
    for (const HWND child : childrenOf(box)) {
        if (sameClass(child, "Static")) {
            std::string text = windowText(child);
            if (!text.empty()) {
                return text;
            }
        }
    }
    return {};
}

std::string describeWindows(DWORD processId) {
    Listing listing{processId, {}};
    EnumWindows(listWindow, reinterpret_cast<LPARAM>(&listing));
    return listing.text;
}

}  // namespace kxtest
