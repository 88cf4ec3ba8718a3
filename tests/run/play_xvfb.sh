#!/bin/bash
# The real-time path on a virtual display: teq plays in a window under Xvfb
# with SDL's disk audio driver. Checks that the window shows the demo, that
# the sound is written, and that the run ends by itself: at the song's end,
# and at --length. Prints the frame-time, sync and CPU figures of each run.
# Waits on what teq says (its frame log), never on wall time, so that a busy
# machine only makes it slower: the screenshot is taken with teq stopped
# (SIGSTOP), which holds its window and resumes the run where it was.
# usage: play_xvfb.sh TEQ MAKE_TEST_MODULE DATA_DIR
set -u
teq=$1 make_module=$2 data=$3
command -v xvfb-run >/dev/null || { echo "xvfb-run missing: skipped"; exit 77; }
command -v ffmpeg >/dev/null || { echo "ffmpeg missing: skipped"; exit 77; }

work=$(mktemp -d)
[ -n "${KEEP:-}" ] || trap 'rm -rf "$work"' EXIT; echo "work: $work"
mkdir "$work/data"
for f in "$data"/*; do ln -s "$f" "$work/data/"; done
rm -f "$work/data/distortion.xm"
"$make_module" "$work/data/distortion.xm" 64 || exit 1   # a 3.84 s song
failed=0
fail() { echo "FAIL: $*"; failed=1; }

# One run: play_once NAME SECONDS_EXPECTED SOUND(yes/no) [teq options]. Once
# the frames are past t = 0.5 s, stops teq, takes a screenshot, lets it go on,
# and checks the screenshot is neither blank nor white.
play_once() {
    local name=$1 expect=$2 sound=$3; shift 3
    local log="$work/$name.log" raw="$work/$name.raw" shot="$work/$name.png"
    cat > "$work/$name.sh" <<SCRIPT
"$teq" --data "$work/data" --scale 2 $* 2>"$work/$name.err" &
pid=\$!
# Up to 10 minutes for the first frames past 0.5 s: only a safety net.
for i in \$(seq 1 6000); do
  if [ -s "$log" ] && awk '\$1 !~ /#/ && \$2 > 0.5 { found = 1 } END { exit !found }' "$log"; then
    kill -STOP \$pid && ffmpeg -loglevel error -f x11grab -video_size 640x480 -i "\$DISPLAY" -frames:v 1 -y "$shot"
    kill -CONT \$pid
    break
  fi
  kill -0 \$pid 2>/dev/null || break
  sleep 0.1
done
wait \$pid
SCRIPT
    SDL_AUDIODRIVER=disk SDL_DISKAUDIOFILE="$raw" TEQ_FRAME_LOG="$log" \
        timeout 900 xvfb-run -a -s "-screen 0 640x480x24" bash "$work/$name.sh"
    local rc=$?
    [ $rc -eq 0 ] || { fail "$name: exit code $rc"; cat "$work/$name.err"; return; }
    [ -s "$log" ] || { fail "$name: no frames shown"; return; }

    # The last frame's t is just short of the expected end; the run ended there.
    local last=$(awk '$1 !~ /#/ { t = $2 } END { print t }' "$log")
    awk -v t="$last" -v e="$expect" 'BEGIN { exit !(t <= e && t > e - 1.0) }' ||
        fail "$name: last frame at t = $last, expected just before $expect"

    # Sound written: float stereo, 8 bytes a frame, at least the song's length.
    [ "$sound" = yes ] && {
    local bytes=$(stat -c %s "$raw" 2>/dev/null || echo 0)
    awk -v b="$bytes" -v e="$expect" 'BEGIN { s = b / 8 / 48000; exit !(s >= e * 0.95 && s < e + 2) }' ||
        fail "$name: $bytes bytes of audio for a $expect s run"
    }

    # The window shows the demo: mean brightness of the screen between black and white.
    if [ -s "$shot" ]; then
        local mean=$(ffmpeg -loglevel error -i "$shot" -vf scale=1:1:flags=area -f rawvideo -pix_fmt gray - | od -An -tu1 | tr -d ' ')
        [ "${mean:-0}" -gt 8 ] && [ "${mean:-0}" -lt 240 ] || fail "$name: screenshot mean brightness ${mean:-none}"
    else
        fail "$name: no screenshot"
    fi

    # Figures: frame time, audio-to-picture offset (what is heard when the
    # frame is shown, less the frame's t), processor use, underruns.
    grep '^#' "$log" | sed 's/^/  /'
    awk '$1 !~ /#/ { if (n++) print $1 - prev; prev = $1 }' "$log" | sort -g |
        awk '{ d[n++] = $1 } END { if (n) printf "  frame time: %d intervals, median %.1f ms, p99 %.1f ms, worst %.1f ms\n",
              n, 1000 * d[int(n / 2)], 1000 * d[int(n * 0.99)], 1000 * d[n - 1] }'
    awk '$1 !~ /#/ && $3 >= 0 { o = $3 - $2; s += o; if (o > w) w = o; n++ }
         END { if (n) printf "  audio-to-picture offset (heard at display - frame t): mean %.1f ms, worst %.1f ms\n",
               1000 * s / n, 1000 * w }' "$log"
}

play_once song_end 3.84 yes
play_once length 2.5 yes --length 2.5
play_once muted 2.5 no --length 2.5 --mute
exit $failed
