#!/bin/bash
# Faults while the demo plays, in a window under Xvfb with SDL's disk audio
# driver (a device that paces itself like a sound card): the audio callback
# not called for 0.5 s, the output device removed and another added, a frame
# that takes 0.5 s, the monotonic clock jumping 5 minutes (a machine waking
# up), the process stopped for 3 s, the window hidden and shown again, and
# fullscreen toggled 1,000 times. Faults come from TEQ_FAULTS (qor/audio/faults.h)
# at known song times. Measures what a viewer notices, from teq's frame log:
# the gap between pictures, the picture standing still or jumping, time going
# back, the audio-to-picture offset before and after the fault; processor use
# while hidden, memory over the toggles. Every step waits on what teq says
# (its frame log, the sound it wrote), never on wall time.
# usage: faults_xvfb.sh TEQ MAKE_TEST_MODULE DATA_DIR [CASE...]
set -u
teq=$(realpath "$1") make_module=$(realpath "$2") data=$(realpath "$3"); shift 3
for tool in xvfb-run xdotool; do
    command -v $tool >/dev/null || { echo "$tool missing: skipped"; exit 77; }
done
work=$(mktemp -d)
[ -n "${KEEP:-}" ] || trap 'rm -rf "$work"' EXIT; echo "work: $work"
mkdir "$work/data"
for f in "$data"/*; do ln -s "$f" "$work/data/"; done
rm -f "$work/data/distortion.xm"
"$make_module" "$work/data/distortion.xm" 160 || exit 1   # a 9.6 s song
failed=0
fail() { echo "FAIL: $*"; failed=1; }

# The session inside Xvfb. Waits (0.1 s steps, 5 minutes at most: a safety
# net only) on the frame log and the sound written.
cat > "$work/session.sh" <<'SCRIPT'
set -u
teq=$1 data=$2 work=$3 name=$4 plan=$5; shift 5
log=$work/$name.log raw=$work/$name.raw
until_() { for _ in $(seq 3000); do eval "$1" && return 0; kill -0 $pid 2>/dev/null || return 1; sleep 0.1; done; echo "timeout $1"; return 1; }
lastt() { awk '$1 !~ /#/ { t = $2 } END { print t + 0 }' "$log"; }
past() { [ -s "$log" ] && awk -v t="$(lastt)" -v w="$1" 'BEGIN { exit !(t > w) }'; }
ticks() { awk '{ print $14 + $15 }' /proc/$pid/stat; }
rss() { awk '/^VmRSS/ { print $2 }' /proc/$pid/status; }
heard() { echo $(( $(stat -c %s "$raw" 2>/dev/null || echo 0) / 8 )); }   # frames written
SDL_AUDIODRIVER=disk SDL_DISKAUDIOFILE=$raw TEQ_FRAME_LOG=$log "$teq" --data "$data" --scale 2 "$@" 2>"$work/$name.err" &
pid=$!
case $plan in
stop)   # the whole process stopped for 3 s
    until_ 'past 2'
    kill -STOP $pid; sleep 3; kill -CONT $pid ;;
hide)   # the window unmapped (what minimising does without a window manager)
    wid=$(xdotool search --sync --name '^teq')
    until_ 'past 2'
    xdotool windowunmap "$wid"
    until_ 'grep -q "^# hidden" "$log"'
    n=$(grep -vc '^#' "$log"); c=$(ticks); h=$(heard)
    until_ '[ $(( $(heard) - h )) -ge 96000 ]'   # 2 s of music played meanwhile
    echo "hidden_ticks $(( $(ticks) - c )) $(( $(heard) - h ))"
    echo "hidden_frames $(( $(grep -vc '^#' "$log") - n ))"
    xdotool windowmap "$wid" ;;
toggle) # fullscreen toggled 1,000 times, memory before and after
    wid=$(xdotool search --sync --name '^teq')
    until_ 'past 1'
    xdotool key --window "$wid" F11 F11
    r0=$(rss)
    for _ in $(seq 1 50); do xdotool key --window "$wid" --delay 1 $(printf 'F11 %.0s' $(seq 20)); done
    r1=$(rss)
    for _ in $(seq 1 50); do xdotool key --window "$wid" --delay 1 $(printf 'F11 %.0s' $(seq 20)); done
    echo "toggle_rss $r0 $r1 $(rss)"
    until_ 'past 4'
    xdotool key --window "$wid" Escape ;;
esac
wait $pid; echo "exit $?"
SCRIPT

# figures NAME F D: what a viewer notices, from the frame log ("present t
# heard" lines). Around the fault at song time F lasting D:
# worst gap between pictures, the longest stand-still of the picture, the
# largest jump of the picture ahead of the wall clock, time going back, the
# median audio-to-picture offset in the second before F and in the second
# from F + D + 0.3 s.
figures() {
    awk -v F="${2:-0}" -v D="${3:-0}" '
        /^#/ { next }
        { p[n + 0] = $1; t[n + 0] = $2; h[n + 0] = $3; n++ }
        function median(a, m,   i, j, x) {
            for (i = 1; i < m; i++) { x = a[i]; for (j = i - 1; j >= 0 && a[j] > x; j--) a[j + 1] = a[j]; a[j + 1] = x }
            return m ? a[int(m / 2)] : -1 }
        END {
            for (i = 1; i < n; i++) {
                dp = p[i] - p[i - 1]; dt = t[i] - t[i - 1]
                if (dp > gap) gap = dp
                if (dt < 0) back++
                if (dt - dp > jump) jump = dt - dp
                if (dt > 0.001) s = i; else if (p[i] - p[s + 0] > hold) hold = p[i] - p[s + 0]
            }
            for (i = 0; i < n; i++) if (h[i] >= 0) {
                if (t[i] >= F - 1 && t[i] < F) b[nb++] = h[i] - t[i]
                if (t[i] >= F + D + 0.3 && t[i] < F + D + 1.3) a[na++] = h[i] - t[i]
            }
            printf "frames %d\ngap_ms %.0f\nhold_ms %.0f\njump_ms %.0f\nback %d\n", n, 1000 * gap, 1000 * hold, 1000 * jump, back
            printf "offset_before_ms %.1f\noffset_after_ms %.1f\nlast_t %.3f\n", 1000 * median(b, nb), 1000 * median(a, na), t[n - 1]
        }' "$work/$1.log"
}

# run NAME PLAN F D [teq options]: the session, then its figures (around a
# fault at song time F lasting D) into $work/NAME.out.
run() {
    local name=$1 plan=$2 at=$3 lasts=$4; shift 4
    timeout 900 xvfb-run -a -s "-screen 0 640x480x24" bash "$work/session.sh" "$teq" "$work/data" "$work" "$name" "$plan" "$@" \
        > "$work/$name.out"
    figures "$name" "$at" "$lasts" >> "$work/$name.out"
    # Seconds of sound written that are exactly silent (a device that went away plays silence).
    od -An -v -f -w8 "$work/$name.raw" | awk '$1 == 0 && $2 == 0 { z++ } END { printf "silent_s %.2f\n", z / 48000 }' >> "$work/$name.out"
    echo "$name:"; sed 's/^/  /' "$work/$name.out"; grep -v '^teq: TEQ_FAULTS' "$work/$name.err" | sed 's/^/  stderr: /'
}
value() { awk -v k="$2" '$1 == k { print $2 }' "$work/$1.out"; }
cases=${*:-stall remove slow jump stop hide toggle}
for c in $cases; do
    case $c in
    stall)  TEQ_FAULTS=stall@3:0.5 run stall none 3 0.5 ;;
    remove) TEQ_FAULTS=remove@3,add@5 run remove none 5 0 ;;
    slow)   TEQ_FAULTS=slow@3:0.5 run slow none 3 0.5 ;;
    jump)   TEQ_FAULTS=jump@3:300 run jump none 3 0 ;;
    stop)   run stop stop 2 0 ;;
    hide)   run hide hide 2 0 ;;
    toggle) run toggle toggle 2 0 ;;
    esac
done
exit $failed
