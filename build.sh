#!/usr/bin/env bash
# One entry point for a fresh Debian 12 machine:
#   ./build.sh run    install what is missing, build, open the window
#   ./build.sh test   install what is missing, build, run the whole test suite
# The build goes to ./build (BUILD_DIR overrides it).
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
build_dir=${BUILD_DIR:-$here/build}

# What the build, the shipped assembler and the tests need from Debian.
packages=(
    build-essential cmake qt6-base-dev qt6-qpa-plugins fonts-dejavu-core
    # GIO, which finds the desktop's handler for the file a notification offers, and the
    # shared MIME database it reads the file's type from.
    libglib2.0-dev pkg-config shared-mime-info
    # Nettle's SHA-256, by which tarnwick knows the handheld's logo.
    nettle-dev
    # PNG decoding and palette reduction, for the pictures tarnwick converts.
    libspng-dev libimagequant-dev
    binutils-arm-none-eabi cpp
    # The tests' private desktop (tests/gui/private-desktop is a Python script) and the tools
    # that drive the program on it.
    python3 xvfb xdotool x11-utils xclip openbox wmctrl imagemagick mgba-sdl desktop-file-utils
    # gdb on mgba's GDB stub, in a network of its own (unshare from util-linux, ip).
    gdb-multiarch iproute2
    # Native Wayland support, and a compositor and an accessibility bus for its tests.
    qt6-wayland mutter dbus-daemon at-spi2-core python3-pyatspi python3-gi
    # A notification server for the tests of tarnwick's desktop notifications.
    dunst
    # Checkers for the installed desktop entry, AppStream data and manual pages.
    appstream groff-base
)

usage() {
    echo "usage: $0 run|test" >&2
    exit 2
}

install_missing() {
    local missing=()
    for p in "${packages[@]}"; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    echo "Installing missing packages: ${missing[*]}"
    local sudo=()
    if [ "$(id -u)" -ne 0 ]; then
        command -v sudo >/dev/null || { echo "Need root (or sudo) to install: ${missing[*]}" >&2; exit 1; }
        sudo=(sudo)
    fi
    "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get update -q
    "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends "${missing[@]}"
}

build() {
    local werror=OFF
    [ "${CI:-}" = true ] && werror=ON
    cmake -S "$here" -B "$build_dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTARNWICK_WERROR=$werror \
        ${CMAKE_EXTRA_ARGS:-}
    cmake --build "$build_dir" --parallel "$(nproc)"
}

[ $# -eq 1 ] || usage
case "$1" in
    run)
        install_missing
        build
        exec "$build_dir/bin/tarnwick-addon"
        ;;
    test)
        install_missing
        build
        ctest --test-dir "$build_dir" --output-on-failure --parallel "$(nproc)" ${CTEST_EXTRA_ARGS:-}
        ;;
    *) usage ;;
esac
