#!/usr/bin/env bash
# Runs the Windows program's window tests under Wine, on a virtual X display, in a throwaway Wine
# prefix, on the program as the zip in the build folder holds it (build the package target first).
# Usage: tests/gui/win32/run_wine_tests.sh [build folder, default build/win32]
set -euo pipefail

if [ "${1:-}" = "--on-display" ]; then
    # Second stage, inside the virtual display, with the environment set up below.
    timeout 300 wine wineboot --init >/dev/null 2>&1
    "$KX_WINESERVER" -w
    # Let Wine draw the window frames itself: there is no window manager on this display.
    timeout 60 wine reg add 'HKCU\Software\Wine\X11 Driver' /v Decorated /d N /f >/dev/null 2>&1
    echo "Wine prefix ready after $(($(date +%s) - KX_START)) s"
    # The console program beside it answers once.
    help=$(timeout 60 wine "$KX_CLI_PATH" --help) || true
    if [[ "$help" != "Brug: keyexchange-cli"* ]]; then
        echo "FAILED: keyexchange-cli.exe --help answered \"${help:0:80}\""
        exit 1
    fi
    echo "keyexchange-cli.exe --help answered: ${help%%$'\r'*}"
    exec timeout 300 wine "$KX_DRIVER" "$KX_PROGRAM_PATH" "$KX_WORK_PATH" "$KX_DATA_PATH"
fi

build=$(cd "${1:-build/win32}" && pwd)
KX_DRIVER=$build/tests/gui/win32/keyexchange_wine_driver.exe
zips=("$build"/keyexchange-*-windows-x64.zip)
if [ ! -f "$KX_DRIVER" ] || [ ${#zips[@]} -ne 1 ] || [ ! -f "${zips[0]}" ]; then
    echo "need $KX_DRIVER and one keyexchange-*-windows-x64.zip in $build:" \
        "build the win32 preset and its package target" >&2
    exit 1
fi

WINEPREFIX=$(mktemp -d "${TMPDIR:-/tmp}/kx-wine-prefix.XXXXXX")
work=$(mktemp -d "${TMPDIR:-/tmp}/kx-wine-files.XXXXXX")
unpacked=$(mktemp -d "${TMPDIR:-/tmp}/kx-wine-zip.XXXXXX")
KX_WINESERVER=$(command -v wineserver || echo /usr/lib/wine/wineserver)
trap '"$KX_WINESERVER" -k >/dev/null 2>&1 || true; rm -rf "$WINEPREFIX" "$work" "$unpacked"' EXIT

# The zip holds one folder with the program and, beside it, the guide its About box names.
(cd "$unpacked" && cmake -E tar xf "${zips[0]}")
program=$(echo "$unpacked"/keyexchange-*/keyexchange.exe)
if [ ! -f "$program" ] || [ ! -f "$(dirname "$program")/læsmig.pdf" ] ||
    [ ! -f "$(dirname "$program")/keyexchange-cli.exe" ]; then
    echo "FAILED: ${zips[0]} holds no keyexchange.exe with læsmig.pdf and keyexchange-cli.exe beside it"
    exit 1
fi

# Unix paths as Wine's Z: drive sees them.
windows_path() { printf 'Z:%s' "${1//\//\\}"; }
KX_PROGRAM_PATH=$(windows_path "$program")
KX_CLI_PATH=$(windows_path "$(dirname "$program")/keyexchange-cli.exe")
KX_WORK_PATH=$(windows_path "$work")
KX_DATA_PATH=$(windows_path "$(cd "$(dirname "$0")/../../data" && pwd)")
KX_START=$(date +%s)

export WINEPREFIX KX_WINESERVER KX_DRIVER KX_PROGRAM_PATH KX_CLI_PATH KX_WORK_PATH KX_DATA_PATH
export KX_START
export WINEARCH=win64 WINEDEBUG=-all
# No Mono or Gecko installer prompts, and no debugger waiting on a crashed program.
export WINEDLLOVERRIDES="mscoree,mshtml=;winedbg.exe=d"
# Wine takes its ANSI code page from the locale; this one gives Windows-1252.
export LC_ALL=C.UTF-8 LANG=C.UTF-8

status=0
xvfb-run -a -s "-screen 0 1024x768x24" "$0" --on-display || status=$?
echo "Wine tests finished after $(($(date +%s) - KX_START)) s with status $status"
exit "$status"
