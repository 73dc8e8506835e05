#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Fails when a source under src/ includes a header of a folder it may not use. Every include
# path starts at src/, so the compiler alone would accept an include the wrong way; the folder
# graph below is the one the libraries in src/*/CMakeLists.txt link. Also fails on a system
# call header (<unistd.h>, <fcntl.h>, <dirent.h>, <sys/...>) outside src/platform/posix/: the
# rest of the program reaches the system through the platform's interfaces.
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)

core="text model platform project report state engine schedule"
declare -A allowed=(
    [text]=""
    [model]="text"
    [platform]="text"
    [platform/posix]="platform text"
    [project]="model text platform"
    [report]="model text platform"
    [state]="model text platform"
    [engine]="model text platform report state"
    [schedule]="text platform"
    [cli]="$core"
    [ui/common]="$core"
    [ui/pair_dialog]="$core ui/common"
    [ui/window]="$core ui/common ui/pair_dialog"
    [app]="$core ui/common ui/pair_dialog ui/window"
)

status=0
cd "$here"
while IFS= read -r file; do
    folder=${file#src/}
    folder=${folder%/*}
    if [ -z "${allowed[$folder]+set}" ]; then
        echo "$file: folder $folder has no entry in scripts/check_layers.sh" >&2
        status=1
        continue
    fi
    while IFS= read -r used; do
        [ "$used" = "$folder" ] && continue
        case " ${allowed[$folder]} " in
        *" $used "*) ;;
        *)
            echo "$file: includes from $used/, which $folder/ may not use" >&2
            status=1
            ;;
        esac
    done < <(sed -nE 's@^#include "((ui/)?[a-z_]+)/.*@\1@p' "$file" | sort -u)
    if [ "$folder" != platform/posix ]; then
        while IFS= read -r header; do
            echo "$file: includes $header, which only src/platform/posix/ may use" >&2
            status=1
        done < <(sed -nE 's@^[[:space:]]*#[[:space:]]*include[[:space:]]*(<(unistd|fcntl|dirent)\.h>|<sys/[^>]*>).*@\1@p' "$file")
    fi
done < <(git ls-files 'src/*.h' 'src/*.cpp')
exit $status
