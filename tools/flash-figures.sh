#!/bin/bash
# Prints the flash figures of the whole demo, as made and in calm mode:
# renders both at 60 fps (320x240, the real music), then teq-flash gives per
# timeline window the worst general flashes in any one-second span, the
# seconds over three and the red flashes, and tools/flash-kicks.py how
# closely the mean brightness follows the kicks in the tunnel (57.8-77.3 s).
#   tools/flash-figures.sh [BUILD_DIR]
# BUILD_DIR defaults to ./build (it must hold teq, teq-flash and data/).
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build}
for f in teq teq-flash; do
    [ -x "$build/$f" ] || { echo "flash-figures: no $build/$f (build first)" >&2; exit 1; }
done
[ -d "$build/data" ] || { echo "flash-figures: no $build/data (build first)" >&2; exit 1; }

tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
windows=0,20,27.5,37,42.5,53,55,57.8,77.8,80.3,100.2,110.2,115.5,135
for mode in default calm; do
    extra=()
    [ "$mode" = calm ] && extra=(--calm)
    "$build/teq" --data "$build/data" "${extra[@]}" --render "$tmp/$mode" --fps 60 --size 320x240 2>/dev/null
    echo "== $mode"
    "$build/teq-flash" --quiet --means "$tmp/$mode.means" --windows "$windows" "$tmp/$mode"
done
python3 "$root/tools/flash-kicks.py" "$tmp/default.means" "$tmp/default/audio.wav" 60 57.8 77.3 "$tmp/calm.means"
