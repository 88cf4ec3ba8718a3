#!/bin/sh
# make windows-check: teq.exe from the zip, under wine with no display and no
# sound, against the native build: --help prints, --version and README.txt
# name the native build's version, a bad option exits 2 with
# one line, --shot gives the same pictures (or, where the two C maths
# libraries round a sine differently, a few pixels a level or two apart), and
# a short --render gives the same audio bytes.
#
#   tools/windows/check.sh WORK_DIR NATIVE_TEQ DATA_DIR PNGDIFF
set -u
here=$(cd "$(dirname "$0")" && pwd)
work=$(cd "$1" && pwd)
absolute() { (cd "$(dirname "$1")" && echo "$(pwd)/$(basename "$1")"); }
teq=$(absolute "$2")
data=$(absolute "$3")
pngdiff=$(absolute "$4")
zip=$work/teq-windows.zip
[ -f "$zip" ] || { echo "windows-check: no $zip (make windows first)" >&2; exit 1; }

export WINEPREFIX="$work/wine" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
unset DISPLAY WAYLAND_DISPLAY
began=$(date +%s)
# Wine's first start sets up its Windows folder, which is slow: once.
if [ ! -f "$WINEPREFIX/system.reg" ]; then
    echo "windows-check: setting up wine in $WINEPREFIX"
    wine wineboot --init >/dev/null 2>&1
    wineserver -w
fi
trap 'wineserver -k 2>/dev/null' EXIT

# From the zip, in a folder without the data: teq.exe finds data\ beside it.
run=$work/check
rm -rf "$run"
mkdir -p "$run/native"
(cd "$run" && unzip -q "$zip") || exit 1
exe=$run/teq/teq.exe
cd "$run" || exit 1
failed=0
fail() { echo "FAIL: $*"; failed=1; }

wine "$exe" --help >help.txt 2>&1
grep -q -- "--render FILE" help.txt || fail "teq.exe --help printed: $(head -c 200 help.txt)"
version=$("$teq" --version)
wine "$exe" --version >version.txt 2>&1
[ "$(tr -d '\r' <version.txt)" = "$version" ] || fail "teq.exe --version printed '$(head -c 100 version.txt)', not '$version'"
grep -q "^Version ${version#teq }" teq/README.txt || fail "README.txt does not name ${version}"

wine "$exe" --bogus >out.txt 2>err.txt
rc=$?
[ $rc -eq 2 ] || fail "teq.exe --bogus: exit code $rc, expected 2"
[ "$(wc -l <err.txt)" -eq 1 ] && grep -q "^teq: .*--bogus" err.txt ||
    fail "teq.exe --bogus: stderr was '$(cat err.txt)'"

# No ffmpeg.exe anywhere: a video render says what to do, and fails.
wine "$exe" --render video.mp4 --length 1 >/dev/null 2>err.txt
rc=$?
[ $rc -eq 1 ] && grep -q "ffmpeg not found: get a Windows build of ffmpeg" err.txt ||
    fail "teq.exe --render video.mp4 without ffmpeg: exit code $rc, '$(cat err.txt)'"

# With an ffmpeg.exe beside teq.exe (a stand-in that counts what it reads):
# every frame's bytes through the pipe, the arguments whole despite spaces,
# the finished video renamed into place.
x86_64-w64-mingw32-gcc-posix -O2 "$here/fake_ffmpeg.c" -o teq/ffmpeg.exe || exit 1
mkdir -p "my videos"
wine "$exe" --render "my videos/a b.mp4" --length 0.5 --fps 10 >/dev/null 2>err.txt ||
    fail "teq.exe --render through ffmpeg.exe: $(tail -n 1 err.txt)"
# The video and the WAV go to ffmpeg under the run's own temporary names
# (NAME.TAG.part, NAME.audio.wav.TAG.part), the video renamed when finished.
[ "$(head -n 1 "my videos/a b.mp4")" = "bytes $((5 * 320 * 240 * 4))" ] &&
    tail -n 1 "my videos/a b.mp4" | grep -qx "my videos/a b\.mp4\.[A-Za-z0-9]*\.part" ||
    fail "ffmpeg.exe got: $(head -n 1 "my videos/a b.mp4" 2>&1) ... $(tail -n 1 "my videos/a b.mp4" 2>&1)"
grep -qx "my videos/a b\.mp4\.audio\.wav\.[A-Za-z0-9]*\.part" "my videos/a b.mp4" || fail "ffmpeg.exe did not get the WAV's name"
[ "$(ls "my videos")" = "a b.mp4" ] ||
    fail "the temporary WAV or the unfinished video was left behind"
rm teq/ffmpeg.exe

for t in 5 30 54 60 90 105; do
    "$teq" --data "$data" --shot $t native/$t.png 2>/dev/null || fail "native --shot $t"
    wine "$exe" --shot $t $t.png >/dev/null 2>err.txt || fail "teq.exe --shot $t: $(cat err.txt)"
    [ -f $t.png ] || continue
    if cmp -s native/$t.png $t.png; then
        echo "shot $t s: same bytes"
    else
        echo "shot $t s: $("$pngdiff" native/$t.png $t.png)"
        "$pngdiff" native/$t.png $t.png 200 2 >/dev/null || fail "shot $t s differs beyond 200 pixels by 2 levels"
    fi
done

# Writing over an existing picture (renamed into place over the old one).
cp 30.png 30-first.png 2>/dev/null
wine "$exe" --shot 30 30.png >/dev/null 2>err.txt || fail "teq.exe --shot over an existing file: $(cat err.txt)"
cmp -s 30.png 30-first.png || fail "the second --shot 30 differs from the first"

"$teq" --data "$data" --render native/frames --start 54 --length 2 --fps 30 2>/dev/null || fail "native --render"
wine "$exe" --render frames --start 54 --length 2 --fps 30 >/dev/null 2>err.txt || fail "teq.exe --render: $(tail -n 1 err.txt)"
if cmp -s native/frames/audio.wav frames/audio.wav; then
    echo "render audio: same bytes ($(wc -c <frames/audio.wav) bytes)"
else
    fail "render audio differs from the native build's"
fi
same=0 total=0 most=0
for f in native/frames/*.png; do
    total=$((total + 1))
    if cmp -s "$f" "frames/${f##*/}"; then
        same=$((same + 1))
        continue
    fi
    # A rounded sine moves a triangle edge by a pixel now and then: a few
    # dozen pixels where a texel or edge changes, a few levels apart.
    "$pngdiff" "$f" "frames/${f##*/}" 200 8 >diff.txt || fail "render frame ${f##*/}: $(cat diff.txt)"
    n=$(cut -d' ' -f1 diff.txt)
    [ "${n:-0}" -gt $most ] && most=$n
done
[ "$(ls frames/*.png 2>/dev/null | wc -l)" -eq $total ] || fail "render: $(ls frames/*.png | wc -l) frames, native $total"
echo "render frames: $same of $total the same bytes, the others at most $most pixels a few levels apart"

echo "windows-check: $( [ $failed -eq 0 ] && echo passed || echo FAILED ) in $(( $(date +%s) - began )) s"
exit $failed
