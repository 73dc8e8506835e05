#!/usr/bin/env bash
# Times tavrel-sync-cli against rsync and cp on the same trees, in one run, and prints
# medians and our/peer ratios. Not a test: it never fails a build.
#   bench/run.sh [BUILD_DIR] [DATA_DIR]
# DATA_DIR must be on the disk you care about (not a tmpfs); it needs about 2.2 GB.
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=$(cd "${1:-$here/build}" && pwd)
data="${2:-$here/build/bench-data}"
runs="${BENCH_RUNS:-3}"
cli="$build/src/cli/tavrel-sync-cli"
mkjob="$build/bench/tavrel-bench-job"
for tool in hyperfine rsync python3 "$cli" "$mkjob"; do
    command -v "$tool" >/dev/null || { echo "missing: $tool" >&2; exit 1; }
done

src="$data/src"
mkdir -p "$data"
if [ ! -f "$data/.generated" ]; then
    echo "Generating 20,000 small files in 400 folders and 6 files of 160 MiB in $src ..."
    rm -rf "$src"
    python3 - "$src" <<'PY'
import os, random, sys
root = sys.argv[1]
rng = random.Random(42)
for d in range(400):
    folder = os.path.join(root, f"dir{d // 20:02d}", f"sub{d:03d}")
    os.makedirs(folder, exist_ok=True)
    for f in range(50):
        with open(os.path.join(folder, f"file{f:02d}.dat"), "wb") as out:
            out.write(rng.randbytes(rng.randint(1024, 16 * 1024)))
big = os.path.join(root, "big")
os.makedirs(big, exist_ok=True)
chunk = rng.randbytes(1 << 20)
for i in range(6):
    with open(os.path.join(big, f"big{i}.bin"), "wb") as out:
        for _ in range(160):
            out.write(chunk)
PY
    touch "$data/.generated"
fi

job() { # job NAME METHOD CONTENT_CHECK TARGET
    "$mkjob" "$data/$1.TSP" "$2" "$3" "$src" "$4"
    echo "$data/$1.TSP"
}
tav() { echo "$cli run $1 --no-progress --report $data/report.htm >/dev/null"; }

results="$data/results"
rm -rf "$results" && mkdir -p "$results"
measure() { # measure LABEL CMD [--prepare CMD]
    local label=$1 cmd=$2 prepare=${3:-true}
    hyperfine --runs "$runs" --warmup 0 --prepare "$prepare" --export-json "$results/$label.json" \
        --style none "$cmd" >/dev/null
}
median() { python3 -c "import json,sys;print(json.load(open(sys.argv[1]))['results'][0]['median'])" "$1"; }

light=$(job light 0 0 "$data/t_tav")
update=$(job update 1 0 "$data/t_tav")
copyauto=$(job copyauto 2 0 "$data/t_tav")
absolute=$(job absolute 3 0 "$data/t_tav")
copycheck=$(job copycheck 2 1 "$data/t_tav")

echo "Initial copy ..."
measure init_tav "$(tav "$light")" "rm -rf $data/t_tav"
measure init_rsync "rsync -a $src/ $data/t_rsync/" "rm -rf $data/t_rsync"
measure init_cp "cp -a $src $data/t_cp" "rm -rf $data/t_cp"

echo "No-change re-run ..."
measure same_update "$(tav "$update")"
measure same_copyauto "$(tav "$copyauto")"
measure same_rsync "rsync -a $src/ $data/t_rsync/"

echo "Re-run after 1% changed ..."
cat > "$data/change.py" <<'PY'
import os, random, sys
root = sys.argv[1]
files = sorted(os.path.join(d, f) for d, _, fs in os.walk(root) for f in fs if f.endswith(".dat"))
for p in random.sample(files, len(files) // 100):
    with open(p, "ab") as out:
        out.write(b"x")
PY
measure changed_update "$(tav "$update")" "python3 $data/change.py $src"
measure changed_rsync "rsync -a $src/ $data/t_rsync/" "python3 $data/change.py $src"

echo "Mirror after deleting 10% of the source ..."
cp -a "$src" "$data/src_full"
python3 - "$src" <<'PY'
import os, sys, random
root = sys.argv[1]
files = sorted(os.path.join(d, f) for d, _, fs in os.walk(root) for f in fs if f.endswith('.dat'))
for p in random.Random(7).sample(files, len(files) // 10):
    os.remove(p)
PY
restore_tav="rsync -a $data/src_full/ $data/t_tav/"
restore_rsync="rsync -a $data/src_full/ $data/t_rsync/"
measure mirror_tav "$(tav "$absolute")" "$restore_tav"
measure mirror_rsync "rsync -a --delete $src/ $data/t_rsync/" "$restore_rsync"

echo "Full content verification ..."
measure verify_tav "$(tav "$copycheck")"
measure verify_rsync "rsync -a --checksum $src/ $data/t_rsync/"
rm -rf "$src" && mv "$data/src_full" "$src"

echo "Peak memory ..."
rm -rf "$data/t_tav"
peak_tav=$(/usr/bin/time -f %M "$cli" run "$light" --no-progress --report "$data/report.htm" 2>&1 >/dev/null | tail -1)
rm -rf "$data/t_rsync"
peak_rsync=$(/usr/bin/time -f %M rsync -a "$src/" "$data/t_rsync/" 2>&1 | tail -1)

row() { # row LABEL OURS PEER
    local ours peer
    ours=$(median "$results/$2.json"); peer=$(median "$results/$3.json")
    python3 -c "import sys;o,p=float(sys.argv[2]),float(sys.argv[3]);print(f'{sys.argv[1]:<44} {o:8.2f} s {p:8.2f} s   {o/p:5.2f}')" "$1" "$ours" "$peer"
}
echo
printf '%-44s %10s %10s   %5s\n' "scenario (median of $runs)" "tavrel" "peer" "ratio"
row "initial copy, Light Copy vs rsync -a" init_tav init_rsync
row "initial copy, Light Copy vs cp -a" init_tav init_cp
row "no change, Update Copy vs rsync -a" same_update same_rsync
row "no change, Copy/Auto vs rsync -a" same_copyauto same_rsync
row "1% changed, Update Copy vs rsync -a" changed_update changed_rsync
row "mirror, Absolute Copy vs rsync -a --delete" mirror_tav mirror_rsync
row "verify, Copy/Check vs rsync -a --checksum" verify_tav verify_rsync
echo "peak memory: tavrel ${peak_tav} KiB, rsync ${peak_rsync} KiB (max RSS of one process)"
