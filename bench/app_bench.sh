#!/usr/bin/env bash
# The desktop program against kovrel-sync on the same document, and its start-up.
#   bench/app_bench.sh [--scale S] [--runs N]
# Scale 1 is the 100,000-file tree of sync_bench.sh. Prints medians in milliseconds:
# the no-change run and the first copy, each by kovrel-sync and by the program
# unattended (log window shown, offscreen), and start-up with 10,000 items.
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
scale=1
runs=3
while [ $# -gt 0 ]; do
    case "$1" in
    --scale) scale="$2"; shift 2 ;;
    --runs) runs="$2"; shift 2 ;;
    *) echo "unknown option $1" >&2; exit 2 ;;
    esac
done
build="$here/build/bench"
cmake -S "$here" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DKOVREL_BUILD_BENCH=ON \
    -DKOVREL_BUILD_TESTS=OFF >/dev/null
cmake --build "$build" -j 2 --target app_bench kovrel-sync treegen make_kvd >/dev/null
work="$(mktemp -d "${KOVREL_BENCH_DIR:-/var/tmp}/kovrel-appbench.XXXXXX")"
trap 'rm -rf "$work"' EXIT
export QT_QPA_PLATFORM=offscreen XDG_CONFIG_HOME="$work/config"
mkdir -p "$work/config"
"$build/bench/treegen" --scale "$scale" "$work/data" tree >/dev/null

ms() { local t0 t1; t0=$(date +%s%N); "$@" >/dev/null 2>&1 || true; t1=$(date +%s%N); echo $(((t1 - t0) / 1000000)); }
median() { sort -n | awk '{a[NR]=$1} END {print a[int((NR + 1) / 2)]}'; }

# The two contenders take turns, so that write-back left over from one copy
# weighs on both alike.
declare -A first nochange
for r in $(seq "$runs"); do
    for who in sync gui; do
        rm -rf "$work/side2"; mkdir -p "$work/side2"
        "$build/bench/make_kvd" "$work/doc.kvd" "$work/data/tree" "$work/side2" >/dev/null
        sync
        if [ "$who" = sync ]; then
            first[$who]+="$(ms "$build/src/cli/kovrel-sync" "$work/doc.kvd") "
            nochange[$who]+="$(ms "$build/src/cli/kovrel-sync" "$work/doc.kvd") "
        else
            first[$who]+="$(ms "$build/bench/app_bench" run "$work/doc.kvd") "
            nochange[$who]+="$(ms "$build/bench/app_bench" run "$work/doc.kvd") "
        fi
    done
done
declare -A result
for who in sync gui; do
    result[$who-first]="$(printf '%s\n' ${first[$who]} | median)"
    result[$who-nochange]="$(printf '%s\n' ${nochange[$who]} | median)"
done
echo "scale $scale, runs $runs (medians, ms)"
printf 'no change:   kovrel-sync %6d   program %6d   ratio %s\n' "${result[sync-nochange]}" \
    "${result[gui-nochange]}" "$(awk "BEGIN {printf \"%.2f\", ${result[gui-nochange]} / ${result[sync-nochange]}}")"
printf 'first copy:  kovrel-sync %6d   program %6d   ratio %s\n' "${result[sync-first]}" \
    "${result[gui-first]}" "$(awk "BEGIN {printf \"%.2f\", ${result[gui-first]} / ${result[sync-first]}}")"
"$build/bench/app_bench" startup 10000
