#!/usr/bin/env bash
# Scaling of `ktvec batch` with its worker threads: N synthetic A4 300-dpi
# drawings (ktvec_drawgen --size a4 --seed 1..N) vectorized with --jobs 1,
# 2, ... up to the processor cores; the best of R runs per worker count,
# in pages per second and as a ratio to one worker.  The goal is J workers
# giving J times the pages per second of one, within 20 %.
#
# usage: bench/batchbench.sh [-n N] [-r R] [-c COMMAND] [-j MAXJOBS] [-p]
#   -n N        drawings (default 8; a multiple of every worker count keeps
#               the workers equally busy to the end)
#   -r R        runs per worker count, the fastest one counts (default 5)
#   -c COMMAND  centerline, outline or outline-fast (default centerline)
#   -j MAXJOBS  largest worker count (default: the number of cores)
#   -p          run J workers on the first J cores only (taskset): one worker
#               then has one core, although the filters of one image would
#               spread over row bands on every core otherwise
# Environment: BUILD (build folder, default build).  The machine's load
# average is printed before each run: other work on the cores shows there.
set -eu
cd "$(dirname "$0")/.."
BUILD=${BUILD:-build}
N=8 RUNS=5 COMMAND=centerline MAXJOBS=$(nproc) PIN=0
while getopts "n:r:c:j:p" opt; do
    case $opt in
    n) N=$OPTARG ;; r) RUNS=$OPTARG ;; c) COMMAND=$OPTARG ;; j) MAXJOBS=$OPTARG ;; p) PIN=1 ;;
    *) sed -n '8,17p' "$0"; exit 2 ;;
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

# Wall clock decides (pages per second); processor time per page shows
# whether the workers slow each other down (memory bandwidth, the filter's
# own row-band threads).  The machine's own scaling is measured beside each
# run: J copies of a fixed arithmetic loop at once against one copy, which
# would take the same time on J free cores.  "machine" is the speed-up that
# loop got; on a shared or virtual machine it can be well below J, and then
# no program reaches J either ("of machine" = ktvec's ratio / the loop's).
TIMEFORMAT='%R %U %S'
spin() { awk 'BEGIN { for (i = 0; i < 12000000; i++) s += i * 0.5 }'; }
spin_together() {
    local k
    for ((k = 0; k < $1; k++)); do spin & done
    wait
}
faster() { awk -v t="$1" -v b="$2" 'BEGIN { exit !(b == "" || t < b) }'; }

printf '%d A4 drawings, ktvec batch --command %s, best of %d runs, %d cores%s\n' "$N" "$COMMAND" "$RUNS" "$(nproc)" \
    "$( ((PIN)) && echo ', J workers pinned to J cores')"
printf '%5s %8s %9s %6s %7s %10s %8s %11s  %s\n' jobs seconds pages/s ratio goal "cpu s/page" machine "of machine" \
    "load average before"
base="" spin1=""
for ((j = 1; j <= MAXJOBS; j++)); do
    load=$(cut -d' ' -f1-3 /proc/loadavg)
    best="" cpu="" spinj=""
    pin=()
    ((PIN)) && pin=(taskset -c "0-$((j - 1))")
    for ((r = 1; r <= RUNS; r++)); do
        rm -rf "$work/out"
        { time "${pin[@]}" "$BUILD/ktvec" batch "$work/in/*.png" -o "$work/out" --command "$COMMAND" --jobs "$j" -q \
            2>"$work/log"; } 2>"$work/time" || { cat "$work/log" >&2; exit 1; }
        read -r wall user sys <"$work/time"
        if faster "$wall" "$best"; then
            best=$wall cpu=$(awk -v u="$user" -v s="$sys" -v n="$N" 'BEGIN { printf "%.3f", (u + s) / n }')
        fi
        { time "${pin[@]}" bash -c "$(declare -f spin spin_together); spin_together $j"; } 2>"$work/time"
        read -r wall user sys <"$work/time"
        faster "$wall" "$spinj" && spinj=$wall
    done
    rate=$(awk -v n="$N" -v t="$best" 'BEGIN { printf "%.2f", n / t }')
    [ -n "$base" ] || base=$rate spin1=$spinj
    ratio=$(awk -v r="$rate" -v b="$base" 'BEGIN { printf "%.2f", r / b }')
    verdict=$(awk -v x="$ratio" -v j="$j" 'BEGIN { print (x >= 0.8 * j) ? "met" : "missed" }')
    machine=$(awk -v j="$j" -v a="$spin1" -v b="$spinj" 'BEGIN { printf "%.2f", j * a / b }')
    share=$(awk -v x="$ratio" -v m="$machine" 'BEGIN { printf "%.2f", x / m }')
    printf '%5d %8.2f %9s %6s %7s %10s %8s %11s  %s\n' "$j" "$best" "$rate" "$ratio" "$verdict" "$cpu" "$machine" \
        "$share" "$load"
done
