#!/usr/bin/env bash
# Installs what is missing, builds the program and starts it in the user's home folder, so that
# the files a student saves land there and not in the source tree.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/deps.sh
kx_install_packages "${KX_RUN_PACKAGES[@]}"

# Only the program: the test and benchmark libraries need not be installed for it.
cmake --preset default -DKX_BUILD_TESTS=OFF -DKX_BUILD_BENCH=OFF >/dev/null
cmake --build --preset default --target keyexchange
program=$PWD/build/default/gui/qt/keyexchange
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
    echo "Built $program. No display found (neither DISPLAY nor WAYLAND_DISPLAY is set): start it from a desktop session." >&2
    exit 0
fi
cd "${HOME:-/}"
exec "$program"
