#!/bin/bash
# The playback keys in a real window under Xvfb, pressed with xdotool: Space
# pauses (no frame drawn while paused, the time in the title) and resumes,
# Left/Right seek 5 s and Home restarts, and the picture after a seek is the
# one --shot draws at that time, pixel for pixel; R draws it again at twice
# the resolution (as --shot --resolution 2) and then at 1 again; C turns calm
# mode on and off, the title saying so. Prints each seek's latency,
# the audio-to-picture offset before and after seeking, and the underruns.
# Every step waits on what teq says (its title, its frame log), with limits
# far above a busy machine's, never on wall time.
# usage: controls_xvfb.sh TEQ DATA_DIR
set -u
teq=$1 data=$2
for tool in xvfb-run xdotool ffmpeg; do
    command -v $tool >/dev/null || { echo "$tool missing: skipped"; exit 77; }
done
work=$(mktemp -d)
[ -n "${KEEP:-}" ] || trap 'rm -rf "$work"' EXIT; echo "work: $work"

# The session inside Xvfb: prints "name value" lines for the checks below.
cat > "$work/session.sh" <<'SCRIPT'
set -u
teq=$1 data=$2 work=$3 start=$4 plan=$5
log=$work/frames-$start.log
title() { xdotool getwindowname "$wid" 2>/dev/null; }
frames() { grep -vc '^#' "$log"; }
lastt() { awk '$1 !~ /#/ { t = $2 } END { print t + 0 }' "$log"; }
# Waits until the shell condition holds (up to 5 minutes: only a safety net).
until_() { for _ in $(seq 3000); do eval "$1" && return 0; sleep 0.1; done; echo "timeout $1"; return 1; }
# "m:ss.s" as the title shows a time.
clock() { awk -v t="$1" 'BEGIN { d = int(t * 10 + 0.5); printf "%d:%02d.%d", d / 600, int(d / 10) % 60, d % 10 }'; }
grab() { ffmpeg -loglevel error -f x11grab -video_size 640x480 -i "$DISPLAY" -frames:v 1 -y "$work/$1.png"; }
TEQ_FRAME_LOG=$log "$teq" --data "$data" --scale 2 --level 0.25 --start "$start" 2>"$work/err-$start" &
pid=$!
wid=$(xdotool search --sync --name '^teq')
until_ '[ -s "$log" ] && [ "$(frames)" -gt 20 ]'
if [ "$plan" = keys ]; then
    xdotool key Left                                   # playing: back to about start - 5
    until_ 'grep -q "^# seek" "$log"'
    sleep 1
    xdotool key space
    until_ 'title | grep -q paused'
    n=$(frames); sleep 1; echo "paused_frames $(( $(frames) - n ))"
    # paused: the picture at once, shown before the title names its time
    xdotool key Left
    until_ '[ "$(grep -c "^# seek" "$log")" -ge 2 ]'
    target=$(clock "$(awk '/^# seek/ { t = $4 } END { print t }' "$log")")
    until_ 'title | grep -q "paused - $target\$"'
    echo "title1 $(title | tr ' ' _)"; grab paused1
    xdotool key Home; xdotool key Right; xdotool key Right
    until_ 'title | grep -q "paused - 0:10.0\$"'
    echo "title2 $(title | tr ' ' _)"; grab paused2
    xdotool key r                                      # paused: redrawn at 640x480 at once
    until_ 'title | grep -q "resolution 2"'
    echo "title3 $(title | tr ' ' _)"; grab sharp
    xdotool key r                                      # the window's scale is 2: back to 1
    until_ 'title | grep -q "resolution 1"'
    grab paused3
    xdotool key c                                      # calm mode on, and off again
    until_ 'title | grep -q "calm mode$"'
    echo "title4 $(title | tr ' ' _)"
    xdotool key c
    until_ 'title | grep -q "calm mode off$"'
    echo "title5 $(title | tr ' ' _)"
    xdotool key space
    until_ '! title | grep -q paused'
    # Playing again from 10 s: the first frames past 10.5 s, which must not
    # have jumped far beyond.
    until_ 'awk -v t="$(lastt)" "BEGIN { exit !(t > 10.5) }"'
    echo "resumed_t $(lastt)"
else
    # playing: on about 5 s (from well before the end, however slowly the
    # first frames came)
    xdotool key Right
    until_ 'grep -q "^# seek" "$log"'
    sleep 1
fi
xdotool key Escape
wait $pid; echo "exit $?"
SCRIPT

