#!/bin/bash
# teq from the outside: offline renders are byte-identical run to run, start
# late with the states of the frames before, the
# audio of frame n begins at floor(n * rate / fps), a missing or corrupt
# module gives a silent run of 135 s, a bad option exits with code 2, --bench
# reports its passes, and a
# .mp4 comes out with the right length, size and an audio stream.
# usage: render_check.sh TEQ MAKE_TEST_MODULE DATA_DIR
set -u
teq=$1 make_module=$2 data=$3
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failed=0
fail() { echo "FAIL: $*"; failed=1; }

# A data folder like the build's, with the test song (3.84 s) or another module file.
make_data() {   # make_data DIR [module file to use, "" for none]
    mkdir -p "$1"
    for f in "$data"/*; do ln -s "$f" "$1/"; done
    rm -f "$1/distortion.xm"
}
make_data "$work/song"
"$make_module" "$work/song/distortion.xm" 64 || exit 1

# Bad options: one line, exit code 2.
for args in "--bogus" "--fps 0" "--size 12x" "--render a.mp4 --size 641x480"; do
    "$teq" $args >/dev/null 2>"$work/err"
    rc=$?
    [ $rc -eq 2 ] || fail "teq $args: exit code $rc, expected 2"
    [ "$(wc -l < "$work/err")" -eq 1 ] || fail "teq $args: $(wc -l < "$work/err") lines on stderr"
done
"$teq" --help | grep -q -- "--render FILE" || fail "--help does not list --render"

# --bench over a stretch, twice through: every frame timed in each pass, and
# the per-frame fastest reported beside the worst.
"$teq" --data "$data" --bench --start 80 --length 0.5 --passes 2 >"$work/bench.out" 2>"$work/bench.err" ||
    fail "--bench failed: $(tail -1 "$work/bench.err")"
grep -q '^frames 30 (t = 80.000 to 80.483) x 2 passes$' "$work/bench.out" || fail "--bench frames line: $(head -1 "$work/bench.out")"
grep -q '^frames over 8.3 ms: [0-9]* of 60$' "$work/bench.out" || fail "--bench does not count 60 timings"
grep -q '^fastest of 2 passes per frame' "$work/bench.out" || fail "--bench gives no per-frame fastest"

# Two renders of the same stretch: same frames, same audio, byte for byte.
for run in a b; do
    "$teq" --data "$work/song" --render "$work/$run" --start 0.5 --length 0.5 --fps 30 2>"$work/$run.err" ||
        fail "render $run failed: $(tail -1 "$work/$run.err")"
done
frames=$(ls "$work/a" | grep -c '\.png$')
[ "$frames" -eq 15 ] || fail "15 frames expected in 0.5 s at 30 fps, got $frames"
(cd "$work/a" && sha256sum *) > "$work/a.sum"
(cd "$work/b" && sha256sum *) > "$work/b.sum"
cmp -s "$work/a.sum" "$work/b.sum" || fail "two renders differ: $(diff "$work/a.sum" "$work/b.sum" | head -3)"
grep -q "teq: rendered 15 frames" "$work/a.err" || fail "no closing line after rendering"
grep -q "frames 100.0%" "$work/a.err" || fail "no progress bar"
# The frames show something and change over time.
[ "$(sha256sum < "$work/a/000000.png")" != "$(sha256sum < "$work/a/000014.png")" ] ||
    fail "first and last frame identical"

# At --resolution 2: frames of 640x480, byte-identical run to run and
# whatever the number of drawing threads.
for run in "r2a 2" "r2b 3"; do
    set -- $run
    TEQ_RENDER_THREADS=$2 "$teq" --data "$work/song" --render "$work/$1" --start 0.5 --length 0.25 --fps 30 \
        --resolution 2 2>"$work/$1.err" || fail "render at --resolution 2 failed: $(tail -1 "$work/$1.err")"
done
(cd "$work/r2a" && sha256sum *) > "$work/r2a.sum"
(cd "$work/r2b" && sha256sum *) > "$work/r2b.sum"
cmp -s "$work/r2a.sum" "$work/r2b.sum" || fail "two renders at --resolution 2 differ: $(diff "$work/r2a.sum" "$work/r2b.sum" | head -3)"
size=$(ffprobe -v error -show_entries stream=width,height -of csv=p=0 "$work/r2a/000000.png" 2>/dev/null)
[ "$size" = "640,480" ] || fail "--resolution 2 frame is '$size', expected 640,480"
for args in "--resolution 0" "--resolution 9" "--resolution 2.5"; do
    "$teq" $args >/dev/null 2>"$work/err"
    [ $? -eq 2 ] && [ "$(wc -l < "$work/err")" -eq 1 ] || fail "teq $args: not one line and exit code 2"
done

# Frame n's audio begins at floor(n * 48000 / fps): at 7 fps, frames 0..3 have
# t < 0.5, and their audio ends at floor(4 * 48000 / 7) = 27428 frames.
"$teq" --data "$work/song" --render "$work/seven" --length 0.5 --fps 7 2>/dev/null || fail "7 fps render failed"
wav=$(stat -c %s "$work/seven/audio.wav")
[ "$wav" -eq $((44 + 27428 * 4)) ] || fail "7 fps: WAV of $wav bytes, expected $((44 + 27428 * 4))"
[ "$(ls "$work/seven" | grep -c '\.png$')" -eq 4 ] || fail "7 fps: 4 frames expected"

# The whole song: frames up to its end, audio as long as its frames, not silent.
"$teq" --data "$work/song" --render "$work/whole" --fps 5 2>/dev/null || fail "whole-song render failed"
[ "$(ls "$work/whole" | grep -c '\.png$')" -eq 20 ] || fail "3.84 s at 5 fps: 20 frames expected"
wav=$(stat -c %s "$work/whole/audio.wav")
[ "$wav" -eq $((44 + 192000 * 4)) ] || fail "whole song: WAV of $wav bytes"
loud=$(od -An -v -td2 -j 44 -w2 "$work/whole/audio.wav" | awk '$1 > 1000 || $1 < -1000 { n++ } END { print n + 0 }')
[ "$loud" -gt 10000 ] || fail "whole song: the audio is (nearly) silent"

# Missing and corrupt modules: one line about the music, a silent run of
# 135 s (for the missing one: from 133 s at 2 fps, 4 frames remain).
make_data "$work/nosong"
make_data "$work/badsong"
{ printf 'Extended Module: '; head -c 3000 /dev/urandom; } > "$work/badsong/distortion.xm"
for case in nosong badsong; do
    if [ $case = nosong ]; then args="--fps 2 --start 133"; expect=4; else args="--fps 4 --length 1"; expect=4; fi
    "$teq" --data "$work/$case" --render "$work/$case.out" $args 2>"$work/$case.err"
    rc=$?
    [ $rc -eq 0 ] || fail "$case: exit code $rc"
    [ "$(grep -c 'distortion.xm' "$work/$case.err")" -eq 1 ] || fail "$case: expected one line naming the module"
    n=$(ls "$work/$case.out" | grep -c '\.png$')
    [ "$n" -eq $expect ] || fail "$case: $n frames, expected $expect"
    nonzero=$(od -An -v -td2 -j 44 -w2 "$work/$case.out/audio.wav" | awk '$1 != 0 { n++ } END { print n + 0 }')
    [ "$nonzero" -eq 0 ] || fail "$case: audio not silent"
done

# A render that starts late inherits the states of the frames before it: with
# no music (level 0) its first frame is the picture --shot draws at level 0.
"$teq" --data "$work/nosong" --render "$work/late" --start 60 --length 0.01 2>/dev/null || fail "late render failed"
"$teq" --data "$work/nosong" --shot 60 "$work/late.png" --level 0 2>/dev/null || fail "shot at 60 failed"
cmp -s "$work/late/000000.png" "$work/late.png" || fail "a render from 60 s differs from the shot at 60 s"

# A cut: the frame whose time is the bound 27.5 s (frame 1650 at 60 fps)
# shows the window after the cut, not the empty frame a shot at exactly 27.5
# gives; the frames beside it are drawn at n / fps as ever.
luma() { ffmpeg -v error -i "$1" -vf signalstats,metadata=print:key=lavfi.signalstats.YAVG:file=- -f null - |
    sed -n 's/.*YAVG=\([0-9]*\).*/\1/p'; }
"$teq" --data "$data" --render "$work/cut" --start 27.45 --length 0.1 2>/dev/null || fail "render across a cut failed"
"$teq" --data "$data" --shot 27.5 "$work/bound.png" 2>/dev/null || fail "shot at 27.5 failed"
"$teq" --data "$data" --shot 27.45 "$work/before.png" 2>/dev/null || fail "shot at 27.45 failed"
[ "$(luma "$work/bound.png")" -le 17 ] || fail "a shot at exactly 27.5 is no longer the empty frame"
for f in "$work"/cut/0000*.png; do
    [ "$(luma "$f")" -gt 24 ] || fail "render frame $(basename "$f") across the cut at 27.5 s is black"
done
cmp -s "$work/before.png" "$work/cut/000000.png" || fail "the frame before the cut differs from its shot"

# A video file: ffmpeg's H.264 in .mp4, with sound, at the asked size and length.
if command -v ffprobe >/dev/null; then
    "$teq" --data "$work/song" --render "$work/clip.mp4" --size 640x480 --fps 30 --length 1 2>/dev/null ||
        fail "mp4 render failed"
    probe=$(ffprobe -v error -show_entries stream=codec_type,codec_name,width,height,pix_fmt \
            -show_entries format=duration -of compact "$work/clip.mp4")
    for want in codec_name=h264 width=640 height=480 pix_fmt=yuv420p codec_type=audio; do
        echo "$probe" | grep -q "$want" || fail "mp4 lacks $want: $probe"
    done
    dur=$(ffprobe -v error -show_entries format=duration -of default=nw=1:nk=1 "$work/clip.mp4")
    awk -v d="$dur" 'BEGIN { exit !(d > 0.95 && d < 1.1) }' || fail "mp4 lasts $dur s, expected 1"
    [ ! -e "$work/clip.mp4.audio.wav" ] || fail "temporary WAV left behind"
    "$teq" --data "$work/song" --render "$work/clip2.mp4" --size 640x480 --fps 30 --length 1 2>/dev/null
    cmp -s "$work/clip.mp4" "$work/clip2.mp4" || fail "two .mp4 renders differ"

    # No display: one line saying so, then teq.mp4 in the current folder.
    mkdir "$work/nodisplay"
    (cd "$work/nodisplay" && env -u DISPLAY -u WAYLAND_DISPLAY -u SDL_VIDEODRIVER \
        "$teq" --data "$work/song" --length 0.5 --mute 2>"$work/nodisplay.err") || fail "no display: teq failed"
    [ "$(grep -c 'no display' "$work/nodisplay.err")" -eq 1 ] || fail "no display: no line saying so"
    dur=$(ffprobe -v error -show_entries format=duration -of default=nw=1:nk=1 "$work/nodisplay/teq.mp4")
    awk -v d="$dur" 'BEGIN { exit !(d > 0.45 && d < 0.6) }' || fail "no display: teq.mp4 lasts '$dur' s"
fi
exit $failed
