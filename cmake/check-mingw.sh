#!/usr/bin/env bash
# Cross-compiles the library alone (no tests, tools or benchmarks) for 32-bit
# Windows with MinGW-w64 into ktvec.dll, and checks its export table: the
# MORABASE_ functions by their plain names (extern "C", cdecl: no leading
# underscore, no @N suffix) and the members of CKTVector.
#   BUILD_MINGW=build-mingw cmake/check-mingw.sh
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_MINGW:-$root/build-mingw}
objdump=i686-w64-mingw32-objdump
mkdir -p "$build"

cmake -S "$root" -B "$build" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-i686.cmake" -DCMAKE_BUILD_TYPE=Release \
  -DKTVEC_BUILD_TESTS=OFF -DKTVEC_BUILD_BENCH=OFF -DKTVEC_BUILD_TOOLS=OFF > "$build/check-configure.log" \
  || { cat "$build/check-configure.log"; exit 1; }
cmake --build "$build" -j "$(nproc)" --target ktvec > "$build/check-build.log" || { tail -n 40 "$build/check-build.log"; exit 1; }

dll=$build/ktvec.dll
[[ -f $dll ]] || { echo "check-mingw.sh: $dll was not built" >&2; exit 1; }
$objdump -p "$dll" > "$build/check-exports.txt"
grep -q 'i386' <($objdump -f "$dll") || { echo "check-mingw.sh: ktvec.dll is not a 32-bit x86 image" >&2; exit 1; }

# The export names: the lines after "[Ordinal/Name Pointer] Table".
exports=$(awk '/\[Ordinal\/Name Pointer\] Table/ {on = 1; next} on && NF == 0 {on = 0} on {print $NF}' "$build/check-exports.txt")
missing=0
for name in MORABASE_setkind MORABASE_approximateL1 MORABASE_approximateL2 MORABASE_approximateL3; do
  grep -qx "$name" <<<"$exports" || { echo "check-mingw.sh: $name is not exported undecorated" >&2; missing=1; }
done
# CKTVector members (Itanium-mangled, as g++ names them on every platform).
for member in C1Ev D1Ev msetdocument mabstractcenterline mabstractoutline mabstractoutlinefast mgetnode \
              mgetpolyline mgetpolylinenum mgetnodenum mgetnodelink marcall mspline mreflectmodify mundo; do
  grep -q "^_ZN9CKTVector[0-9]*$member" <<<"$exports" || grep -q "^_ZN9CKTVector$member" <<<"$exports" \
    || { echo "check-mingw.sh: CKTVector::$member is not exported" >&2; missing=1; }
done
(( missing == 0 )) || exit 1

members=$(grep -c '^_ZN9CKTVector' <<<"$exports" || true)
imports=$(awk '/DLL Name:/ {print $3}' "$build/check-exports.txt" | sort -u | tr '\n' ' ')
echo "ktvec.dll (32-bit Windows): $(wc -l <<<"$exports") exports, $members CKTVector members, MORABASE_ undecorated; imports: $imports"
