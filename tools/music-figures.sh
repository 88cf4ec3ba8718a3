#!/bin/bash
# Measures the generated music as a listener meets it: openmpt123 renders the
# module at 48 kHz, ffmpeg's ebur128 filter gives integrated loudness,
# loudness range and true peak, music_figures the rest (energy below 150 Hz,
# side/mid, loudness per section, the tunnel's level term, the intro's grey).
#   tools/music-figures.sh [BUILD_DIR] [SPECTROGRAM.png]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build}
xm=$build/data/distortion.xm
[ -f "$xm" ] || { echo "music-figures: no $xm (build first)" >&2; exit 1; }
[ -x "$build/music_figures" ] || { echo "music-figures: no music_figures (build first)" >&2; exit 1; }
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
openmpt123 --batch --stdout --samplerate 48000 --channels 2 --float "$xm" >"$tmp/mix.f32" 2>"$tmp/warn" || true
grep -v '^[[:space:]]*$' "$tmp/warn" | tr '\r' '\n' | grep -iE 'warn|error' || true
"$build/music_figures" "$tmp/mix.f32"
ffmpeg -hide_banner -nostats -f f32le -ar 48000 -ac 2 -i "$tmp/mix.f32" \
  -af ebur128=peak=true -f null - 2>&1 | sed -n '/Summary/,$p' | grep -E 'I:|LRA:|Peak:' | sed 's/^ */ebur128 /'
if [ $# -ge 2 ]; then
  ffmpeg -loglevel error -y -f f32le -ar 48000 -ac 2 -i "$tmp/mix.f32" \
    -lavfi "showspectrumpic=s=1600x600:legend=1:fscale=log:scale=log" "$2"
fi
