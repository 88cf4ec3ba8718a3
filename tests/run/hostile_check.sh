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
# AddressSanitizer reserves terabytes of address space and keeps freed memory
# a while: the memory-limit cases and peak-memory figures are for plain builds.
sanitized=0
grep -q __asan_init "$teq" && sanitized=1
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

# Output targets that cannot be checked or written: one line, exit 1, before
# any frame (a folder of frames is not made), nothing left behind.
touch "$work/plain"
ln -s loop1 "$work/loop2"; ln -s loop2 "$work/loop1"
long=$(printf 'a%.0s' $(seq 5000))
mkdir "$work/out.mp4" "$work/wavdir" "$work/wavdir/audio.wav"
mkfifo "$work/fifo.mp4"
expect out_loop 1 1 --data "$data" --render "$work/loop1/x.mp4" --length 0.1
grep -q "cannot write $work/loop1/x.mp4: Too many levels of symbolic links" "$work/out_loop.err" || fail "out_loop: $(cat "$work/out_loop.err")"
expect out_loopf 1 1 --data "$data" --render "$work/loop1/f" --length 0.1
expect out_long 1 1 --data "$data" --render "$work/$long.mp4" --length 0.1
grep -q "File name too long" "$work/out_long.err" || fail "out_long: $(cat "$work/out_long.err")"
[ "$(wc -c < "$work/out_long.err")" -lt 1000 ] || fail "out_long: a message of $(wc -c < "$work/out_long.err") bytes"
expect out_longf 1 1 --data "$data" --render "$work/$long" --length 0.1
expect out_notdir 1 1 --data "$data" --render "$work/plain/x.mp4" --length 0.1
expect out_folder 1 1 --data "$data" --render "$work/out.mp4" --length 0.1
grep -q "cannot write $work/out.mp4: it is a folder, not a file" "$work/out_folder.err" || fail "out_folder: $(cat "$work/out_folder.err")"
expect out_fifo 1 1 --data "$data" --render "$work/fifo.mp4" --length 0.1
[ -p "$work/fifo.mp4" ] || fail "out_fifo: the FIFO was replaced"
expect out_wavdir 1 1 --data "$data" --render "$work/wavdir" --length 0.1
grep -q "cannot write $work/wavdir/audio.wav: it is a folder, not a file" "$work/out_wavdir.err" || fail "out_wavdir: $(cat "$work/out_wavdir.err")"
[ "$(ls "$work/wavdir")" = audio.wav ] || fail "out_wavdir: left behind: $(ls "$work/wavdir")"
[ -z "$(ls "$work" | grep -v '^kill\.mp4' | grep -e '\.part$' -e 'teq-lock$')" ] ||
    fail "outputs: left behind: $(ls "$work" | grep -e '\.part$' -e 'teq-lock$')"
# A newline in a path stays one line.
expect data_newline 2 1 --data "$work/new
line" --shot 1 "$work/x.png"
grep -q 'new\\nline: no such folder' "$work/data_newline.err" || fail "data_newline: $(cat "$work/data_newline.err")"

