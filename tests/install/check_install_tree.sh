#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Installs the build into a fresh prefix and checks that everything a desktop user needs is there
# and works from its installed place.
#   check_install_tree.sh CMAKE BUILD_DIR WORK_DIR EXPECT_WINDOW(ON|OFF) EXPECT_ICONS(ON|OFF)
set -euo pipefail
cmake=$1 build=$2 work=$3 expect_window=$4 expect_icons=$5

# Qt wants a private runtime folder; a shared one only earns a warning.
XDG_RUNTIME_DIR=$(mktemp -d)
export XDG_RUNTIME_DIR
trap 'rm -rf "$XDG_RUNTIME_DIR"' EXIT

failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }
need_file() { [ -s "$1" ] || fail "missing or empty: ${1#"$prefix"/}"; }

rm -rf "$work"
mkdir -p "$work"
prefix="$work/prefix"
"$cmake" --install "$build" --strip --prefix "$prefix" >"$work/install.log"

# Installed as the README says, stripped; the build tree keeps its debug symbols.
has_debug() { readelf -S "$1" 2>/dev/null | grep -q '\.debug_info'; }
for program in tavrel-sync-cli tavrel-sync; do
    built=$(find "$build/src" -type f -name "$program" -perm -u+x | head -1)
    [ -n "$built" ] && [ -x "$prefix/bin/$program" ] || continue
    ! has_debug "$prefix/bin/$program" || fail "bin/$program is installed with its debug symbols"
done

# Programs run from the installed place, away from the build tree.
cd "$work"
cli="$prefix/bin/tavrel-sync-cli"
if [ -x "$cli" ]; then
    out=$("$cli" --version) || fail "tavrel-sync-cli --version exited with $?"
    grep -q '[0-9]\+\.[0-9]\+' <<<"$out" || fail "tavrel-sync-cli --version printed no version: $out"
else
    fail "bin/tavrel-sync-cli not installed"
fi
if [ "$expect_window" = ON ]; then
    window="$prefix/bin/tavrel-sync"
    if [ -x "$window" ]; then
        out=$(QT_QPA_PLATFORM=offscreen timeout 10 "$window" --version) ||
            fail "tavrel-sync --version exited with $?"
        grep -q '[0-9]\+\.[0-9]\+' <<<"$out" || fail "tavrel-sync --version printed no version: $out"
        # Without any display the window program still answers --help.
        out=$(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM timeout 10 "$window" --help 2>&1) ||
            fail "tavrel-sync --help without a display exited with $?"
        grep -q '^usage: tavrel-sync' <<<"$out" || fail "tavrel-sync --help printed no usage: $out"
        # A wrong command line is a usage error, also without a display (not Qt's abort).
        for wrong in "--bogus" "a.TSP b.TSP"; do
            status=0
            # shellcheck disable=SC2086 # the second case is two arguments on purpose
            env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM timeout 10 "$window" $wrong >/dev/null 2>&1 ||
                status=$?
            [ "$status" -eq 64 ] || fail "tavrel-sync $wrong without a display exited with $status, not 64"
        done
        # A file named on the command line is opened by the rules of Open: refused with its box.
        printf 'not a project' >"$work/refused.TSP"
        out=$(QT_QPA_PLATFORM=offscreen TAVREL_SCREENSHOT="$work/refused.png" timeout 20 \
            "$window" "$work/refused.TSP" 2>&1) || fail "tavrel-sync FILE exited with $?"
        grep -q 'ERROR: Failed to open TSP file.' <<<"$out" || fail "tavrel-sync FILE did not refuse a non-project: $out"
    else
        fail "bin/tavrel-sync not installed"
    fi
fi

doc="$prefix/share/doc/tavrel-sync"
guide="$prefix/share/tavrel-sync/TavrelSync.html"
need_file "$guide"
[ ! -e "$doc/TavrelSync.html" ] || fail "the guide is under share/doc, which a system may leave out"
need_file "$doc/FONTS"
need_file "$doc/copyright"
if [ -s "$doc/copyright" ]; then
    head -1 "$doc/copyright" | grep -q '^Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/' ||
        fail "copyright is not in the machine-readable format"
    grep -q '^License: GPL-3+$' "$doc/copyright" || fail "copyright names no GPL-3+ licence"
fi
grep -q 'id="cli"' "$guide" || fail "the installed guide lacks its command-line section"

pages=(tavrel-sync-cli)
[ "$expect_window" = ON ] && pages+=(tavrel-sync)
for page in "${pages[@]}"; do
    man="$prefix/share/man/man1/$page.1.gz"
    need_file "$man"
    [ -s "$man" ] || continue
    gzip -t "$man" || fail "man page $page is not a valid gzip file"
    title=$(tr '[:lower:]' '[:upper:]' <<<"$page")
    gzip -dc "$man" | grep -q "^\.TH $title 1" || fail "man page $page lacks its .TH line"
    if command -v man >/dev/null; then
        warnings=$(MANWIDTH=80 man --warnings -l "$man" 2>&1 >/dev/null) || fail "man cannot format $page"
        [ -z "$warnings" ] || fail "man page $page warnings: $warnings"
    fi
done

