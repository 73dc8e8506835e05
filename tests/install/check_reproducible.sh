#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Builds the Debian package a second time and compares it with the first, byte for byte: a
# difference means a date, an order or a build path leaks into the package.
#   check_reproducible.sh CPACK BUILD_DIR PACKAGE_DIR WORK_DIR [SOURCE_DIR]
set -euo pipefail
cpack=$1 build=$2 first=$3 work=$4 source=${5:-}
debs=("$first"/*.deb)
[ ${#debs[@]} -eq 1 ] && [ -f "${debs[0]}" ] || { echo "FAIL: expected one .deb in $first" >&2; exit 1; }
# A second's pause: a time taken from the clock instead of SOURCE_DATE_EPOCH would differ.
sleep 1
bash "$(dirname "$0")/build_package.sh" "$cpack" "$build" "$work" "$source" >/dev/null
again=("$work"/*.deb)
if ! cmp "${debs[0]}" "${again[0]}"; then
    echo "FAIL: two builds of the package differ" >&2
    if command -v diffoscope >/dev/null; then diffoscope "${debs[0]}" "${again[0]}" || true; fi
    exit 1
fi
echo "package reproducible: $(sha256sum <"${debs[0]}" | cut -d' ' -f1)"
