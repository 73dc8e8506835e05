#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Fails when a C++ file of the repository differs from what clang-format makes of it, and
# shows the difference. `scripts/check_format.sh --fix` formats them in place instead.
set -euo pipefail
cd "$(dirname "$0")/.."

mapfile -t files < <(git ls-files '*.cpp' '*.h')
if [ "${1:-}" = "--fix" ]; then
    clang-format -i "${files[@]}"
    exit 0
fi
status=0
for f in "${files[@]}"; do
    if ! clang-format "$f" | diff -u --label "$f" --label "$f (formatted)" "$f" -; then
        status=1
    fi
done
if [ "$status" -ne 0 ]; then
    echo "clang-format: the files above differ; scripts/check_format.sh --fix formats them." >&2
fi
exit "$status"
