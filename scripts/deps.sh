#!/usr/bin/env bash
# The Debian packages ktvec needs, installed when missing.
#
#   scripts/deps.sh [--check] GROUP...
#
#   build  compiler, CMake, libpng, libtiff and GoogleTest: the library, the
#          program with every input format it reads, the tests, the benchmarks;
#          pybind11 and numpy for the Python module
#   test   python3-ezdxf, the independent DXF reader the tests check against;
#          pytest, Dask's distributed scheduler, matplotlib, PIL and GNU
#          parallel for the Python module's tests and the archive recipes
#   ci     the 32-bit Windows cross-compiler that CI builds the library with
#   fuzz   clang with libFuzzer
#   web    Emscripten, binaryen and chromium: the editor page and its tests
#
# `make` runs it with "build test" before it first configures a build
# folder, CI with every group.  Missing packages are installed with apt-get,
# through sudo when not run as root.  With --check (or KTVEC_NO_INSTALL=1),
# or when there is no way to install, it stops instead with a message naming
# them.  On a system without dpkg it only names what to look for.
set -euo pipefail

declare -A groups=(
  [build]="cmake g++ make pkg-config libpng-dev libtiff-dev libgtest-dev libgmock-dev python3-dev pybind11-dev python3-numpy"
  [test]="python3-ezdxf python3-pytest python3-distributed python3-matplotlib python3-pil parallel"
  [ci]="g++-mingw-w64-i686"
  [fuzz]="clang libclang-rt-14-dev"
  [web]="emscripten binaryen chromium"
)

check=0
[[ ${KTVEC_NO_INSTALL:-0} == 1 ]] && check=1
wanted=()
for arg in "$@"; do
  if [[ $arg == --check ]]; then
    check=1
  elif [[ -v groups[$arg] ]]; then
    read -ra packages <<<"${groups[$arg]}"
    wanted+=("${packages[@]}")
  else
    echo "deps.sh: unknown group '$arg' (build, test, ci, fuzz, web)" >&2
    exit 2
  fi
done
if ((${#wanted[@]} == 0)); then
  echo "usage: scripts/deps.sh [--check] build|test|ci|fuzz|web ..." >&2
  exit 2
fi

if ! command -v dpkg-query >/dev/null 2>&1; then
  echo "deps.sh: not a Debian system; make sure these or their equivalents are installed: ${wanted[*]}" >&2
  exit 0
fi
# A removed package can stay known to dpkg with its configuration files, so
# the status is read, not just whether dpkg knows the name.
missing=()
for p in "${wanted[@]}"; do
  [[ $(dpkg-query -W -f='${Status}' "$p" 2>/dev/null) == "install ok installed" ]] || missing+=("$p")
done
((${#missing[@]} == 0)) && exit 0

apt=(env DEBIAN_FRONTEND=noninteractive apt-get)
if ((EUID != 0)); then
  if ((check == 0)) && command -v sudo >/dev/null 2>&1; then apt=(sudo "${apt[@]}"); else check=1; fi
fi
if ((check)); then
  echo "ktvec needs these Debian packages, which are not installed: ${missing[*]}" >&2
  echo "install them with: sudo apt-get install ${missing[*]}" >&2
  exit 1
fi
echo "installing: ${missing[*]}"
"${apt[@]}" update -qq
"${apt[@]}" install -y -qq --no-install-recommends "${missing[@]}"
