#!/bin/bash
# Measures the generated music as a listener meets it: openmpt123 renders the
# module at 48 kHz; ffmpeg's ebur128 filter gives integrated loudness,
# loudness range, true peak, the peak-to-loudness ratio and the short-term
# and momentary loudness the drop is compared by; music_figures the rest
# (band energies, side/mid, loudness per section, the tunnel's level term,
# the intro's grey, and the score's own figures: the home loop's share, the
# lead's repeated phrases, bars that copy earlier ones).
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
"$build/music_figures" "$tmp/mix.f32" "$xm"
ffmpeg -hide_banner -nostats -f f32le -ar 48000 -ac 2 -i "$tmp/mix.f32" \
  -af ebur128=peak=true -f null - 2>"$tmp/ebur128" || { echo "music-figures: ffmpeg failed" >&2; exit 1; }
sed -n '/Summary/,$p' "$tmp/ebur128" | grep -E 'I:|LRA:|Peak:' | sed 's/^ */ebur128 /'
# Per-100-ms lines: t, momentary, short-term. A window counts for a stretch
# when it lies wholly inside it (3 s for short-term, 400 ms for momentary).
sed -n 's/.* t: *\([0-9.]*\) .*M: *\([-0-9.]*\) S: *\([-0-9.]*\).*/\1 \2 \3/p' "$tmp/ebur128" >"$tmp/ms"
I=$(sed -n '/Summary/,$p' "$tmp/ebur128" | sed -n 's/^ *I: *\([-0-9.]*\) LUFS/\1/p')
TP=$(sed -n '/Summary/,$p' "$tmp/ebur128" | sed -n 's/^ *Peak: *\([-0-9.]*\) dBFS/\1/p')
awk -v I="$I" -v TP="$TP" '
  function meanS(a, b,   s, n, i) { s = 0; n = 0
    for (i = 1; i <= N; i++) if (T[i] > a + 3 - 1e-3 && T[i] <= b + 1e-3) { s += S[i]; n++ }
    return n ? s / n : -120 }
  function maxM(a, b,   m, i) { m = -200
    for (i = 1; i <= N; i++) if (T[i] > a + 0.4 - 1e-3 && T[i] <= b + 1e-3 && M[i] > m) m = M[i]
    return m }
  { N++; T[N] = $1; M[N] = $2; S[N] = $3 }
  END {
    printf "ebur128 PLR:        %.1f dB (true peak - integrated)\n", TP - I
    printf "ebur128 drop - theme mean short-term  %.1f LU\n", meanS(57.8, 77.8) - meanS(42.5, 53)
    printf "ebur128 drop - riser highest momentary %.1f LU\n", maxM(57.8, 77.8) - maxM(55, 57.8)
  }' "$tmp/ms"
if [ $# -ge 2 ]; then
  ffmpeg -loglevel error -y -f f32le -ar 48000 -ac 2 -i "$tmp/mix.f32" \
    -lavfi "showspectrumpic=s=1200x512:legend=1:scale=log" "$2"
fi
