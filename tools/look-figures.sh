#!/bin/bash
# Prints the look figures of the demo: renders it whole at 60 fps (320x240,
# the real music), then teq-look measures each timeline window (mean luma,
# lowest frame, near-black, saturated and saturated red shares, black frames
# and the share of pixels that reverse within three frames), lists the black
# frames outside the fixed fades and the credits' contrast.
#   tools/look-figures.sh [BUILD_DIR [FRAMES_DIR]]
# BUILD_DIR defaults to ./build (it must hold teq, teq-look and data/).
# FRAMES_DIR, if given and already full of frames, is measured as it is
# (a render of the whole run at FPS); otherwise the render goes there and is
# kept. FPS=10 gives a quick render (no reversal figures).
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build}
fps=${FPS:-60}
for f in teq teq-look; do
    [ -x "$build/$f" ] || { echo "look-figures: no $build/$f (build first)" >&2; exit 1; }
done
[ -d "$build/data" ] || { echo "look-figures: no $build/data (build first)" >&2; exit 1; }

if [ $# -ge 2 ]; then
    frames=$2
else
    frames=$(mktemp -d)
    trap 'rm -rf "$frames"' EXIT
fi
if [ ! -f "$frames/000000.png" ]; then
    "$build/teq" --data "$build/data" --render "$frames" --fps "$fps" --size 320x240 2>/dev/null
fi
"$build/teq-look" "$frames" "$fps" 0 "$build/data/cre.png"
