#!/usr/bin/env bash
# Installs ktvec into a temporary prefix with `make install`, then builds the
# example host against the installation twice, through find_package(ktvec)
# and through pkg-config with g++, and runs both on a generated PBM scan:
# they must find the same polylines.
#   BUILD=build examples/host/check.sh
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
prefix=$work/prefix

make -C "$root" --no-print-directory install PREFIX="$prefix" BUILD="${BUILD:-build}"
for f in include/ktvec.h bin/ktvec; do
  [[ -e $prefix/$f ]] || { echo "check.sh: $f was not installed" >&2; exit 1; }
done
[[ -n $(compgen -G "$prefix/lib*/libktvec.so.0") ]] || { echo "check.sh: no libktvec.so.0" >&2; exit 1; }

# A scan: a framed sheet with a cross, a diagonal stroke and a ring, 3 px strokes.
awk 'BEGIN {
  w = 240; h = 160; print "P1"; print "# ktvec host example scan"; print w, h
  for (y = 0; y < h; y++) {
    line = ""
    for (x = 0; x < w; x++) {
      frame = (x >= 5 && x < 235 && y >= 5 && y < 155) && !(x >= 8 && x < 232 && y >= 8 && y < 152)
      cross = (y >= 40 && y < 43 && x >= 20 && x < 100) || (x >= 58 && x < 61 && y >= 20 && y < 70)
      diag = x >= 110 && x < 200 && (y - (x - 60)) >= 0 && (y - (x - 60)) < 4
      d = sqrt((x - 60) ^ 2 + (y - 115) ^ 2); ring = d >= 22 && d < 25
      line = line ((frame || cross || diag || ring) ? "1" : "0") ((x % 35 == 34) ? "\n" : " ")
    }
    print line
  }
}' > "$work/scan.pbm"

cmake -S "$root/examples/host" -B "$work/cmake-build" -DCMAKE_PREFIX_PATH="$prefix" -DCMAKE_BUILD_TYPE=Release \
  > "$work/cmake.log" || { cat "$work/cmake.log"; exit 1; }
cmake --build "$work/cmake-build" > "$work/build.log" || { cat "$work/build.log"; exit 1; }
"$work/cmake-build/ktvec_host" "$work/scan.pbm" > "$work/cmake.out"

pcdir=$(dirname "$(ls "$prefix"/lib*/pkgconfig/ktvec.pc)")
export PKG_CONFIG_PATH=$pcdir
libdir=$(pkg-config --variable=libdir ktvec)
# shellcheck disable=SC2046
g++ -std=c++17 -O2 -o "$work/host-pc" "$root/examples/host/main.cpp" $(pkg-config --cflags --libs ktvec) \
  -Wl,-rpath,"$libdir"
"$work/host-pc" "$work/scan.pbm" > "$work/pc.out"

cmp -s "$work/cmake.out" "$work/pc.out" || { echo "check.sh: the two host builds disagree" >&2; exit 1; }
summary=$(tail -n 1 "$work/cmake.out")
polylines=$(grep -c '^polyline ' "$work/cmake.out" || true)
if (( polylines < 4 )); then
  echo "check.sh: too few polylines ($summary)" >&2
  exit 1
fi
echo "host example (find_package and pkg-config, ktvec $(pkg-config --modversion ktvec)): $summary"
