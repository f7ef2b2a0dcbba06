#pragma once

#include <windows.h>

#include <string>

// Saves what the screen shows of a window as a PNG file, for a person to look at.
namespace kxtest {

// Copies the window's screen rectangle; false when the capture or the file failed.
bool saveWindowSnapshot(HWND window, const std::string& pngPath);

}  // namespace kxtest
