#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Runs clang-tidy (the checks in .clang-tidy) over the project's own sources, with the compile
# commands of a configured build folder (default: build). Fails on any finding.
#   scripts/tidy.sh [BUILD_DIR] [FILE...]
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build="${1:-$here/build}"
shift || true
[ -f "$build/compile_commands.json" ] || {
    echo "tidy: no $build/compile_commands.json; configure the build first" >&2
    exit 1
}
if [ $# -eq 0 ]; then
    mapfile -t files < <(cd "$here" && git ls-files 'src/*.cpp' 'tests/*.cpp' 'bench/*.cpp' | sed "s|^|$here/|")
else
    files=("$@")
fi
run-clang-tidy -quiet -p "$build" -j "$(nproc)" "${files[@]}"
