#!/usr/bin/env bash
# What progress display and the trash cost a whole kovrel-sync run, each against
# the same run without it. CPU time (user + system, from wait4) of the
# kovrel-sync process, medians; elapsed time beside it for information.
#
#   bench/run_cost_bench.sh [--scale S] [--runs N] [--only progress,trash]
#                           [--copy-runs N] [--build-dir DIR] [--no-build] [--work DIR]
# (--copy-runs: repetitions of the first copy, default --runs; 0 leaves it out.)
#
#   progress  the first copy of the 100,000-file tree and the no-change run over it,
#             kovrel-sync --progress with standard error on a pseudo-terminal (made
#             by script(1)) against the same command without --progress, also on
#             the terminal; standard output to /dev/null in both. Target: <= 2 %.
#             The no-change run is repeated three times as often as the others.
#   progress-ir  (not in the default) the same two runs counted in instructions by
#             callgrind; use a smaller --scale, callgrind is slow.
#   trash     a run where 1 % of the 100,000 files changed on side 1 (overwrites),
#             --trash=yes against --trash=no, target <= 1.3 x; and a run deleting
#             10,000 files (side 1 empty, option 0x1), target <= 2 x.
# Scale 1 is the real benchmark; --scale 0.05 checks the harness in a minute.
set -euo pipefail
export LC_ALL=C
here="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
scale=1
runs=5
only=progress,trash
copy_runs=""
build="$here/build/bench"
do_build=1
work_base=${KOVREL_BENCH_DIR:-/var/tmp}
while [ $# -gt 0 ]; do
    case "$1" in
    --scale) scale="$2"; shift 2 ;;
    --runs) runs="$2"; shift 2 ;;
    --only) only="$2"; shift 2 ;;
    --copy-runs) copy_runs="$2"; shift 2 ;;
    --build-dir) build="$(cd "$2" && pwd)"; shift 2 ;;
    --no-build) do_build=0; shift ;;
    --work) work_base="$2"; shift 2 ;;
    *) echo "run_cost_bench.sh: unknown option $1" >&2; exit 2 ;;
    esac
done
wanted() { [[ ",$only," == *",$1,"* ]]; }
if [ "$do_build" = 1 ]; then
    cmake -S "$here" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DKOVREL_BUILD_BENCH=ON \
        -DKOVREL_BUILD_TESTS=OFF >/dev/null
    cmake --build "$build" -j 2 --target kovrel-sync treegen make_kvd >/dev/null
fi
for tool in python3 script; do
    command -v "$tool" >/dev/null || { echo "run_cost_bench.sh: $tool is missing (scripts/deps --bench installs it)" >&2; exit 1; }
done
sync_exe="$build/src/cli/kovrel-sync"
work="$(mktemp -d "$work_base/kovrel-runcost.XXXXXX")"
trap 'rm -rf "$work"' EXIT
# A profile of the benchmark's own (no log file), and a home trash in the work
# directory's file system.
export XDG_CONFIG_HOME="$work/config" XDG_DATA_HOME="$work/share"
mkdir -p "$work/config" "$work/share" "$work/aside"
"$build/bench/treegen" --scale "$scale" "$work/data" tree >/dev/null
nfiles=$(find "$work/data/tree" -type f | wc -l)

median() { sort -n | awk '{a[NR]=$1} END {print a[int((NR + 1) / 2)]}'; }
# The child's own CPU time from wait4 (microseconds; /usr/bin/time rounds to 10 ms,
# coarser than the 2 % sought on a half-second run) and the elapsed time.
cat >"$work/rtime.py" <<'PY'
import os, sys, time
out, argv = sys.argv[1], sys.argv[2:]
start = time.monotonic()
pid = os.posix_spawn(argv[0], argv, os.environ)
_, status, usage = os.wait4(pid, 0)
elapsed = time.monotonic() - start
with open(out, "w") as f:
    f.write("%.1f %.1f\n" % ((usage.ru_utime + usage.ru_stime) * 1000, elapsed * 1000))
