# Sourced by run.sh and test.sh: installs the Debian packages that are missing, or, on other
# systems, names them. Usage: kx_install_packages pkg...
kx_install_packages() {
    local missing=()
    local pkg
    if command -v dpkg-query >/dev/null 2>&1; then
        for pkg in "$@"; do
            if ! dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q 'install ok installed'; then
                missing+=("$pkg")
            fi
        done
    else
        echo "Not a Debian or Ubuntu system: please install the equivalents of: $*" >&2
        return 0
    fi
    if [ ${#missing[@]} -eq 0 ]; then
        return 0
    fi
    echo "Installing missing packages: ${missing[*]}"
    local sudo=()
    if [ "$(id -u)" -ne 0 ]; then
        sudo=(sudo)
    fi
    if command -v apt-get >/dev/null 2>&1; then
        "${sudo[@]}" apt-get update -qq
        DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
    else
        echo "Please install: ${missing[*]}" >&2
        return 1
    fi
}

# What building and starting the program needs.
KX_RUN_PACKAGES=(cmake ninja-build g++ qt6-base-dev libgl-dev qt6-translations-l10n)
# What the whole test command needs besides that.
KX_TEST_PACKAGES=(googletest libgtest-dev libgmock-dev libgmp-dev nlohmann-json3-dev
    libbenchmark-dev libssl-dev clang libclang-rt-dev
    g++-mingw-w64-x86-64 binutils-mingw-w64-x86-64 wine wine64 xvfb xauth
    dpkg-dev file desktop-file-utils appstream poppler-utils)
# What the browser stage needs besides that: emscripten compiles the page, Chromium shows it and
# node drives it with the one npm package pinned in tests/web/package-lock.json.
KX_WEB_PACKAGES=(emscripten chromium nodejs)
