#!/usr/bin/env bash
# sync_bench.sh: speed and memory of kovrel-sync against a bare tree walk, rsync, unison and
# cp, side by side in one run. See bench/README.md for what each scenario measures.
#
#   bench/sync_bench.sh [--scale S] [--runs N] [--warmup N] [--work DIR] [--only 1,2,3,4]
#                       [--build-dir DIR] [--no-build] [--regen] [--clean] [--prepare-only]
#
# Contenders of a scenario take turns within every repetition (the starting one rotates),
# so a slow phase of the machine hits them all alike. Every run is checked: a non-zero
# exit status, or a first run whose result is wrong, takes the contender out of the
# scenario instead of timing a broken run as a fast one.
set -euo pipefail
export LC_ALL=C

REPO=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
WORK=${KOVREL_BENCH_DIR:-/var/tmp/kovrel-bench}
SCALE=1
RUNS=5
WARMUP=1
ONLY=1,2,3,4
BUILD=$REPO/build/bench
DO_BUILD=1
REGEN=0
CLEAN=0
PREPARE_ONLY=0

usage() {
    sed -n '2,6p' "${BASH_SOURCE[0]}" | sed 's/^# \{0,1\}//'
    cat <<'EOF'

  --scale S      data set size (1 = 100,000-file tree, 20,000-file flat dir, 4 x 256 MiB);
                 0.05 for a quick check of the harness
  --runs N       timed repetitions per contender (default 5); medians are reported
  --warmup N     untimed runs per contender before timing (default 1, at least 1: the
                 first run is checked for a correct result and gives the peak RSS)
  --work DIR     work directory (default /var/tmp/kovrel-bench, or $KOVREL_BENCH_DIR);
                 data sets are kept there per scale and reused by later runs
  --only LIST    scenarios to run, e.g. 1,3 (default 1,2,3,4)
  --build-dir D  build directory (default build/bench of the repository)
  --no-build     use the binaries already in the build directory
  --regen        generate the data sets again
  --clean        delete the data sets of this scale when done
  --prepare-only build, generate the data sets and probe kovrel-sync, then stop
EOF
}

while [ $# -gt 0 ]; do
    case $1 in
    --scale) SCALE=$2; shift 2 ;;
    --runs) RUNS=$2; shift 2 ;;
    --warmup) WARMUP=$2; shift 2 ;;
    --work) WORK=$2; shift 2 ;;
    --only) ONLY=$2; shift 2 ;;
    --build-dir) BUILD=$2; shift 2 ;;
    --no-build) DO_BUILD=0; shift ;;
    --regen) REGEN=1; shift ;;
    --clean) CLEAN=1; shift ;;
    --prepare-only) PREPARE_ONLY=1; shift ;;
    -h | --help) usage; exit 0 ;;
    *) echo "sync_bench.sh: unknown argument '$1'" >&2; usage >&2; exit 2 ;;
    esac
done
[[ $RUNS =~ ^[1-9][0-9]*$ ]] || { echo "sync_bench.sh: --runs must be a positive number" >&2; exit 2; }
[[ $WARMUP =~ ^[0-9]+$ ]] || { echo "sync_bench.sh: --warmup must be a number" >&2; exit 2; }
[ "$WARMUP" -ge 1 ] || WARMUP=1
[[ $SCALE =~ ^[0-9]*\.?[0-9]+$ ]] || { echo "sync_bench.sh: bad --scale" >&2; exit 2; }
want() { [[ ",$ONLY," == *",$1,"* ]]; }

note() { printf '%s\n' "$*" >&2; }
die() { note "sync_bench.sh: $*"; exit 1; }

# ---------------------------------------------------------------- tools
install_missing() {
    local missing=() p
    for p in "$@"; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" ||
            missing+=("$p")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    note "Installing: ${missing[*]}"
    local sudo=""
    [ "$(id -u)" -ne 0 ] && sudo=sudo
    export DEBIAN_FRONTEND=noninteractive
    $sudo apt-get update -qq && $sudo apt-get install -y -qq --no-install-recommends \
        "${missing[@]}" >/dev/null || note "warning: could not install ${missing[*]}"
}
install_missing rsync unison time
HAVE_RSYNC=0; command -v rsync >/dev/null && HAVE_RSYNC=1
HAVE_UNISON=0; command -v unison >/dev/null && HAVE_UNISON=1
# /usr/bin/time around every contender alike: it gives each run's peak resident size.
TIMECMD=()
[ -x /usr/bin/time ] && TIMECMD=(/usr/bin/time -f '%M' -o)

