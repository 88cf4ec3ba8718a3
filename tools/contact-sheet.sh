#!/bin/bash
# Rebuilds docs/contact-sheet.png: one frame of every timeline window, shot
# with `teq --shot` from a built tree, the closing scene five times, tiled
# 4 x 4 with its time.
#   tools/contact-sheet.sh [BUILD_DIR] [OUT.png]
# BUILD_DIR defaults to ./build (it must hold teq and data/); the sound level
# of the shots is teq's fixed --level default unless LEVEL is set.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build}
out=${2:-$root/docs/contact-sheet.png}
times=(5 25 30 40 45 54 60 79 90 105 112 116 118 121 125 130)
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
    "$build/teq" --data "$build/data" ${LEVEL:+--level "$LEVEL"} --shot "$t" "$tmp/$i.png"
    inputs+=(-i "$tmp/$i.png")
    filters+="[$i:v]drawtext=fontfile=$font:text='t=$t':x=4:y=h-14:fontsize=11:fontcolor=white:box=1:boxcolor=black@0.6[f$i];"
    layout+="$(( (i % 4) * 320 ))_$(( (i / 4) * 240 ))|"
done
labels=""
for i in "${!times[@]}"; do labels+="[f$i]"; done

mkdir -p "$(dirname "$out")"
ffmpeg -loglevel error -y "${inputs[@]}" \
    -filter_complex "${filters}${labels}xstack=inputs=${#times[@]}:layout=${layout%|}" \
    -frames:v 1 "$out"
echo "contact-sheet: wrote $out"
