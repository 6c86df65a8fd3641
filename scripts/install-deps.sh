#!/usr/bin/env bash
# Installs what Quillet needs to build and run its tests.
#
# Debian/Ubuntu: installs only the packages that are missing, through apt-get
# (directly as root, through sudo otherwise). Does nothing when all are there.
# macOS: prints the Homebrew command and checks that CMake and Qt are findable;
# it never runs brew itself.
set -euo pipefail

# Build tools, Qt (qt6-base-dev pulls in the QtTest runtime), libplist, ICU,
# simdjson, libxlsxwriter, the libimobiledevice command-line tools the scanner
# runs, usbmuxd through which they reach a device, python3 and openssl for the
# device emulator the tests run those tools against (python3 also reads
# exported workbooks back), poppler-utils to read exported PDFs back, a
# virtual X server for GUI runs, a colour emoji font (app names carry emoji,
# shown as empty boxes without one), clang-format, clang with its sanitizer and
# libFuzzer runtimes for the fuzz targets, and for the Debian package and the
# desktop files: dpkg-dev (dpkg-shlibdeps), man-db, and the validators of the
# AppStream metadata and the desktop entry.
DEBIAN_PACKAGES=(
    cmake ninja-build g++ make pkg-config
    qt6-base-dev libgl-dev
    libplist-dev libsimdjson-dev libxlsxwriter-dev libicu-dev
    libimobiledevice-utils ideviceinstaller libimobiledevice-dev usbmuxd
    python3 openssl
    poppler-utils xvfb fonts-noto-color-emoji clang-format
    clang libclang-rt-dev
    dpkg-dev man-db appstream desktop-file-utils
)

BREW_COMMAND="brew install cmake ninja pkgconf qt libplist simdjson libxlsxwriter icu4c libimobiledevice ideviceinstaller poppler"

say() { printf 'install-deps: %s\n' "$*"; }
fail() { printf 'install-deps: %s\n' "$*" >&2; exit 1; }

is_installed() {
    local status
    status="$(dpkg-query -W -f='${Status}' "$1" 2>/dev/null || true)"
    [[ "$status" == "install ok installed" ]]
}

install_debian() {
    local missing=() pkg
    for pkg in "${DEBIAN_PACKAGES[@]}"; do
        if ! is_installed "$pkg"; then
            missing+=("$pkg")
        fi
    done
    if [[ ${#missing[@]} -eq 0 ]]; then
        return 0
    fi

    say "installing missing packages: ${missing[*]}"
    local runner=()
    if [[ "$(id -u)" -ne 0 ]]; then
        command -v sudo >/dev/null 2>&1 \
            || fail "not root and sudo is not available; install as root: apt-get install ${missing[*]}"
        runner=(sudo)
    fi
    local install=(env DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends)

    if ! ${runner[@]+"${runner[@]}"} "${install[@]}" "${missing[@]}"; then
        say "install failed; refreshing the package lists and retrying"
        ${runner[@]+"${runner[@]}"} apt-get update
        ${runner[@]+"${runner[@]}"} "${install[@]}" "${missing[@]}"
    fi
}

check_macos() {
    local problems=()
    command -v cmake >/dev/null 2>&1 || problems+=("cmake not found on PATH")
    command -v ninja >/dev/null 2>&1 || problems+=("ninja not found on PATH")
    command -v pkg-config >/dev/null 2>&1 || problems+=("pkg-config not found on PATH")

    local qt_found=no prefix
    if command -v qmake6 >/dev/null 2>&1 || command -v qmake >/dev/null 2>&1; then
        qt_found=yes
    else
        for prefix in /opt/homebrew/opt/qt /usr/local/opt/qt; do
            if [[ -x "$prefix/bin/qmake6" || -x "$prefix/bin/qmake" ]]; then
                qt_found=yes
            fi
        done
    fi
    [[ "$qt_found" == yes ]] || problems+=("Qt 6 not found (no qmake6 on PATH or in Homebrew's qt)")

    if [[ ${#problems[@]} -gt 0 ]]; then
        local p
        for p in "${problems[@]}"; do
            say "$p"
        done
        fail "install the dependencies with: $BREW_COMMAND"
    fi
    if ! command -v ideviceinstaller >/dev/null 2>&1; then
        say "note: the device tools are not installed yet; scanning needs them: $BREW_COMMAND"
    fi
}

case "$(uname -s)" in
    Darwin)
        check_macos
        ;;
    Linux)
        if command -v dpkg-query >/dev/null 2>&1 && command -v apt-get >/dev/null 2>&1; then
            install_debian
        else
            say "not a Debian/Ubuntu system; install the equivalents of: ${DEBIAN_PACKAGES[*]}"
        fi
        ;;
    *)
        say "unsupported system $(uname -s); install CMake, Qt 6, libplist, simdjson, libxlsxwriter, ICU and libimobiledevice yourself"
        ;;
esac
