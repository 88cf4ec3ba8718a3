#!/bin/sh
# Cross-builds the libraries the browser build links (SDL2, libopenmpt core,
# libspng + zlib, TurboJPEG without SIMD) with emcc from Debian's source
# packages, once, into a prefix outside the source tree:
#   /var/cache/teq/wasm[-mt]-<key>   (or under <fallback> when /var/cache is not writable)
# <key> is a hash of this script and the compiler's version, so a changed
# recipe or toolchain builds afresh. Prints the prefix on standard output.
# "mt" builds them for shared memory (-pthread), as the page's two-thread
# build needs: the linker will not mix objects built with and without it.
# Usage: build-libs.sh FALLBACK_DIR [mt]
set -eu

fallback=${1:?usage: build-libs.sh FALLBACK_DIR [mt]}
variant=${2:-}
case $variant in
    "") flavour=wasm; threads="" ;;
    mt) flavour=wasm-mt; threads="-pthread" ;;
    *) echo "build-libs.sh: unknown variant '$variant'" >&2; exit 2 ;;
esac
key=$( (cat "$0"; emcc --version | head -1) | sha256sum | cut -c1-16)

root=/var/cache/teq
if ! mkdir -p "$root" 2>/dev/null || ! [ -w "$root" ]; then
    mkdir -p "$fallback"
    root=$(cd "$fallback" && pwd)
fi
prefix=$root/$flavour-$key
if [ -f "$prefix/.done" ]; then
    echo "$prefix"
    exit 0
fi

log() { echo "build-libs: $*" >&2; }
jobs=${JOBS:-2}
work=$root/$flavour-$key.work
rm -rf "$work" "$prefix"
mkdir -p "$work/apt/parts" "$work/apt/lists/partial" "$work/apt/cache/archives/partial" "$work/src"

# A private apt state: deb-src lines and package lists live in $work, the
# machine's own apt set-up is neither read nor changed.
cat > "$work/apt/sources.list" <<SOURCES
deb-src http://deb.debian.org/debian bookworm main
SOURCES
apt_opts="-o Dir::Etc::SourceList=$work/apt/sources.list -o Dir::Etc::SourceParts=$work/apt/parts
          -o Dir::State::Lists=$work/apt/lists -o Dir::Cache=$work/apt/cache
          -o APT::Sandbox::User=root"
log "fetching Debian sources"
# shellcheck disable=SC2086
apt-get $apt_opts -qq update >&2
cd "$work/src"
# shellcheck disable=SC2086
apt-get $apt_opts -qq source --download-only zlib libspng libjpeg-turbo libsdl2 libopenmpt >&2
for t in *.orig.tar.*; do tar xf "$t"; done
srcdir() { ls -d "$work/src/$1"*/ | head -1; }

export CFLAGS="-O2${threads:+ $threads}" CXXFLAGS="-O2${threads:+ $threads}" LDFLAGS="$threads"
# Debian's emcc needs node to find Debian's node modules (acorn).
export NODE_PATH=/usr/share/nodejs${NODE_PATH:+:$NODE_PATH}
# Thousands of configure checks: emcc's own start-up check once is enough.
export EMCC_SKIP_SANITY_CHECK=1
# emcc's output under node 18+: its built-in fetch breaks the loader.
emulator="node;--no-experimental-fetch"
cmake_build() {   # cmake_build SRC_DIR NAME [options...]
    src=$1; name=$2; shift 2
    log "building $name"
    emcmake cmake -S "$src" -B "$work/build-$name" -G Ninja -DCMAKE_BUILD_TYPE=Release \
        -DCMAKE_INSTALL_PREFIX="$prefix" -DCMAKE_PREFIX_PATH="$prefix" \
        -DCMAKE_FIND_ROOT_PATH="$prefix" -DCMAKE_CROSSCOMPILING_EMULATOR="$emulator" \
        -DBUILD_SHARED_LIBS=OFF "$@" >"$work/$name.log" 2>&1 ||
        { tail -30 "$work/$name.log" >&2; exit 1; }
    cmake --build "$work/build-$name" -j"$jobs" >>"$work/$name.log" 2>&1 &&
        cmake --install "$work/build-$name" >>"$work/$name.log" 2>&1 ||
        { tail -30 "$work/$name.log" >&2; exit 1; }
}

