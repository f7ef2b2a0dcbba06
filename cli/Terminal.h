#pragma once

#include <filesystem>
#include <string>
#include <string_view>

// The command line's edge: the program keeps Windows-1252 text, terminals and file systems take
// their own.
namespace cli {

// The text as the terminal takes it: UTF-8, except on Windows, where the console is set to
// Windows-1252 and the text stays as it is.
std::string forTerminal(std::string_view windows1252);

// The file an argument names: its bytes on POSIX systems, the ANSI code page's characters on
// Windows (which hands arguments to main in that code page).
std::filesystem::path argumentPath(std::string_view argument);

}  // namespace cli
