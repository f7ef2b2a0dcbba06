#!/usr/bin/env bash
# Installs what is missing, builds the program and starts it.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/deps.sh
kx_install_packages "${KX_RUN_PACKAGES[@]}"

cmake --preset default -DKX_BUILD_TESTS=OFF -DKX_BUILD_BENCH=OFF >/dev/null
program=build/default/gui/qt/keyexchange
if [ ! -f gui/qt/CMakeLists.txt ]; then
    cmake --build --preset default
    echo "Built the libraries; the desktop window is not part of this build yet."
    exit 0
fi
cmake --build --preset default --target keyexchange
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
    echo "No display found (neither DISPLAY nor WAYLAND_DISPLAY is set): start $program from a desktop session." >&2
    exit 1
fi
exec "$program"
