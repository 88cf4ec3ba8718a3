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
for tool in xvfb-run xdotool ffmpeg; do
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
    echo "hidden_ticks $(( $(ticks) - c )) over $(( $(heard) - h )) frames of music"
    echo "hidden_frames $(( $(grep -vc '^#' "$log") - n ))"
    xdotool windowmap "$wid" ;;
toggle) # fullscreen toggled 1,000 times (a frame or so apart): memory after 100 and
        # after 1,000; then the window resized larger and smaller than the picture
    until_ 'past 1'
    frames() { grep -vc '^#' "$log"; }
    drawn() { local n=$(frames); until_ "[ \$(frames) -gt $((n + 5)) ]"; }   # a few frames at the new size
    presses() { xdotool key --delay 20 $(printf 'F11 %.0s' $(seq $1)); }
    presses 100; drawn; r0=$(rss)
    presses 900; drawn; echo "toggle_rss_kb $r0 $(rss)"
    wid=$(xdotool search --name '^teq' | head -1)
    for size in "1000 700" "300 200"; do
        xdotool windowmove "$wid" 0 0 windowsize "$wid" $size; drawn
        set -- $size
        at=$(xdotool getwindowgeometry "$wid" | awk '/Position/ { print $2 }' | tr -d ' ')
        kill -STOP $pid
        ffmpeg -loglevel error -f x11grab -draw_mouse 0 -video_size "${1}x$2" -i "$DISPLAY+$at" -frames:v 1 \
            -f rawvideo -pix_fmt gray -y "$work/shot.gray"
        kill -CONT $pid
        # Where the picture is in the window: the box of what is not black, as w:h:x:y.
        echo "box_${1}x$2 $(od -An -v -tu1 -w"$1" "$work/shot.gray" | awk '
            { for (x = 1; x <= NF; x++) if ($x > 6) { if (!n++ || x < x0) x0 = x; if (x > x1) x1 = x; if (!y0) y0 = NR; y1 = NR } }
            END { printf "%d:%d:%d:%d", x1 - x0 + 1, y1 - y0 + 1, x0 - 1, y0 - 1 }')"
    done
    xdotool key Escape ;;
long)   # the whole demo: memory every 10 s of it
    next=0
    while kill -0 $pid 2>/dev/null; do
        if past $next; then echo "rss_at_$next $(rss)"; next=$((next + 10)); fi
        sleep 0.5
    done ;;
esac
wait $pid; echo "exit $?"
SCRIPT

# figures NAME F D: what a viewer notices, from the frame log ("present t
# heard" lines). Around the fault at song time F lasting D:
# worst gap between pictures, the longest stand-still of the picture, the
# largest jump of the picture ahead of the wall clock, time going back, the
# median audio-to-picture offset in the second before F and in the second
# from F + D + 0.3 s; how far t moved across the longest gap (resume_ms);
# the offset of the first frame at or past F + D and after the window was
# shown again.
figures() {
    awk -v F="${2:-0}" -v D="${3:-0}" '
        /^# shown/ { shown = 1 } /^#/ { next }
        { p[n + 0] = $1; t[n + 0] = $2; h[n + 0] = $3; if (shown == 1) { firstShown = n + 0; shown = 2 } n++ }
        function median(a, m,   i, j, x) {
            for (i = 1; i < m; i++) { x = a[i]; for (j = i - 1; j >= 0 && a[j] > x; j--) a[j + 1] = a[j]; a[j + 1] = x }
            return m ? a[int(m / 2)] : -1 }
        END {
            for (i = 1; i < n; i++) {
                if (t[i] < F - 1 || t[i - 1] > F + D + 2) continue   # around the fault only
                dp = p[i] - p[i - 1]; dt = t[i] - t[i - 1]
                if (dp > gap) { gap = dp; resume = dt }
                if (dt < 0) back++
                if (dt - dp > jump) jump = dt - dp
                if (dt > 0.001 || !s) s = i; else if (p[i] - p[s] > hold) hold = p[i] - p[s]
                if (t[i] >= F + D && !next_) next_ = i
            }
            for (i = 0; i < n; i++) if (h[i] >= 0) {
                if (t[i] >= F - 1 && t[i] < F) b[nb++] = h[i] - t[i]
                if (t[i] >= F + D + 0.3 && t[i] < F + D + 1.3) a[na++] = h[i] - t[i]
            }
            printf "resume_ms %.0f\n", 1000 * resume
            printf "frames %d\ngap_ms %.0f\nhold_ms %.0f\njump_ms %.0f\nback %d\n", n, 1000 * gap, 1000 * hold, 1000 * jump, back
            printf "offset_before_ms %.1f\noffset_after_ms %.1f\n", 1000 * median(b, nb), 1000 * median(a, na)
            if (next_ && h[next_] >= 0) printf "offset_next_ms %.1f\n", 1000 * (h[next_] - t[next_])
            if (firstShown && h[firstShown] >= 0) printf "offset_shown_ms %.1f\n", 1000 * (h[firstShown] - t[firstShown])
            printf "last_t %.3f\n", t[n - 1]
        }' "$work/$1.log"
}

