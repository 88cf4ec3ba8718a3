#!/bin/sh
# Plays the generated module through Debian's openmpt123 to a null output and
# fails on any warning or error it prints, a wrong tracker or a short render.
# Usage: music_openmpt123.sh FILE.xm   (exit 77 = skipped: no openmpt123)
set -u
file="$1"
command -v openmpt123 >/dev/null 2>&1 || { echo "openmpt123 not installed: skipped"; exit 77; }
[ -f "$file" ] || { echo "missing module: $file"; exit 1; }
tmp=$(mktemp -d) || exit 1
trap 'rm -rf "$tmp"' EXIT
bytes=$({ openmpt123 --batch --stdout --samplerate 48000 --channels 2 --float "$file" 2>"$tmp/err"
          echo $? >"$tmp/status"; } | wc -c)
tr '\r' '\n' <"$tmp/err" | grep -v '^[[:space:]]*$' | tee "$tmp/lines"
fail=0
[ "$(cat "$tmp/status")" -eq 0 ] || { echo "FAIL: openmpt123 exit status $(cat "$tmp/status")"; fail=1; }
if grep -qiE 'warn|error|unknown|fail' "$tmp/lines"; then echo "FAIL: openmpt123 reported a problem"; fail=1; fi
grep -q '^Tracker\.*: FastTracker 2 or compatible$' "$tmp/lines" || { echo "FAIL: not read as FastTracker 2"; fail=1; }
# 132 s of 48 kHz float stereo (8 bytes a frame); openmpt123 may add a
# fraction of a second of tail.
seconds100=$((bytes * 100 / (48000 * 8)))
echo "rendered $bytes bytes: $seconds100 hundredths of a second"
{ [ "$seconds100" -ge 13195 ] && [ "$seconds100" -le 13250 ]; } || { echo "FAIL: rendered length"; fail=1; }
exit $fail
