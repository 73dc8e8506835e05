#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Set-up, build and run in one step on Debian 12.
#   scripts/dev.sh start   install what the window needs, build only the window, start it
#   scripts/dev.sh test    install everything, check the layout (scripts/check_format.sh) and
#                          the folder graph (scripts/check_layers.sh), build everything with
#                          warnings as errors, run clang-tidy (scripts/tidy.sh), every test,
#                          then the fuzzers and the sanitizer builds (scripts/hardening.sh)
#   scripts/dev.sh release build everything as a Release with Debian's hardening flags
#                          (build-release) and check the package built from it
# Installs packages only when some are missing (through sudo when not root); never prompts
# when CI=true or when stdin is not a terminal.
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build="${TAVREL_BUILD_DIR:-$here/build}"
action="${1:-}"

# The window: compiler, Qt, OpenSSL, the faces its layout is drawn for, and a virtual display
# for machines without one.
window_packages=(g++ cmake ninja-build libssl-dev
    qt6-base-dev qt6-svg-dev qt6-qpa-plugins libgl1-mesa-dev
    xvfb xauth fonts-dejavu-core fonts-liberation2 fonts-wine)
# Everything else the tests use: test frameworks, reference tools, desktop-file and package
# checkers, the sanitizer compiler, the user-space file systems and a session bus for the
# notification tests.
test_packages=(libgtest-dev libgmock-dev libbenchmark-dev x11-utils
    rsync bash-completion desktop-file-utils appstream lintian clang libclang-rt-14-dev clang-format clang-tidy
    fusefat dosfstools exfat-fuse exfatprogs ntfs-3g sshfs openssh-server dbus-daemon)

as_root() {
    if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi
}

install_missing() {
    local missing=()
    for p in "$@"; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
    done
    if [ ${#missing[@]} -gt 0 ]; then
        echo "Installing: ${missing[*]}"
        as_root apt-get update
        as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends "${missing[@]}"
    fi
    # fonts-wine keeps its Tahoma outside fontconfig's search path; link it where it is found.
    local fonts=/usr/local/share/fonts/tavrel
    if [ ! -e "$fonts/tahoma.ttf" ] && ls /usr/share/wine/fonts/tahoma*.ttf >/dev/null 2>&1; then
        as_root mkdir -p "$fonts"
        as_root ln -sf /usr/share/wine/fonts/tahoma*.ttf "$fonts/"
        as_root fc-cache -f >/dev/null
    fi
}

build_all() {
    cmake -S "$here" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTAVREL_BUILD_TESTS=ON -DTAVREL_WERROR=ON
    cmake --build "$build" -j "$(nproc)"
}

# Everything as Debian builds it: Release, dpkg-buildflags with all hardening (fortified
# functions draw warnings the RelWithDebInfo build never sees), warnings as errors. Built, not
# run, but for the package checks. CMake reads CXXFLAGS but not CPPFLAGS, so the preprocessor flags join the compiler's.
build_release() {
    local release="${TAVREL_RELEASE_BUILD_DIR:-$here/build-release}" launcher=()
    command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
    (
        export DEB_BUILD_MAINT_OPTIONS=hardening=+all
        eval "$(dpkg-buildflags --export=sh)"
        export CXXFLAGS="$CPPFLAGS $CXXFLAGS"
        # The programs only, as a distribution builds them; the tests run in the build above.
        cmake -S "$here" -B "$release" -G Ninja -DCMAKE_BUILD_TYPE=Release -DTAVREL_BUILD_TESTS=OFF \
            -DTAVREL_WERROR=ON "${launcher[@]}"
        cmake --build "$release" -j "$(nproc)"
    )
    # The package is what distributions ship: hardened, lintian-clean, the same bytes every time.
    ctest --test-dir "$release" --output-on-failure -R '^install\.'
}

# The window and the guide beside it. A new build folder is configured without the tests, so
# their frameworks need not be installed; an existing one keeps its settings.
build_window() {
    local tests=()
    [ -f "$build/CMakeCache.txt" ] || tests=(-DTAVREL_BUILD_TESTS=OFF)
    cmake -S "$here" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "${tests[@]}"
    cmake --build "$build" -j "$(nproc)" --target tavrel-sync tavrel_docs
}

case "$action" in
start)
    install_missing "${window_packages[@]}"
    build_window
    if [ -x "$build/src/app/tavrel-sync" ]; then
        if [ -z "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
            echo "No display: starting under xvfb-run." >&2
            exec xvfb-run -a "$build/src/app/tavrel-sync"
        fi
        exec "$build/src/app/tavrel-sync"
    fi
    exec "$build/src/cli/tavrel-sync-cli" --help
    ;;
test)
    install_missing "${window_packages[@]}" "${test_packages[@]}"
    "$here/scripts/check_format.sh"
    "$here/scripts/check_layers.sh"
    build_all
    "$here/scripts/tidy.sh" "$build"
    export XDG_RUNTIME_DIR="${XDG_RUNTIME_DIR:-$(mktemp -d)}"
    ctest --test-dir "$build" --output-on-failure -j "$(nproc)"
    "$here/scripts/hardening.sh"
    ;;
release)
    install_missing "${window_packages[@]}" "${test_packages[@]}"
    build_release
    ;;
*)
    echo "usage: scripts/dev.sh start|test|release" >&2
    exit 64
    ;;
esac
