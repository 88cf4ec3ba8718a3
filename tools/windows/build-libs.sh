#!/bin/sh
# Cross-builds, for 64-bit Windows, the libraries teq.exe links statically:
# zlib, libspng, TurboJPEG, SDL2 and libopenmpt, from Debian's source packages,
# with Debian's mingw-w64 (-posix). Only what teq needs is built.
#
#   tools/windows/build-libs.sh WORK_DIR
#
# The sources come through a private apt configuration in WORK_DIR (the
# machine's own apt set-up is left alone). The installed libraries go to
# /var/cache/teq/mingw-KEY (or $TEQ_MINGW_CACHE/mingw-KEY), KEY naming this
# script, the toolchain file and the compilers; when that folder is not
# writable, to WORK_DIR/mingw-KEY. A finished prefix is reused as it is.
# The prefix is printed as the last line of standard output.
set -eu

work=$1
here=$(cd "$(dirname "$0")" && pwd)
toolchain=$here/../../cmake/mingw-w64-x86_64.cmake
host=x86_64-w64-mingw32
cc=$host-gcc-posix
cxx=$host-g++-posix
jobs=${JOBS:-2}

# The exact source versions (Debian 12).
sources="zlib=1:1.2.13.dfsg-1 libspng=0.7.3-3 libjpeg-turbo=1:2.1.5-2 libsdl2=2.26.5+dfsg-1 libopenmpt=0.6.9-1"

mkdir -p "$work"
work=$(cd "$work" && pwd)
key=$( (cat "$0" "$toolchain"; $cc --version | head -n 1; $cxx --version | head -n 1) | sha256sum | cut -c1-16)
cache=${TEQ_MINGW_CACHE:-/var/cache/teq}
prefix=$cache/mingw-$key
if [ -f "$prefix/.complete" ]; then
    echo "$prefix"
    exit 0
fi
if ! mkdir -p "$cache" 2>/dev/null || ! [ -w "$cache" ]; then
    echo "build-libs: $cache is not writable; keeping the libraries in $work" >&2
    prefix=$work/mingw-$key
    if [ -f "$prefix/.complete" ]; then
        echo "$prefix"
        exit 0
    fi
fi

began=$(date +%s)
stage=$prefix.partial.$$
src=$work/libs-src
logs=$work/libs-log
rm -rf "$stage" "$src" "$logs"
mkdir -p "$stage/lib/pkgconfig" "$stage/include" "$src" "$logs"
trap 'rm -rf "$stage"' EXIT

# Runs a step (in a subshell that stops at the first failing command) with
# its output in a log; on failure shows the log's end.
step() {
    name=$1
    shift
    echo "build-libs: $name" >&2
    t0=$(date +%s)
    # Started in the background: an "if" around the call would switch set -e off.
    ( set -e; "$@" ) >"$logs/$name.log" 2>&1 &
    if ! wait $!; then
        tail -n 40 "$logs/$name.log" >&2
        echo "build-libs: $name failed (whole log: $logs/$name.log)" >&2
        exit 1
    fi
    echo "build-libs: $name took $(( $(date +%s) - t0 )) s" >&2
}

# >> sources through a private apt configuration
fetch() {
    apt=$work/apt
    mkdir -p "$apt/etc/apt.conf.d" "$apt/etc/preferences.d" "$apt/etc/trusted.gpg.d" \
        "$apt/state/lists/partial" "$apt/cache/archives/partial"
    echo "deb-src [signed-by=/usr/share/keyrings/debian-archive-keyring.gpg] http://deb.debian.org/debian bookworm main" \
        >"$apt/etc/sources.list"
    cat >"$apt/apt.conf" <<EOF
Dir::Etc "$apt/etc";
Dir::Etc::SourceList "$apt/etc/sources.list";
Dir::Etc::SourceParts "$apt/etc/sources.list.d";
Dir::Etc::Parts "$apt/etc/apt.conf.d";
Dir::Etc::PreferencesParts "$apt/etc/preferences.d";
Dir::State "$apt/state";
Dir::Cache "$apt/cache";
Debug::NoLocking "true";
APT::Sandbox::User "$(id -un)";
EOF
    mkdir -p "$apt/etc/sources.list.d"
    APT_CONFIG=$apt/apt.conf apt-get update
    # shellcheck disable=SC2086
    (cd "$src" && APT_CONFIG=$apt/apt.conf apt-get source $sources)
}
step fetch fetch

export PKG_CONFIG_LIBDIR="$stage/lib/pkgconfig"
export PKG_CONFIG_PATH=
opt="-O2"

