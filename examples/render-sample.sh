#!/usr/bin/env bash
# Draws examples/sample-result.png, the picture of the README: the centre
# lines of examples/sample.png (red) over the input (grey), the flange in the
# upper right of the sheet at twice its size.  Needs rsvg-convert
# (Debian package librsvg2-bin).  BUILD: build folder (default build).
set -eu
cd "$(dirname "$0")/.."
BUILD=${BUILD:-build}
work=$(mktemp -d "${TMPDIR:-/tmp}/ktvec-render.XXXXXX")
trap 'rm -rf "$work"' EXIT
"$BUILD/ktvec" centerline examples/sample.png -o "$work/full.svg" --background -q
# Window of the sheet, input faded, lines one pixel wide at the new scale.
sed -e 's|width="2000" height="1400" viewBox="0 0 2000 1400"|width="1000" height="600" viewBox="1380 160 600 360"|' \
    -e 's|<image |<image opacity="0.3" |' -e 's|stroke-width="0.5"|stroke-width="1"|' "$work/full.svg" >"$work/crop.svg"
rsvg-convert -b white "$work/crop.svg" -o examples/sample-result.png
