#!/usr/bin/env bash
# Scaling of `ktvec batch` with its worker threads: N synthetic A4 300-dpi
# drawings (ktvec_drawgen --size a4 --seed 1..N) vectorized with --jobs 1,
# 2, ... up to the processor cores; the best of R runs per worker count,
# in pages per second and as a ratio to one worker.  The goal is J workers
# giving J times the pages per second of one, within 20 %.
#
# usage: bench/batchbench.sh [-n N] [-r R] [-c COMMAND] [-j MAXJOBS]
#   -n N        drawings (default 8; a multiple of every worker count keeps
#               the workers equally busy to the end)
#   -r R        runs per worker count, the fastest one counts (default 3)
#   -c COMMAND  centerline, outline or outline-fast (default centerline)
#   -j MAXJOBS  largest worker count (default: the number of cores)
# Environment: BUILD (build folder, default build).  The machine's load
# average is printed before each run: other work on the cores shows there.
set -eu
cd "$(dirname "$0")/.."
BUILD=${BUILD:-build}
N=8 RUNS=3 COMMAND=centerline MAXJOBS=$(nproc)
while getopts "n:r:c:j:" opt; do
    case $opt in
    n) N=$OPTARG ;; r) RUNS=$OPTARG ;; c) COMMAND=$OPTARG ;; j) MAXJOBS=$OPTARG ;;
    *) sed -n '8,14p' "$0"; exit 2 ;;
    esac
done
for exe in ktvec ktvec_drawgen; do
    [ -x "$BUILD/$exe" ] || { echo "missing $BUILD/$exe (cmake --build $BUILD --target ${exe/ktvec/ktvec_cli_program})" >&2; exit 1; }
done
work=$(mktemp -d "${TMPDIR:-/tmp}/ktvec-batchbench.XXXXXX")
trap 'rm -rf "$work"' EXIT
mkdir "$work/in"
for ((k = 1; k <= N; k++)); do
    "$BUILD/ktvec_drawgen" --size a4 --seed "$k" -o "$work/in/a4-$k.png" 2>>"$work/drawgen.log"
done

now() { date +%s.%N; }
printf '%d A4 drawings, ktvec batch --command %s, best of %d runs, %d cores\n' "$N" "$COMMAND" "$RUNS" "$(nproc)"
printf '%6s %10s %12s %8s %8s  %s\n' jobs seconds pages/s ratio goal "load average before the runs"
base=""
for ((j = 1; j <= MAXJOBS; j++)); do
    load=$(cut -d' ' -f1-3 /proc/loadavg)
    best=""
    for ((r = 1; r <= RUNS; r++)); do
        rm -rf "$work/out"
        t0=$(now)
        "$BUILD/ktvec" batch "$work/in/*.png" -o "$work/out" --command "$COMMAND" --jobs "$j" -q 2>"$work/log" ||
            { cat "$work/log" >&2; exit 1; }
        t1=$(now)
        best=$(awk -v a="$t0" -v b="$t1" -v best="$best" 'BEGIN { t = b - a; print (best == "" || t < best) ? t : best }')
    done
    rate=$(awk -v n="$N" -v t="$best" 'BEGIN { printf "%.2f", n / t }')
    [ -n "$base" ] || base=$rate
    ratio=$(awk -v r="$rate" -v b="$base" 'BEGIN { printf "%.2f", r / b }')
    verdict=$(awk -v x="$ratio" -v j="$j" 'BEGIN { print (x >= 0.8 * j) ? "met" : "missed" }')
    printf '%6d %10.2f %12s %8s %8s  %s\n' "$j" "$best" "$rate" "$ratio" "$verdict" "$load"
done