# Completion: where bash-completion looks, and it completes (a command, an option, a value).
completions="$prefix/share/bash-completion/completions"
need_file "$completions/tavrel-sync-cli"
[ "$expect_window" = ON ] && need_file "$completions/tavrel-sync"
if [ -s /usr/share/bash-completion/bash_completion ] && [ -s "$completions/tavrel-sync-cli" ]; then
    complete_line() { # the words of a command line, the last one being completed
        bash -c '. /usr/share/bash-completion/bash_completion; . "$1"; shift
            COMP_WORDS=("$@"); COMP_CWORD=$(($# - 1)); COMP_LINE="$*"; COMP_POINT=${#COMP_LINE}
            _tavrel_sync_cli; printf "%s\n" "${COMPREPLY[@]}"' _ "$completions/tavrel-sync-cli" "$@"
    }
    [ "$(complete_line tavrel-sync-cli ru)" = run ] || fail "completion does not give the command run"
    complete_line tavrel-sync-cli run --allow | grep -qx -- --allow-mass-delete ||
        fail "completion does not give run's options"
    [ "$(complete_line tavrel-sync-cli new --method ab)" = absolute ] || fail "completion does not give methods"
fi

if [ "$expect_window" = ON ]; then
    desktop="$prefix/share/applications/org.tavrel.TavrelSync.desktop"
    metainfo="$prefix/share/metainfo/org.tavrel.TavrelSync.metainfo.xml"
    need_file "$desktop"
    need_file "$metainfo"
    if [ -s "$desktop" ]; then
        grep -qx 'Name=Tavrel Synchronizer' "$desktop" || fail "desktop entry: wrong Name"
        grep -qx 'Categories=Utility;FileTools;' "$desktop" || fail "desktop entry: wrong Categories"
        exec_line=$(sed -n 's/^Exec=//p' "$desktop")
        [ "$exec_line" = "tavrel-sync %f" ] || fail "desktop entry: Exec is '$exec_line', expected the program with %f"
        grep -qx 'MimeType=application/x-tavrel-sync-project;' "$desktop" ||
            fail "desktop entry does not declare the project file type"
        if command -v desktop-file-validate >/dev/null; then
            desktop-file-validate "$desktop" || fail "desktop-file-validate rejects the desktop entry"
        else
            echo "note: desktop-file-validate not installed, entry not validated"
        fi
    fi
    mime="$prefix/share/mime/packages/tavrel-sync.xml"
    need_file "$mime"
    if [ -s "$mime" ] && command -v update-mime-database >/dev/null; then
        # Build a database from the installed type alone, as the desktop would, and check that a
        # project file is known by its first bytes and by its name.
        db="$work/mime"
        mkdir -p "$db/packages"
        cp "$mime" "$db/packages/"
        update-mime-database "$db" >/dev/null 2>&1 || fail "update-mime-database rejects the project file type"
        grep -q 'TAVREL SYNCHRONIZER PROJECT' "$db/magic" 2>/dev/null || fail "the file type has no banner magic"
        grep -q 'application/x-tavrel-sync-project:\*\.tsp' "$db/globs2" 2>/dev/null ||
            fail "the file type has no *.tsp name"
    fi
    if [ -s "$metainfo" ]; then
        grep -q '<project_license>GPL-3.0-or-later</project_license>' "$metainfo" ||
            fail "metainfo names no project licence"
        grep -q '<url type="homepage">' "$metainfo" || fail "metainfo names no homepage"
        grep -q '<screenshot type="default">' "$metainfo" || fail "metainfo shows no screenshot"
        if command -v appstreamcli >/dev/null; then
            appstreamcli validate --no-net "$metainfo" || fail "appstreamcli rejects the metainfo"
        else
            echo "note: appstreamcli not installed, metainfo not validated"
        fi
    fi
fi

if [ "$expect_icons" = ON ]; then
    icons="$prefix/share/icons/hicolor"
    need_file "$icons/scalable/apps/tavrel-sync.svg"
    for size in 16 22 24 32 48 64 128 256; do
        png="$icons/${size}x${size}/apps/tavrel-sync.png"
        need_file "$png"
        [ -s "$png" ] || continue
        # PNG signature, then the IHDR width and height as big-endian 32-bit numbers.
        signature=$(od -An -tx1 -N8 "$png" | tr -d ' \n')
        [ "$signature" = 89504e470d0a1a0a ] || fail "$png is not a PNG"
        width=$(od -An -tu1 -j16 -N4 "$png" | awk '{print ($1*16777216)+($2*65536)+($3*256)+$4}')
        height=$(od -An -tu1 -j20 -N4 "$png" | awk '{print ($1*16777216)+($2*65536)+($3*256)+$4}')
        [ "$width" = "$size" ] && [ "$height" = "$size" ] || fail "$png is ${width}x${height}"
    done
    grep -qx 'Icon=tavrel-sync' "$prefix/share/applications/org.tavrel.TavrelSync.desktop" ||
        fail "desktop entry does not name the installed icon"
elif [ "$expect_window" = ON ]; then
    echo "note: no program icon in this build, icons not checked"
fi

# Nothing may land outside the prefix's usual folders.
stray=$(cd "$prefix" && find . -mindepth 1 -maxdepth 1 ! -name bin ! -name share | head -5)
[ -z "$stray" ] || fail "unexpected top-level entries in the prefix: $stray"

if [ "$failures" -gt 0 ]; then
    echo "$failures check(s) failed; installed tree in $prefix" >&2
    exit 1
fi
echo "installed tree OK: $(cd "$prefix" && find . -type f | wc -l) files"
