#!/usr/bin/env bash
# Installs the Debian packages Karvex needs to build, test and run. Safe to run again: apt-get
# skips what is already there. Uses sudo when not run as root.
set -euo pipefail

packages=(
    cmake ninja-build g++ clang                      # compilers (clang for the sanitizers and libFuzzer)
    qt6-base-dev qt6-base-dev-tools                  # Qt 6 Widgets (its CP932 codec via ICU shows the log)
    libgtest-dev libgmock-dev                        # unit tests
    fonts-ipafont-gothic                             # IPAPGothic, the dialog font's stand-in
    xvfb xauth imagemagick                           # windows without a display, screenshots
    librsvg2-bin file dpkg-dev                       # icon sizes; cpack -G DEB and its shlibdeps
    libx11-dev lintian desktop-file-utils appstream man-db lighttpd curl  # package tests
    libcli11-dev nlohmann-json3-dev                  # karvex-run's command line and JSON
    libxml2-utils                                    # xmllint: tests parse karvex-run's JUnit file
    chromium                                         # headless: tests load karvex-run's HTML report
    g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64  # the Windows build (windres too)
    wine wine64 googletest                           # its tests under Wine; gtest from source
    x11-utils                                        # xwininfo: the Windows screenshot waits for the dialog
    ser2net                                          # boards on other machines: the tests' server
    python3-labgrid python3-pytest python3-yaml      # the labgrid example, run by the tests
    wixl msitools                                    # the Windows installer (MSI): built, read and unpacked
)

sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"
updated=0

install_missing() {
    local missing=() p
    for p in "$@"; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    echo "Installing: ${missing[*]}"
    if [ "$updated" -eq 0 ]; then
        $sudo apt-get update -qq
        updated=1
    fi
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
}

install_missing "${packages[@]}"
# The sanitizer and fuzzer runtime is packaged per clang version (Debian 12: 14, Debian 13: 19):
# take the one that belongs to the clang just installed.
clang_major=$(clang -dumpversion | cut -d. -f1)
install_missing "libclang-rt-${clang_major}-dev"