# As a normal user (root would pass every permission): a folder that cannot
# be searched on the way to the output, and a data folder that cannot be
# listed but whose files open by name.
if [ "$(id -u)" = 0 ] && command -v setpriv >/dev/null; then
    as_user() { setpriv --reuid=nobody --regid=nogroup --clear-groups "$@"; }
    chmod 755 "$work"
    mkdir -p "$work/shut/in" "$work/user" "$work/listless"
    chmod 700 "$work/shut"
    chmod 777 "$work/user"
    cp "$data"/* "$work/listless/"
    chmod 711 "$work/listless"
    chmod 644 "$work/listless"/*
    as_user "$teq" --data "$data" --render "$work/shut/in/x.mp4" --length 0.1 2>"$work/shut.err"
    rc=$?
    [ $rc -eq 1 ] && [ "$(lines "$work/shut.err")" -eq 1 ] && grep -q "cannot write $work/shut/in/x.mp4: Permission denied" "$work/shut.err" ||
        fail "shut: exit code $rc: $(cat "$work/shut.err")"
    as_user "$teq" --data "$data" --render "$work/shut/in/f" --length 0.1 2>"$work/shutf.err"
    rc=$?
    [ $rc -eq 1 ] && [ "$(lines "$work/shutf.err")" -eq 1 ] || fail "shutf: exit code $rc: $(cat "$work/shutf.err")"
    as_user "$teq" --data "$work/listless" --shot 30 "$work/user/listless.png" 2>"$work/listless.err"
    rc=$?
    [ $rc -eq 0 ] && [ "$(lines "$work/listless.err")" -eq 0 ] || fail "listless: exit code $rc: $(cat "$work/listless.err")"
    "$teq" --data "$data" --shot 30 "$work/user/full.png" 2>/dev/null
    cmp -s "$work/user/listless.png" "$work/user/full.png" || fail "listless: not the picture of the full data folder"
else
    echo "not root or no setpriv: a normal user's cases skipped"
fi

# Files beside the output are not this run's: a user's FILE.audio.wav is left
# as it is, a symlink where a temporary name used to be is not written through.
echo mine > "$work/keep.mp4.audio.wav"
echo target > "$work/target"
ln -s "$work/target" "$work/s.png.part"
ln -s "$work/target" "$work/keep.mp4.part"
expect keep 0 0 --data "$data" --render "$work/keep.mp4" --length 0.2 --fps 10
expect shot_link 0 0 --data "$data" --shot 5 "$work/s.png"
[ "$(cat "$work/keep.mp4.audio.wav")" = mine ] || fail "keep: the user's keep.mp4.audio.wav was changed"
[ "$(cat "$work/target")" = target ] || fail "keep: written through a symlink"
[ -f "$work/s.png" ] && [ ! -L "$work/s.png" ] || fail "shot_link: s.png is not a plain file"
[ -f "$work/keep.mp4" ] || fail "keep: no video"

# Signals while ffmpeg cannot take frames (stopped) and while it finishes
# slowly: the render stops at once with 128 + the signal, nothing left.
"$teq" --data "$data" --render "$work/stall.mp4" --fps 10 --length 60 2>"$work/stall.err" &
pid=$!
wait_for '[ -n "$(ffmpeg_of $pid)" ]' && sleep 1
ffmpeg_pid=$(ffmpeg_of $pid)
kill -STOP "$ffmpeg_pid"
sleep 2   # the pipe fills and teq waits on it
kill -TERM $pid
wait_for '! kill -0 $pid 2>/dev/null' || { kill -KILL $pid; fail "stall: SIGTERM did not end teq"; }
wait $pid
rc=$?
kill -CONT "$ffmpeg_pid" 2>/dev/null
[ $rc -eq 143 ] || fail "stall: exit code $rc, expected 143: $(tail -1 "$work/stall.err")"
[ -z "$(ls "$work" | grep '^stall.mp4')" ] || fail "stall: left behind: $(ls "$work" | grep '^stall.mp4')"
mkdir "$work/bin"
printf '#!/bin/sh\n"%s" "$@" || exit $?\nexec sleep 60\n' "$(command -v ffmpeg)" > "$work/bin/ffmpeg"
chmod +x "$work/bin/ffmpeg"
PATH="$work/bin:$PATH" "$teq" --data "$data" --render "$work/slow.mp4" --fps 10 --length 0.5 2>"$work/slow.err" &
pid=$!
wait_for 'grep -q "5/5 frames" "$work/slow.err"' && sleep 1
kill -TERM $pid
wait_for '! kill -0 $pid 2>/dev/null' || { kill -KILL $pid; fail "slow: SIGTERM did not end teq"; }
wait $pid
rc=$?
[ $rc -eq 143 ] || fail "slow: exit code $rc, expected 143: $(tail -1 "$work/slow.err")"
grep -q "slow.mp4 is not written" "$work/slow.err" || fail "slow: $(tail -1 "$work/slow.err")"
[ -z "$(ls "$work" | grep '^slow.mp4')" ] || fail "slow: left behind: $(ls "$work" | grep '^slow.mp4')"
# An ffmpeg that takes every frame, writes nothing and says it is done: a
# failure, not "rendered", and no empty file left under the name.
printf '#!/bin/sh\ncat >/dev/null\nexit 0\n' > "$work/bin/ffmpeg"
PATH="$work/bin:$PATH" "$teq" --data "$data" --render "$work/empty.mp4" --fps 10 --length 0.5 2>"$work/empty.err"
rc=$?
[ $rc -eq 1 ] && grep -q "^teq: ffmpeg wrote nothing to $work/empty.mp4" "$work/empty.err" ||
    fail "empty: exit code $rc: $(tail -1 "$work/empty.err")"
[ -z "$(ls "$work" | grep '^empty.mp4')" ] || fail "empty: left behind: $(ls "$work" | grep '^empty.mp4')"
# Ctrl+C while the loading screen runs (undrawn in a render): once teq has
# said something (a missing picture, right after it set up), the stop ends
# the render with its line, whether loading is over by then or not.
mkdir "$work/early"
for f in "$data"/*; do ln -s "$f" "$work/early/"; done
rm "$work/early/wormhole.jpg"
"$teq" --data "$work/early" --render "$work/early.mp4" --fps 10 --length 5 2>"$work/early.err" &
pid=$!
wait_for 'grep -q "wormhole.jpg" "$work/early.err"'
kill -INT $pid
wait $pid
rc=$?
[ $rc -eq 130 ] && grep -q "^teq: interrupted at frame [0-9]* of 50; $work/early.mp4 is not written" "$work/early.err" ||
    fail "early: exit code $rc: $(tail -1 "$work/early.err")"
# SIGHUP and SIGQUIT are stops like SIGTERM: 129 and 131, the frames so far.
for sig in HUP QUIT; do
    "$teq" --data "$data" --render "$work/$sig" --fps 10 --length 60 2>"$work/$sig.err" &
    pid=$!
    wait_for '[ "$(frames_in "$work/$sig")" -ge 2 ]'
    kill -$sig $pid
    wait $pid
    rc=$?
    [ $rc -eq $((128 + $(kill -l $sig))) ] || fail "$sig: exit code $rc"
    n=$(frames_in "$work/$sig")
    grep -q "^teq: interrupted at frame $n of 600; $work/$sig holds the first $n frames and their audio$" "$work/$sig.err" ||
        fail "$sig: $n frames; $(tail -1 "$work/$sig.err")"
    [ -z "$(ls "$work/$sig" | grep -v -e '^[0-9]*\.png$' -e '^audio.wav$')" ] || fail "$sig: left behind: $(ls "$work/$sig")"
done
# Standard error into a reader that goes away: the render goes on to the end.
"$teq" --data "$data" --render "$work/piped" --fps 10 --length 1 2>&1 >/dev/null | head -c 10 >/dev/null
rc=${PIPESTATUS[0]}
[ $rc -eq 0 ] && [ "$(frames_in "$work/piped")" -eq 10 ] || fail "piped: exit code $rc, $(frames_in "$work/piped") frames"
# A file-size limit: "File too large", exit 1, nothing partial.
(ulimit -f 100; exec "$teq" --data "$data" --render "$work/limit.mp4" --fps 10 --length 3) 2>"$work/limit.err"
rc=$?
[ $rc -eq 1 ] && grep -q "cannot write $work/limit.mp4.audio.wav: File too large" "$work/limit.err" || fail "limit: exit code $rc: $(cat "$work/limit.err")"
(ulimit -f 700; exec "$teq" --data "$data" --render "$work/limit2.mp4" --start 60 --fps 30 --length 3) 2>"$work/limit2.err"
rc=$?
[ $rc -eq 1 ] && grep -q "ffmpeg could not write $work/limit2.mp4: .*File too large" "$work/limit2.err" || fail "limit2: exit code $rc: $(tail -1 "$work/limit2.err")"
(ulimit -f 20; exec "$teq" --data "$data" --shot 30 "$work/limit.png") 2>"$work/limit3.err"
rc=$?
[ $rc -eq 1 ] && grep -q "cannot write $work/limit.png: File too large" "$work/limit3.err" || fail "limit3: exit code $rc: $(cat "$work/limit3.err")"
[ -z "$(ls "$work" | grep '^limit' | grep -v '\.err$')" ] || fail "limit: left behind: $(ls "$work" | grep '^limit')"

# Two renders to one output: the second is refused while the first runs, and
# the first finishes whole. SIGKILL leaves the temporary files and the lock
# file; the next render to that name removes them.
for out in same.mp4 samedir; do
    "$teq" --data "$data" --render "$work/$out" --fps 10 --length 3 2>"$work/$out.first" &
    pid=$!
    wait_for '[ -e "$work/$out.teq-lock" ] || [ -e "$work/$out/teq-lock" ]'
    expect "$out.second" 1 1 --data "$data" --render "$work/$out" --fps 10 --length 3
    grep -q "cannot render to $work/$out: another teq is rendering to it" "$work/$out.second.err" || fail "$out: $(cat "$work/$out.second.err")"
    wait $pid || fail "$out: the first render failed: $(tail -1 "$work/$out.first")"
done
[ "$(frames_in "$work/samedir")" -eq 30 ] || fail "samedir: $(frames_in "$work/samedir") frames"
ffprobe -v error -count_frames -show_entries stream=nb_read_frames -of csv=p=0 "$work/same.mp4" 2>/dev/null | grep -q '^30$' ||
    fail "same.mp4 does not decode to 30 frames"
"$teq" --data "$data" --render "$work/killed.mp4" --fps 10 --length 60 2>/dev/null &
pid=$!
wait_for '[ -n "$(ffmpeg_of $pid)" ]' && sleep 1
kill -KILL $pid
wait $pid 2>/dev/null
[ "$(ls "$work" | grep -c '^killed.mp4.*\.part$')" -eq 2 ] && [ -e "$work/killed.mp4.teq-lock" ] || fail "killed: left: $(ls "$work" | grep '^killed')"
expect killed_again 0 1 --data "$data" --render "$work/killed.mp4" --fps 10 --length 0.2
grep -q "killed.mp4: removed the temporary files of a render that was killed" "$work/killed_again.err" || fail "killed_again: $(cat "$work/killed_again.err")"
[ "$(ls "$work" | grep '^killed' | grep -v -e '\.err$' -e '\.out$')" = killed.mp4 ] || fail "killed_again: left: $(ls "$work" | grep '^killed')"

# Meshes far beyond the budgets, written sparse (the data left as holes).
# A mesh of OBJECTS objects, each of V vertices (all zero) and I indices (all
# zero), written sparse: u32 LE with printf, the data left as holes.
u32() { printf "\\x$(printf %02x $(($1 & 255)))\\x$(printf %02x $(($1 >> 8 & 255)))\\x$(printf %02x $(($1 >> 16 & 255)))\\x$(printf %02x $(($1 >> 24 & 255)))"; }
make_mesh() {   # make_mesh FILE OBJECTS V I
    local file=$1 objects=$2 v=$3 i=$4 pos=8 k
    { printf A3F1; u32 "$objects"; } > "$file"
    for ((k = 0; k < objects; k++)); do
        u32 "$v" | dd of="$file" bs=1 seek=$pos conv=notrunc status=none
        u32 "$i" | dd of="$file" bs=1 seek=$((pos + 4)) conv=notrunc status=none
        pos=$((pos + 8 + v * 36 + i * 4))
    done
    truncate -s $pos "$file"
}
mkdir "$work/mesh"
for f in "$data"/*; do ln -s "$f" "$work/mesh/"; done
rm "$work/mesh/geo.a3f" "$work/mesh/knot.a3f"
# 1 GiB of vertices: refused from its counts once past the 512 MiB budget, after
# reading less than it (peak memory well under the file's size), and under a
# memory limit too small even for that, "out of memory" instead of an abort.
make_mesh "$work/mesh/geo.a3f" 28 1048576 3
/usr/bin/time -f %M -o "$work/mesh.rss" "$teq" --data "$work/mesh" --shot 5 "$work/mesh.png" 2>"$work/mesh.err"
rc=$?
[ $rc -eq 0 ] && [ "$(lines "$work/mesh.err")" -eq 1 ] && grep -q "geo.a3f: not loaded: needs more than 576 MiB by object 7, over the 512 MiB left of the mesh memory budget" "$work/mesh.err" ||
    fail "mesh: exit code $rc: $(cat "$work/mesh.err")"
if [ $sanitized = 0 ]; then
    [ "$(tail -1 "$work/mesh.rss")" -lt 700000 ] || fail "mesh: peak memory $(tail -1 "$work/mesh.rss") KiB"
    (ulimit -v 250000; exec "$teq" --data "$work/mesh" --shot 5 "$work/mesh.png") 2>"$work/mesh_v.err"
    rc=$?
    [ $rc -eq 0 ] && [ "$(lines "$work/mesh_v.err")" -eq 1 ] && grep -q "geo.a3f: out of memory while reading it" "$work/mesh_v.err" ||
        fail "mesh_v: exit code $rc: $(cat "$work/mesh_v.err")"
fi
# 10 million triangles: refused at load; a mesh of a million drawn 95 times a
# frame: cut at the frame's budget, said once.
rm "$work/mesh/geo.a3f"
make_mesh "$work/mesh/geo.a3f" 1 3 3145728
make_mesh "$work/mesh/knot.a3f" 10 3 3145728
expect knot 0 1 --data "$work/mesh" --shot 30 "$work/knot.png"
grep -q "knot.a3f: not loaded: more than 2097152 triangles by object 1, over the limit of 1048576 for a mesh" "$work/knot.err" ||
    fail "knot: $(cat "$work/knot.err")"
expect swarm 0 1 --data "$work/mesh" --render "$work/swarm" --start 5 --length 0.3 --fps 10
grep -q "^teq: meshes: more than 1048576 triangles in one frame; the rest of the frame's meshes are not drawn$" "$work/swarm.err" ||
    fail "swarm: $(cat "$work/swarm.err")"
# Pictures of 4096x4096 under a memory limit: a line each, no abort.
mkdir "$work/pictures"
ffmpeg -v error -f lavfi -i color=c=red:s=4096x4096 -frames:v 1 "$work/big.png"
for f in "$data"/*; do
    case $f in *.png | *.jpg) cp "$work/big.png" "$work/pictures/$(basename "$f")" ;; *) ln -s "$f" "$work/pictures/" ;; esac
done
if [ $sanitized = 0 ]; then
    (ulimit -v 300000; exec "$teq" --data "$work/pictures" --shot 5 "$work/pictures.png") 2>"$work/pictures.err"
    rc=$?
    [ $rc -eq 0 ] && grep -q "out of memory while decoding it" "$work/pictures.err" &&
        [ -z "$(grep -v -e 'out of memory while decoding it' -e 'picture memory budget of 256 MiB is used up' "$work/pictures.err")" ] ||
        fail "pictures: exit code $rc: $(head -3 "$work/pictures.err")"
fi
# A JPEG of only its start and end markers.
mkdir "$work/markers"
for f in "$data"/*; do ln -s "$f" "$work/markers/"; done
rm "$work/markers/wormhole.jpg"
printf '\xff\xd8\xff\xd9' > "$work/markers/wormhole.jpg"
expect markers 0 1 --data "$work/markers" --shot 5 "$work/markers.png"
grep -q "wormhole.jpg: JPEG has no frame header (no picture in it)" "$work/markers.err" || fail "markers: $(cat "$work/markers.err")"
expect bench_end 2 1 --data "$data" --bench --start 134.995
expect size_cap 2 1 --data "$data" --render "$work/cap.mp4" --size 7680x4320

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
