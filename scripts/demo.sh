#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Builds a sample job to try the program on:
#   scripts/demo.sh [FOLDER]        (default: ${TMPDIR:-/tmp}/tavrel-demo)
# FOLDER receives two sample trees, "original" and "target", and the project file demo.TSP. Open
# it in the window and press Execute: the log, the counters and the report then show folders and
# files created, files overwritten, files and folders deleted, and Synchronize copying both ways.
# Running the script again rebuilds the same starting state.
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build="${TAVREL_BUILD_DIR:-$here/build}"
demo="${1:-${TMPDIR:-/tmp}/tavrel-demo}"
marker=".tavrel-demo"

# The runner writes the project file (its `new` command).
cli="${TAVREL_SYNC_CLI:-$build/src/cli/tavrel-sync-cli}"
if [ ! -x "$cli" ]; then
    if [ -f "$build/build.ninja" ] || [ -f "$build/Makefile" ]; then
        echo "Building the runner in $build ..."
        cmake --build "$build" --target tavrel-sync-cli >/dev/null
    fi
    if [ ! -x "$cli" ]; then
        echo "demo.sh: no runner at $cli; build first (scripts/dev.sh test)," >&2
        echo "or point TAVREL_BUILD_DIR at your build folder." >&2
        exit 1
    fi
fi

# Only ever wipe a folder this script made.
if [ -e "$demo" ] && [ -n "$(ls -A "$demo" 2>/dev/null)" ] && [ ! -e "$demo/$marker" ]; then
    echo "demo.sh: $demo exists and was not made by this script; choose another folder." >&2
    exit 1
fi
rm -rf "$demo"
mkdir -p "$demo"
demo=$(cd "$demo" && pwd)
touch "$demo/$marker"
org="$demo/original"
tgt="$demo/target"

# file PATH DATE TEXT: a file with a fixed modification time, so "newer" is the same on every run.
file() {
    mkdir -p "$(dirname "$1")"
    printf '%s\n' "$3" >"$1"
    touch -d "$2" "$1"
}
old="2024-01-10 09:00"
mid="2024-03-15 12:00"
new="2024-06-20 18:30"

# Pair 1, Light Copy: the target folder does not exist yet, so everything is created.
file "$org/documents/letter.odt" "$mid" "Dear Sam, ..."
file "$org/documents/budget.ods" "$mid" "rent;food;books"
file "$org/documents/archive/2023-report.pdf" "$old" "last year's report"

# Pair 2, Update Copy: one target file is older (overwritten), one is newer (kept).
file "$org/photos/holiday-01.jpg" "$new" "beach, edited"
file "$org/photos/holiday-02.jpg" "$old" "mountains"
file "$org/photos/family/grandma.jpg" "$mid" "garden"
file "$tgt/photos/holiday-01.jpg" "$old" "beach"
file "$tgt/photos/holiday-02.jpg" "$new" "mountains, cropped in the target"

# Pair 3, Absolute Copy: the target is made a mirror. A changed file is overwritten, files and a
# folder the original lacks are deleted, and the excluded *.tmp file is left alone.
file "$org/music/album/track-01.ogg" "$mid" "track one"
file "$org/music/album/track-02.ogg" "$new" "track two, remastered"
file "$org/music/playlist.m3u" "$mid" "album/track-01.ogg"
file "$tgt/music/album/track-01.ogg" "$mid" "track one"
file "$tgt/music/album/track-02.ogg" "$old" "track two"
file "$tgt/music/album/track-03.ogg" "$old" "a track removed from the original"
file "$tgt/music/old-playlists/2019.m3u" "$old" "gone"
file "$tgt/music/old-playlists/2020.m3u" "$old" "gone too"
file "$tgt/music/download.tmp" "$old" "kept: excluded by *.tmp"

# Pair 4, Synchronize: each side has news for the other.
file "$org/shared/plan.txt" "$new" "plan, changed on this side"
file "$org/shared/ideas.txt" "$old" "ideas"
file "$org/shared/only-here.txt" "$mid" "written on this side"
file "$tgt/shared/plan.txt" "$old" "plan"
file "$tgt/shared/ideas.txt" "$new" "ideas, changed on the other side"
file "$tgt/shared/from-laptop/notes.txt" "$mid" "written on the other side"

"$cli" new "$demo/demo.TSP" \
    --pair "Documents" light "$org/documents" "$tgt/documents" \
    --pair "Photos" update "$org/photos" "$tgt/photos" \
    --pair "Music mirror" absolute "$org/music" "$tgt/music" --exclude-files "*.tmp" --no-recycle \
    --pair "Shared notes" sync "$org/shared" "$tgt/shared"

cat <<EOF
Made a sample job in $demo:
  original/      the ORG folders of the four pairs
  target/        the TGT folders (target/documents does not exist yet)
  demo.TSP       the project file

Pairs:
  Documents     Light Copy     creates target/documents with its files and subfolder
  Photos        Update Copy    overwrites the older holiday-01.jpg, keeps the newer holiday-02.jpg
  Music mirror  Absolute Copy  overwrites track-02.ogg, deletes track-03.ogg and old-playlists/
                               (outright, not to the trash), keeps the excluded download.tmp
  Shared notes  Synchronize    copies plan.txt and only-here.txt to the target, ideas.txt and
                               from-laptop/ back to the original

Open it in the window:  tavrel-sync  ->  File > Open...  ->  $demo/demo.TSP
                        then Operation > Execute, and View Report afterwards.
Or run it headless:     tavrel-sync-cli run $demo/demo.TSP
Run it a second time and nothing changes. Run this script again to start over.
EOF
