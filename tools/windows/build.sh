#!/bin/sh
# make windows: teq.exe for 64-bit Windows, zipped with the data files and a
# README for Windows users into WORK_DIR/teq-windows.zip.
#
#   tools/windows/build.sh WORK_DIR DATA_DIR
#
# DATA_DIR holds the data files of the native build (the same bytes on every
# platform). The libraries come from tools/libs/build.sh (built once, then reused).
set -eu
work=$1
data=$2
root=$(cd "$(dirname "$0")/../.." && pwd)
jobs=${JOBS:-2}
began=$(date +%s)

for f in distortion.xm geo.a3f smfont.png; do
    [ -f "$data/$f" ] || { echo "windows: no $f in $data (build the data first)" >&2; exit 1; }
done
prefix=$("$root/tools/libs/build.sh" mingw "$work")

# A new library prefix means a fresh configure: pkg-config's answers are cached.
build=$work/teq
if [ "$(cat "$build/.prefix" 2>/dev/null)" != "$prefix" ]; then
    rm -rf "$build"
    mkdir -p "$build"
    echo "$prefix" >"$build/.prefix"
fi
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake" -DTEQ_MINGW_PREFIX="$prefix" >"$work/configure.log" 2>&1 ||
    { tail -n 30 "$work/configure.log" >&2; exit 1; }
cmake --build "$build" -j "$jobs" --target teq

# Only Windows' own DLLs: anything else would be missing on the user's machine.
dlls=$(x86_64-w64-mingw32-objdump -p "$build/teq.exe" | sed -n 's/^\s*DLL Name: //p' | tr 'A-Z' 'a-z' | sort -u)
for dll in $dlls; do
    case $dll in
    advapi32.dll | gdi32.dll | imm32.dll | kernel32.dll | msvcrt.dll | ole32.dll | oleaut32.dll | \
    setupapi.dll | shell32.dll | user32.dll | version.dll | winmm.dll | rpcrt4.dll | cfgmgr32.dll | \
    ws2_32.dll | bcrypt.dll | dinput8.dll | api-ms-win-*) ;;
    *) echo "windows: teq.exe needs $dll, which Windows does not ship" >&2; exit 1 ;;
    esac
done

stage=$work/zip/teq
rm -rf "$work/zip" "$work/teq-windows.zip"
mkdir -p "$stage/data"
x86_64-w64-mingw32-strip -o "$stage/teq.exe" "$build/teq.exe"
cp "$data"/* "$stage/data/"
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
sed -e "s/@VERSION@/$version/" -e 's/$/\r/' "$root/tools/windows/README.txt" >"$stage/README.txt"
(cd "$work/zip" && zip -q -r -X ../teq-windows.zip teq)
echo "windows: $work/teq-windows.zip ($(du -k "$work/teq-windows.zip" | cut -f1) KiB) in $(( $(date +%s) - began )) s"
