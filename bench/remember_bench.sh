#!/usr/bin/env bash
# remember_bench.sh: what remembering the last run costs. The no-change run of
# kovrel-sync over the 100,000-file tree pair, with the item's option bit 0x20000
# (remember the last run) and without, in turns; user+sys CPU time medians, their
# ratio, and the state database's size per recorded entry.
#
#   bench/remember_bench.sh [--scale S] [--runs N] [--work DIR] [--build-dir DIR] [--no-build]
#
# The tools and kovrel-sync come from the build directory (default build/bench of the
# repository, configured Release with -DKOVREL_BUILD_BENCH=ON unless --no-build).
set -euo pipefail
export LC_ALL=C

REPO=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
WORK=${KOVREL_BENCH_DIR:-/var/tmp/kovrel-bench}/remember
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
    -h | --help) sed -n '2,10p' "${BASH_SOURCE[0]}" | sed 's/^# \{0,1\}//'; exit 0 ;;
    *) echo "remember_bench.sh: unknown argument '$1'" >&2; exit 2 ;;
    esac
done
[[ $RUNS =~ ^[1-9][0-9]*$ ]] || { echo "remember_bench.sh: --runs must be a positive number" >&2; exit 2; }
note() { printf '%s\n' "$*" >&2; }
die() { note "remember_bench.sh: $*"; exit 1; }

if [ $DO_BUILD = 1 ]; then
    mkdir -p "$BUILD"
    gen=(); command -v ninja >/dev/null && gen=(-G Ninja)
    cmake -S "$REPO" -B "$BUILD" "${gen[@]}" -DCMAKE_BUILD_TYPE=Release -DKOVREL_BUILD_BENCH=ON \
        -DKOVREL_BUILD_TESTS=OFF -DKOVREL_BUILD_GUI=OFF >"$BUILD/configure.log" 2>&1 ||
        die "configure failed (see $BUILD/configure.log)"
    cmake --build "$BUILD" -j2 --target treegen make_kvd kovrel-sync >"$BUILD/build.log" 2>&1 ||
        die "build failed (see $BUILD/build.log)"
fi
TREEGEN=$BUILD/bench/treegen
MAKEKVD=$BUILD/bench/make_kvd
# The two tools need nothing from the project: a build directory configured
# without the benchmarks gets them compiled directly.
for t in treegen make_kvd; do
    if [ ! -x "$BUILD/bench/$t" ]; then
        mkdir -p "$BUILD/bench"
        ${CXX:-c++} -std=c++20 -O2 -o "$BUILD/bench/$t" "$REPO/bench/$t.cpp" || die "cannot build $t"
    fi
done
KSYNC=$BUILD/src/cli/kovrel-sync
for t in "$TREEGEN" "$MAKEKVD" "$KSYNC"; do [ -x "$t" ] || die "$t is missing"; done
[ -x /usr/bin/time ] || die "/usr/bin/time is needed (apt-get install time)"

DATA=$WORK/scale-$SCALE
if [ ! -d "$DATA/side2/tree" ]; then
    rm -rf "$DATA"
    mkdir -p "$DATA/side1" "$DATA/side2"
    note "Generating the tree pair in $DATA ..."
    "$TREEGEN" --scale "$SCALE" "$DATA/side1" tree >/dev/null
    cp -a "$DATA/side1/tree" "$DATA/side2/tree"
fi
T1=$DATA/side1/tree
T2=$DATA/side2/tree
"$MAKEKVD" "$DATA/plain.kvd" "$T1" "$T2"
"$MAKEKVD" --option 0x20000 "$DATA/remember.kvd" "$T1" "$T2"
STATE=$DATA/state
rm -rf "$STATE"
export XDG_STATE_HOME=$STATE

run() { # DOC -> prints user+sys seconds
    local out
    out=$(mktemp)
    /usr/bin/time -f '%U %S' -o "$out" "$KSYNC" --trash=no "$1" >/dev/null 2>&1 ||
        die "kovrel-sync $1 failed"
    awk '{ printf "%.3f\n", $1 + $2 }' "$out"
    rm -f "$out"
}
median() { sort -n | awk '{ a[NR] = $1 } END { print (NR % 2) ? a[(NR + 1) / 2] : (a[NR / 2] + a[NR / 2 + 1]) / 2 }'; }

note "First run with the bit (records the state) ..."
run "$DATA/remember.kvd" >/dev/null
run "$DATA/plain.kvd" >/dev/null
PLAIN=(); REM=()
for ((i = 0; i < RUNS; ++i)); do
    if ((i % 2 == 0)); then
        PLAIN+=("$(run "$DATA/plain.kvd")"); REM+=("$(run "$DATA/remember.kvd")")
    else
        REM+=("$(run "$DATA/remember.kvd")"); PLAIN+=("$(run "$DATA/plain.kvd")")
    fi
done
MP=$(printf '%s\n' "${PLAIN[@]}" | median)
MR=$(printf '%s\n' "${REM[@]}" | median)
DB=$STATE/kovrel-duplicator/state.db
[ -f "$DB" ] || die "no state database at $DB"
BYTES=$(stat -c %s "$DB")
if command -v sqlite3 >/dev/null; then
    ENTRIES=$(sqlite3 "$DB" "SELECT count(*) FROM entries" 2>/dev/null || echo 0)
else
    ENTRIES=0
fi
FILES=$(find "$T1" -mindepth 1 | wc -l)
echo "no-change run, user+sys CPU seconds, median of $RUNS: without $MP, with the bit $MR"
awk -v a="$MP" -v b="$MR" 'BEGIN { printf "ratio with/without: %.2f (target <= 1.3)\n", (a > 0 ? b / a : 0) }'
echo "state database: $BYTES bytes for $FILES entries below the tops ($ENTRIES rows recorded)"
awk -v b="$BYTES" -v n="$FILES" 'BEGIN { printf "bytes per entry: %.1f (target about 100 or less)\n", b / n }'
