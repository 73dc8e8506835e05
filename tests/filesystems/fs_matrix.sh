#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The drives people sync to, in user space: small FAT (fusefat), exFAT (exfat-fuse), NTFS (ntfs-3g)
# images and an SFTP mount (sshfs to an sshd of our own on 127.0.0.1). For each volume and each of
# the five methods, a tree of about 40 files on the local disk is run onto the volume, the volume
# is mounted again (user-space file systems show times from memory until then), and the second
# run must do nothing. Then the letter-case cases. Prints a table volume x method of operations
# on the first and the second run.
#   fs_matrix.sh CLI MAKE_PROJECT PROBE_VOLUME
# Needs root and /dev/fuse. Exit 77 (skipped) when no volume can be had; each volume that cannot
# be had is listed as skipped with the reason.
set -uo pipefail
cli=$1 make_project=$2 probe=$3
skip=77

[ "$(id -u)" -eq 0 ] || { echo "SKIP: mounting needs root"; exit $skip; }
[ -c /dev/fuse ] || { echo "SKIP: no /dev/fuse"; exit $skip; }
for tool in "$cli" "$make_project" "$probe"; do
    [ -x "$tool" ] || { echo "FAIL: $tool is missing" >&2; exit 1; }
done

work=$(mktemp -d "${TMPDIR:-/tmp}/tavrel-fs-matrix.XXXXXX")
export XDG_RUNTIME_DIR=$work/runtime XDG_DATA_HOME=$work/data
mkdir -m 700 -p "$XDG_RUNTIME_DIR" "$XDG_DATA_HOME"
mounts=() loops=() sshd_pid=""
cleanup() {
    local m
    for m in "${mounts[@]}"; do mountpoint -q "$m" && umount "$m" 2>/dev/null; done
    for m in "${loops[@]}"; do losetup -d "$m" 2>/dev/null; done
    [ -n "$sshd_pid" ] && kill "$sshd_pid" 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT

failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

# The source tree: nested folders, odd sub-second times, a read-only file, one dated 1975, a link.
source_tree() {
    local root=$1 i d
    mkdir -p "$root"
    for d in docs docs/2023 docs/2023/q4 photos photos/raw music/album old; do mkdir -p "$root/$d"; done
    for i in 1 2 3 4 5 6 7 8 9; do printf 'document %s\n' "$i" >"$root/docs/doc$i.txt"; done
    for i in 1 2 3 4 5; do printf 'report %s\n' "$i" >"$root/docs/2023/r$i.txt"; done
    for i in 1 2 3 4 5; do head -c $((i * 3000)) /dev/zero | tr '\0' "$i" >"$root/docs/2023/q4/q$i.bin"; done
    for i in 1 2 3 4 5 6 7 8; do printf 'photo %s\n' "$i" >"$root/photos/p$i.jpg"; done
    for i in 1 2 3 4 5; do printf 'raw %s\n' "$i" >"$root/photos/raw/r$i.raw"; done
    for i in 1 2 3 4 5; do printf 'track %s\n' "$i" >"$root/music/album/t$i.ogg"; done
    printf 'readme\n' >"$root/README"
    printf 'from 1975\n' >"$root/old/1975.txt"
    printf 'locked\n' >"$root/docs/locked.txt"
    local n=0 f
    while IFS= read -r f; do
        n=$((n + 1))
        touch -d "2021-03-04 05:06:$(printf '%02d' $((n % 60))).$(printf '%09d' $((123456789 + n * 1111)))" "$f"
    done < <(find "$root" -type f | sort)
    touch -d "1975-06-15 12:00:01.25" "$root/old/1975.txt"
    chmod 0444 "$root/docs/locked.txt"
    ln -s docs/doc1.txt "$root/latest"
    touch -h -d "2022-01-02 03:04:05.5" "$root/latest"
    find "$root" -type d -exec touch -d "2021-01-01 00:00:00" {} +
}

snapshot() { (cd "$1" && find . -printf '%p %y %s %T@ %m %l\n' | LC_ALL=C sort); }

# Every regular file of ORG has its content at the same path in TGT (reached with the volume's
# own rules for letter case); every link too where the volume holds links.
same_content() {
    local org=$1 tgt=$2 links=$3 f
    while IFS= read -r f; do
        cmp -s "$org/$f" "$tgt/$f" || { echo "content differs or missing: $f"; return 1; }
    done < <(cd "$org" && find . -type f | sort)
    if [ "$links" = 1 ]; then
        while IFS= read -r f; do
            [ "$(readlink "$tgt/$f" 2>/dev/null)" = "$(readlink "$org/$f")" ] || { echo "link missing: $f"; return 1; }
        done < <(cd "$org" && find . -type l | sort)
    fi
    return 0
}

json_field() { sed -n 's/.*"'"$2"'":\([0-9]*\).*/\1/p' <<<"$1" | tail -1; }

# run JOB LOG: runs the job, prints "operations errors".
run_job() {
    local out
    out=$(timeout 60 "$cli" run "$1" --json --no-progress --no-history 2>&1)
    printf '%s\n' "$out" >>"$2"
    local line
    line=$(grep '^{"result"' <<<"$out" | tail -1)
    if [ -z "$line" ]; then
        echo "x x"
        return
    fi
    echo "$(json_field "$line" allOperations) $(json_field "$line" errors)"
}

# --- volumes -------------------------------------------------------------------------------

have() { command -v "$1" >/dev/null 2>&1; }

mount_fat() { fusefat -o rw+ "$work/fat.img" "$1" >/dev/null 2>&1; }
mount_exfat() { mount.exfat-fuse -o noatime "${loops[-1]}" "$1" >/dev/null 2>&1; }
mount_ntfs() { ntfs-3g "$work/ntfs.img" "$1" >/dev/null 2>&1; }
mount_sftp() {
    sshfs -o "IdentityFile=$work/ssh/client_key,StrictHostKeyChecking=no,UserKnownHostsFile=/dev/null" \
        -o "BatchMode=yes,port=$sshd_port" "root@127.0.0.1:$work/sftp-root" "$1" >/dev/null 2>&1
}

# prepare KIND: makes the image, loop device or server in this shell (so that cleanup sees what
# it started); fails with the reason in $reason when it cannot.
no() { reason=$*; return 1; }
prepare() {
    case $1 in
    fat)
        have fusefat || no "fusefat is not installed (Debian package fusefat)" || return
        have mkfs.vfat || no "mkfs.vfat is not installed (Debian package dosfstools)" || return
        truncate -s 64M "$work/fat.img" && mkfs.vfat "$work/fat.img" >/dev/null 2>&1 || no "mkfs.vfat failed"
        ;;
    exfat)
        have mount.exfat-fuse || no "mount.exfat-fuse is not installed (Debian package exfat-fuse)" || return
        have mkfs.exfat || no "mkfs.exfat is not installed (Debian package exfatprogs)" || return
        truncate -s 64M "$work/exfat.img" && mkfs.exfat "$work/exfat.img" >/dev/null 2>&1 ||
            no "mkfs.exfat failed" || return
        # exfat-fuse needs a block device.
        local dev
        dev=$(losetup -f --show "$work/exfat.img" 2>&1) || no "no loop device: $dev" || return
        loops+=("$dev")
        ;;
    ntfs)
        have ntfs-3g || no "ntfs-3g is not installed (Debian package ntfs-3g)" || return
        have mkntfs || no "mkntfs is not installed (Debian package ntfs-3g)" || return
        truncate -s 64M "$work/ntfs.img" && mkntfs -F -Q "$work/ntfs.img" >/dev/null 2>&1 || no "mkntfs failed"
        ;;
    sftp)
        have sshfs || no "sshfs is not installed (Debian package sshfs)" || return
        [ -x /usr/sbin/sshd ] || no "sshd is not installed (Debian package openssh-server)" || return
        mkdir -p "$work/ssh" "$work/sftp-root" /run/sshd
        ssh-keygen -q -t ed25519 -N '' -f "$work/ssh/host_key" &&
            ssh-keygen -q -t ed25519 -N '' -f "$work/ssh/client_key" || no "ssh-keygen failed" || return
        cp "$work/ssh/client_key.pub" "$work/ssh/authorized_keys"
        local attempt i
        for attempt in 1 2 3; do
            sshd_port=$((20000 + RANDOM % 40000))
            cat >"$work/ssh/sshd_config" <<EOF
