#!/usr/bin/env bash
# Installs what is missing, builds everything and runs every test: an optimised build with GCC and
# its .deb, installed into a throwaway root and started once; the same suite built with clang
# under AddressSanitizer and UndefinedBehaviorSanitizer; the Windows program cross-built, zipped,
# unpacked and driven under Wine; each fuzz target for a few seconds; and last the page, built with
# emscripten and driven from disk in headless Chromium.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/deps.sh
kx_install_packages "${KX_RUN_PACKAGES[@]}" "${KX_TEST_PACKAGES[@]}"

echo "== Environment"
uname -srm
g++ --version | head -n 1
clang++ --version | head -n 1
cmake --version | head -n 1
echo "cores: $(nproc)"

jobs=$(nproc)
# One fixed seed for the randomised tests, so a CI run can be repeated; override to explore.
export KX_TEST_SEED="${KX_TEST_SEED:-20261207}"
echo "KX_TEST_SEED=$KX_TEST_SEED"
for preset in default sanitize; do
    echo "== Build and test: $preset"
    cmake --preset "$preset"
    cmake --build --preset "$preset" -j "$jobs"
    ctest --preset "$preset" -j "$jobs"
done

echo "== Build and test: narrow (the field on 32-bit words, held to GMP like the 64-bit one)"
cmake --preset narrow
cmake --build --preset narrow -j "$jobs"
ctest --preset narrow -j "$jobs"

echo "== Package: the .deb, checked and installed into a throwaway root"
cmake --build --preset default --target package
tests/packaging/check_deb.sh build/default/keyexchange_*.deb

echo "== Build and test: win32 (MinGW-w64 cross build, zipped, unpacked, window tests under Wine)"
cmake --preset win32
cmake --build --preset win32 -j "$jobs"
cmake --build --preset win32 --target package
tests/gui/win32/run_wine_tests.sh build/win32

echo "== Fuzz: every target briefly over its checked-in seeds (clang, libFuzzer; the field on 32-bit words)"
cmake --preset fuzz
cmake --build --preset fuzz -j "$jobs"
for target in fuzz_arithmetic fuzz_open_files; do
    # New inputs go to a scratch folder; the checked-in seeds are only read.
    scratch="build/fuzz/corpus-run/$target"
    rm -rf "$scratch"
    mkdir -p "$scratch"
    "build/fuzz/fuzz/$target" -max_total_time=15 -timeout=10 -rss_limit_mb=2048 \
        -print_final_stats=1 "$scratch" "fuzz/corpus/$target"
done

echo "== Browser: the page built with emscripten and driven from disk in headless Chromium"
kx_install_packages "${KX_WEB_PACKAGES[@]}"
# Debian's node comes without npm; other builds of node bring their own.
command -v npm >/dev/null 2>&1 || kx_install_packages npm
npm ci --prefix tests/web --no-audit --no-fund
cmake --preset web
cmake --build --preset web -j "$jobs" --target all web
ls -l build/web/web/keyexchange.html build/web/keyexchange-web-*.zip
cmake -E tar tf build/web/keyexchange-web-*.zip
KX_PAGE="$PWD/build/web/web/keyexchange.html" KX_CLI="$PWD/build/default/cli/keyexchange-cli" \
    node --test tests/web/page.test.mjs
echo "== All stages passed: optimised and sanitizer suites, the .deb, the Windows zip under Wine, fuzz smoke, the page in Chromium."
