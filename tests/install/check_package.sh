#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Unpacks the Debian package into a temporary root and runs the runner from there: its version,
# and one small job when the runner has the run command.
#   check_package.sh PACKAGE_DIR EXPECT_WINDOW(ON|OFF) [MAKE_PROJECT]
set -euo pipefail
dir=$1 expect_window=$2 make_project=${3:-}

# Qt wants a private runtime folder; a shared one only earns a warning.
XDG_RUNTIME_DIR=$(mktemp -d)
export XDG_RUNTIME_DIR
trap 'rm -rf "$XDG_RUNTIME_DIR"' EXIT

failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }

debs=("$dir"/*.deb)
[ ${#debs[@]} -eq 1 ] && [ -f "${debs[0]}" ] || { echo "FAIL: expected one .deb in $dir" >&2; exit 1; }
deb=${debs[0]}

fields=$(dpkg-deb -f "$deb" Package Version Depends)
echo "$fields"
grep -qx 'Package: tavrel-sync' <<<"$fields" || fail "package name is not tavrel-sync"
depends=$(sed -n 's/^Depends: //p' <<<"$fields")
wanted=(libqt6core6)
[ "$expect_window" = ON ] && wanted+=(libqt6gui6 libqt6widgets6 libqt6svg6 fonts-liberation2)
for name in "${wanted[@]}"; do
    grep -Eq "(^|, )$name( |,|$)" <<<"$depends" || fail "Depends lacks $name"
done

# Every path of a package belongs under /usr; nothing may go to /usr/local or elsewhere.
bad=$(dpkg-deb -c "$deb" | awk '{print $6}' | grep -Ev '^\./$|^\./usr/' | grep -E . | head -5 || true)
[ -z "$bad" ] && bad=$(dpkg-deb -c "$deb" | awk '{print $6}' | grep '^\./usr/local' | head -5 || true)
[ -z "$bad" ] || fail "paths outside /usr: $bad"

root="$dir/root"
rm -rf "$root"
mkdir -p "$root"
dpkg-deb -x "$deb" "$root"
cli="$root/usr/bin/tavrel-sync-cli"
[ -x "$cli" ] || { echo "FAIL: the package holds no usr/bin/tavrel-sync-cli" >&2; exit 1; }
version=$("$cli" --version) || fail "unpacked tavrel-sync-cli --version exited with $?"
echo "unpacked runner: $version"
[ -s "$root/usr/share/tavrel-sync/TavrelSync.html" ] || fail "the package holds no user guide"
[ -s "$root/usr/share/man/man1/tavrel-sync-cli.1.gz" ] || fail "the package holds no man page"
[ -s "$root/usr/share/doc/tavrel-sync/copyright" ] || fail "the package holds no copyright file"
[ -s "$root/usr/share/doc/tavrel-sync/changelog.gz" ] || fail "the package holds no changelog"
programs=("$cli")
if [ "$expect_window" = ON ]; then
    [ -x "$root/usr/bin/tavrel-sync" ] || fail "the package holds no usr/bin/tavrel-sync"
    [ -s "$root/usr/share/man/man1/tavrel-sync.1.gz" ] || fail "the package holds no man page for tavrel-sync"
    programs+=("$root/usr/bin/tavrel-sync")
fi
# Debug symbols stay in the build tree; the packaged programs are stripped.
for program in "${programs[@]}"; do
    [ -x "$program" ] || continue
    if readelf -S "$program" | grep -q '\.debug_info'; then
        fail "$(basename "$program") in the package is not stripped"
    fi
done
# A CMake list put into the description shows as a ';' that no prose would write.
if dpkg-deb -f "$deb" Description | grep -Eq ';($|[^ ])| ;'; then
    fail "the package description holds a stray ';'"
fi

if ! "$cli" --help 2>&1 | grep -qw run; then
    echo "SKIP run: this tavrel-sync-cli has no run command yet"
elif [ -z "$make_project" ] || [ ! -x "$make_project" ]; then
    echo "SKIP run: no project writer in this build"
else
    job="$dir/job"
    rm -rf "$job"
    mkdir -p "$job/org/sub" "$job/tgt"
    printf 'first\n' >"$job/org/a.txt"
    printf 'second\n' >"$job/org/sub/b.txt"
    printf 'stale\n' >"$job/tgt/gone.txt"
    "$make_project" "$job/mirror.TSP" --pair Mirror absolute "$job/org" "$job/tgt" --no-recycle
    status=0
    "$cli" run "$job/mirror.TSP" --report "$job/report.htm" --no-progress --no-history >"$job/out.txt" 2>&1 || status=$?
    cat "$job/out.txt"
    [ "$status" -eq 0 ] || fail "unpacked tavrel-sync-cli run exited with $status"
    cmp -s "$job/org/a.txt" "$job/tgt/a.txt" || fail "run did not copy a.txt"
    cmp -s "$job/org/sub/b.txt" "$job/tgt/sub/b.txt" || fail "run did not copy sub/b.txt"
    [ ! -e "$job/tgt/gone.txt" ] || fail "run did not delete gone.txt from the mirror"
    grep -q 'Process succeeded.' "$job/out.txt" || fail "run did not report success"
    grep -q '\[C\]' "$job/report.htm" 2>/dev/null || fail "the report lists no copied file"
fi

if [ "$failures" -gt 0 ]; then
    echo "$failures check(s) failed" >&2
    exit 1
fi
echo "package OK: $(basename "$deb")"
