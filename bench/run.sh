#!/usr/bin/env bash
# Times tavrel-sync-cli against rsync, cp, unison and the file-system floors on the same trees, in
# one run, and prints medians, our/peer ratios and our peak RSS. Not a test: it never fails a build.
#   bench/run.sh [BUILD_DIR] [DATA_DIR]
# BUILD_DIR (default build/) may be fresh: it is configured as Release and the runner, the job
# writer and the floor walker are built when missing. DATA_DIR (default BUILD_DIR/bench-data) must be
# on the disk you care about (not a tmpfs); it needs about 12 GB. Generated trees are kept there
# and made again only when missing. The /usr/share and million-file sets go to a tmpfs (mounted at
# DATA_DIR/tmpfs when root, else a folder in /dev/shm); it is left mounted with the million-file
# trees for the next run (umount it to free the memory).
# Environment:
#   BENCH_RUNS=3            runs per command (the medians quoted in notes use 5)
#   BENCH_MILLION=1         also the 1,000,000 files in 1,000 folders set (minutes to build)
#   BENCH_ONLY="..."        only these sections: legacy small large sync fixed onefolder usrshare million watch
#   BENCH_IDLE=60           seconds the idle watch's CPU time is measured over
#   BENCH_FOLDER_SIZES="25000 50000 100000 200000"   sizes of the one-folder rows
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build_arg="${1:-$here/build}"
mkdir -p "$build_arg"
build=$(cd "$build_arg" && pwd)
data="${2:-$build/bench-data}"
runs="${BENCH_RUNS:-3}"
sizes="${BENCH_FOLDER_SIZES:-25000 50000 100000 200000}"
cli="$build/src/cli/tavrel-sync-cli"
mkjob="$build/bench/tavrel-bench-job"
floor="$build/bench/tavrel-bench-floor"
started=$SECONDS

missing=()
tools="rsync python3 cmake /usr/bin/time"
# The watch rows time themselves; every other section needs hyperfine.
[ "${BENCH_ONLY:-}" = watch ] || tools="hyperfine $tools"
for tool in $tools; do
    command -v "$tool" >/dev/null || missing+=("$tool")
