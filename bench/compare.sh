#!/usr/bin/env bash
# Runs ktvec_bench and, in the same run and on the same synthetic drawings,
# the tools ktvec is measured against:
#   1. thinning of the A4 300-dpi drawing: ktvec's makethindata against
#      OpenCV's Zhang-Suen thinning (cv2.ximgproc.thinning), goal >= 100x;
#   2. the A0 400-dpi drawing to SVG as whole processes: `ktvec outline-fast`,
#      `ktvec outline` and `ktvec centerline` against `potrace -a 0 -b svg`
#      (goals: outline-fast >= 3x; centre lines end to end, sub-pixel stage
#      included, in at most half of potrace's time).
# A part whose tool is missing prints "skipped: reason" and the rest goes on.
#
# usage: bench/compare.sh [--quick] [ktvec_bench options...]
#   --quick   A4 only in the benchmark table (the comparisons still run)
# Environment: BUILD (build folder, default build), PYTHON (default /usr/bin/python3).
set -u
cd "$(dirname "$0")/.."
BUILD=${BUILD:-build}
PYTHON=${PYTHON:-/usr/bin/python3}

say() { printf '%s\n' "$*"; }
skipped() { say "skipped: $*"; }

# ---- tools ---------------------------------------------------------------------

have_opencv() { "$PYTHON" -c 'import cv2; cv2.ximgproc.thinning' >/dev/null 2>&1; }
have_potrace() { command -v potrace >/dev/null 2>&1; }

