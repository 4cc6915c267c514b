#!/usr/bin/env bash
# The desktop program against kovrel-sync on the same document, and its start-up.
#   bench/app_bench.sh [--scale S] [--runs N] [--only run,preview,startup]
#                      [--build-dir DIR] [--no-build]
# Scale 1 is the 100,000-file tree of sync_bench.sh. Prints medians in milliseconds:
#   run      the no-change run and the first copy, each by kovrel-sync and by the
#            program unattended (log window shown, offscreen);
#   preview  the Preview command on the no-change pair against kovrel-sync --dry-run
#            of the same document: elapsed and CPU time (user + system), target
#            preview <= 1.2 x the dry run;
#   startup  start-up with 10,000 items.
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
scale=1
runs=3
only=run,preview,startup
build="$here/build/bench"
do_build=1
while [ $# -gt 0 ]; do
    case "$1" in
    --scale) scale="$2"; shift 2 ;;
    --runs) runs="$2"; shift 2 ;;
    --only) only="$2"; shift 2 ;;
    --build-dir) build="$(cd "$2" && pwd)"; shift 2 ;;
    --no-build) do_build=0; shift ;;
    *) echo "unknown option $1" >&2; exit 2 ;;
    esac
done
wanted() { [[ ",$only," == *",$1,"* ]]; }
if [ "$do_build" = 1 ]; then
    cmake -S "$here" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DKOVREL_BUILD_BENCH=ON \
        -DKOVREL_BUILD_TESTS=OFF >/dev/null
    cmake --build "$build" -j 2 --target app_bench kovrel-sync treegen make_kvd >/dev/null
fi
[ -x /usr/bin/time ] || { echo "app_bench.sh: /usr/bin/time is missing (scripts/deps --bench installs it)" >&2; exit 1; }
work="$(mktemp -d "${KOVREL_BENCH_DIR:-/var/tmp}/kovrel-appbench.XXXXXX")"
trap 'rm -rf "$work"' EXIT
export QT_QPA_PLATFORM=offscreen XDG_CONFIG_HOME="$work/config" XDG_DATA_HOME="$work/share"
mkdir -p "$work/config" "$work/share"
"$build/bench/treegen" --scale "$scale" "$work/data" tree >/dev/null

ms() { local t0 t1; t0=$(date +%s%N); "$@" >/dev/null 2>&1 || true; t1=$(date +%s%N); echo $(((t1 - t0) / 1000000)); }
median() { sort -n | awk '{a[NR]=$1} END {print a[int((NR + 1) / 2)]}'; }
ratio() { awk "BEGIN {printf \"%.2f\", $1 / ($2 > 0 ? $2 : 1)}"; }
echo "scale $scale, runs $runs (medians, ms); binaries from $build"

if wanted run; then
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
    printf 'no change:   kovrel-sync %6d   program %6d   ratio %s\n' "${result[sync-nochange]}" \
        "${result[gui-nochange]}" "$(ratio "${result[gui-nochange]}" "${result[sync-nochange]}")"
    printf 'first copy:  kovrel-sync %6d   program %6d   ratio %s\n' "${result[sync-first]}" \
        "${result[gui-first]}" "$(ratio "${result[gui-first]}" "${result[sync-first]}")"
fi

if wanted preview; then
    # The no-change pair: side 2 a copy with the same times, so the dry run
    # walks both trees and finds nothing to do.
    rm -rf "$work/side2"
    cp -a "$work/data/tree" "$work/side2"
    "$build/bench/make_kvd" "$work/preview.kvd" "$work/data/tree" "$work/side2" >/dev/null
    sync
    dry_ms="" dry_cpu="" pre_ms="" pre_cpu="" dry_lines="" pre_lines=""
    for r in $(seq "$runs"); do
        for who in sync gui; do
            if [ "$who" = sync ]; then
                # The whole process, start-up included (about 15 ms of it).
                /usr/bin/time -f '%e %U %S' -o "$work/time" \
                    "$build/src/cli/kovrel-sync" --dry-run "$work/preview.kvd" >"$work/dry.out"
                read -r e u s <"$work/time"
                dry_ms+="$(awk "BEGIN {print int($e * 1000 + 0.5)}") "
                dry_cpu+="$(awk "BEGIN {print int(($u + $s) * 1000 + 0.5)}") "
                dry_lines=$(wc -l <"$work/dry.out")
            else
                # The command alone, from F7 until the window is idle again.
                read -r _ _ m _ c _ n < <("$build/bench/app_bench" preview "$work/preview.kvd" 2>/dev/null)
                pre_ms+="$m " pre_cpu+="$c " pre_lines=$n
            fi
        done
    done
    dm=$(printf '%s\n' $dry_ms | median) dc=$(printf '%s\n' $dry_cpu | median)
    pm=$(printf '%s\n' $pre_ms | median) pc=$(printf '%s\n' $pre_cpu | median)
    printf 'preview of the no-change pair (%s lines shown, %s printed by the dry run)\n' \
        "$pre_lines" "$dry_lines"
    printf '  elapsed:  kovrel-sync --dry-run %6d   preview %6d   ratio %s\n' "$dm" "$pm" "$(ratio "$pm" "$dm")"
    printf '  CPU:      kovrel-sync --dry-run %6d   preview %6d   ratio %s   (target <= 1.20: %s)\n' \
        "$dc" "$pc" "$(ratio "$pc" "$dc")" \
        "$(awk "BEGIN {print ($pc <= 1.2 * $dc) ? \"met\" : \"MISSED\"}")"
fi

if wanted startup; then
    "$build/bench/app_bench" startup 10000
fi