done
if [ ${#missing[@]} -gt 0 ]; then
    echo "missing: ${missing[*]} (Debian: apt-get install hyperfine rsync python3 cmake time unison)" >&2
    exit 1
fi
unison_why=""
if ! command -v unison >/dev/null; then
    unison_why="missing: unison (Debian: apt-get install unison)"
elif ! unison -version >/dev/null 2>&1; then
    unison_why="unison is installed but 'unison -version' fails"
fi
[ -z "$unison_why" ] || echo "$unison_why; the two-way row runs against rsync -au both ways only" >&2

if [ ! -f "$build/CMakeCache.txt" ]; then
    echo "Configuring a Release build in $build ..."
    generator=()
    command -v ninja >/dev/null && generator=(-G Ninja)
    cmake -S "$here" -B "$build" "${generator[@]}" -DCMAKE_BUILD_TYPE=Release >/dev/null
fi
build_type=$(sed -n 's/^CMAKE_BUILD_TYPE:[A-Z]*=//p' "$build/CMakeCache.txt")
[ "$build_type" = Release ] || [ "$build_type" = RelWithDebInfo ] ||
    echo "note: $build is a '${build_type:-no type}' build; times mean little outside Release" >&2
targets=()
[ -x "$cli" ] || targets+=(tavrel-sync-cli)
[ -x "$mkjob" ] || targets+=(tavrel-bench-job)
[ -x "$floor" ] || targets+=(tavrel-bench-floor)
if [ ${#targets[@]} -gt 0 ]; then
    echo "Building ${targets[*]} in $build ..."
    cmake --build "$build" --target "${targets[@]}" >/dev/null
fi

want() { # want SECTION: BENCH_ONLY unset, or naming it
    [ -z "${BENCH_ONLY:-}" ] || [[ " ${BENCH_ONLY//,/ } " == *" $1 "* ]]
}
section() { echo "$1 ... ($((SECONDS - started)) s in)"; }

mkdir -p "$data"
src="$data/src"
small="$data/small"
# A run stopped during a mirror row leaves the full tree beside the thinned one.
for tree in "$src" "$small"; do
    if [ -d "${tree}_full" ]; then rm -rf "$tree" && mv "${tree}_full" "$tree"; fi
done

cat > "$data/generate.py" <<'PY'
import os, random, sys
kind, root = sys.argv[1], sys.argv[2]

def small_files(rng, root):
    for d in range(400):
        folder = os.path.join(root, f"dir{d // 20:02d}", f"sub{d:03d}")
        os.makedirs(folder, exist_ok=True)
        for f in range(50):
            with open(os.path.join(folder, f"file{f:02d}.dat"), "wb") as out:
                out.write(rng.randbytes(rng.randint(1024, 16 * 1024)))

if kind == "mixed":    # 20,000 files of 1-16 KiB in 400 folders and 6 files of 160 MiB
    rng = random.Random(42)
    small_files(rng, root)
    big = os.path.join(root, "big")
    os.makedirs(big, exist_ok=True)
    chunk = rng.randbytes(1 << 20)
    for i in range(6):
        with open(os.path.join(big, f"big{i}.bin"), "wb") as out:
            for _ in range(160):
                out.write(chunk)
elif kind == "small":  # the same 20,000 small files alone
    small_files(random.Random(42), root)
elif kind == "onefolder":  # N files of 64-1024 bytes in one folder
    rng = random.Random(int(sys.argv[3]))
    os.makedirs(root, exist_ok=True)
    for i in range(int(sys.argv[3])):
        with open(os.path.join(root, f"entry{i:07d}.txt"), "wb") as out:
            out.write(rng.randbytes(rng.randint(64, 1024)))
elif kind == "tree":  # N files of a few bytes in folders of 1,000
    n = int(sys.argv[3])
    for d in range((n + 999) // 1000):
        folder = os.path.join(root, f"d{d:04d}")
        os.makedirs(folder, exist_ok=True)
        for f in range(min(1000, n - d * 1000)):
            with open(os.path.join(folder, f"f{f:03d}"), "wb") as out:
                out.write(b"x" * (f % 64))
elif kind == "million":  # 1,000 folders of 1,000 empty files (a tmpfs page per byte-full file)
    for d in range(1000):
        folder = os.path.join(root, f"d{d:03d}")
        os.makedirs(folder, exist_ok=True)
        for f in range(1000):
            os.close(os.open(os.path.join(folder, f"f{f:03d}"), os.O_WRONLY | os.O_CREAT, 0o644))
PY
generate() { # generate KIND ROOT [N]: once, kept under a marker
    local marker="$(dirname "$2")/.generated-$(basename "$2")"
    [ "$1/$2" = "mixed/$src" ] && marker="$data/.generated"
    [ -f "$marker" ] && return 0
    echo "Generating $1${3:+ $3} in $2 ..."
    rm -rf "$2"
    python3 "$data/generate.py" "$1" "$2" "${3:-}"
    touch "$marker"
}

job() { # job NAME METHOD CONTENT_CHECK TARGET [ORG]
    "$mkjob" "$data/$1.TSP" "$2" "$3" "${5:-$src}" "$4"
    echo "$data/$1.TSP"
}
# A runner that keeps each report in the user's run history is told not to: that copy is no part
# of the rows, and a million-line report a run would fill the history.
keep=""
"$cli" run --help 2>&1 | grep -q -- --no-history && keep=" --no-history"
# The first-copy rows remove the target before each timed run; a runner that would refuse to
# make again a target its last run left (a drive that is away looks like that) is told to.
"$cli" run --help 2>&1 | grep -q -- --create-missing && keep="$keep --create-missing"
tav() { echo "$cli run $1 --no-progress$keep --report $data/report.htm >/dev/null 2>$data/run.err"; }
tav_once() { # tav_once JOB: an untimed run that brings the target in step
    eval "$(tav "$1")" || echo "  (set-up run of $(basename "$1") ended with status $?: $(tail -1 "$data/run.err"))" >&2
}

results="$data/results"
rm -rf "$results" && mkdir -p "$results"
measure() { # measure LABEL CMD [PREPARE]: hyperfine medians; peak RSS of every run into LABEL.rss
    local label=$1 cmd=$2 prepare=${3:-true}
    # sync: the previous command's dirty pages are written before the clock starts, not during it.
    if ! hyperfine --runs "$runs" --warmup 0 --prepare "$prepare; sync" --export-json "$results/$label.json" \
        --style none "/usr/bin/time -f %M -a -o $results/$label.rss $cmd" >/dev/null 2>"$results/$label.err"; then
        rm -f "$results/$label.json"
        echo "  $label failed: $(grep -v '^ *$' "$results/$label.err" | tail -1)" >&2
        [[ "$cmd" != "$cli"* ]] || echo "  its stderr ends: $(tail -3 "$data/run.err")" >&2
    fi
}
table() { # table FILE TITLE: rows of LABEL<tab>OURS<tab>PEER<tab>TARGET, times from results/*.json
    python3 - "$results" "$runs" "$@" <<'PY'
import json, os, sys
results, runs, path, title = sys.argv[1:5]
def median(key):
    try:
        return json.load(open(os.path.join(results, key + ".json")))["results"][0]["median"]
    except (OSError, ValueError, KeyError, IndexError):
        return None
def peak(key):  # MiB, the largest of the runs; /usr/bin/time writes KiB
    try:
        lines = open(os.path.join(results, key + ".rss")).read().split()
    except OSError:
        return None
    kib = [int(x) for x in lines if x.isdigit()]
    return max(kib) / 1024 if kib else None
rows = [line.rstrip("\n").split("\t") for line in open(path) if line.strip()]
cells = [(f"{title} (median of {runs})", "ours", "peer/floor", "ratio", "our RSS", "target")]
notes = []
for row in rows:
    label, ours, peer, target = (row + ["", "", "", ""])[:4]
    if ours == "-":
        notes.append(f"{label}: {peer}")
        continue
    o, p, rss = median(ours), median(peer), peak(ours)
    cells.append((label,
                  f"{o:.3f} s" if o is not None else "failed",
                  f"{p:.3f} s" if p is not None else "failed",
                  f"{o / p:.2f}" if o is not None and p else "",
                  f"{rss:.1f} MiB" if rss is not None else "",
                  target))
widths = [max(len(c[i]) for c in cells) for i in range(6)]
for c in cells:
    print(f"{c[0]:<{widths[0]}}  {c[1]:>{widths[1]}}  {c[2]:>{widths[2]}}  {c[3]:>{widths[3]}}"
          f"  {c[4]:>{widths[4]}}  {c[5]}".rstrip())
for note in notes:
    print(note)
PY
}
summary="$results/summary.tsv"
: > "$summary"
sumrow() { printf '%s\t%s\t%s\t%s\n' "$@" >> "$summary"; }  # sumrow LABEL OURS PEER [TARGET]
skipped() { sumrow "$1" - "$2" ""; }                          # skipped LABEL WHY

cat > "$data/change.py" <<'PY'
import os, random, sys
root = sys.argv[1]
files = sorted(os.path.join(d, f) for d, _, fs in os.walk(root) for f in fs if f.endswith(".dat"))
for p in random.sample(files, len(files) // 100):
    with open(p, "ab") as out:
        out.write(b"x")
PY
cat > "$data/change_both.py" <<'PY'
# change_both.py ORG TGT: appends to 1% of the files in ORG and to another 1% in TGT
import os, random, sys
org, tgt = sys.argv[1], sys.argv[2]
names = sorted(os.path.relpath(os.path.join(d, f), org)
               for d, _, fs in os.walk(org) for f in fs if f.endswith(".dat"))
picked = random.sample(names, 2 * (len(names) // 100))
for i, name in enumerate(picked):
    with open(os.path.join(org if i % 2 == 0 else tgt, name), "ab") as out:
        out.write(b"x")
PY
cat > "$data/thin.py" <<'PY'
import os, sys, random
root = sys.argv[1]
files = sorted(os.path.join(d, f) for d, _, fs in os.walk(root) for f in fs if f.endswith('.dat'))
for p in random.Random(7).sample(files, len(files) // 10):
    os.remove(p)
PY

# ---------------------------------------------------------------------------------------------
# The first rows: 20,000 small files and 6 of 160 MiB in one tree, against rsync and cp.
if want legacy; then
generate mixed "$src"
light=$(job light 0 0 "$data/t_tav")
update=$(job update 1 0 "$data/t_tav")
copyauto=$(job copyauto 2 0 "$data/t_tav")
absolute=$(job absolute 3 0 "$data/t_tav")
copycheck=$(job copycheck 2 1 "$data/t_tav")

section "Initial copy"
measure init_tav "$(tav "$light")" "rm -rf $data/t_tav"
measure init_rsync "rsync -a $src/ $data/t_rsync/" "rm -rf $data/t_rsync"
measure init_cp "cp -a $src $data/t_cp" "rm -rf $data/t_cp"
rm -rf "$data/t_cp"

section "No-change re-run"
measure same_update "$(tav "$update")"
measure same_copyauto "$(tav "$copyauto")"
measure same_rsync "rsync -a $src/ $data/t_rsync/"

section "Re-run after 1% changed"
measure changed_update "$(tav "$update")" "python3 $data/change.py $src"
measure changed_rsync "rsync -a $src/ $data/t_rsync/" "python3 $data/change.py $src"

section "Mirror after deleting 10% of the source"
cp -al "$src" "${src}_full"  # links: the thinning below unlinks names only
python3 "$data/thin.py" "$src"
restore_tav="rsync -a ${src}_full/ $data/t_tav/"
restore_rsync="rsync -a ${src}_full/ $data/t_rsync/"
measure mirror_tav "$(tav "$absolute")" "$restore_tav"
measure mirror_rsync "rsync -a --delete $src/ $data/t_rsync/" "$restore_rsync"

section "Full content verification"
measure verify_tav "$(tav "$copycheck")"
measure verify_rsync "rsync -a --checksum $src/ $data/t_rsync/"
rm -rf "$src" && mv "${src}_full" "$src"

legacy="$results/legacy.tsv"
{
    printf '%s\t%s\t%s\n' "initial copy, Light Copy vs rsync -a" init_tav init_rsync
    printf '%s\t%s\t%s\n' "initial copy, Light Copy vs cp -a" init_tav init_cp
    printf '%s\t%s\t%s\n' "no change, Update Copy vs rsync -a" same_update same_rsync
    printf '%s\t%s\t%s\n' "no change, Copy/Auto vs rsync -a" same_copyauto same_rsync
    printf '%s\t%s\t%s\n' "1% changed, Update Copy vs rsync -a" changed_update changed_rsync
    printf '%s\t%s\t%s\n' "mirror, Absolute Copy vs rsync -a --delete" mirror_tav mirror_rsync
    printf '%s\t%s\t%s\n' "verify, Copy/Check vs rsync -a --checksum" verify_tav verify_rsync
} > "$legacy"
fi

# ---------------------------------------------------------------------------------------------
# The issue's rows. "small": the 20,000 files of 1-16 KiB alone; "large": the 6 files of 160 MiB.
# Floors: bench/floor.cpp, one thread; "walk+lstat" lists every folder and lstats every entry of
# both trees, "read both trees" does that and reads every file of both with 1 MiB reads.
if want small; then
generate small "$small"
s_light=$(job s_light 0 0 "$data/t_s_tav" "$small")
s_update=$(job s_update 1 0 "$data/t_s_tav" "$small")
s_copyauto=$(job s_copyauto 2 0 "$data/t_s_tav" "$small")
s_absolute=$(job s_absolute 3 0 "$data/t_s_tav" "$small")
s_copycheck=$(job s_copycheck 2 1 "$data/t_s_tav" "$small")

section "S1 small: initial copy"
measure s1_tav "$(tav "$s_light")" "rm -rf $data/t_s_tav"
measure s1_rsync "rsync -a $small/ $data/t_s_rsync/" "rm -rf $data/t_s_rsync"
measure s1_cp "cp -a $small $data/t_s_cp" "rm -rf $data/t_s_cp"
rm -rf "$data/t_s_cp"
sumrow "S1 small: initial copy, Light Copy vs cp -a" s1_tav s1_cp "<= 1.0"
sumrow "S1 small: initial copy, Light Copy vs rsync -a" s1_tav s1_rsync

section "S2 small: no-change re-run"
measure s2_copyauto "$(tav "$s_copyauto")"
measure s2_update "$(tav "$s_update")"
measure s2_floor "$floor walk $small $data/t_s_tav >/dev/null"
measure s2_rsync "rsync -a $small/ $data/t_s_rsync/"
sumrow "S2 small: no change, Copy/Auto vs walk+lstat floor" s2_copyauto s2_floor "<= 1.5"
sumrow "S2 small: no change, Update Copy vs walk+lstat floor" s2_update s2_floor "<= 1.5"
sumrow "S2 small: no change, Copy/Auto vs rsync -a" s2_copyauto s2_rsync
sumrow "S2 small: no change, Update Copy vs rsync -a" s2_update s2_rsync

section "S3 small: re-run after 1% changed"
measure s3_tav "$(tav "$s_update")" "python3 $data/change.py $small"
measure s3_rsync "rsync -a $small/ $data/t_s_rsync/" "python3 $data/change.py $small"
sumrow "S3 small: 1% changed, Update Copy vs rsync -a" s3_tav s3_rsync

section "S4 small: mirror after deleting 10% of ORG"
cp -al "$small" "${small}_full"
python3 "$data/thin.py" "$small"
measure s4_tav "$(tav "$s_absolute")" "rsync -a ${small}_full/ $data/t_s_tav/"
measure s4_rsync "rsync -a --delete $small/ $data/t_s_rsync/" "rsync -a ${small}_full/ $data/t_s_rsync/"
rm -rf "$small" && mv "${small}_full" "$small"
sumrow "S4 small: mirror after 10% deleted, Absolute Copy vs rsync -a --delete" s4_tav s4_rsync

section "S5 small: content check"
tav_once "$s_copycheck"
rsync -a "$small/" "$data/t_s_rsync/"
measure s5_tav "$(tav "$s_copycheck")"
measure s5_floor "$floor read $small $data/t_s_tav >/dev/null"
measure s5_rsync "rsync -a --checksum $small/ $data/t_s_rsync/"
sumrow "S5 small: content check, Copy/Check vs read-both-trees floor" s5_tav s5_floor "<= 1.2"
sumrow "S5 small: content check, Copy/Check vs rsync -a --checksum" s5_tav s5_rsync
fi

if want large; then
generate mixed "$src"
section "S5 large: content check"
l_copycheck=$(job l_copycheck 2 1 "$data/t_l_tav" "$src/big")
tav_once "$l_copycheck"
rsync -a "$src/big/" "$data/t_l_rsync/"
measure s5l_tav "$(tav "$l_copycheck")"
measure s5l_floor "$floor read $src/big $data/t_l_tav >/dev/null"
measure s5l_rsync "rsync -a --checksum $src/big/ $data/t_l_rsync/"
sumrow "S5 large: content check, Copy/Check vs read-both-trees floor" s5l_tav s5l_floor "<= 1.5"
sumrow "S5 large: content check, Copy/Check vs rsync -a --checksum" s5l_tav s5l_rsync
fi

if want sync; then
generate small "$small"
section "S6 small: Synchronize after 1% + 1% changed"
for pair in s6_tav s6_unison s6_rsync; do
    if [ ! -d "$data/$pair/tgt" ]; then
        rm -rf "$data/$pair" && mkdir -p "$data/$pair"
        cp -a "$small" "$data/$pair/org" && cp -a "$small" "$data/$pair/tgt"
    fi
done
s6=$(job s6 4 0 "$data/s6_tav/tgt" "$data/s6_tav/org")
tav_once "$s6"
measure s6_tav "$(tav "$s6")" "python3 $data/change_both.py $data/s6_tav/org $data/s6_tav/tgt"
both_ways="sh -c 'rsync -au $data/s6_rsync/org/ $data/s6_rsync/tgt/ && rsync -au $data/s6_rsync/tgt/ $data/s6_rsync/org/'"
rsync -au "$data/s6_rsync/org/" "$data/s6_rsync/tgt/" && rsync -au "$data/s6_rsync/tgt/" "$data/s6_rsync/org/"
measure s6_rsync "$both_ways" "python3 $data/change_both.py $data/s6_rsync/org $data/s6_rsync/tgt"
if [ -z "$unison_why" ]; then
    # Its archives live in the data folder; the first run (untimed) makes them.
    unison_run="env UNISON=$data/unison-archives unison -batch -times -ui text -silent $data/s6_unison/org $data/s6_unison/tgt >/dev/null"
    if ! eval "$unison_run" 2>"$data/unison.err"; then
        unison_why="unison's set-up run failed: $(tail -1 "$data/unison.err")"
    else
        measure s6_unison "$unison_run" "python3 $data/change_both.py $data/s6_unison/org $data/s6_unison/tgt"
        [ -f "$results/s6_unison.json" ] || unison_why="unison -batch failed: $(grep -v '^ *$' "$results/s6_unison.err" | tail -1)"
    fi
fi
if [ -z "$unison_why" ]; then
    sumrow "S6 small: 1% + 1% changed, Synchronize vs unison -batch" s6_tav s6_unison "<= 0.5"
else
    skipped "S6 small: 1% + 1% changed, Synchronize vs unison -batch" "not run: $unison_why"
fi
sumrow "S6 small: 1% + 1% changed, Synchronize vs rsync -au both ways" s6_tav s6_rsync
fi

# ---------------------------------------------------------------------------------------------
# What a run costs beyond its files: a job of one file that is already in step, against cp -au
# of the same folder. Milliseconds each, so it is timed 20 times as often as the other rows.
if want fixed; then
section "Fixed cost: a one-file job that changes nothing"
mkdir -p "$data/one/org"
[ -f "$data/one/org/file.txt" ] || echo "one file" > "$data/one/org/file.txt"
rsync -a "$data/one/org/" "$data/one/tgt/"
rsync -a "$data/one/org/" "$data/one/tgt_cp/"
one=$(job one 1 0 "$data/one/tgt" "$data/one/org")
tav_once "$one"
saved_runs=$runs
runs=$((runs * 20))
measure one_tav "$(tav "$one")"
measure one_cp "cp -au $data/one/org/. $data/one/tgt_cp/"
runs=$saved_runs
sumrow "fixed cost: a 1-file job that changes nothing, Update Copy vs cp -au (median of $((runs * 20)))" \
    one_tav one_cp "<= 1.5"
fi

# ---------------------------------------------------------------------------------------------
if want onefolder; then
section "Files in one folder: no-change re-runs"
for n in $sizes; do
    generate onefolder "$data/onefolder/$n" "$n"
    one_abs=$(job "one_abs_$n" 3 0 "$data/onefolder_tav/$n" "$data/onefolder/$n")
    mkdir -p "$data/onefolder_tav" "$data/onefolder_rsync"
    tav_once "$one_abs"
    rsync -a --delete "$data/onefolder/$n/" "$data/onefolder_rsync/$n/"
    echo "  $n files ($((SECONDS - started)) s in)"
    measure "one_abs_$n" "$(tav "$one_abs")"
    measure "one_rsync_$n" "rsync -a --delete $data/onefolder/$n/ $data/onefolder_rsync/$n/"
    if [ "$n" = 100000 ]; then
        one_copy=$(job "one_copy_$n" 2 0 "$data/onefolder_tav/$n" "$data/onefolder/$n")
        measure "one_copy_$n" "$(tav "$one_copy")"
    fi
done
for n in $sizes; do
    label="$(echo "$n" | sed ':a;s/\B[0-9]\{3\}\>/,&/;ta') files in one folder: no change"
    if [ "$n" = 100000 ]; then
        sumrow "$label, Absolute Copy vs rsync -a --delete" one_abs_100000 one_rsync_100000 \
            "<= 1.0; RSS <= 25.5 MiB (16 MiB + 100 B a file)"
        sumrow "$label, Copy/Auto vs rsync -a --delete" one_copy_100000 one_rsync_100000 "<= 1.0"
    else
        sumrow "$label, Absolute Copy vs rsync -a --delete" "one_abs_$n" "one_rsync_$n"
    fi
done
if [[ " $sizes " == *" 100000 "* && -s "$results/one_abs_100000.rss" ]]; then
    kib=$(grep -Eo '^[0-9]+$' "$results/one_abs_100000.rss" | sort -n | tail -1)
    skipped "peak memory, 100,000 files in one folder (Absolute Copy, no change)" \
        "$(python3 -c "k = $kib; print(f'{k / 1024:.1f} MiB = 16 MiB + {(k - 16384) * 1024 / 100000:.0f} bytes per entry (goal: 16 MiB + 100 bytes per entry, 25.5 MiB)')")"
fi
if [[ " $sizes " == *" 100000 "* && " $sizes " == *" 200000 "* ]]; then
    sumrow "growth, Absolute Copy no change: 200,000 vs 100,000 in one folder" \
        one_abs_200000 one_abs_100000 "<= 2.2"
fi
fi

# ---------------------------------------------------------------------------------------------
fast=""
if want usrshare || { want million && [ "${BENCH_MILLION:-0}" = 1 ]; }; then
    if [ "$(id -u)" = 0 ]; then
        fast="$data/tmpfs"
        mkdir -p "$fast"
        if ! mountpoint -q "$fast"; then
            mount -t tmpfs -o size=12g,nr_inodes=4m,mode=0755 tavrel-bench "$fast" ||
                { echo "mounting a tmpfs failed; using /dev/shm" >&2; fast=""; }
        fi
    fi
    if [ -z "$fast" ]; then
        fast="/dev/shm/tavrel-bench-$(id -u)"
        mkdir -p "$fast"
    fi
fi

if want usrshare; then
share_entries=$("$floor" walk /usr/share 2>/dev/null | sed -n 's/.*folders, \([0-9]*\) entries.*/\1/p' || true)
share_entries=${share_entries:-0}
if [ "$share_entries" -lt 20000 ]; then
    skipped "/usr/share to an empty tmpfs" "not run: /usr/share has $share_entries entries (under 20,000)"
else
    section "/usr/share ($share_entries entries) to an empty tmpfs"
    rm -rf "$fast/usr_tav" "$fast/usr_rsync" "$fast/usr_cp"
    us_abs=$(job us_abs 3 0 "$fast/usr_tav" /usr/share)
    "$floor" read /usr/share >/dev/null 2>&1 || true  # warm the cache like the other trees
    measure us_init_tav "$(tav "$us_abs")" "rm -rf $fast/usr_tav"
    measure us_init_rsync "rsync -a /usr/share/ $fast/usr_rsync/" "rm -rf $fast/usr_rsync"
    measure us_init_cp "cp -a /usr/share $fast/usr_cp" "rm -rf $fast/usr_cp"
    rm -rf "$fast/usr_cp"
    measure us_same_tav "$(tav "$us_abs")"
    measure us_same_rsync "rsync -a --delete /usr/share/ $fast/usr_rsync/"
    rm -rf "$fast/usr_tav" "$fast/usr_rsync"
    sumrow "/usr/share to an empty tmpfs: initial copy, Absolute Copy vs cp -a" us_init_tav us_init_cp "<= 1.0"
    sumrow "/usr/share to an empty tmpfs: initial copy, Absolute Copy vs rsync -a" us_init_tav us_init_rsync
    sumrow "/usr/share on tmpfs: no change, Absolute Copy vs rsync -a --delete" us_same_tav us_same_rsync "<= 1.0"
fi
fi

if want million; then
if [ "${BENCH_MILLION:-0}" != 1 ]; then
    skipped "1,000,000 files in 1,000 folders (tmpfs)" "not run: BENCH_MILLION=1 runs it (minutes to build)"
else
    m="$fast/million"
    mkdir -p "$m"
    generate million "$m/org"
    m_copy=$(job m_copy 2 0 "$m/tav" "$m/org")
    m_abs=$(job m_abs 3 0 "$m/tav" "$m/org")
    section "1,000,000 files: set-up copies"
    tav_once "$m_copy"
    rsync -a --delete "$m/org/" "$m/rsync/"
    section "1,000,000 files in 1,000 folders (tmpfs): no-change re-runs"
    measure m_copy "$(tav "$m_copy")"
    measure m_abs "$(tav "$m_abs")"
    measure m_floor "$floor walk $m/org $m/tav >/dev/null"
    measure m_rsync "rsync -a $m/org/ $m/rsync/"
    measure m_rsync_del "rsync -a --delete $m/org/ $m/rsync/"
    sumrow "1,000,000 files (tmpfs): no change, Copy/Auto vs walk+lstat floor" m_copy m_floor "<= 1.5; RSS < 64 MiB"
    sumrow "1,000,000 files (tmpfs): no change, Copy/Auto vs rsync -a" m_copy m_rsync "<= 1.0"
    sumrow "1,000,000 files (tmpfs): no change, Absolute Copy vs walk+lstat floor" m_abs m_floor "<= 1.5"
    sumrow "1,000,000 files (tmpfs): no change, Absolute Copy vs rsync -a --delete" m_abs m_rsync_del "<= 1.0"
fi
fi

if want watch; then
# `watch` against lsyncd (rsync mode, the same delay) on the same tree: the latency of one
# changed file, the idle watch's CPU time and memory, and the system calls of the run one
# change starts against those of a whole run.
watch_sizes="100000"
[ "${BENCH_MILLION:-0}" = 1 ] && watch_sizes="100000 1000000"
idle="${BENCH_IDLE:-60}"
wait_lines() { # wait_lines FILE COUNT: until FILE has COUNT lines, at most 10 minutes
    local limit=$((SECONDS + 600))
    while [ "$(wc -l < "$1" 2>/dev/null || echo 0)" -lt "$2" ] && [ $SECONDS -lt $limit ]; do sleep 0.05; done
}
for n in $watch_sizes; do
    w="$data/watch$n"
    generate tree "$w/org" "$n"
    section "watch: $n files, set-up"
    # Both watchers start on targets already in step, so their first runs copy nothing.
    for copy in tav lsyncd; do
        [ -d "$w/$copy" ] || cp -a "$w/org" "$w/$copy"
        rsync -a --delete "$w/org/" "$w/$copy/"
    done
    w_job=$(job "w_abs$n" 3 0 "$w/tav" "$w/org")
    section "watch: $n files, ours"
    out="$results/w_tav$n.out"
    "$cli" watch "$w_job" --delay 1 --json >"$out" 2>"$data/run.err" &
    pid=$!
    wait_lines "$out" 1
    python3 "$here/bench/watch_latency.py" "$w/org" "$w/tav" 5 "$results/w_lat_tav$n.json" || true
    # Idle: CPU ticks of the process over the window, and its memory.
    ticks() { awk '{print $14 + $15}' "/proc/$pid/stat"; }
    before=$(ticks)
    sleep "$idle"
    after=$(ticks)
    hz=$(getconf CLK_TCK)
    rss=$(awk '/VmRSS/{print $2}' "/proc/$pid/status")
    hwm=$(awk '/VmHWM/{print $2}' "/proc/$pid/status")
    watches=$(awk '/^inotify/{n++} END{print n + 0}' /proc/$pid/fdinfo/* 2>/dev/null)
    skipped "watch: idle $idle s on $n files" "$(python3 -c "print(f'CPU {($after - $before) / $hz / $idle * 100:.3f}% of a core; RSS $((rss / 1024)) MiB now, peak $((hwm / 1024)) MiB; $watches watches')")"
    # The system calls of the run one changed file starts, against a whole run of the same job.
    if command -v strace >/dev/null; then
        lines=$(wc -l < "$out")
        strace -f -c -o "$results/w_strace_change$n.txt" -p "$pid" &
        tracer=$!
        sleep 1
        echo "traced change" > "$w/org/d0001/f000"
        wait_lines "$out" $((lines + 1))
        kill -INT "$tracer"; wait "$tracer" || true
        strace -f -c -o "$results/w_strace_full$n.txt" "$cli" run "$w_job" --no-progress --no-history \
            --report "$data/report.htm" >/dev/null 2>&1 || true
        calls() { awk '/^[0-9. ]+ +total$/{print $4}' "$1"; }
        skipped "watch: system calls, one file changed in $n" \
            "$(calls "$results/w_strace_change$n.txt") for the triggered run (its folder of 1,000 files, and the watch's own waits), $(calls "$results/w_strace_full$n.txt") for a whole run"
    fi
    kill -TERM "$pid"; wait "$pid" || true
    if command -v lsyncd >/dev/null; then
        section "watch: $n files, lsyncd"
        cat > "$data/lsyncd.conf" <<LUA
settings { nodaemon = true, logfile = "$data/lsyncd.log", statusFile = "$data/lsyncd.status",
           maxUserWatches = nil }
sync { default.rsync, source = "$w/org/", target = "$w/lsyncd/", delay = 1 }
LUA
        rm -f "$data/lsyncd.log"
        lsyncd "$data/lsyncd.conf" >/dev/null 2>&1 &
        peer=$!
        # In step once its start-up rsync is done: the log says so.
        limit=$((SECONDS + 600))
        until grep -q "Startup of .* finished" "$data/lsyncd.log" 2>/dev/null || [ $SECONDS -gt $limit ]; do
            sleep 0.1
        done
        python3 "$here/bench/watch_latency.py" "$w/org" "$w/lsyncd" 5 "$results/w_lat_lsyncd$n.json" || true
        kill -TERM "$peer"; wait "$peer" || true
        sumrow "watch: latency of one changed file in $n (delay 1 s) vs lsyncd rsync, delay 1" \
            "w_lat_tav$n" "w_lat_lsyncd$n" "<= 1.15 s; flat in tree size"
    else
        skipped "watch: latency vs lsyncd" "not run: lsyncd missing (Debian: apt-get install lsyncd)"
        sumrow "watch: latency of one changed file in $n (delay 1 s) vs itself" "w_lat_tav$n" "w_lat_tav$n" \
            "<= 1.15 s; flat in tree size"
    fi
done
fi

# ---------------------------------------------------------------------------------------------
echo
if [ -f "$results/legacy.tsv" ]; then
    table "$results/legacy.tsv" "scenario"
    python3 - "$results" <<'PY'
import os, sys
def kib(key):
    try:
        return max(int(x) for x in open(os.path.join(sys.argv[1], key + ".rss")).read().split() if x.isdigit())
    except (OSError, ValueError):
        return "?"
print(f"peak memory: tavrel {kib('init_tav')} KiB, rsync {kib('init_rsync')} KiB (max RSS of one process)")
PY
    echo
fi
if [ -s "$summary" ]; then
    table "$summary" "row"
    echo "floors: bench/floor.cpp on one thread; walk+lstat = readdir and fstatat(AT_SYMLINK_NOFOLLOW) of"
    echo "every entry of ORG and TGT; read-both-trees = the same walk reading every file of both (1 MiB reads)."
    echo "our RSS: the largest max RSS of our runs (/usr/bin/time %M); ratio: ours / peer or floor."
fi
echo "bench took $((SECONDS - started)) s (BENCH_RUNS=$runs)"