ListenAddress 127.0.0.1
Port $sshd_port
HostKey $work/ssh/host_key
PidFile none
AuthorizedKeysFile $work/ssh/authorized_keys
PermitRootLogin prohibit-password
PasswordAuthentication no
KbdInteractiveAuthentication no
UsePAM no
StrictModes no
Subsystem sftp internal-sftp
EOF
            # In the foreground (-D) as our own child: the forking daemon drops connections in
            # some containers.
            /usr/sbin/sshd -D -e -f "$work/ssh/sshd_config" >"$work/ssh/sshd.log" 2>&1 &
            sshd_pid=$!
            for i in $(seq 50); do
                grep -q 'Server listening' "$work/ssh/sshd.log" && return 0
                kill -0 "$sshd_pid" 2>/dev/null || break
                sleep 0.1
            done
            kill "$sshd_pid" 2>/dev/null
            sshd_pid=""
        done
        no "sshd did not start: $(tail -1 "$work/ssh/sshd.log")"
        ;;
    esac
}

# Checks the probe's findings against what each volume is known to keep.
check_probe() {
    local kind=$1 mnt=$2 out
    links_ok=1 case_insensitive=0
    out=$("$probe" "$mnt") || { fail "$kind: the probe did not run"; return; }
    echo "$kind probe: $(tr '\n' ' ' <<<"$out")"
    local p ci lt lc
    p=$(sed -n 's/^timePrecision //p' <<<"$out")
    ci=$(sed -n 's/^caseInsensitive //p' <<<"$out")
    lt=$(sed -n 's/^linkTimesSettable //p' <<<"$out")
    lc=$(sed -n 's/^linksCreatable //p' <<<"$out")
    links_ok=$lc
    case_insensitive=$ci
    local want
    case $kind in
    fat) want="20000000 1 0 0" ;;
    exfat) want="10000000 1 0 0" ;;
    ntfs) want="1 0 1 1" ;;
    sftp) want="10000000 0 0 1" ;;
    esac
    [ "$p $ci $lt $lc" = "$want" ] ||
        fail "$kind: probe found precision/case/link times/links '$p $ci $lt $lc', expected '$want'"
    local max
    max=$(sed -n 's/^maxFileSize //p' <<<"$out")
    want=18446744073709551615
    [ "$kind" = fat ] && want=4294967295
    [ "$max" = "$want" ] || fail "$kind: probe found the largest file $max, expected $want"
}

