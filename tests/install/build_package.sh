#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Builds the Debian package of the build tree into WORK_DIR, for the package tests.
#   build_package.sh CPACK BUILD_DIR WORK_DIR
set -euo pipefail
cpack=$1 build=$2 work=$3
rm -rf "$work"
mkdir -p "$work"
"$cpack" -G DEB --config "$build/CPackConfig.cmake" -B "$work" >"$work/cpack.log" 2>&1 || {
    cat "$work/cpack.log" >&2
    exit 1
}
ls "$work"/*.deb
