#!/usr/bin/env bash
# Installs what is missing, builds everything and runs every test: a normal build, then the same
# suite under AddressSanitizer and UndefinedBehaviorSanitizer, and last the Windows program,
# cross-built and driven under Wine.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/deps.sh
kx_install_packages "${KX_RUN_PACKAGES[@]}" "${KX_TEST_PACKAGES[@]}"

echo "== Environment"
uname -srm
g++ --version | head -n 1
cmake --version | head -n 1
echo "cores: $(nproc)"

jobs=$(nproc)
for preset in default sanitize; do
    echo "== Build and test: $preset"
    cmake --preset "$preset"
    cmake --build --preset "$preset" -j "$jobs"
    ctest --preset "$preset" -j "$jobs"
done

echo "== Build and test: win32 (MinGW-w64 cross build, window tests under Wine)"
cmake --preset win32
cmake --build --preset win32 -j "$jobs"
tests/gui/win32/run_wine_tests.sh build/win32
