#!/bin/bash
# Measures the generated music as a listener meets it: openmpt123 renders the
# module at 48 kHz; ffmpeg's ebur128 filter gives integrated loudness,
# loudness range, true peak, the peak-to-loudness ratio and the short-term
# loudness the sections are compared by, of the mix and of its mono
# fold-down; music_figures the rest (band energies, L/R correlation by band
# and by window, side/mid, the drop's fade, the outro's release and its last
# hit, the level the pictures read, and the score's own figures: the home
# loop's share, the lead's repeated phrases, bars that copy earlier ones).
# With teq built, the pictures' side: the closing field's last lit frame
# against the last hit, and whether the tunnel's frames at 58.0 and 63.0 s
# differ.
#   tools/music/music-figures.sh [BUILD_DIR] [SPECTROGRAM.png] [MODULE.xm]
# MODULE.xm defaults to BUILD_DIR/data/distortion.xm (another module is
# measured with the build's data for the pictures).
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
build=${1:-$root/build}
xm=${3:-$build/data/distortion.xm}
[ -f "$xm" ] || { echo "music-figures: no $xm (build first)" >&2; exit 1; }
[ -x "$build/music_figures" ] || { echo "music-figures: no music_figures (build first)" >&2; exit 1; }
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
openmpt123 --batch --stdout --samplerate 48000 --channels 2 --float "$xm" >"$tmp/mix.f32" 2>"$tmp/warn" || true
grep -v '^[[:space:]]*$' "$tmp/warn" | tr '\r' '\n' | grep -iE 'warn|error' || true
"$build/music_figures" "$tmp/mix.f32" "$xm" | tee "$tmp/figures"

# ebur128 of the mix and of its mono fold-down: the summary, and per 100 ms
# lines t, momentary, short-term.
ebur128() {   # PAN OUT
  ffmpeg -hide_banner -nostats -f f32le -ar 48000 -ac 2 -i "$tmp/mix.f32" \
    -af "$1ebur128=peak=true" -f null - 2>"$tmp/$2" || { echo "music-figures: ffmpeg failed" >&2; exit 1; }
  sed -n 's/.* t: *\([0-9.]*\) .*M: *\([-0-9.]*\) S: *\([-0-9.]*\).*/\1 \2 \3/p' "$tmp/$2" >"$tmp/$2.ms"
}
ebur128 "" stereo
ebur128 "pan=stereo|c0=0.5*c0+0.5*c1|c1=0.5*c0+0.5*c1," mono
sed -n '/Summary/,$p' "$tmp/stereo" | grep -E 'I:|LRA:|Peak:' | sed 's/^ */ebur128 /'
I=$(sed -n '/Summary/,$p' "$tmp/stereo" | sed -n 's/^ *I: *\([-0-9.]*\) LUFS/\1/p')
TP=$(sed -n '/Summary/,$p' "$tmp/stereo" | sed -n 's/^ *Peak: *\([-0-9.]*\) dBFS/\1/p')
# A short-term window counts for a stretch when it lies wholly inside it.
paste -d' ' "$tmp/stereo.ms" "$tmp/mono.ms" | awk -v I="$I" -v TP="$TP" '
  function meanS(a, b, mono,   s, n, i) { s = 0; n = 0
    for (i = 1; i <= N; i++) if (T[i] > a + 3 - 1e-3 && T[i] <= b + 1e-3) { s += mono ? SM[i] : S[i]; n++ }
    return n ? s / n : -120 }
  function at(t, mono,   i) { for (i = 1; i <= N; i++) if (T[i] >= t - 1e-3) return mono ? SM[i] : S[i]; return -120 }
  { N++; T[N] = $1; S[N] = $3; SM[N] = $6 }
  END {
    printf "ebur128 PLR:        %.1f dB (true peak - integrated)\n", TP - I
    printf "ebur128 intro mean short-term      %.1f LUFS\n", meanS(0, 20)
    printf "ebur128 theme - groove 2           %.1f LU\n", meanS(42.5, 53) - meanS(37, 42.5)
    printf "ebur128 drop - groove 2            %.1f LU\n", meanS(57.8, 77.8) - meanS(37, 42.5)
    printf "ebur128 drop - theme               %.1f LU\n", meanS(57.8, 77.8) - meanS(42.5, 53)
    printf "ebur128 drop folded to mono loses  %.1f LU (mean short-term); over the theme in mono %.1f LU\n",
      meanS(57.8, 77.8) - meanS(57.8, 77.8, 1), meanS(57.8, 77.8, 1) - meanS(42.5, 53, 1)
    printf "ebur128 72-77.8 s against 60-72 s  %.1f LU; short-term at 76 s against 60-72 s %.1f LU\n",
      meanS(72, 77.8) - meanS(60, 72), at(76) - meanS(60, 72)
    printf "ebur128 outro 118-128 s against drop 2 %.1f LU; short-term at 121, 124, 127, 130 s: %.1f %.1f %.1f %.1f LUFS\n",
      meanS(118, 128) - meanS(80.3, 100.2), at(121), at(124), at(127), at(130)
  }'
if [ -n "${2:-}" ]; then
  ffmpeg -loglevel error -y -f f32le -ar 48000 -ac 2 -i "$tmp/mix.f32" \
    -lavfi "showspectrumpic=s=1200x512:legend=1:scale=log" "$2"
fi

# The pictures: renders with the build's module.
[ -x "$build/teq" ] || exit 0
"$build/teq" --data "$build/data" --render "$tmp/end" --fps 60 --start 129.5 --length 1.5 --size 320x240 >/dev/null 2>&1
lit=$(ffmpeg -hide_banner -loglevel error -framerate 60 -i "$tmp/end/%06d.png" \
        -vf "format=gray,signalstats,metadata=print:key=lavfi.signalstats.YMAX:file=-" -f null - 2>/dev/null |
      awk '/frame:/ { split($2, a, ":"); f = a[2] } /YMAX=/ { split($0, b, "="); if (b[2] > 0) last = f }
           END { printf "%.3f", 129.5 + last / 60 }')
hit=$(sed -n 's/^last hit *\([0-9.]*\) s/\1/p' "$tmp/figures")
awk -v lit="$lit" -v hit="$hit" 'BEGIN { printf "closing field last lit frame %.3f s; last hit %.3f s: %+.3f s\n", lit, hit, hit - lit }'
for t in 58 63; do
  "$build/teq" --data "$build/data" --render "$tmp/at$t" --fps 60 --start $t --length 0.016 --size 320x240 >/dev/null 2>&1
done
if cmp -s "$tmp/at58/000000.png" "$tmp/at63/000000.png"; then echo "frames 58.0 s and 63.0 s: identical"
else echo "frames 58.0 s and 63.0 s: differ"; fi
