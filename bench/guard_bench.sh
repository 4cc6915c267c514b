#!/usr/bin/env bash
# guard_bench.sh: what the deletion guard costs. The no-change run over the 100,000-file
# pair with a delete option (0x1), the guard on (its count and kept listing) against the
# same run with [Env] DeleteGuard=0 (the pass alone), and the item without a delete
# option for reference; user+sys CPU time and peak resident size of kovrel-sync.
#
#   bench/guard_bench.sh [--scale S] [--runs N] [--work DIR] [--build-dir DIR] [--no-build]
#
# The three take turns within every repetition, so a busy phase of the machine hits them
# alike; medians are reported. Targets: guard on at most 1.3x guard off in CPU time, and
# at most 200 bytes of extra peak memory per kept entry (the entries of both trees, which
# the guard holds all at once before the pass starts).
set -euo pipefail
export LC_ALL=C

REPO=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
WORK=${KOVREL_BENCH_DIR:-/var/tmp/kovrel-guard-bench}
SCALE=1
RUNS=7
BUILD=$REPO/build/bench
DO_BUILD=1

while [ $# -gt 0 ]; do
    case $1 in
    --scale) SCALE=$2; shift 2 ;;
    --runs) RUNS=$2; shift 2 ;;
    --work) WORK=$2; shift 2 ;;
    --build-dir) BUILD=$2; shift 2 ;;
    --no-build) DO_BUILD=0; shift ;;
    -h | --help) sed -n '2,12p' "${BASH_SOURCE[0]}" | sed 's/^# \{0,1\}//'; exit 0 ;;
    *) echo "guard_bench.sh: unknown argument '$1'" >&2; exit 2 ;;
    esac
done
[[ $RUNS =~ ^[1-9][0-9]*$ ]] || { echo "guard_bench.sh: --runs must be a positive number" >&2; exit 2; }
note() { printf '%s\n' "$*" >&2; }
die() { note "guard_bench.sh: $*"; exit 1; }
[ -x /usr/bin/time ] || die "/usr/bin/time is needed (package time)"

KSYNC=$BUILD/src/cli/kovrel-sync
TOOLS=$BUILD/bench
if [ $DO_BUILD = 1 ]; then
    mkdir -p "$BUILD"
    gen=(); command -v ninja >/dev/null && gen=(-G Ninja)
    note "Building in $BUILD (Release) ..."
    cmake -S "$REPO" -B "$BUILD" "${gen[@]}" -DCMAKE_BUILD_TYPE=Release \
        -DKOVREL_BUILD_BENCH=ON -DKOVREL_BUILD_TESTS=OFF >"$BUILD/configure.log" 2>&1 ||
        die "configure failed (see $BUILD/configure.log)"
    cmake --build "$BUILD" -j2 --target treegen make_kvd kovrel-sync >"$BUILD/guard-build.log" 2>&1 ||
        die "build failed (see $BUILD/guard-build.log)"
fi
for x in "$KSYNC" "$TOOLS/treegen" "$TOOLS/make_kvd"; do
    [ -x "$x" ] || die "$x is missing (build without --no-build)"
done

mkdir -p "$WORK"
WORK=$(cd "$WORK" && pwd)
DATA=$WORK/data-$SCALE
if [ ! -f "$DATA/.complete" ]; then
    rm -rf "$DATA"
    note "Generating the trees in $DATA ..."
    "$TOOLS/treegen" --scale "$SCALE" "$DATA" >/dev/null
    # Only the tree is used here.
    rm -rf "$DATA/flat" "$DATA/large"
    cp -a "$DATA/tree" "$DATA/tree.2"
    sync
    touch "$DATA/.complete"
fi
T1=$DATA/tree T2=$DATA/tree.2
ENTRIES=$(($(find "$T1" "$T2" -mindepth 1 | wc -l)))

# Two profiles: the default (guard on) and one with the guard off. No log file, no sound.
mkdir -p "$WORK/on/Marovin_Quellan" "$WORK/off/Marovin_Quellan"
printf '[Env]\n' >"$WORK/on/Marovin_Quellan/Kovrel Duplicator.conf"
printf '[Env]\nDeleteGuard=0\n' >"$WORK/off/Marovin_Quellan/Kovrel Duplicator.conf"
"$TOOLS/make_kvd" --option 0x1 "$WORK/delete.kvd" "$T1" "$T2"
"$TOOLS/make_kvd" --option 0 "$WORK/plain.kvd" "$T1" "$T2"

NAMES=("guard on (0x1)" "guard off (0x1)" "no delete option")
CONF=("$WORK/on" "$WORK/off" "$WORK/on")
DOCS=("$WORK/delete.kvd" "$WORK/delete.kvd" "$WORK/plain.kvd")
declare -a CPU RSS
for i in 0 1 2; do CPU[$i]=""; RSS[$i]=""; done

one_run() { # INDEX: appends user+sys ms and peak KiB
    local i=$1 out=$WORK/time.$1 lines
    lines=$(XDG_CONFIG_HOME=${CONF[$i]} /usr/bin/time -f '%U %S %M' -o "$out" \
        "$KSYNC" "${DOCS[$i]}" </dev/null 2>"$WORK/stderr.$i" | wc -l) ||
        die "${NAMES[$i]}: kovrel-sync failed (see $WORK/stderr.$i)"
    # start, completed and the four count lines: nothing to do, nothing asked.
    [ "$lines" = 6 ] || die "${NAMES[$i]}: $lines log lines, the trees are not equal"
    read -r u s m <"$out"
    CPU[$i]+="$(awk -v u="$u" -v s="$s" 'BEGIN { printf "%d", (u + s) * 1000 }') "
    RSS[$i]+="$m "
}

# One untimed round to warm the page cache.
for i in 0 1 2; do one_run "$i"; done
for i in 0 1 2; do CPU[$i]=""; RSS[$i]=""; done
for ((r = 0; r < RUNS; ++r)); do
    for ((k = 0; k < 3; ++k)); do one_run $(((r + k) % 3)); done
done

median() { tr ' ' '\n' <<<"$1" | grep -v '^$' | sort -n | awk '{ a[NR] = $1 } END { print (NR % 2) ? a[(NR + 1) / 2] : int((a[NR / 2] + a[NR / 2 + 1]) / 2) }'; }
range() { tr ' ' '\n' <<<"$1" | grep -v '^$' | sort -n | sed -n '1p;$p' | paste -sd- ; }

printf 'Deletion guard, no-change run of %s entries (both trees), %s runs each, %s\n' \
    "$ENTRIES" "$RUNS" "$(date -u +%Y-%m-%dT%H:%MZ)"
printf '  %-20s %12s %12s %14s\n' "" "cpu ms (med)" "range" "peak KiB (med)"
for i in 0 1 2; do
    printf '  %-20s %12s %12s %14s\n' "${NAMES[$i]}" "$(median "${CPU[$i]}")" "$(range "${CPU[$i]}")" \
        "$(median "${RSS[$i]}")"
done
on=$(median "${CPU[0]}") off=$(median "${CPU[1]}")
ron=$(median "${RSS[0]}") roff=$(median "${RSS[1]}")
awk -v on="$on" -v off="$off" -v ron="$ron" -v roff="$roff" -v n="$ENTRIES" 'BEGIN {
    printf "  CPU time guard on / off: %.2fx (target <= 1.3x)\n", on / off
    printf "  extra peak memory: %d KiB, %.0f bytes per kept entry (target <= 200)\n",
        ron - roff, (ron - roff) * 1024 / n
}'
