#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Builds the Debian package of the build tree into WORK_DIR, for the package tests. The package
# is dated by SOURCE_DATE_EPOCH, from the last commit of SOURCE_DIR when not set, so two runs
# over one commit give the same bytes.
#   build_package.sh CPACK BUILD_DIR WORK_DIR [SOURCE_DIR]
set -euo pipefail
cpack=$1 build=$2 work=$3 source=${4:-}
if [ -z "${SOURCE_DATE_EPOCH:-}" ] && [ -n "$source" ] && git -C "$source" rev-parse HEAD >/dev/null 2>&1; then
    SOURCE_DATE_EPOCH=$(git -C "$source" log -1 --format=%ct)
    export SOURCE_DATE_EPOCH
fi
rm -rf "$work"
mkdir -p "$work"
"$cpack" -G DEB --config "$build/CPackConfig.cmake" -B "$work" >"$work/cpack.log" 2>&1 || {
    cat "$work/cpack.log" >&2
    exit 1
}
ls "$work"/*.deb
