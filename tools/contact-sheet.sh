#!/bin/bash
# Rebuilds docs/contact-sheet.png: one frame of every timeline window, shot
# with `teq --shot` from a built tree, the closing scene five times, tiled
# 4 x 4 with its time.
#   tools/contact-sheet.sh [BUILD_DIR] [OUT.png]
# BUILD_DIR defaults to ./build (it must hold teq and data/); the sound level
# of the shots is teq's fixed --level default unless LEVEL is set.
# RESOLUTION=N (2 to 8) makes the sharp sheet instead (docs/contact-sheet-4x.png
# for N = 4): six frames shot with --resolution N, each cropped to the middle
# 512x384 pixels at full detail, tiled 3 x 2.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build}
res=${RESOLUTION:-1}
if [ "$res" -gt 1 ]; then
    out=${2:-$root/docs/contact-sheet-${res}x.png}
    times=(5 45 54 60 90 112)
    cols=3 w=512 h=384
else
    out=${2:-$root/docs/contact-sheet.png}
    times=(5 25 30 40 45 54 60 79 90 105 112 116 118 121 125 130)
    cols=4 w=320 h=240
fi
font=/usr/share/fonts/truetype/dejavu/DejaVuSansMono-Bold.ttf

[ -x "$build/teq" ] || { echo "contact-sheet: no $build/teq (build first)" >&2; exit 1; }
[ -d "$build/data" ] || { echo "contact-sheet: no $build/data (build first)" >&2; exit 1; }
command -v ffmpeg >/dev/null || { echo "contact-sheet: ffmpeg is missing" >&2; exit 1; }

tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

inputs=()
filters=""
layout=""
for i in "${!times[@]}"; do
    t=${times[$i]}
    "$build/teq" --data "$build/data" ${LEVEL:+--level "$LEVEL"} --shot "$t" "$tmp/$i.png" --resolution "$res"
    inputs+=(-i "$tmp/$i.png")
    label="t=$t"
    crop=""
    if [ "$res" -gt 1 ]; then
        label="t=$t, ${res}x, middle"
        crop="crop=$w:$h:(iw-$w)/2:(ih-$h)/2,"
    fi
    filters+="[$i:v]${crop}drawtext=fontfile=$font:text='$label':x=4:y=h-14:fontsize=11:fontcolor=white:box=1:boxcolor=black@0.6[f$i];"
    layout+="$(( (i % cols) * w ))_$(( (i / cols) * h ))|"
done
labels=""
for i in "${!times[@]}"; do labels+="[f$i]"; done

mkdir -p "$(dirname "$out")"
ffmpeg -loglevel error -y "${inputs[@]}" \
    -filter_complex "${filters}${labels}xstack=inputs=${#times[@]}:layout=${layout%|}" \
    -frames:v 1 "$out"
echo "contact-sheet: wrote $out"
