#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Takes docs/screenshot.png, docs/pair_dialog.png, docs/help_tip.png and docs/schedule_dialog.png:
# runs the built window program under a virtual display with a small sample job (sample folders
# in a temporary place), lets it run the job and grab itself, then its Schedule dialog, its pair
# options dialog, and that dialog with a help tip over it.
#   scripts/screenshot.sh [path/to/tavrel-sync]   (default: build/src/app/tavrel-sync)
# Builds nothing. The sample project is written with tavrel-make-project from the same build
# tree when it is there; without it the picture shows the empty window.
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
app="${1:-$here/build/src/app/tavrel-sync}"
out="$here/docs/screenshot.png"
if [ ! -x "$app" ]; then
    echo "screenshot.sh: no program at $app (build it first)" >&2
    exit 1
fi
app="$(cd "$(dirname "$app")" && pwd)/$(basename "$app")"
build=$(cd "$(dirname "$app")/../.." && pwd)
maker="$build/packaging/tavrel-make-project"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export XDG_RUNTIME_DIR="$work/runtime" HOME="$work/home" XDG_DATA_HOME="$work/home/.local/share"
mkdir -p -m 0700 "$XDG_RUNTIME_DIR"
mkdir -p "$XDG_DATA_HOME"

job=""
if [ -x "$maker" ]; then
    docs="$work/Documents" photos="$work/Photos" music="$work/Music"
    mkdir -p "$docs/Letters" "$docs/Invoices/2024" "$photos/Holiday" "$music/Jazz" "$work/Backup"
    for i in $(seq 1 12); do echo "letter $i" >"$docs/Letters/letter_$i.txt"; done
    for i in $(seq 1 8); do echo "invoice $i" >"$docs/Invoices/2024/invoice_$i.pdf"; done
    for i in $(seq 1 20); do head -c 2048 /dev/urandom >"$photos/Holiday/IMG_$((1000 + i)).jpg"; done
    for i in $(seq 1 6); do head -c 1024 /dev/urandom >"$music/Jazz/track_$i.ogg"; done
    echo "[.ShellClassInfo]" >"$docs/desktop.ini"
    job="$work/Sample.TSP"
    # Folders relative to the program's working folder, so the pictures show no path of the
    # machine they were taken on.
    "$maker" "$job" \
        --pair "Music" copy Music Backup/Music --exclude-folders "cache" \
        --pair "Photos" update Photos Backup/Photos --include-files "*.jpg;*.png" --hidden ignore \
        --pair "Documents" absolute Documents Backup/Documents \
        --exclude-files "desktop.ini;Thumbs.db" --check auto --read-only copyonly
fi

mkdir -p "$(dirname "$out")"
docs=$(dirname "$out")
cd "$work"
TAVREL_SCREENSHOT="$out" TAVREL_SCREENSHOT_JOB="$job" TAVREL_SCREENSHOT_RUN=$([ -n "$job" ] && echo 1 || echo 0) \
    TAVREL_SCREENSHOT_DIALOG="$docs/pair_dialog.png" TAVREL_SCREENSHOT_TIP="$docs/help_tip.png" \
    TAVREL_SCREENSHOT_SCHEDULE="$docs/schedule_dialog.png" \
    xvfb-run -a -s "-screen 0 1024x768x24" "$app"
echo "wrote $out, $docs/pair_dialog.png, $docs/help_tip.png and $docs/schedule_dialog.png"
