#!/bin/bash
# Prints the look figures of the demo: renders it whole at 10 fps and the
# tunnel's 58-72 s at 60 fps (320x240, the real music), then teq-look
# measures each timeline window (mean luma, lowest frame, near-black and
# saturated shares), the tunnel's flicker and the credits' contrast.
#   tools/look-figures.sh [BUILD_DIR]
# BUILD_DIR defaults to ./build (it must hold teq, teq-look and data/).
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build}
for f in teq teq-look; do
    [ -x "$build/$f" ] || { echo "look-figures: no $build/$f (build first)" >&2; exit 1; }
done
[ -d "$build/data" ] || { echo "look-figures: no $build/data (build first)" >&2; exit 1; }

tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

"$build/teq" --data "$build/data" --render "$tmp/whole" --fps 10 --size 320x240 2>/dev/null
"$build/teq" --data "$build/data" --render "$tmp/tunnel" --fps 60 --start 58 --length 14 --size 320x240 2>/dev/null
"$build/teq-look" "$tmp/whole" 10 0 "$build/data/cre.png"
"$build/teq-look" "$tmp/tunnel" 60 58 | tail -n 1
