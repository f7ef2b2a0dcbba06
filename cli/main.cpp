// Entry point of keyexchange-cli.
#include <cstdio>
#include <iostream>
#include <string_view>
#include <vector>

#include "app/RandomSource.h"
#include "cli/CommandLine.h"

#ifdef _WIN32
#include <io.h>
#include <windows.h>
#else
#include <unistd.h>
#endif

int main(int argc, char** argv) {
    const std::vector<std::string_view> args(argv + 1, argv + argc);
    app::SystemRandom random;
#ifdef _WIN32
    // The program's texts are Windows-1252; the console shows them as they are in that code page,
    // and gets its own back afterwards.
    const UINT consoleCodePage = GetConsoleOutputCP();
    SetConsoleOutputCP(1252);
    const bool outIsTerminal = _isatty(_fileno(stdout)) != 0;
    const bool errIsTerminal = _isatty(_fileno(stderr)) != 0;
#else
    const bool outIsTerminal = isatty(STDOUT_FILENO) != 0;
    const bool errIsTerminal = isatty(STDERR_FILENO) != 0;
#endif
    const int status =
        cli::runCli(args, std::cout, std::cerr, random, outIsTerminal, errIsTerminal);
    std::cout.flush();
#ifdef _WIN32
    SetConsoleOutputCP(consoleCodePage);
#endif
    return status;
}
