#pragma once

#include <ostream>
#include <span>
#include <string_view>

#include "app/RandomSource.h"

namespace cli {

inline constexpr int exitSuccess = 0;
inline constexpr int exitCheckFailed = 1;  // a check, a comparison or a computation failed
inline constexpr int exitUsage = 2;        // wrong arguments, or a file that cannot be read

// keyexchange-cli with its arguments, the program's name left out: check, shared, trace, attack
// or --help. Results go to out, messages to err, in the terminal's encoding: UTF-8, or on Windows
// Windows-1252 (main switches the console to that code page); file names as given. A point that
// a .comkey file would hold is written byte for byte, with a line end only when out is a
// terminal, and an attack's progress rewrites one line only when err is one. The random source
// draws the prime test's bases. While an attack runs, Ctrl+C (SIGINT) stops it. Returns the exit
// status.
int runCli(std::span<const std::string_view> args, std::ostream& out, std::ostream& err,
           app::RandomSource& random, bool outIsTerminal, bool errIsTerminal = false);

}  // namespace cli
