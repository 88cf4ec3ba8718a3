#!/bin/bash
# teq against hostile surroundings: data folders that are missing, empty or
# full of special files, a picture that is a folder, options that make no
# sense together. Every case ends (a hang fails through the timeout), with the
# promised exit code and one line per fault.
# usage: hostile_check.sh TEQ DATA_DIR
set -u
teq=$1 data=$2
work=$(mktemp -d)
full=$work/full   # a small tmpfs, when this runs as root
trap 'umount "$full" 2>/dev/null; rm -rf "$work"' EXIT
failed=0
fail() { echo "FAIL: $*"; failed=1; }
# Lines of messages: the progress bar and the closing line of a render are not counted.
lines() { grep -v -e '^\[' -e '^teq: rendered ' "$1" | wc -l; }

# expect NAME CODE LINES teq-args...: exit code and line count on stderr.
expect() {
    local name=$1 code=$2 want=$3; shift 3
    timeout 120 "$teq" "$@" >"$work/$name.out" 2>"$work/$name.err"
    local rc=$?
    [ $rc -eq "$code" ] || fail "$name: exit code $rc, expected $code: $(head -3 "$work/$name.err")"
    [ "$want" = any ] || [ "$(lines "$work/$name.err")" -eq "$want" ] || fail "$name: $(lines "$work/$name.err") lines, expected $want: $(head -3 "$work/$name.err")"
}

# --data: a folder that is not there, or a file, is a bad option.
expect data_missing 2 1 --data "$work/nowhere" --shot 1 "$work/x.png"
grep -q -- "--data $work/nowhere: no such folder" "$work/data_missing.err" || fail "data_missing: $(cat "$work/data_missing.err")"
touch "$work/afile"
expect data_file 2 1 --data "$work/afile" --shot 1 "$work/x.png"
# An empty folder: said once, and the demo plays without data.
mkdir "$work/empty"
expect data_empty 0 1 --data "$work/empty" --shot 30 "$work/empty.png"
grep -q -- "--data $work/empty: the folder is empty" "$work/data_empty.err" || fail "data_empty: $(cat "$work/data_empty.err")"
[ -s "$work/empty.png" ] || fail "data_empty: no picture written"

# Options that cannot be met.
expect bench_past_end 2 1 --data "$data" --bench --start 200
expect shot_jpg 2 1 --data "$data" --shot 5 "$work/x.jpg"
[ ! -e "$work/x.jpg" ] || fail "shot_jpg: a file was written"

# Every data file a FIFO: no read waits on one; one line for each file the
# demo loads (all but one), placeholders, exit 0.
mkdir "$work/fifos"
for f in "$data"/*; do mkfifo "$work/fifos/$(basename "$f")"; done
expect fifos 0 any --data "$work/fifos" --render "$work/fifos.frames" --length 0.1 --fps 10
said=$(lines "$work/fifos.err")
[ "$said" -ge 20 ] && [ "$(grep -c 'is a FIFO, not a regular file' "$work/fifos.err")" -eq "$said" ] ||
    fail "fifos: $said lines: $(head -3 "$work/fifos.err")"

# A picture that is a folder, a module that is a device.
mkdir "$work/odd"
for f in "$data"/*; do ln -s "$f" "$work/odd/"; done
rm "$work/odd/wormhole.jpg" "$work/odd/distortion.xm"
mkdir "$work/odd/wormhole.jpg"
ln -s /dev/zero "$work/odd/distortion.xm"
expect odd 0 2 --data "$work/odd" --render "$work/odd.frames" --length 0.1 --fps 10
grep -q "picture $work/odd/wormhole.jpg: is a folder, not a file" "$work/odd.err" || fail "odd: $(cat "$work/odd.err")"
grep -q "music $work/odd/distortion.xm: is a character device" "$work/odd.err" || fail "odd: $(cat "$work/odd.err")"
# Interrupted renders. wait_for CONDITION: up to 60 s for it to hold.
wait_for() { for _ in $(seq 600); do eval "$1" && return 0; sleep 0.1; done; return 1; }
ffmpeg_of() {   # the ffmpeg that process $1 started, if any
    local stat
    for stat in /proc/[0-9]*/stat; do
        read -r child comm _ parent _ 2>/dev/null < "$stat" || continue
        [ "$parent" = "$1" ] && [ "$comm" = "(ffmpeg)" ] && echo "$child"
    done
}
frames_in() { ls "$1" 2>/dev/null | grep -c '^[0-9]*\.png$'; }
wav_frames() { echo $(( ($(stat -c %s "$1") - 44) / 4 )); }

# SIGTERM to teq alone while ffmpeg encodes: no video, nothing temporary, no ffmpeg left.
"$teq" --data "$data" --render "$work/term.mp4" --fps 10 --length 60 2>"$work/term.err" &
pid=$!
wait_for '[ -n "$(ffmpeg_of $pid)" ]' && sleep 1
ffmpeg_pid=$(ffmpeg_of $pid)
kill -TERM $pid
wait $pid
rc=$?
[ $rc -eq 143 ] || fail "term: exit code $rc, expected 143"
grep -q "^teq: interrupted at frame [0-9]* of 600; $work/term.mp4 is not written$" "$work/term.err" ||
    fail "term: $(tail -2 "$work/term.err")"
