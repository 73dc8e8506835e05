#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Hardening checks, each failing the script on any crash, leak or sanitizer report:
#   1. the libFuzzer targets in fuzz/, built with clang and run from their seed corpora;
#   2. the core tests (no window tests) under AddressSanitizer + UndefinedBehaviorSanitizer;
#   3. the engine and runner tests under ThreadSanitizer.
# Usage: scripts/hardening.sh [fuzz|asan|tsan]...   (no argument: all three)
# Environment: HARDENING_BUILD_ROOT (default build-hardening in the source tree),
#   FUZZ_SECONDS per target (default 60), JOBS (default: processor count).
# Needs clang and libclang-rt-14-dev (fuzzer and sanitizer runtimes) besides the usual set.
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
root="${HARDENING_BUILD_ROOT:-$here/build-hardening}"
fuzz_seconds="${FUZZ_SECONDS:-60}"
jobs="${JOBS:-$(nproc)}"
steps=("$@")
[ ${#steps[@]} -gt 0 ] || steps=(fuzz asan tsan)

fuzz_targets=(project_open pattern_list wildcard)
# Core test executables; missing ones (a module not built yet) are skipped with a note.
asan_tests=(model_tests platform_tests project_tests report_tests engine_tests cli_tests cli_run_tests
    hardening_tests)
tsan_tests=(engine_tests cli_run_tests hardening_tests)

# Any report is fatal; leaks count as failures.
export ASAN_OPTIONS="detect_leaks=1:abort_on_error=1:strict_string_checks=1:detect_stack_use_after_return=1"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
export TSAN_OPTIONS="halt_on_error=1:second_deadlock_stack=1"

timed() {
    local label=$1
    shift
    local start=$SECONDS
    "$@"
    echo "== $label: $((SECONDS - start)) s"
}

existing_targets() {
    local build=$1
    shift
    local have
    have=$(cmake --build "$build" --target help | sed -n 's/^\([A-Za-z0-9_.-]*\): .*/\1/p')
    for t in "$@"; do
        if grep -qx "$t" <<<"$have"; then echo "$t"; else echo "note: no target $t" >&2; fi
    done
}

run_fuzz() {
    local build="$root/fuzz"
    CC=clang CXX=clang++ cmake -S "$here/fuzz" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
    cmake --build "$build" -j "$jobs"
    for t in "${fuzz_targets[@]}"; do
        # New inputs go to a scratch corpus; the seeds in the repository stay as they are.
        local work="$build/work/$t"
        rm -rf "$work" && mkdir -p "$work/corpus"
        echo "-- fuzz_$t for ${fuzz_seconds} s"
        if ! "$build/fuzz_$t" -max_total_time="$fuzz_seconds" -timeout=10 -rss_limit_mb=2048 \
            -print_final_stats=1 -artifact_prefix="$work/" "$work/corpus" "$here/fuzz/corpus/$t" \
            >"$work/log" 2>&1; then
            tail -n 60 "$work/log"
            echo "FAILED: fuzz_$t (input kept in $work)" >&2
            return 1
        fi
        grep -E '^stat::number_of_executed_units|^Done' "$work/log" || true
    done
}

# Builds the given tests with `flags` in `build` and runs them through ctest.
run_sanitized() {
    local build=$1 flags=$2
    shift 2
    # Warnings are the main build's gate; instrumented code draws false ones from the
    # optimizer (-Wmaybe-uninitialized and the like), so they do not fail these builds.
    cmake -S "$here" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTAVREL_BUILD_GUI=OFF \
        -DTAVREL_WERROR=OFF -DCMAKE_CXX_FLAGS="$flags -fno-omit-frame-pointer" \
        -DCMAKE_EXE_LINKER_FLAGS="$flags" >/dev/null
    local targets
    mapfile -t targets < <(existing_targets "$build" "$@")
    [ ${#targets[@]} -gt 0 ] || { echo "no test targets to build" >&2; return 1; }
    cmake --build "$build" -j "$jobs" --target "${targets[@]}"
    # Tests of executables that were not built show up as *_NOT_BUILT; the install checks
    # package the build tree, the file-system matrix mounts volumes and the large-folder test
    # times the engine: none is a sanitizer matter.
    (cd "$build" && ctest -j "$jobs" --output-on-failure --timeout 300 \
        -E 'NOT_BUILT|^install\.|^filesystems\.|^LargeFolder\.')
}

for step in "${steps[@]}"; do
    case "$step" in
    fuzz) timed "fuzzing" run_fuzz ;;
    asan) timed "address and undefined-behaviour sanitizers" run_sanitized "$root/asan" \
        "-fsanitize=address,undefined -fno-sanitize-recover=all" "${asan_tests[@]}" ;;
    tsan) timed "thread sanitizer" run_sanitized "$root/tsan" "-fsanitize=thread" "${tsan_tests[@]}" ;;
    *)
        echo "usage: $0 [fuzz|asan|tsan]..." >&2
        exit 64
        ;;
    esac
done
echo "hardening: all checks passed"