# ---------------------------------------------------------------- build
TOOLS=$BUILD/bench
KSYNC=$BUILD/src/cli/kovrel-sync
if [ $DO_BUILD = 1 ]; then
    mkdir -p "$BUILD"
    gen=(); command -v ninja >/dev/null && gen=(-G Ninja)
    note "Building in $BUILD (Release) ..."
    if cmake -S "$REPO" -B "$BUILD" "${gen[@]}" -DCMAKE_BUILD_TYPE=Release \
        -DKOVREL_BUILD_BENCH=ON -DKOVREL_BUILD_TESTS=OFF >"$BUILD/configure.log" 2>&1 &&
        cmake --build "$BUILD" -j2 --target treegen floor_walk make_kvd >"$BUILD/tools.log" 2>&1; then
        :
    else
        # The tools need nothing from the project; build them directly when the project
        # itself does not configure at the moment.
        note "warning: CMake build of the bench tools failed (see $BUILD/*.log); compiling them directly"
        mkdir -p "$TOOLS"
        for t in treegen floor_walk make_kvd; do
            ${CXX:-c++} -std=c++20 -O2 -o "$TOOLS/$t" "$REPO/bench/$t.cpp" || die "cannot build $t"
        done
    fi
    if ! cmake --build "$BUILD" -j2 --target kovrel-sync >"$BUILD/kovrel-sync.log" 2>&1; then
        note "warning: kovrel-sync did not build (see $BUILD/kovrel-sync.log)"
        rm -f "$KSYNC"
    fi
fi
for t in treegen floor_walk make_kvd; do
    [ -x "$TOOLS/$t" ] || die "$TOOLS/$t is missing (build without --no-build)"
done
TREEGEN=$TOOLS/treegen
FLOOR=$TOOLS/floor_walk
MAKEKVD=$TOOLS/make_kvd

# ---------------------------------------------------------------- work directory
mkdir -p "$WORK"
WORK=$(cd "$WORK" && pwd)
DATA=$WORK/data-$SCALE
RUNDIR=$WORK/run
TRASH=$WORK/trash
LOGS=$WORK/logs
DOCS=$WORK/docs
export UNISON=$WORK/unison
# kovrel-sync reads the program-wide settings from here: an empty profile means no log
# file, so the runs measure the sync and nothing a user's own settings would add.
export XDG_CONFIG_HOME=$WORK/config
mkdir -p "$RUNDIR" "$TRASH" "$LOGS" "$DOCS" "$XDG_CONFIG_HOME"
STAMP=$(date +%Y%m%d-%H%M%S)
RESULTS=$WORK/results-$STAMP-scale$SCALE.txt
RAW=$WORK/results-$STAMP-scale$SCALE.tsv
ERRLOG=$LOGS/stderr-$STAMP.log
: >"$ERRLOG"