# A file longer than FAT holds (sparse here, 5 GiB): refused before anything is written, with
# its own line and exit 4, where the volume would keep its length modulo 4 GiB.
check_too_large() {
    local kind=$1 mnt=$2 c=$work/$1/big out status
    mkdir -p "$c/org" "$mnt/big"
    truncate -s 5G "$c/org/huge.iso"
    printf 'small\n' >"$c/org/small.txt"
    "$make_project" "$c/big.TSP" --pair big light "$c/org" "$mnt/big" --no-recycle
    out=$(timeout 60 "$cli" run "$c/big.TSP" --no-progress --no-history 2>&1)
    status=$?
    [ "$status" = 4 ] || fail "$kind big: exit $status, expected 4: $out"
    grep -q "^ERROR: file too large for the target volume: $c/org/huge.iso\$" <<<"$out" ||
        fail "$kind big: no line for the file: $out"
    [ "$(ls -A "$mnt/big")" = small.txt ] || fail "$kind big: the target holds $(ls -A "$mnt/big" | tr '\n' ' ')"
    rm -f "$c/org/huge.iso"
}

methods=(light update copy absolute sync)
declare -A cell
rows=()

# `watch` with its target on the volume: a user-space volume is polled, never watched by the
# kernel (changes made by its server are not notified), so a file deleted there comes back by a
# run the poll starts, and no run is started by a kernel event.
check_watch_poll() {
    local kind=$1 w=$work/$1/watch mnt=$2/watch i pid
    mkdir -p "$w/org" "$mnt"
    printf 'one\n' >"$w/org/one.txt"
    printf 'two\n' >"$w/org/two.txt"
    "$make_project" "$w/watch.TSP" --pair watch absolute "$w/org" "$mnt" --no-recycle
    "$cli" watch "$w/watch.TSP" --delay 0.3 --poll 1 --json >"$w/out" 2>"$w/err" &
    pid=$!
    for i in $(seq 300); do [ "$(wc -l <"$w/out")" -ge 1 ] && [ -f "$mnt/two.txt" ] && break; sleep 0.1; done
    rm -f "$mnt/two.txt"
    for i in $(seq 300); do [ -f "$mnt/two.txt" ] && break; sleep 0.1; done
    kill -TERM "$pid"
    wait "$pid"
    [ -f "$mnt/two.txt" ] || fail "$kind watch: a file deleted on the volume did not come back: $(tail -2 "$w/out") $(cat "$w/err")"
    grep -q '"trigger":"poll"' "$w/out" || fail "$kind watch: no run started by the poll: $(cat "$w/out")"
    if grep -q '"trigger":"change"' "$w/out"; then fail "$kind watch: a kernel event started a run on a polled volume"; fi
}