# run NAME PLAN F D [teq options]: the session, then its figures (around a
# fault at song time F lasting D) into $work/NAME.out.
run() {
    local name=$1 plan=$2 at=$3 lasts=$4; shift 4
    local dir=$work/data; [ "$plan" = toggle ] || [ "$plan" = long ] && dir=$data   # the demo's own 135 s music
    timeout 900 xvfb-run -a -s "-screen 0 1024x768x24" bash "$work/session.sh" "$teq" "$dir" "$work" "$name" "$plan" "$@" \
        > "$work/$name.out"
    figures "$name" "$at" "$lasts" >> "$work/$name.out"
    # Seconds of sound written that are exactly silent (a device that went away plays silence).
    od -An -v -f -w8 "$work/$name.raw" | awk '$1 == 0 && $2 == 0 { z++ } END { printf "silent_s %.2f\n", z / 48000 }' >> "$work/$name.out"
    echo "$name:"; sed 's/^/  /' "$work/$name.out"; grep -v '^teq: TEQ_FAULTS' "$work/$name.err" | sed 's/^/  stderr: /'
}
value() { awk -v k="$2" '$1 == k { print $2 }' "$work/$1.out"; }
# Checks, with limits far above what a busy machine shows (a frame is 17 ms)
# yet well below the faults (half a second, five minutes).
below() {   # below NAME KEY LIMIT WHAT
    awk -v v="$(value "$1" "$2")" -v l="$3" 'BEGIN { exit !(v != "" && v + 0 < l + 0) }' ||
        fail "$1: $2 = $(value "$1" "$2"), not below $3: $4"
}
together() {   # together NAME KEY [MS]: that offset within 50 ms (or MS) of the one before the fault
    awk -v a="$(value "$1" "$2")" -v b="$(value "$1" offset_before_ms)" -v l="${3:-50}" \
        'BEGIN { d = a - b; exit !(a != "" && b != "" && d < l && d > -l) }' ||
        fail "$1: $2 = $(value "$1" "$2") ms against $(value "$1" offset_before_ms) ms before: picture and sound apart"
}
common() {   # common NAME: ran to its end, time never went back
    [ "$(value "$1" exit)" = 0 ] || fail "$1: exit code $(value "$1" exit)"
    [ "$(value "$1" back)" = 0 ] || fail "$1: time went back $(value "$1" back) times"
}
lines() { grep -c "$2" "$work/$1.err"; }

