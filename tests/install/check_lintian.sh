#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Runs lintian on the Debian package: no error and no warning may remain. Notes on texts the
# program keeps as they are sit in packaging/lintian-overrides, each with its reason.
# HARDENED=ON (a build with dpkg-buildflags' hardening=+all) also fails on lintian's notes that
# fortified functions or bind-now linking are missing.
#   check_lintian.sh LINTIAN PACKAGE_DIR [HARDENED]
set -euo pipefail
lintian=$1 dir=$2 hardened=${3:-OFF}
debs=("$dir"/*.deb)
[ ${#debs[@]} -eq 1 ] && [ -f "${debs[0]}" ] || { echo "FAIL: expected one .deb in $dir" >&2; exit 1; }
# Lintian warns when it runs as root, which CI does; that note is not about the package.
report=$("$lintian" --display-info "${debs[0]}" 2>&1 |
    grep -v '^running with root privileges is not recommended!$' || true)
[ -z "$report" ] || echo "$report"
if [ "$hardened" = ON ] && grep -Eq 'hardening-no-(bindnow|fortify-functions|relro|pie)' <<<"$report"; then
    echo "FAIL: the programs lack hardening the build flags ask for" >&2
    exit 1
fi
"$lintian" --fail-on error,warning "${debs[0]}" >/dev/null 2>&1 || {
    echo "FAIL: lintian reports errors or warnings" >&2
    exit 1
}
echo "lintian: no errors, no warnings"