cleanup() {
    # Copies moved aside during timing are deleted only now, after every timed run.
    if [ -d "$TRASH" ] && [ -n "$(ls -A "$TRASH" 2>/dev/null)" ]; then
        note "Deleting the copies moved aside ($TRASH) ..."
        rm -rf "${TRASH:?}"/* || true
    fi
    rm -rf "${RUNDIR:?}"/* 2>/dev/null || true
    if [ $CLEAN = 1 ]; then rm -rf "${DATA:?}" "$UNISON" || true; fi
}
trap cleanup EXIT
trap 'exit 130' INT TERM

out() { printf '%s\n' "$*" | tee -a "$RESULTS"; }

PLAN=$("$TREEGEN" --plan --scale "$SCALE" "$DATA")
plan_field() { # KIND FIELD
    awk -v k="$1" -v f="$2" '$1 == k { for (i = 3; i < NF; i += 2) if ($i == f) print $(i + 1) }' \
        <<<"$PLAN"
}

if [ $REGEN = 1 ] || [ ! -f "$DATA/.complete" ] || [ "$(cat "$DATA/.complete")" != "$PLAN" ]; then
    # Room for: the data and the side-2 copies, every first-copy run of the tree (kept until
    # the end, see cleanup), and the large files twice.
    tree_disk=$(plan_field tree disk_bytes)
    flat_disk=$(plan_field flat disk_bytes)
    large_disk=$(plan_field large disk_bytes)
    need=$(((tree_disk * (2 + 2 * (WARMUP + RUNS)) + flat_disk * 2 + large_disk * 2) * 11 / 10))
else
    tree_disk=$(plan_field tree disk_bytes)
    large_disk=$(plan_field large disk_bytes)
    need=$(((tree_disk * 2 * (WARMUP + RUNS) + large_disk) * 11 / 10))
fi
avail=$(($(df -Pk "$WORK" | awk 'NR == 2 { print $4 }') * 1024))
note "Disk: about $((need >> 20)) MiB needed in $WORK, $((avail >> 20)) MiB free."
[ "$avail" -ge "$need" ] || die "not enough free space in $WORK (use --work, --runs or --scale)"

if [ $REGEN = 1 ] || [ ! -f "$DATA/.complete" ] || [ "$(cat "$DATA/.complete")" != "$PLAN" ]; then
    rm -rf "$DATA"
    note "Generating the data sets in $DATA ..."
    t0=$EPOCHREALTIME
    "$TREEGEN" --scale "$SCALE" "$DATA" >/dev/null
    cp -a "$DATA/tree" "$DATA/tree.2"
    cp -a "$DATA/flat" "$DATA/flat.2"
    sync
    printf '%s\n' "$PLAN" >"$DATA/.complete"
    note "  done in $(((${EPOCHREALTIME/./} - ${t0/./}) / 1000000)) s"
fi

# ---------------------------------------------------------------- kovrel-sync probe
# kovrel-sync is timed only once it really runs a document: a tiny pair must be copied
# exactly, and a second run must find nothing to do, both with exit status 0.
KOVREL_OK=0
KOVREL_WHY="not built"
probe_kovrel() {
    [ -x "$KSYNC" ] || return 1
    local p=$RUNDIR/probe rc=0
    rm -rf "$p" && mkdir -p "$p/a/sub" "$p/b"
    printf 'probe\n' >"$p/a/sub/f.txt" && printf 'two\n' >"$p/a/g.txt"
    "$MAKEKVD" "$p/probe.kvd" "$p/a" "$p/b"
    "$KSYNC" "$p/probe.kvd" </dev/null >"$p/out1" 2>"$p/err1" || rc=$?
    if [ $rc -ne 0 ]; then
        KOVREL_WHY="cannot run a document yet (exit status $rc: $(head -c 200 "$p/err1" | head -1))"
        return 1
    fi
    if ! diff -r "$p/a" "$p/b" >/dev/null 2>&1; then
        KOVREL_WHY="ran the probe document but the copy differs"
        return 1
    fi
    "$KSYNC" "$p/probe.kvd" </dev/null >"$p/out2" 2>"$p/err2" || rc=$?
    if [ $rc -ne 0 ]; then
        KOVREL_WHY="second run of the probe document failed (exit status $rc)"
        return 1
    fi
    rm -rf "$p"
    return 0
}
probe_kovrel && KOVREL_OK=1
if [ $PREPARE_ONLY = 1 ]; then
    note "Prepared: data sets in $DATA"
    [ $KOVREL_OK = 1 ] && note "kovrel-sync runs documents." || note "kovrel-sync: $KOVREL_WHY"
    exit 0
fi

# ---------------------------------------------------------------- timing machinery
declare -A CMD_FN PREP_FN CHECK_FN TIMES RSS FAILED
CONTENDERS=()

# contender LABEL FUNCTION [PREPARE [CHECK]]: the function runs the command through
# "${WRAP[@]}" so it can be measured; PREPARE runs untimed before each run; CHECK runs
# once, after the contender's first run, and fails when the result is wrong.
contender() {
    CONTENDERS+=("$1")
    CMD_FN[$1]=$2
    PREP_FN[$1]=${3:-}
    CHECK_FN[$1]=${4:-}
    TIMES[$1]=""
    RSS[$1]=0
    FAILED[$1]=""
}

# run_once LABEL [OUT]: runs one contender once and sets LAST_US. With OUT, the command's
# standard output goes to that file and the run goes through /usr/bin/time for its peak
# resident size (LAST_RSS_KB); that is the untimed first run, so the timed runs carry no
# extra process.
run_once() {
    local label=$1 out=${2:-} rc=0 t0 t1 rssfile=$LOGS/rss.tmp
    [ -n "${PREP_FN[$label]}" ] && ${PREP_FN[$label]}
    WRAP=()
    rm -f "$rssfile"
    if [ -n "$out" ] && [ ${#TIMECMD[@]} -gt 0 ]; then WRAP=("${TIMECMD[@]}" "$rssfile"); fi
    [ -n "$out" ] || out=/dev/null
    echo "--- $label" >>"$ERRLOG"
    t0=$EPOCHREALTIME
    ${CMD_FN[$label]} >"$out" 2>>"$ERRLOG" </dev/null || rc=$?
    t1=$EPOCHREALTIME
    LAST_US=$((${t1/./} - ${t0/./}))
    LAST_RSS_KB=0
    [ -s "$rssfile" ] && LAST_RSS_KB=$(tail -n 1 "$rssfile")
    [[ $LAST_RSS_KB =~ ^[0-9]+$ ]] || LAST_RSS_KB=0
    return $rc
}

fail_contender() {
    FAILED[$1]=$2
    note "  $1: $2"
}

# measure SCENARIO: warm-up (at least the checked first run), then RUNS interleaved
# repetitions of every contender.
measure() {
    local sc=$1 n=${#CONTENDERS[@]} r i k label rc first
    declare -A done_first=()
    for ((r = -WARMUP; r < RUNS; r++)); do
        for ((k = 0; k < n; k++)); do
            i=$(((k + (r < 0 ? 0 : r)) % n))
            label=${CONTENDERS[$i]}
            [ -n "${FAILED[$label]}" ] && continue
            first=0
            [ -z "${done_first[$label]:-}" ] && first=1
            rc=0
            if [ $first = 1 ]; then
                run_once "$label" "$LOGS/s$sc-${label//[^A-Za-z0-9]/_}.out" || rc=$?
            else
                run_once "$label" || rc=$?
            fi
            if [ $rc -ne 0 ]; then
                fail_contender "$label" "FAILED (exit status $rc, see $ERRLOG)"
                continue
            fi
            if [ $first = 1 ]; then
                done_first[$label]=1
                if [ -n "${CHECK_FN[$label]}" ] && ! ${CHECK_FN[$label]}; then
                    fail_contender "$label" "FAILED (wrong result, see $ERRLOG)"
                    continue
                fi
            fi
            [ "$LAST_RSS_KB" -gt "${RSS[$label]}" ] && RSS[$label]=$LAST_RSS_KB
            if [ $r -ge 0 ]; then
                TIMES[$label]+="$LAST_US "
                printf '%s\t%s\t%d\t%d\t%d\n' "$sc" "$label" "$r" "$LAST_US" "$LAST_RSS_KB" >>"$RAW"
            fi
        done
    done
}

median_us() {
    [ -n "${1// /}" ] || return 0
    printf '%s\n' $1 | sort -n |
    awk '{ v[NR] = $1 } END { if (NR == 0) exit; print (NR % 2) ? v[(NR + 1) / 2] : int((v[NR / 2] + v[NR / 2 + 1]) / 2) }'; }
range_us() {
    [ -n "${1// /}" ] || return 0
    printf '%s\n' $1 | sort -n | awk 'NR == 1 { lo = $1 } { hi = $1 } END { printf "%.3f-%.3f", lo / 1e6, hi / 1e6 }'; }

# report TITLE BASELINE [LABEL TARGET]...: medians, ratios against BASELINE, peak RSS, and
# the verdict for labels with a target ratio.
report() {
    local base=$2 label med bmed ratio target verdict
    shift 2
    declare -A targets=()
    while [ $# -ge 2 ]; do targets[$1]=$2; shift 2; done
    bmed=$(median_us "${TIMES[$base]}")
    out "$(printf '  %-34s %9s %7s %9s  %s' contender "median s" "x $base" "peak RSS" "(min-max s; target)")"
    for label in "${CONTENDERS[@]}"; do
        if [ -n "${FAILED[$label]}" ]; then
            out "$(printf '  %-34s %s' "$label" "${FAILED[$label]}")"
            continue
        fi
        med=$(median_us "${TIMES[$label]}")
        ratio="-"
        [ -n "$bmed" ] && [ "$bmed" -gt 0 ] && ratio=$(awk -v a="$med" -v b="$bmed" 'BEGIN { printf "%.2f", a / b }')
        verdict=""
        target=${targets[$label]:-}
        if [ -n "$target" ] && [ "$ratio" != "-" ]; then
            if awk -v r="$ratio" -v t="$target" 'BEGIN { exit !(r <= t) }'; then
                verdict="; target <= $target: met"
            else
                verdict="; target <= $target: MISSED"
            fi
        fi
        out "$(printf '  %-34s %9.3f %7s %7.1f MiB  (%s%s)' "$label" \
            "$(awk -v m="$med" 'BEGIN { print m / 1e6 }')" "$ratio" \
            "$(awk -v k="${RSS[$label]}" 'BEGIN { print k / 1024 }')" "$(range_us "${TIMES[$label]}")" "$verdict")"
    done
}

skipped_row() { out "$(printf '  %-34s skipped: %s' "$1" "$KOVREL_WHY")"; }

reset_scenario() {
    CONTENDERS=()
    CMD_FN=(); PREP_FN=(); CHECK_FN=(); TIMES=(); RSS=(); FAILED=()
}

# Two trees equal in everything rsync looks at (names, types, sizes, times, modes) below
# their tops. The top directories themselves are the item's own paths: a sync run has no
# reason to give side 2's top the time of side 1's, so their attributes are not compared.
same_tree() {
    [ "$HAVE_RSYNC" = 1 ] || { diff -rq "$1" "$2" >/dev/null; return; }
    local diffs
    diffs=$(rsync -a --delete --dry-run --itemize-changes "$1/" "$2/" 2>>"$ERRLOG") || return 1
    diffs=$(grep -v '^\.d[^ ]* \./$' <<<"$diffs" || true)
    [ -z "$diffs" ] || { printf 'differences %s vs %s:\n%s\n' "$1" "$2" "$(head -20 <<<"$diffs")" >>"$ERRLOG"; return 1; }
}
# ... and equal in content too.
same_content() { diff -rq --no-dereference "$1" "$2" >>"$ERRLOG" 2>&1 && same_tree "$1" "$2"; }

log_lines() { # FILE: number of log lines kovrel-sync wrote on its first run
    [ -f "$1" ] && wc -l <"$1" || echo "?"
}

# ---------------------------------------------------------------- header
T1=$DATA/tree T2=$DATA/tree.2 F1=$DATA/flat F2=$DATA/flat.2 L1=$DATA/large
TARGET=$RUNDIR/target
: >"$RAW"
printf 'scenario\tcontender\trun\tmicroseconds\tpeak_rss_kib\n' >>"$RAW"
out "kovrel-sync benchmark $(date '+%Y-%m-%d %H:%M:%S')"
out "  commit $(git -C "$REPO" rev-parse --short HEAD 2>/dev/null || echo '?')$(git -C "$REPO" diff --quiet HEAD -- src 2>/dev/null || echo ' (src has uncommitted changes)')"
out "  machine: $(nproc) CPUs, $(awk '/MemTotal/ { printf "%.1f GiB", $2 / 1048576 }' /proc/meminfo), kernel $(uname -r), $(findmnt -no FSTYPE -T "$WORK" 2>/dev/null || echo '?') in $WORK"
out "  scale $SCALE, $RUNS timed runs per contender after $WARMUP warm-up run(s), page cache warm; times are medians"
out "  tree: $(plan_field tree files) files, $(plan_field tree dirs) directories (depth $(plan_field tree depth), widest $(plan_field tree widest) entries), $(($(plan_field tree bytes) >> 20)) MiB"
out "  flat: $(plan_field flat files) files, $(($(plan_field flat bytes) >> 20)) MiB; large: $(plan_field large files) x $((($(plan_field large bytes) / 4) >> 20)) MiB"
if [ $KOVREL_OK = 1 ]; then
    out "  kovrel-sync: $KSYNC"
else
    out "  kovrel-sync: skipped, $KOVREL_WHY"
fi
[ $HAVE_RSYNC = 1 ] || out "  rsync: not installed, skipped"
[ $HAVE_UNISON = 1 ] || out "  unison: not installed, skipped"
out ""

DOC_TREE=$DOCS/tree.kvd DOC_FLAT=$DOCS/flat.kvd DOC_COPY=$DOCS/copy-tree.kvd
DOC_LARGE=$DOCS/copy-large.kvd DOC_EMPTY=$DOCS/empty.kvd
"$MAKEKVD" "$DOC_TREE" "$T1" "$T2"
"$MAKEKVD" "$DOC_FLAT" "$F1" "$F2"
"$MAKEKVD" "$DOC_COPY" "$T1" "$TARGET"
"$MAKEKVD" "$DOC_LARGE" "$L1" "$TARGET"
"$MAKEKVD" "$DOC_EMPTY"

c_floor_tree() { "${WRAP[@]}" "$FLOOR" "$T1" "$T2"; }
c_kovrel_tree() { "${WRAP[@]}" "$KSYNC" "$DOC_TREE"; }
c_rsync_tree() { "${WRAP[@]}" rsync -a --delete --dry-run "$T1/" "$T2/"; }
UNISON_OPTS=(-ui text -batch -auto -times -silent -log=false -fastcheck true)
c_unison_tree() { "${WRAP[@]}" unison "${UNISON_OPTS[@]}" "$T1" "$T2"; }
c_floor_flat() { "${WRAP[@]}" "$FLOOR" "$F1" "$F2"; }
c_kovrel_flat() { "${WRAP[@]}" "$KSYNC" "$DOC_FLAT"; }
c_kovrel_empty() { "${WRAP[@]}" "$KSYNC" "$DOC_EMPTY"; }
c_cp_tree() { "${WRAP[@]}" cp -a "$T1/." "$TARGET/"; }
c_kovrel_copy() { "${WRAP[@]}" "$KSYNC" "$DOC_COPY"; }
c_kovrel_copy_dry() { "${WRAP[@]}" "$KSYNC" --dry-run "$DOC_COPY"; }
c_cp_large() { "${WRAP[@]}" cp -a "$L1/." "$TARGET/"; }
c_kovrel_large() { "${WRAP[@]}" "$KSYNC" "$DOC_LARGE"; }

# The floor must see both whole trees: 2 x (files + directories) entries.
check_floor() { # EXPECTED_ENTRIES OUTPUT_FILE
    local got
    got=$(awk '{ print $2 }' "$2")
    [ "$got" = "$1" ] || { echo "floor_walk counted $got entries, expected $1" >>"$ERRLOG"; return 1; }
}
check_floor_tree() { check_floor $((2 * ($(plan_field tree files) + $(plan_field tree dirs)))) "$LOGS/s1-floor_walk.out"; }
check_floor_flat() { check_floor $((2 * $(plan_field flat files))) "$LOGS/s2-floor_walk.out"; }
check_noop_tree() { same_tree "$T1" "$T2"; }
check_noop_flat() { same_tree "$F1" "$F2"; }

# A fresh, empty target for each copy run. The previous copy of the tree is moved aside,
# not deleted: creating files right after a mass delete is several times slower on ext4,
# which would time the file system's clean-up instead of the copy. The sync makes every run
# start with no dirty pages of the run before.
N_ASIDE=0
prep_target_tree() {
    if [ -e "$TARGET" ]; then
        N_ASIDE=$((N_ASIDE + 1))
        mv "$TARGET" "$TRASH/tree-$N_ASIDE"
    fi
    mkdir "$TARGET"
    sync
}
# Four large files are no mass delete: removing the previous copy keeps the disk need at
# one extra copy instead of one per run.
prep_target_large() {
    rm -rf "$TARGET"
    mkdir "$TARGET"
    sync
}
check_copy_tree() { same_content "$T1" "$TARGET"; }
check_dry_tree() { [ -z "$(ls -A "$TARGET")" ] || { echo "--dry-run changed $TARGET" >>"$ERRLOG"; return 1; }; }
check_copy_large() { same_content "$L1" "$TARGET"; }

# ---------------------------------------------------------------- scenario 1
if want 1; then
    out "1. Nothing to do: two identical trees of $(plan_field tree files) files"
    same_tree "$T1" "$T2" || {
        note "  side 2 differs from side 1 (an earlier run changed it?); copying it again"
        rm -rf "$T2" && cp -a "$T1" "$T2" && sync
    }
    reset_scenario
    contender floor_walk c_floor_tree "" check_floor_tree
    [ $KOVREL_OK = 1 ] && contender kovrel-sync c_kovrel_tree "" check_noop_tree
    [ $HAVE_RSYNC = 1 ] && contender "rsync -a --delete --dry-run" c_rsync_tree
    if [ $HAVE_UNISON = 1 ]; then
        # Unison's first run fingerprints every file to build its archive; only the runs
        # after that are the no-op syncs it is timed on.
        rm -rf "$UNISON"
        note "  building unison's archive ..."
        unison "${UNISON_OPTS[@]}" "$T1" "$T2" </dev/null >/dev/null 2>>"$ERRLOG" ||
            note "  warning: unison's first run failed (see $ERRLOG)"
        contender unison c_unison_tree "" check_noop_tree
    fi
    measure 1
    report "" floor_walk kovrel-sync 1.2
    [ $KOVREL_OK = 1 ] || skipped_row kovrel-sync
    [ $KOVREL_OK = 1 ] && [ -z "${FAILED[kovrel-sync]}" ] &&
        out "  kovrel-sync wrote $(log_lines "$LOGS/s1-kovrel_sync.out") log lines on stdout (its first run)"
    out ""
fi

# ---------------------------------------------------------------- scenario 2
if want 2; then
    out "2. Nothing to do: a flat directory of $(plan_field flat files) files on both sides"
    same_tree "$F1" "$F2" || { rm -rf "$F2" && cp -a "$F1" "$F2" && sync; }
    reset_scenario
    contender floor_walk c_floor_flat "" check_floor_flat
    if [ $KOVREL_OK = 1 ]; then
        contender kovrel-sync c_kovrel_flat "" check_noop_flat
        # The program's start alone (an empty document): part of every row above, and the
        # part that matters most on a directory this small.
        contender "kovrel-sync, empty document" c_kovrel_empty
    fi
    measure 2
    report "" floor_walk kovrel-sync 1.5
    [ $KOVREL_OK = 1 ] || skipped_row kovrel-sync
    out ""
fi

# ---------------------------------------------------------------- scenario 3
if want 3; then
    out "3. First copy of the $(plan_field tree files)-file tree into an empty side 2"
    # Read the source once so every contender copies from the page cache.
    find "$T1" -type f -exec cat {} + >/dev/null
    reset_scenario
    contender "cp -a" c_cp_tree prep_target_tree check_copy_tree
    if [ $KOVREL_OK = 1 ]; then
        contender kovrel-sync c_kovrel_copy prep_target_tree check_copy_tree
        contender "kovrel-sync --dry-run" c_kovrel_copy_dry prep_target_tree check_dry_tree
    fi
    measure 3
    report "" "cp -a" kovrel-sync 1.1
    [ $KOVREL_OK = 1 ] || skipped_row kovrel-sync
    out ""
    rm -rf "$TARGET"
fi

# ---------------------------------------------------------------- scenario 4
if want 4; then
    out "4. Copy of $(plan_field large files) large files ($(($(plan_field large bytes) >> 20)) MiB) into an empty side 2"
    cat "$L1"/* >/dev/null
    reset_scenario
    contender "cp -a" c_cp_large prep_target_large check_copy_large
    [ $KOVREL_OK = 1 ] && contender kovrel-sync c_kovrel_large prep_target_large check_copy_large
    measure 4
    # "About the speed of cp": allow the noise of a copy this short.
    report "" "cp -a" kovrel-sync 1.1
    [ $KOVREL_OK = 1 ] || skipped_row kovrel-sync
    out ""
    rm -rf "$TARGET"
fi

out "Raw times: $RAW"
out "Results:   $RESULTS"