[ -z "$(ls "$work" | grep '^term.mp4')" ] || fail "term: left behind: $(ls "$work" | grep '^term.mp4')"
[ -z "$ffmpeg_pid" ] || ! kill -0 "$ffmpeg_pid" 2>/dev/null || fail "term: ffmpeg still runs"

# SIGKILL: teq cannot clean up, but ffmpeg dies with it and never finishes a video.
"$teq" --data "$data" --render "$work/kill.mp4" --fps 10 --length 60 2>/dev/null &
pid=$!
wait_for '[ -n "$(ffmpeg_of $pid)" ]' && sleep 1
ffmpeg_pid=$(ffmpeg_of $pid)
kill -KILL $pid
wait $pid 2>/dev/null
gone() { ! kill -0 "$1" 2>/dev/null || [ "$(awk '{ print $3 }' "/proc/$1/stat" 2>/dev/null)" = Z ]; }
[ -n "$ffmpeg_pid" ] || fail "kill: ffmpeg never started"
[ -z "$ffmpeg_pid" ] || wait_for 'gone $ffmpeg_pid' || fail "kill: ffmpeg outlives teq"
[ ! -e "$work/kill.mp4" ] || fail "kill: $work/kill.mp4 written"

# Ctrl+C (SIGINT to the process group) during a folder render: the frames so
# far, whole, and exactly their audio.
setsid "$teq" --data "$data" --render "$work/int" --fps 10 --length 60 2>"$work/int.err" &
pid=$!
wait_for '[ "$(frames_in "$work/int")" -ge 3 ]'
kill -INT -- -$pid
wait $pid
rc=$?
[ $rc -eq 130 ] || fail "int: exit code $rc, expected 130"
n=$(frames_in "$work/int")
grep -q "^teq: interrupted at frame $n of 600; $work/int holds the first $n frames and their audio$" "$work/int.err" ||
    fail "int: $n frames; $(tail -1 "$work/int.err")"
[ "$(wav_frames "$work/int/audio.wav")" -eq $((n * 4800)) ] || fail "int: $(wav_frames "$work/int/audio.wav") audio frames for $n frames"
[ -z "$(ls "$work/int" | grep -v -e '^[0-9]*\.png$' -e '^audio.wav$')" ] || fail "int: left behind: $(ls "$work/int")"

# Rendering again into that folder: the old frames go, with a line.
expect again 0 1 --data "$data" --render "$work/int" --fps 10 --length 0.3
[ "$(frames_in "$work/int")" -eq 3 ] || fail "again: $(frames_in "$work/int") frames in the folder, expected 3"
grep -q "removed $n frames and the audio of an earlier render" "$work/again.err" || fail "again: $(cat "$work/again.err")"

# A full disk: one line naming the file and the cause, exit 1, nothing left
# behind (no 0-byte or partial file).
mkdir "$full"
if mount -t tmpfs -o size=16k tmpfs "$full" 2>/dev/null; then
    expect shot_full 1 1 --data "$data" --shot 60 "$full/shot.png"
    grep -q "cannot write $full/shot.png: No space left on device" "$work/shot_full.err" ||
        fail "shot_full: $(cat "$work/shot_full.err")"
    [ -z "$(ls "$full")" ] || fail "shot_full: left behind: $(ls "$full")"
    mount -o remount,size=1m "$full"   # room for the WAV of 3 s, not for the video
    expect mp4_full 1 1 --data "$data" --render "$full/x.mp4" --fps 30 --length 3
    grep -q "ffmpeg could not write $full/x.mp4: .*No space left on device" "$work/mp4_full.err" ||
        fail "mp4_full: $(cat "$work/mp4_full.err")"
    [ -z "$(ls "$full")" ] || fail "mp4_full: left behind: $(ls "$full")"
    expect wav_full 1 1 --data "$data" --render "$full/f" --fps 10 --length 20
    grep -q "cannot write $full/f/audio.wav: No space left on device" "$work/wav_full.err" ||
        fail "wav_full: $(cat "$work/wav_full.err")"
    [ -z "$(ls "$full/f")" ] || fail "wav_full: left behind: $(ls "$full/f")"
    rm -rf "$full/f"
    mount -o remount,size=1536k "$full"   # room for the WAV of 5 s and a few frames
    expect png_full 1 1 --data "$data" --render "$full/f" --fps 10 --length 5
    n=$(frames_in "$full/f")
    grep -q "cannot write $full/f/$(printf %06d $n).png: No space left on device; $full/f holds the first $n frames" \
        "$work/png_full.err" || fail "png_full: $n frames; $(cat "$work/png_full.err")"
    [ "$(wav_frames "$full/f/audio.wav")" -eq $((n * 4800)) ] || fail "png_full: audio of $(wav_frames "$full/f/audio.wav") frames"
    [ -z "$(ls "$full/f" | grep -v -e '^[0-9]*\.png$' -e '^audio.wav$')" ] || fail "png_full: left behind: $(ls "$full/f")"
else
    echo "no tmpfs (not root?): full-disk cases skipped"
fi
exit $failed