failed=0
fail() { echo "FAIL: $*"; failed=1; }
session() {   # session START PLAN
    SDL_AUDIODRIVER=disk SDL_DISKAUDIOFILE="$work/audio-$1.raw" \
        timeout 900 xvfb-run -a -s "-screen 0 640x480x24" bash "$work/session.sh" "$teq" "$data" "$work" "$1" "$2" \
        > "$work/out-$1"
    cat "$work/out-$1" | sed 's/^/  /'
}
value() { awk -v k="$2" '$1 == k { print $2 }' "$work/out-$1"; }
# The grabbed window (640x480: 2x nearest neighbour, or drawn at resolution 2)
# against --shot at the same time.
same_as_shot() {   # same_as_shot GRAB T [RESOLUTION]
    local n=${3:-1}
    "$teq" --data "$data" --shot "$2" "$work/shot.png" --level 0.25 --resolution "$n" 2>/dev/null || return 1
    ffmpeg -loglevel error -i "$work/$1.png" -vf scale=$((320 * n)):$((240 * n)):flags=neighbor -f rawvideo \
        -pix_fmt rgb24 - > "$work/a.rgb"
    ffmpeg -loglevel error -i "$work/shot.png" -f rawvideo -pix_fmt rgb24 - > "$work/b.rgb"
    cmp -s "$work/a.rgb" "$work/b.rgb"
}
# Title "teq - paused - m:ss.s" to seconds.
seconds() { echo "$1" | awk -F'_-_' '{ split($3, a, ":"); print a[1] * 60 + a[2] }'; }

session 64 keys
[ "$(value 64 exit)" = 0 ] || fail "exit code $(value 64 exit)"
[ "$(value 64 paused_frames)" = 0 ] || fail "$(value 64 paused_frames) frames drawn while paused"
t1=$(seconds "$(value 64 title1)")
# Left while paused: 5 s before the paused time, in whole tenths, named in the title.
paused_at=$(awk '/^# pause/ { print $3; exit }' "$work/frames-64.log")
want=$(awk -v p="$paused_at" 'BEGIN { d = int((p - 5) * 10 + 0.5); printf "%d:%02d.%d", d / 600, int(d / 10) % 60, d % 10 }')
[ "$(value 64 title1)" = "teq_-_paused_-_$want" ] ||
    fail "title after Left while paused at $paused_at: $(value 64 title1), expected teq - paused - $want"
same_as_shot paused1 "$t1" || fail "the picture after seeking to $t1 differs from --shot $t1"
same_as_shot paused2 10 || fail "the picture after Home, Right, Right differs from --shot 10"
case "$(value 64 title3)" in teq_-_resolution_2_\(640x480\)) ;; *) fail "title after R: $(value 64 title3)";; esac
same_as_shot sharp 10 2 || fail "the picture after R differs from --shot 10 --resolution 2"
same_as_shot paused3 10 || fail "the picture after R, R differs from --shot 10"
[ "$(value 64 title4)" = teq_-_calm_mode ] || fail "title after C: $(value 64 title4)"
[ "$(value 64 title5)" = teq_-_calm_mode_off ] || fail "title after C again: $(value 64 title5)"
awk -v t="$(value 64 resumed_t)" 'BEGIN { exit !(t > 10.5 && t < 14) }' ||
    fail "after resuming at 10 s, t = $(value 64 resumed_t)"
session 118 forward
[ "$(value 118 exit)" = 0 ] || fail "exit code $(value 118 exit) (seek forward)"
grep -q "^# seek" "$work/frames-118.log" || fail "no seek forward from 119 s"

# Figures: seeks, audio-to-picture offset (what is heard when a frame is
# shown, less its t) before the first seek and after the last one, underruns.
for s in 64 118; do
    log=$work/frames-$s.log
    grep -E '^# (seek|callbacks)' "$log" | sed 's/^/  /'
    # Frames while playing, from 0.5 s after the music (re)started.
    awk '/^# seek/ { seg++; began = 0 } /^# (pause|resume)/ { paused = ($2 == "pause"); began = 0 }
         $1 !~ /#/ && !began { began = $1 }
         $1 !~ /#/ && $3 >= 0 && !paused && $1 - began > 0.5 { o[seg + 0] += $3 - $2; n[seg + 0]++ }
         END { printf "  offset before the first seek %.1f ms (%d frames), after the last %.1f ms (%d frames)\n",
               1000 * o[0] / n[0], n[0], 1000 * o[seg] / n[seg], n[seg] }' "$log"
done
exit $failed
