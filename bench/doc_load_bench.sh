#!/usr/bin/env bash
# Loading a large document: 400,000 items read by kovrel-sync --list and opened by
# the desktop program (File Open after the dialog, offscreen).
#   bench/doc_load_bench.sh [--items N] [--runs N] [--build-dir D] [--no-build]
# Prints the median wall time in milliseconds of each, and kovrel-sync's peak
# resident size. Target: well under a second for 400,000 items.
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
items=400000
runs=5
build="$here/build/bench"
do_build=1
while [ $# -gt 0 ]; do
    case "$1" in
    --items) items="$2"; shift 2 ;;
    --runs) runs="$2"; shift 2 ;;
    --build-dir) build="$2"; shift 2 ;;
    --no-build) do_build=0; shift ;;
    *) echo "unknown option $1" >&2; exit 2 ;;
    esac
done
if [ "$do_build" = 1 ]; then
    cmake -S "$here" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DKOVREL_BUILD_BENCH=ON \
        -DKOVREL_BUILD_TESTS=OFF >/dev/null
    cmake --build "$build" -j 2 --target app_bench kovrel-sync make_kvd >/dev/null
fi
work="$(mktemp -d "${KOVREL_BENCH_DIR:-/var/tmp}/kovrel-docload.XXXXXX")"
trap 'rm -rf "$work"' EXIT
export QT_QPA_PLATFORM=offscreen XDG_CONFIG_HOME="$work/config" XDG_RUNTIME_DIR="$work/runtime"
mkdir -p "$work/config" "$work/runtime"; chmod 700 "$work/runtime"

# Empty items (the smallest record, 7 bytes) and items with ordinary paths and a
# pattern text.
"$build/bench/make_kvd" --count "$items" "$work/empty.kvd"
"$build/bench/make_kvd" --count "$items" --option 0x100 --pattern '!*.bak' "$work/paths.kvd" \
    /home/me/projects/item/src /srv/backup/projects/item/src

ms() { local t0 t1; t0=$(date +%s%N); "$@" >/dev/null 2>&1; t1=$(date +%s%N); echo $(((t1 - t0) / 1000000)); }
median() { tr ' ' '\n' | grep . | sort -n | awk '{a[NR]=$1} END {print a[int((NR + 1) / 2)]}'; }

printf '%-34s %10s %10s %12s\n' "document ($items items)" "bytes" "median ms" "peak RSS KiB"
for doc in empty paths; do
    f="$work/$doc.kvd"
    size=$(stat -c %s "$f")
    list="" open=""
    for _ in $(seq "$runs"); do
        list+="$(ms "$build/src/cli/kovrel-sync" --list "$f") "
        # app_bench prints its own figure: the open alone, without the start-up.
        open+="$("$build/bench/app_bench" open "$f" 2>/dev/null | awk '{print $5}') "
    done
    rss="-"
    if [ -x /usr/bin/time ]; then
        rss=$(/usr/bin/time -f %M "$build/src/cli/kovrel-sync" --list "$f" 2>&1 >/dev/null | tail -1)
    fi
    printf '%-34s %10s %10s %12s\n' "$doc: kovrel-sync --list" "$size" "$(echo "$list" | median)" "$rss"
    printf '%-34s %10s %10s %12s\n' "$doc: desktop program, File Open" "$size" "$(echo "$open" | median)" "-"
done