install_packages() {
    local wanted=() p
    have_opencv || wanted+=(python3-opencv python3-numpy)
    have_potrace || wanted+=(potrace)
    for p in cmake g++ make pkg-config libpng-dev; do
        dpkg -s "$p" >/dev/null 2>&1 || wanted+=("$p")
    done
    ((${#wanted[@]})) || return 0
    if [ "$(id -u)" != 0 ] || ! command -v apt-get >/dev/null 2>&1; then
        say "note: missing packages (${wanted[*]}) and no root apt-get to install them"
        return 0
    fi
    say "installing: ${wanted[*]}"
    export DEBIAN_FRONTEND=noninteractive
    apt-get update -qq >/dev/null 2>&1
    apt-get install -y -qq --no-install-recommends "${wanted[@]}" >/dev/null 2>&1 ||
        say "note: apt-get could not install all of: ${wanted[*]}"
}

build_programs() {
    if [ ! -x "$BUILD/ktvec_bench" ] || [ ! -x "$BUILD/ktvec_drawgen" ]; then
        cmake -S . -B "$BUILD" -DCMAKE_BUILD_TYPE=Release >/dev/null &&
            cmake --build "$BUILD" -j "$(nproc 2>/dev/null || echo 2)" --target ktvec_bench ktvec_drawgen >/dev/null
    fi
    if [ ! -x "$BUILD/ktvec" ] && [ -f tools/CMakeLists.txt ]; then
        cmake --build "$BUILD" -j "$(nproc 2>/dev/null || echo 2)" --target ktvec_cli_program >/dev/null 2>&1 || true
    fi
}

# "wall cpu" seconds of one whole process (cpu = user + system; its output
# discarded); fails when the process fails.
process_seconds() {
    local TIMEFORMAT="%R %U %S" times
    times=$( { time "$@" >/dev/null 2>&1; } 2>&1 ) || return 1
    awk '{ printf "%.3f %.3f\n", $1, $2 + $3 }' <<<"$times"
}

# The least wall and the least CPU seconds of `runs` runs of the same process.
best_process_seconds() {
    local runs=$1 wall="" cpu="" w c i
    shift
    for ((i = 0; i < runs; i++)); do
        read -r w c < <(process_seconds "$@") || return 1
        [ -n "$w" ] || return 1
        if [ -z "$wall" ] || awk -v s="$w" -v b="$wall" 'BEGIN { exit !(s < b) }'; then wall=$w; fi
        if [ -z "$cpu" ] || awk -v s="$c" -v b="$cpu" 'BEGIN { exit !(s < b) }'; then cpu=$c; fi
    done
    printf '%s %s\n' "$wall" "$cpu"
}

ratio() { awk -v a="$1" -v b="$2" 'BEGIN { if (b > 0) printf "%.1f", a / b; else print "n/a" }'; }

# ---- run -----------------------------------------------------------------------

install_packages
build_programs
if [ ! -x "$BUILD/ktvec_bench" ] || [ ! -x "$BUILD/ktvec_drawgen" ]; then
    skipped "ktvec_bench / ktvec_drawgen could not be built in $BUILD"
    exit 1
fi

tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

say "== ktvec_bench $* =="
"$BUILD/ktvec_bench" "$@"

say ""
say "== thinning: A4 300-dpi drawing, the same PBM for both =="
"$BUILD/ktvec_drawgen" --size a4 --seed 1 -o "$tmp/a4.pbm" 2>/dev/null
read -r ktvec_ms ktvec_cpu < <("$BUILD/ktvec_bench" --input "$tmp/a4.pbm" --only thinning --repeat 7 --tsv --no-fork |
    awk -F'\t' '$2 == "thinning" { print $4, $5 }')
if [ -z "$ktvec_ms" ]; then
    skipped "ktvec_bench did not report a thinning time"
elif ! have_opencv; then
    say "ktvec makethindata:               $(printf '%10.2f' "$ktvec_ms") ms"
    skipped "OpenCV with ximgproc is not available to $PYTHON (Debian package python3-opencv)"
else
    read -r cv_ms cv_cpu < <("$PYTHON" - "$tmp/a4.pbm" <<'EOF'
import sys, time
import cv2
img = cv2.imread(sys.argv[1], cv2.IMREAD_GRAYSCALE)
ink = ((img == 0) * 255).astype("uint8")          # OpenCV thins the white (255) shapes
wall = cpu = None
for _ in range(3):
    w, c = time.perf_counter(), time.process_time()
    cv2.ximgproc.thinning(ink, thinningType=cv2.ximgproc.THINNING_ZHANGSUEN)
    w, c = time.perf_counter() - w, time.process_time() - c
    wall = w if wall is None else min(wall, w)
    cpu = c if cpu is None else min(cpu, c)
print("%.2f %.2f" % (wall * 1000, cpu * 1000))
EOF
)
    if [ -z "$cv_ms" ]; then
        skipped "the OpenCV thinning failed"
    else
        say "                                    wall ms      CPU ms"
        say "ktvec makethindata (best of 7):  $(printf '%10.2f  %10.2f' "$ktvec_ms" "$ktvec_cpu")"
        say "OpenCV Zhang-Suen (best of 3):   $(printf '%10.2f  %10.2f' "$cv_ms" "$cv_cpu")"
        say "ratio: ktvec is $(ratio "$cv_ms" "$ktvec_ms")x faster by the wall clock, $(ratio "$cv_cpu" "$ktvec_cpu")x by CPU time (goal >= 100x)"
    fi
fi

say ""
say "== whole process: A0 400-dpi drawing (PBM) to SVG =="
# One line per program, best of 2 by wall clock and by CPU time; each ktvec
# command against potrace on the same file.
potrace_s="" potrace_cpu=""
process_line() {
    local label=$1 s cpu
    shift
    read -r s cpu < <(best_process_seconds 2 "$@") || true
    if [ -z "${s:-}" ]; then
        say "$(printf '%-32s' "$label") failed"
        return 1
    fi
    say "$(printf '%-32s %9.2f  %9.2f' "$label" "$s" "$cpu")    $(du -k "$tmp/out.svg" | cut -f1) KB"
    line_s=$s line_cpu=$cpu
}
compare_with_potrace() {
    local cmd=$1 goal=$2
    if process_line "ktvec $cmd (best of 2):" "$BUILD/ktvec" "$cmd" "$tmp/a0.pbm" -o "$tmp/out.svg" --quiet; then
        say "   ktvec $cmd is $(ratio "$potrace_s" "$line_s")x as fast as potrace by the wall clock, $(ratio "$potrace_cpu" "$line_cpu")x by CPU time ($goal)"
    fi
}
whole_processes() {
    say "                                    wall s       CPU s    SVG"
    process_line "potrace -a 0 -b svg (best of 2):" potrace -a 0 -b svg -o "$tmp/out.svg" "$tmp/a0.pbm" || return 1
    potrace_s=$line_s potrace_cpu=$line_cpu
    compare_with_potrace outline-fast "goal >= 3x"
    compare_with_potrace outline "outlines with clean-up and the sub-pixel stage"
    compare_with_potrace centerline "goal >= 2x: centre lines with the sub-pixel stage in at most half potrace's time"
}
if [ ! -x "$BUILD/ktvec" ]; then
    skipped "no $BUILD/ktvec program (the command-line tool is not built)"
elif ! have_potrace; then
    skipped "potrace is not installed (Debian package potrace)"
else
    "$BUILD/ktvec_drawgen" --size a0 --seed 1 -o "$tmp/a0.pbm" 2>/dev/null
    if whole_processes; then
        # First-touch page faults are a large share of every run on a virtual
        # machine; the same runs with glibc backing its heap by transparent
        # huge pages show the programs without most of that cost.
        say "with GLIBC_TUNABLES=glibc.malloc.hugetlb=1 (transparent huge pages) for all:"
        GLIBC_TUNABLES=glibc.malloc.hugetlb=1 whole_processes
        say "(the kernel grants huge pages only while it has free 2 MB blocks: these vary from run to run)"
    else
        skipped "potrace failed on the A0 drawing"
    fi
fi
