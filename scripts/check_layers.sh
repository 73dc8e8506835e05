#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Fails when a source under src/ includes a header of a folder it may not use. Every include
# path starts at src/, so the compiler alone would accept an include the wrong way; the folder
# graph below is the one the libraries in src/*/CMakeLists.txt link.
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)

core="model platform project report state engine schedule"
declare -A allowed=(
    [model]=""
    [platform]=""
    [project]="model platform"
    [report]="model platform"
    [state]="model platform"
    [engine]="model platform report state"
    [schedule]="platform"
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
done < <(git ls-files 'src/*.h' 'src/*.cpp')
exit $status