PY
# timed NAME [--tty] ARGS...: one kovrel-sync run; appends "cpu_ms elapsed_ms" to
# $work/NAME.t. --tty: standard error is a pseudo-terminal.
timed() {
    local name=$1 tty=0
    shift
    if [ "$1" = --tty ]; then tty=1; shift; fi
    local cmd=(python3 "$work/rtime.py" "$work/time" "$sync_exe" "$@")
    if [ "$tty" = 1 ]; then
        script -qec "$(printf '%q ' "${cmd[@]}") >/dev/null" /dev/null </dev/null >"$work/tty.out" || true
    else
        "${cmd[@]}" >/dev/null 2>"$work/stderr" || true
    fi
    cat "$work/time" >>"$work/$name.t"
}
# row LABEL BASE WITH TARGET: the medians of two series and their ratio.
row() {
    local label=$1 base=$2 with=$3 target=$4
    local bc bw wc ww
    bc=$(cut -d' ' -f1 "$work/$base.t" | median) bw=$(cut -d' ' -f2 "$work/$base.t" | median)
    wc=$(cut -d' ' -f1 "$work/$with.t" | median) ww=$(cut -d' ' -f2 "$work/$with.t" | median)
    printf '  %-34s CPU %7.1f -> %7.1f ms  x %s  (elapsed %7.1f -> %7.1f ms)  target <= %s: %s\n' \
        "$label" "$bc" "$wc" "$(awk "BEGIN {printf \"%.3f\", $wc / ($bc > 0 ? $bc : 1)}")" \
        "$bw" "$ww" "$target" "$(awk "BEGIN {print ($wc <= $target * $bc) ? \"met\" : \"MISSED\"}")"
}
# A fresh, empty side 2: the last copy is moved aside, not deleted, so that no
# run starts with the file system clearing away 100,000 files.
fresh_side2() {
    if [ -e "$work/side2" ]; then mv "$work/side2" "$work/aside/$RANDOM$RANDOM"; fi
    mkdir -p "$work/side2"
    sync
}
echo "kovrel-sync run costs, $(date -u '+%F %T') UTC, commit $(git -C "$here" rev-parse --short HEAD)"
echo "  scale $scale: $nfiles files; $runs runs per contender, taking turns; medians"
echo "  CPU = user + system time of the kovrel-sync process; binary $sync_exe"