run_volume() {
    local kind=$1 mnt=$work/mnt-$1 reason
    mkdir -p "$mnt"
    if ! prepare "$kind"; then
        echo "SKIPPED $kind: $reason"
        rows+=("$kind|skipped: $reason")
        return
    fi
    if ! "mount_$kind" "$mnt"; then
        echo "SKIPPED $kind: the mount failed"
        rows+=("$kind|skipped: the mount failed")
        return
    fi
    mounts+=("$mnt")
    local failures_before=$failures
    check_probe "$kind" "$mnt"

    local m expected_errors=0
    [ "$links_ok" = 1 ] || expected_errors=1 # the link: a volume without links refuses it
    for m in "${methods[@]}"; do
        source_tree "$work/$kind/org-$m"
        mkdir -p "$mnt/$m"
        "$make_project" "$work/$kind/$m.TSP" --pair "$m" "$m" "$work/$kind/org-$m" "$mnt/$m" --no-recycle
        snapshot "$work/$kind/org-$m" >"$work/$kind/org-$m.before"
    done
    # Letter case: ORG Report.doc and Photos/ over a target holding REPORT.DOC and PHOTOS/; ORG
    # with CaseDir/one and casedir/two, mirrored and synchronized.
    local c=$work/$kind/case
    mkdir -p "$c/org1/Photos" "$mnt/case1/PHOTOS" "$c/org2/CaseDir" "$c/org2/casedir" "$mnt/case2" "$mnt/case3"
    printf 'new report\n' >"$c/org1/Report.doc"
    printf 'new photo\n' >"$c/org1/Photos/p.jpg"
    printf 'old report\n' >"$mnt/case1/REPORT.DOC"
    printf 'old photo\n' >"$mnt/case1/PHOTOS/P.JPG"
    touch -d "2020-01-01" "$mnt/case1/REPORT.DOC" "$mnt/case1/PHOTOS/P.JPG"
    printf 'one\n' >"$c/org2/CaseDir/one"
    printf 'two\n' >"$c/org2/casedir/two"
    cp -a "$c/org2" "$c/org3"
    "$make_project" "$c/case1.TSP" --pair case1 absolute "$c/org1" "$mnt/case1" --no-recycle
    "$make_project" "$c/case2.TSP" --pair case2 absolute "$c/org2" "$mnt/case2" --no-recycle
    "$make_project" "$c/case3.TSP" --pair case3 sync "$c/org3" "$mnt/case3" --no-recycle
    snapshot "$c/org3" >"$c/org3.before"

    local first=() job
    for job in "${methods[@]/#/$work/$kind/}" "$c/case1" "$c/case2" "$c/case3"; do
        first+=("$(run_job "$job.TSP" "$work/$kind/log.txt")")
    done
    umount "$mnt" && "mount_$kind" "$mnt" || { fail "$kind: mounting again failed"; return; }
    local second=() i=0
    for job in "${methods[@]/#/$work/$kind/}" "$c/case1" "$c/case2" "$c/case3"; do
        second+=("$(run_job "$job.TSP" "$work/$kind/log.txt")")
    done

    # The letter-case rows' first runs, operation by operation. Where case is ignored, case-1
    # overwrites REPORT.DOC and PHOTOS/P.JPG under their own names, and case-2 (both ways for
    # Synchronize) makes CaseDir/ and CaseDir/one, casedir/ being its error. Where case is kept,
    # case-1 makes Report.doc, Photos/ and Photos/p.jpg and deletes REPORT.DOC and PHOTOS/, and
    # case-2 makes both folders and both files.
    local -A first_ops=([case-1]=5 [case-2]=4 [case-2-sync]=4)
    [ "$case_insensitive" = 1 ] && first_ops=([case-1]=2 [case-2]=2 [case-2-sync]=2)
    local names=("${methods[@]}" "case-1" "case-2" "case-2-sync") name ops1 err1 ops2 err2 allowed
    for i in "${!names[@]}"; do
        name=${names[$i]}
        read -r ops1 err1 <<<"${first[$i]}"
        read -r ops2 err2 <<<"${second[$i]}"
        cell[$kind,$name]="$ops1/$ops2"
        [ "$err1$err2" = 00 ] || cell[$kind,$name]+=" (errors $err1/$err2)"
        [ "$ops2" = 0 ] || fail "$kind $name: the second run did $ops2 operations"
        [ -z "${first_ops[$name]:-}" ] || [ "$ops1" = "${first_ops[$name]}" ] ||
            fail "$kind $name: the first run did $ops1 operations, not ${first_ops[$name]}"
        allowed=$expected_errors
        case $name in
        case-1) allowed=0 ;;
        case-2 | case-2-sync) [ "$case_insensitive" = 1 ] && allowed=1 || allowed=0 ;;
        esac
        [ "$err1" != x ] && [ "$err1" -le "$allowed" ] && [ "$err2" -le "$allowed" ] ||
            fail "$kind $name: errors $err1 then $err2, at most $allowed expected"
    done
    for m in "${methods[@]}"; do
        reason=$(same_content "$work/$kind/org-$m" "$mnt/$m" "$links_ok") || fail "$kind $m: $reason"
        if [ "$m" = sync ]; then
            snapshot "$work/$kind/org-$m" | cmp -s - "$work/$kind/org-$m.before" ||
                fail "$kind sync: ORG changed, though only the target's copies were written"
        fi
    done
    reason=$(same_content "$c/org1" "$mnt/case1" 1) || fail "$kind case-1: $reason"
    [ "$(find "$mnt/case1" -mindepth 1 | wc -l)" = 3 ] || fail "$kind case-1: the mirror holds $(find "$mnt/case1" -mindepth 1 | wc -l) entries, not 3"
    [ "$(cat "$mnt/case2/CaseDir/one" 2>/dev/null)" = one ] || fail "$kind case-2: CaseDir/one is missing in the mirror"
    if [ "$case_insensitive" = 0 ]; then
        reason=$(same_content "$c/org2" "$mnt/case2" 1) || fail "$kind case-2: $reason"
    fi
    # ORG inside TGT under another letter case: on a volume that ignores case they are one
    # folder, and a mirror of ORG into TGT would empty ORG. The pair is refused whole.
    if [ "$case_insensitive" = 1 ]; then
        mkdir -p "$mnt/overlap/Photos/2024"
        printf 'precious\n' >"$mnt/overlap/Photos/2024/keep.jpg"
        "$make_project" "$c/overlap.TSP" --pair overlap absolute "$mnt/overlap/Photos/2024" "$mnt/overlap/photos" --no-recycle
        local overlap_log
        overlap_log=$(timeout 60 "$cli" run "$c/overlap.TSP" --no-progress --no-history 2>&1)
        [ "$(cat "$mnt/overlap/Photos/2024/keep.jpg" 2>/dev/null)" = precious ] || fail "$kind overlap: ORG lost its file"
        grep -q '^ERROR: folders overlap: ' <<<"$overlap_log" || fail "$kind overlap: no overlap error: $overlap_log"
    fi
    [ "$kind" = fat ] && check_too_large "$kind" "$mnt"
    check_watch_poll "$kind" "$mnt"
    # A name exFAT refuses (':' and '?'; exfat-fuse answers "No such file or directory") is one
    # error line, with the side and the reason; the other file is copied.
    if [ "$kind" = exfat ]; then
        mkdir -p "$c/org-names" "$mnt/names"
        printf 'refused\n' >"$c/org-names/a:b.txt"
        printf 'ok\n' >"$c/org-names/ok.txt"
        "$make_project" "$c/names.TSP" --pair names light "$c/org-names" "$mnt/names" --no-recycle
        local names_err
        names_err=$(timeout 60 "$cli" run "$c/names.TSP" --no-progress --no-history 2>&1 >/dev/null)
        [ "$names_err" = "tavrel-sync-cli: ERROR: cannot copy file: $c/org-names/a:b.txt: TGT: name not allowed on this volume" ] ||
            fail "$kind refused name: stderr was '$names_err'"
        [ "$(cat "$mnt/names/ok.txt" 2>/dev/null)" = ok ] || fail "$kind refused name: ok.txt was not copied"
    fi
    # Synchronize may fill ORG with what the target has, but never a case variant of a name ORG has.
    snapshot "$c/org3" | cmp -s - "$c/org3.before" || fail "$kind case-2-sync: ORG changed: $(snapshot "$c/org3" | diff - "$c/org3.before" | head -3 | tr '\n' ' ')"
    if [ "$failures" -gt "$failures_before" ]; then
        echo "$kind: error lines of the runs (count, line):"
        grep -h '^ERROR' "$work/$kind/log.txt" | sort | uniq -c | sort -rn | head -8
    fi
    rows+=("$kind|")
}

start=$(date +%s)
for kind in fat exfat ntfs sftp; do
    run_volume "$kind"
done

echo
echo "Operations on the first/second run (second after mounting again):"
printf '%-6s' volume
for name in "${methods[@]}" case-1 case-2 case-2-sync; do printf ' | %-22s' "$name"; done
echo
volumes=0
for row in "${rows[@]}"; do
    kind=${row%%|*} note=${row#*|}
    printf '%-6s' "$kind"
    if [ -n "$note" ]; then
        echo " | $note"
        continue
    fi
    volumes=$((volumes + 1))
    for name in "${methods[@]}" case-1 case-2 case-2-sync; do printf ' | %-22s' "${cell[$kind,$name]}"; done
    echo
done
echo "($(($(date +%s) - start)) s; logs of the runs are removed with the work folder)"

[ "$volumes" -gt 0 ] || { echo "SKIP: no volume could be had"; exit $skip; }
[ "$failures" -eq 0 ] || { echo "$failures checks failed"; exit 1; }
echo "All checks passed"
