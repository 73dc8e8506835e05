#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Runs lintian on the Debian package: no error and no warning may remain. Notes on texts the
# program keeps as they are sit in packaging/lintian-overrides, each with its reason.
#   check_lintian.sh LINTIAN PACKAGE_DIR
set -euo pipefail
lintian=$1 dir=$2
debs=("$dir"/*.deb)
[ ${#debs[@]} -eq 1 ] && [ -f "${debs[0]}" ] || { echo "FAIL: expected one .deb in $dir" >&2; exit 1; }
# Lintian warns when it runs as root, which CI does; that note is not about the package.
"$lintian" --fail-on error,warning --display-info "${debs[0]}" 2>&1 |
    grep -v '^running with root privileges is not recommended!$' || true
"$lintian" --fail-on error,warning "${debs[0]}" >/dev/null 2>&1 || {
    echo "FAIL: lintian reports errors or warnings" >&2
    exit 1
}
echo "lintian: no errors, no warnings"