if wanted progress; then
    "$build/bench/make_kvd" "$work/copy.kvd" "$work/data/tree" "$work/side2" >/dev/null
    rm -f "$work"/p-*.t
    for r in $(seq "${copy_runs:-$runs}"); do
        for mode in plain progress; do
            flag=()
            [ "$mode" = progress ] && flag=(--progress)
            fresh_side2
            timed "p-first-$mode" --tty "${flag[@]}" "$work/copy.kvd"
            if [ "$mode" = progress ] && [ "$r" = 1 ] && ! grep -q $'\r' "$work/tty.out"; then
                echo "  (no progress line seen on the terminal: is --progress there?)"
            fi
        done
    done
    # The no-change run is short and the 2 % sought is a few milliseconds: three
    # times the repetitions, still taking turns.
    for r in $(seq $((runs * 3))); do
        for mode in plain progress; do
            flag=()
            [ "$mode" = progress ] && flag=(--progress)
            timed "p-same-$mode" --tty "${flag[@]}" "$work/copy.kvd"
        done
    done
    echo "progress on a terminal (--progress) against none"
    if [ "${copy_runs:-$runs}" -gt 0 ]; then
        row "first copy, $nfiles files" p-first-plain p-first-progress 1.02
    fi
    row "no change, $nfiles files" p-same-plain p-same-progress 1.02
    rm -rf "$work/aside"/* "$work/side2"
fi

if wanted progress-ir; then
    # The same two runs counted in instructions by callgrind (user space only,
    # unmoved by the machine's load and the disk's write-back): --progress on the
    # terminal against none. Under callgrind the run is many times slower while
    # the progress line still comes up to 10 times a wall-clock second, so the
    # figure overstates the progress's share.
    command -v valgrind >/dev/null || { echo "run_cost_bench.sh: valgrind is missing (scripts/deps --bench installs it)" >&2; exit 1; }
    "$build/bench/make_kvd" "$work/copy.kvd" "$work/data/tree" "$work/side2" >/dev/null
    ir() {
        script -qec "valgrind --tool=callgrind --callgrind-out-file=$work/cg.out $(printf '%q ' "$sync_exe" "$@") >/dev/null" \
            /dev/null </dev/null >"$work/tty.out" 2>&1 || true
        awk '/^summary:/ {print $2}' "$work/cg.out"
    }
    declare -A irs
    for mode in plain progress; do
        flag=()
        [ "$mode" = progress ] && flag=(--progress)
        fresh_side2
        irs[first-$mode]=$(ir "${flag[@]}" "$work/copy.kvd")
        irs[same-$mode]=$(ir "${flag[@]}" "$work/copy.kvd")
    done
    echo "progress on a terminal against none, instructions (callgrind)"
    for what in first same; do
        label="first copy"
        [ "$what" = same ] && label="no change"
        printf '  %-34s Ir %12d -> %12d  x %s  target <= 1.02: %s\n' "$label, $nfiles files" \
            "${irs[$what-plain]}" "${irs[$what-progress]}" \
            "$(awk "BEGIN {printf \"%.4f\", ${irs[$what-progress]} / ${irs[$what-plain]}}")" \
            "$(awk "BEGIN {print (${irs[$what-progress]} <= 1.02 * ${irs[$what-plain]}) ? \"met\" : \"MISSED\"}")"
    done
    rm -rf "$work/aside"/* "$work/side2"
fi

if wanted trash; then
    # 1 % changed: side 2 a copy; before each run every 100th file of side 1 gets a
    # later write time, so each run overwrites the same number of files.
    cp -a "$work/data/tree" "$work/same2"
    "$build/bench/make_kvd" "$work/same.kvd" "$work/data/tree" "$work/same2" >/dev/null
    find "$work/data/tree" -type f | sort | awk 'NR % 100 == 0' >"$work/changed.list"
    nchanged=$(wc -l <"$work/changed.list")
    # 10,000 deletions (scaled): side 1 empty, side 2 files in directories of 100.
    ndel=$(awk "BEGIN {n = int(10000 * $scale); if (n < 1) n = 1; print n}")
    mkdir -p "$work/empty1"
    "$build/bench/make_kvd" --option 0x1 "$work/del.kvd" "$work/empty1" "$work/del2" >/dev/null
    guard=()
    if "$sync_exe" --help 2>&1 | grep -q -- --on-mass-delete; then guard=(--on-mass-delete=yes); fi
    stamp=$(($(date +%s) + 1000))
    rm -f "$work"/t-*.t
    for r in $(seq "$runs"); do
        for mode in no yes; do
            stamp=$((stamp + 10))
            tr '\n' '\0' <"$work/changed.list" | xargs -0 touch -m -d "@$stamp"
            sync
            timed "t-changed-$mode" --trash="$mode" "$work/same.kvd"
            rm -rf "$work/share/Trash"

            rm -rf "$work/del2"
            for ((d = 0; d < (ndel + 99) / 100; d++)); do
                mkdir -p "$work/del2/d$d"
                for ((f = d * 100; f < (d + 1) * 100 && f < ndel; f++)); do
                    printf 'file %d\n' "$f" >"$work/del2/d$d/f$f"
                done
            done
            sync
            timed "t-delete-$mode" --trash="$mode" "${guard[@]}" "$work/del.kvd"
            left=$(find "$work/del2" -type f | wc -l)
            [ "$left" = 0 ] || echo "  (delete run $r, trash $mode: $left files left)"
            rm -rf "$work/share/Trash"
        done
    done
    echo "trash (--trash=yes) against deleting and overwriting for good (--trash=no)"
    row "$nchanged of $nfiles files changed" t-changed-no t-changed-yes 1.3
    row "$ndel files deleted" t-delete-no t-delete-yes 2
fi
