#pragma once

#include <windows.h>

#include <chrono>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

// Driving another process's windows with the single-byte Win32 calls. Every call that waits on
// the other process has a deadline, so a stuck program fails the test instead of hanging it.
namespace kxtest {

using namespace std::chrono_literals;

inline constexpr std::chrono::milliseconds replyTimeout = 10s;
inline constexpr std::chrono::milliseconds appearTimeout = 15s;

// SendMessageTimeoutA; false when the window did not answer in time.
bool sendTo(HWND window, UINT message, WPARAM wParam = 0, LPARAM lParam = 0,
            LRESULT* result = nullptr);
void postTo(HWND window, UINT message, WPARAM wParam = 0, LPARAM lParam = 0);

std::string windowText(HWND window);
bool setWindowText(HWND window, std::string_view text);
std::string windowClass(HWND window);
bool sameClass(HWND window, std::string_view className);  // class names ignore case

// Direct children, first to last in the sibling order.
std::vector<HWND> childrenOf(HWND parent);
// The first descendant with this control identifier and class, or null.
HWND findDescendant(HWND parent, int id, std::string_view className);
// Rectangle in the parent's client coordinates.
RECT rectInParent(HWND child);

// Polls until find() gives a window or the time is up; null then.
HWND waitFor(const std::function<HWND()>& find, std::chrono::milliseconds timeout = appearTimeout);
bool waitUntil(const std::function<bool()>& condition,
               std::chrono::milliseconds timeout = appearTimeout);

// A visible dialog-class window (#32770) of the process, with this owner (or any owner when
// owner is null) and caption (or any caption when empty), other than `except`.
HWND findDialog(DWORD processId, HWND owner, std::string_view caption = {}, HWND except = nullptr);
// The text of the first static child whose text is not empty: a message box's message.
std::string messageBoxText(HWND box);

// Every top-level window of the process, with class and caption, for failure reports.
std::string describeWindows(DWORD processId);

}  // namespace kxtest
