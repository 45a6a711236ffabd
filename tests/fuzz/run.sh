#!/usr/bin/env bash
# Builds one fuzz target and runs it for a while:
#   tests/fuzz/run.sh drivers|edits|readers SECONDS [extra libFuzzer flags]
# The build goes to $KTVEC_FUZZ_BUILD (default build-fuzz).  The growing
# corpus lives there too, seeded from tests/fuzz/corpus/TARGET; crashing
# inputs land in <build>/crashes/.  KTVEC_FUZZ_CORPUS names another corpus
# folder (for a run that starts from the seeds alone).  Extra flags go to
# libFuzzer: "-fork=1 -ignore_crashes=1" keeps going past crashes.  The last line is a summary:
#   fuzz <target>: <executions> runs, <corpus> inputs, <crashes> crashes, <s> s
set -euo pipefail
target=${1:?target: drivers, edits or readers}
seconds=${2:-60}
shift $(( $# >= 2 ? 2 : $# ))
root=$(cd "$(dirname "$0")/../.." && pwd)
build=${KTVEC_FUZZ_BUILD:-$root/build-fuzz}
launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)

mkdir -p "$build"
cmake -S "$root" -B "$build" -DKTVEC_FUZZ=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_C_COMPILER=clang -DKTVEC_BUILD_TESTS=OFF \
  -DKTVEC_BUILD_BENCH=OFF "${launcher[@]}" >"$build/configure.log" 2>&1 ||
  { cat "$build/configure.log"; exit 1; }
cmake --build "$build" -j2 --target "fuzz_$target" >"$build/build.log" 2>&1 ||
  { tail -40 "$build/build.log"; exit 1; }

corpus=${KTVEC_FUZZ_CORPUS:-$build/corpus/$target}
crashes=$build/crashes
mkdir -p "$corpus" "$crashes"
log=$build/fuzz_$target.log
start=$(date +%s)
status=0
# Allocations are bounded by the harnesses; a leak in a vectorizer's
# destructor shows at the end of each run.
"$build/tests/fuzz/fuzz_$target" -max_total_time="$seconds" -print_final_stats=1 \
  -rss_limit_mb=2048 -timeout=20 -max_len=4096 -artifact_prefix="$crashes/$target-" \
  "$@" "$corpus" "$root/tests/fuzz/corpus/$target" >"$log" 2>&1 || status=$?
runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
# With -fork the totals are on the progress lines ("#<runs>: cov: ...").
[[ -n "$runs" ]] || runs=$(sed -n 's/^#\([0-9]*\): .*/\1/p' "$log" | tail -1)
found=$(find "$crashes" -name "$target-*" | wc -l)
echo "fuzz $target: ${runs:-0} runs, $(find "$corpus" -type f | wc -l) inputs, $found crashes, $(( $(date +%s) - start )) s"
if ((status)); then
  grep -m1 -A30 'ERROR\|runtime error\|==ABORTING\|^[a-z].*outside\|^after' "$log" || tail -40 "$log"
fi
exit $status