# zlib's Debian tarball lacks the files its CMake build wants: its own configure.
log "building zlib"
(cd "$(srcdir zlib-)" && emconfigure ./configure --static --prefix="$prefix" && emmake make -j"$jobs" libz.a &&
    emmake make install) >"$work/zlib.log" 2>&1 || { tail -30 "$work/zlib.log" >&2; exit 1; }

# spng is one C file; its CMake build insists on the shared library.
log "building spng"
spng=$(srcdir libspng-)
mkdir -p "$work/build-spng" "$prefix/include" "$prefix/lib"
emcc $CFLAGS -DSPNG_STATIC -DSPNG_DISABLE_OPT -I"$prefix/include" -c "$spng/spng/spng.c" -o "$work/build-spng/spng.o"
emar rcs "$prefix/lib/libspng.a" "$work/build-spng/spng.o"
cp "$spng/spng/spng.h" "$prefix/include/"
# teq asks pkg-config for "spng".
mkdir -p "$prefix/lib/pkgconfig"
cat > "$prefix/lib/pkgconfig/spng.pc" <<PC
prefix=$prefix
Name: spng
Description: PNG decoding and encoding
Version: 0.7.3
Requires.private: zlib
Libs: -L\${prefix}/lib -lspng -lz
Cflags: -I\${prefix}/include -DSPNG_STATIC
PC

# TurboJPEG alone: its static library, header and pkg-config file (the
# programs and the libjpeg copy are not needed).
log "building jpeg"
{
    emcmake cmake -S "$(srcdir libjpeg-turbo-)" -B "$work/build-jpeg" -G Ninja -DCMAKE_BUILD_TYPE=Release \
        -DCMAKE_CROSSCOMPILING_EMULATOR="$emulator" -DENABLE_SHARED=0 -DENABLE_STATIC=1 -DWITH_SIMD=0 \
        -DWITH_TURBOJPEG=1 -DWITH_JAVA=0 &&
    cmake --build "$work/build-jpeg" -j"$jobs" --target turbojpeg-static
} >"$work/jpeg.log" 2>&1 || { tail -30 "$work/jpeg.log" >&2; exit 1; }
cp "$work/build-jpeg/libturbojpeg.a" "$prefix/lib/"
cp "$(srcdir libjpeg-turbo-)/turbojpeg.h" "$prefix/include/"
cat > "$prefix/lib/pkgconfig/libturbojpeg.pc" <<PC
prefix=$prefix
Name: libturbojpeg
Description: TurboJPEG (no SIMD)
Version: 2.1.5
Libs: -L\${prefix}/lib -lturbojpeg
Cflags: -I\${prefix}/include
PC

cmake_build "$(srcdir SDL2-)" sdl2 -DSDL_SHARED=OFF -DSDL_STATIC=ON -DSDL_TEST=OFF \
    -DSDL_PTHREADS=OFF -DSDL_THREADS=OFF -DCMAKE_INSTALL_LIBDIR="$prefix/lib"

# libopenmpt's Debian tarball is the autotools release: the core library only.
log "building libopenmpt"
cd "$(srcdir libopenmpt-)"
{
    PKG_CONFIG_LIBDIR="$prefix/lib/pkgconfig" emconfigure ./configure --host=wasm32-unknown-none \
        --prefix="$prefix" --disable-shared --enable-static --disable-openmpt123 --disable-examples \
        --disable-tests --disable-doxygen-doc --without-zlib --without-mpg123 --without-ogg \
        --without-vorbis --without-vorbisfile --without-pulseaudio --without-portaudio \
        --without-portaudiocpp --without-sndfile --without-flac &&
    emmake make -j"$jobs" &&
    emmake make install
} >"$work/openmpt.log" 2>&1 || { tail -30 "$work/openmpt.log" >&2; exit 1; }

rm -rf "$work"
touch "$prefix/.done"
log "libraries in $prefix"
echo "$prefix"