# Not run by default ("long", 135 s of the demo's heaviest drawing): long play.
cases=${*:-stall remove slow jump stop hide toggle}
for c in $cases; do
    case $c in
    stall)   # the picture runs on through the stall; the music catches up with it
        TEQ_FAULTS=stall@3:0.5 run stall none 3 0.5
        common stall
        below stall hold_ms 150 "the picture stood still during the stall"
        together stall offset_after_ms ;;
    remove)  # on without sound from where it was, the new device from the picture's time
        TEQ_FAULTS=remove@3,add@5 run remove none 3 2
        common remove
        [ "$(lines remove 'went away at 0:0[34]')" = 1 ] || fail "remove: no one line for the removal"
        [ "$(lines remove 'sound again from 0:0[5-7]')" = 1 ] || fail "remove: no one line for the new device"
        below remove silent_s 1.0 "silent after the new device came"
        below remove hold_ms 250 "the picture stood still"
        together remove offset_after_ms ;;
    slow)    # frames dropped, not slowed: the frame after the slow one is at the music's time
        TEQ_FAULTS=slow@3:0.5 run slow none 3 0.5
        common slow
        together slow offset_next_ms
        together slow offset_after_ms ;;
    jump)    # resumes where it was: no burst of skipped time, picture and sound together
        TEQ_FAULTS=jump@3:300 run jump none 3 0
        common jump
        below jump resume_ms 150 "the picture jumped ahead after the clock jump"
        below jump hold_ms 250 "the picture stood still"
        together jump offset_after_ms ;;
    stop)    # the same with the whole process stopped
        run stop stop 2 0
        common stop
        below stop resume_ms 150 "the picture jumped ahead after the stop"
        together stop offset_after_ms ;;
    hide)    # nothing drawn while hidden, next to no processor; shown, the music's time at once
        run hide hide 2 0
        common hide
        [ "$(value hide hidden_frames)" = 0 ] || fail "hide: $(value hide hidden_frames) frames drawn while hidden"
        below hide hidden_ticks 30 "processor ticks (1/100 s) while hidden for 2 s of music"
        # The first frame shown (its drawing on a cold cache included): seconds off if it were not.
        together hide offset_shown_ms 100 ;;
    toggle)  # 1,000 toggles: the right sizes, memory flat, the picture goes on
        run toggle toggle 2 0
        [ "$(value toggle exit)" = 0 ] || fail "toggle: exit code $(value toggle exit)"
        # 1000x700: twice the picture, centred; 300x200: scaled down with its aspect.
        case "$(value toggle box_1000x700)" in 640:4[78][0-9]:180:11[0-2]) ;; *) false;; esac || fail "toggle: in 1000x700 the picture is $(value toggle box_1000x700)"
        case "$(value toggle box_300x200)" in 26[5-7]:199:1[6-8]:[01] | 26[5-7]:200:1[6-8]:[01]) ;; *) fail "toggle: in 300x200 the picture is $(value toggle box_300x200)";; esac
        awk '$1 == "toggle_rss_kb" { exit !($3 - $2 < 2048) }' "$work/toggle.out" ||
            fail "toggle: memory grew over 900 toggles: $(grep toggle_rss "$work/toggle.out")"
        below toggle gap_ms 1000 "the picture stopped while toggling" ;;
    long)    # memory flat after the first 10 s (the pass saves states once a second of
             # the demo: a few hundred bytes each), the offset steady from start to end
        run long long 0 0
        common long
        awk '$1 ~ /^rss_at_/ { n = $1; sub("rss_at_", "", n); if (n + 0 >= 10 && !first) first = $2; last = $2 }
             END { printf "rss growth from 10 s to the end: %d kB\n", last - first; exit !(first && last - first < 8192) }' \
            "$work/long.out" || fail "long: memory grew"
        awk '$1 !~ /#/ && $3 >= 0 { b = int($2 / 15); s[b] += $3 - $2; c[b]++ }
             END { for (i = 0; i < 9; i++) if (c[i]) { o = 1000 * s[i] / c[i]; printf "  %3d-%3d s: offset %.1f ms\n", 15 * i, 15 * i + 15, o
                       if (!n++ || o < lo) lo = o; if (n == 1 || o > hi) hi = o }
                   exit !(n >= 8 && hi - lo < 30) }' "$work/long.log" || fail "long: the offset drifted" ;;
    esac
done
exit $failed
