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
# A full disk: one line naming the file and the cause, exit 1, nothing left
# behind (no 0-byte or partial file).
mkdir "$full"
if mount -t tmpfs -o size=16k tmpfs "$full" 2>/dev/null; then
    expect shot_full 1 1 --data "$data" --shot 60 "$full/shot.png"
    grep -q "cannot write $full/shot.png: No space left on device" "$work/shot_full.err" ||
        fail "shot_full: $(cat "$work/shot_full.err")"
    [ -z "$(ls "$full")" ] || fail "shot_full: left behind: $(ls "$full")"
else
    echo "no tmpfs (not root?): full-disk cases skipped"
fi
exit $failed