# >> zlib: the library alone (its CMake DLL target wants a resource file
# Debian's source does not ship)
zlib() {
    cd "$src"/zlib-*/
    for f in adler32 compress crc32 deflate gzclose gzlib gzread gzwrite infback inffast inflate inftrees \
             trees uncompr zutil; do
        $cc $opt -c $f.c -o $f.o
    done
    $host-gcc-ar-posix rcs "$stage/lib/libz.a" ./*.o
    cp zlib.h zconf.h "$stage/include/"
    cat >"$stage/lib/pkgconfig/zlib.pc" <<EOF
prefix=$prefix
Name: zlib
Description: zlib compression library
Version: 1.2.13
Libs: -L\${prefix}/lib -lz
Cflags: -I\${prefix}/include
EOF
}
step zlib zlib

# >> libspng: one C file; named spng / libspng.a as teq asks, SPNG_STATIC set
spng() {
    cd "$src"/libspng-*/
    $cc $opt -DSPNG_STATIC -I"$stage/include" -c spng/spng.c -o spng.o
    $host-gcc-ar-posix rcs "$stage/lib/libspng.a" spng.o
    cp spng/spng.h "$stage/include/"
    cat >"$stage/lib/pkgconfig/spng.pc" <<EOF
prefix=$prefix
Name: spng
Description: PNG decoding and encoding
Version: 0.7.3
Requires.private: zlib
Libs: -L\${prefix}/lib -lspng
Cflags: -I\${prefix}/include -DSPNG_STATIC
EOF
}
step spng spng

# >> TurboJPEG: the static library only, no SIMD (no nasm)
turbojpeg() {
    cd "$src"/libjpeg-turbo-*/
    cmake -S . -B build -G Ninja -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DCMAKE_BUILD_TYPE=Release \
        -DCMAKE_INSTALL_PREFIX="$stage" -DENABLE_SHARED=OFF -DENABLE_STATIC=ON -DWITH_SIMD=OFF -DWITH_TURBOJPEG=ON -DWITH_JAVA=OFF
    cmake --build build -j "$jobs" --target turbojpeg-static
    cp build/libturbojpeg.a "$stage/lib/"
    cp turbojpeg.h "$stage/include/"
    cat >"$stage/lib/pkgconfig/libturbojpeg.pc" <<EOF
prefix=$prefix
Name: libturbojpeg
Description: TurboJPEG API
Version: 2.1.5
Libs: -L\${prefix}/lib -lturbojpeg
Cflags: -I\${prefix}/include
EOF
}
step turbojpeg turbojpeg

# >> SDL2: static, no SDL2main, without the subsystems teq does not use
sdl2() {
    cd "$src"/libsdl2-*/
    cmake -S . -B build -G Ninja -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DCMAKE_BUILD_TYPE=Release \
        -DCMAKE_INSTALL_PREFIX="$stage" -DSDL_SHARED=OFF -DSDL_STATIC=ON -DSDL_TEST=OFF \
        -DSDL2_DISABLE_SDL2MAIN=ON -DSDL2_DISABLE_UNINSTALL=ON \
        -DSDL_JOYSTICK=OFF -DSDL_HAPTIC=OFF -DSDL_HIDAPI=OFF -DSDL_SENSOR=OFF -DSDL_POWER=OFF \
        -DSDL_VULKAN=OFF -DSDL_OPENGLES=OFF
    cmake --build build -j "$jobs"
    cmake --install build
    # sdl2.pc asks for -mwindows (a GUI program that prints nothing), in
    # more than one place: teq chooses its subsystem itself.
    sed -i -e 's/ *-mwindows//g' -e "s|$stage|$prefix|g" "$stage/lib/pkgconfig/sdl2.pc"
    rm -rf "$stage/lib/cmake" "$stage/bin" "$stage/share"
}
step sdl2 sdl2

# >> libopenmpt: the core library, no optional codecs, no player
openmpt() {
    cd "$src"/libopenmpt-*/
    ./configure --host=$host --prefix="$stage" CC=$cc CXX=$cxx CFLAGS="$opt" CXXFLAGS="$opt" \
        --disable-shared --enable-static --disable-openmpt123 --disable-examples --disable-tests \
        --disable-doxygen-doc --without-zlib --without-mpg123 --without-ogg --without-vorbis \
        --without-vorbisfile --without-portaudio --without-portaudiocpp --without-sndfile --without-flac \
        --without-pulseaudio --without-sdl2
    make -j "$jobs"
    make install-libLTLIBRARIES install-nobase_includeHEADERS install-pkgconfigDATA
    sed -i "s|$stage|$prefix|g" "$stage/lib/pkgconfig/libopenmpt.pc"
    rm -f "$stage"/lib/*.la
}
step openmpt openmpt

touch "$stage/.complete"
rm -rf "$prefix"
mv "$stage" "$prefix"
trap - EXIT
echo "build-libs: libraries ready in $prefix after $(( $(date +%s) - began )) s" >&2
echo "$prefix"
