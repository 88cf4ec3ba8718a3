#!/bin/sh
# Builds the libraries one of teq's other builds links, from Debian's source
# packages at the versions pinned below, once, into a cache folder:
#
#   tools/libs/build.sh TARGET FALLBACK_DIR
#
#   mingw         64-bit Windows (mingw.sh): zlib, libspng, TurboJPEG, SDL2, libopenmpt
#   wasm          the browser, one thread (wasm.sh): the same five
#   wasm-mt       the browser on shared memory (wasm.sh with -pthread)
#   fuzz          zlib, libspng, TurboJPEG with AddressSanitizer, UBSan and
#                 libFuzzer's coverage (fuzz.sh)
#   fuzz-openmpt  libopenmpt instrumented the same way (fuzz-openmpt.sh)
#
# This script holds the steps every target shares: a private apt state (the
# machine's own apt set-up is neither read nor changed), the sources, the
# cache folder and its key, the lock, the mark of a finished build, and the
# builds that look alike on every target (libspng, TurboJPEG, libopenmpt's
# configure flags). tools/libs/TARGET.sh says what differs.
#
# The libraries go to $TEQ_LIB_CACHE/TARGET-KEY (default /var/cache/teq), or
# FALLBACK_DIR/TARGET-KEY when that is not writable. KEY hashes this script,
# the recipe, the compilers' versions and the source versions, so a changed
# recipe or toolchain builds afresh. A folder holding .complete is finished
# and reused as it is. A build holds a lock (flock) on TARGET-KEY.lock: a
# second build of the same folder waits for it, then uses its result. The
# prefix is the one line printed on standard output; the steps' logs and
# times go to standard error and, on failure, stay in TARGET-KEY.work.
set -eu

usage() { echo "usage: tools/libs/build.sh mingw|wasm|wasm-mt|fuzz|fuzz-openmpt FALLBACK_DIR" >&2; exit 2; }
[ $# -eq 2 ] || usage
target=$1
fallback=$2
here=$(cd "$(dirname "$0")" && pwd)
case $target in
    mingw | fuzz | fuzz-openmpt) recipe=$here/$target.sh ;;
    wasm | wasm-mt) recipe=$here/wasm.sh ;;
    *) usage ;;
esac

# The source packages, as Debian 12 ships them (the native build's versions).
versions="zlib=1:1.2.13.dfsg-1 libspng=0.7.3-3 libjpeg-turbo=1:2.1.5-2 libsdl2=2.26.5+dfsg-1 libopenmpt=0.6.9-1"
mirror=${TEQ_DEBIAN_MIRROR:-http://deb.debian.org/debian}
jobs=${JOBS:-2}

# The recipe sets `sources` (the source packages it builds), `toolchain`
# (its compilers' versions, part of the key) and defines build().
# shellcheck source=/dev/null
. "$recipe"

key=$( { cat "$here/build.sh" "$recipe"; echo "$toolchain"; echo "$target $versions"; } | sha256sum | cut -c1-16)
cache=${TEQ_LIB_CACHE:-/var/cache/teq}
if ! mkdir -p "$cache" 2>/dev/null || ! [ -w "$cache" ]; then
    mkdir -p "$fallback"
    cache=$(cd "$fallback" && pwd)
    echo "build-libs: keeping the libraries in $cache" >&2
fi
prefix=$cache/$target-$key
if [ ! -f "$prefix/.complete" ]; then
    exec 9>"$prefix.lock"
    if ! flock -n 9; then
        echo "build-libs: waiting for another build of $prefix" >&2
        flock 9
    fi
fi
if [ -f "$prefix/.complete" ]; then
    echo "$prefix"
    exit 0
fi

began=$(date +%s)
work=$prefix.work
rm -rf "$prefix" "$work"
mkdir -p "$prefix/include" "$prefix/lib/pkgconfig" "$work/src" "$work/logs"

# Runs a step (in a subshell that stops at its first failing command) with
# its output in a log; on failure shows the log's end and stops.
step() {
    name=$1
    shift
    echo "build-libs: $target: $name" >&2
    t0=$(date +%s)
    # Started in the background: an "if" around the call would switch set -e off.
    ( set -e; "$@" ) >"$work/logs/$name.log" 2>&1 &
    if ! wait $!; then
        tail -n 40 "$work/logs/$name.log" >&2
        echo "build-libs: $target: $name failed (whole log: $work/logs/$name.log)" >&2
        exit 1
    fi
    echo "build-libs: $target: $name took $(( $(date +%s) - t0 )) s" >&2
}

# >> the sources: a private apt state (deb-src lines, lists, cache) in the
# work folder; each package at its pinned version, unpacked with Debian's
# patches applied.
fetch() {
    apt=$work/apt
    mkdir -p "$apt/etc/apt.conf.d" "$apt/etc/preferences.d" "$apt/etc/sources.list.d" \
        "$apt/state/lists/partial" "$apt/cache/archives/partial"
    echo "deb-src [signed-by=/usr/share/keyrings/debian-archive-keyring.gpg] $mirror bookworm main" \
        >"$apt/etc/sources.list"
    cat >"$apt/apt.conf" <<CONF
Dir::Etc "$apt/etc";
Dir::Etc::SourceList "$apt/etc/sources.list";
Dir::Etc::SourceParts "$apt/etc/sources.list.d";
Dir::Etc::Parts "$apt/etc/apt.conf.d";
Dir::Etc::PreferencesParts "$apt/etc/preferences.d";
Dir::State "$apt/state";
Dir::Cache "$apt/cache";
Debug::NoLocking "true";
APT::Sandbox::User "$(id -un)";
CONF
    APT_CONFIG=$apt/apt.conf apt-get update
    cd "$work/src"
    for p in $sources; do
        pinned=$(echo " $versions " | sed -n "s/.* \($p=[^ ]*\) .*/\1/p")
        APT_CONFIG=$apt/apt.conf apt-get source --download-only "$pinned"
    done
    for dsc in ./*.dsc; do dpkg-source --no-check -x "$dsc"; done
}
step fetch fetch

# The unpacked source of a package.
srcdir() { ls -d "$work/src/$1"-*/ | head -n 1; }

# A pkg-config file for teq: pc NAME VERSION LIBS [EXTRA_LINE].
pc() {
    {
        echo "prefix=$prefix"
        echo "Name: $1"
        echo "Description: $1 for teq"
        echo "Version: $2"
        [ -z "${4:-}" ] || echo "$4"
        echo "Libs: -L\${prefix}/lib $3"
        echo "Cflags: -I\${prefix}/include${5:-}"
    } >"$prefix/lib/pkgconfig/$1.pc"
}

# >> libspng: one C file, built with $CC $CFLAGS and archived with $AR
# (its own build insists on a shared library). SPNG_STATIC as teq asks;
# the arguments are added to the compiler's.
spng() {
    cd "$(srcdir libspng)"
    $CC $CFLAGS -DSPNG_STATIC "$@" -I"$prefix/include" -c spng/spng.c -o spng.o
    $AR rcs "$prefix/lib/libspng.a" spng.o
    cp spng/spng.h "$prefix/include/"
}

# >> TurboJPEG: the static library and its header alone (not the programs,
# not libjpeg), without SIMD (assembly needs nasm and is not instrumented).
# The arguments: how to run cmake (e.g. emcmake cmake), "--", its options.
turbojpeg() {
    cd "$(srcdir libjpeg-turbo)"
    wrap=""
    while [ "$1" != -- ]; do wrap="$wrap $1"; shift; done
    shift
    $wrap -S . -B build -G Ninja -DENABLE_SHARED=OFF -DENABLE_STATIC=ON -DWITH_SIMD=OFF \
        -DWITH_TURBOJPEG=ON -DWITH_JAVA=OFF "$@"
    cmake --build build -j "$jobs" --target turbojpeg-static
    cp build/libturbojpeg.a "$prefix/lib/"
    cp turbojpeg.h "$prefix/include/"
}

# >> libopenmpt: the player library alone, no decoders of compressed samples,
# no player program, examples, tests or documentation. Its configure and
# make run through $WRAP_CONFIGURE and $WRAP_MAKE (emconfigure, emmake);
# each recipe adds its own flags (the arguments) beside these:
#   mingw    --host=x86_64-w64-mingw32 CC=.. CXX=.. CFLAGS=-O2 CXXFLAGS=-O2 --without-zlib --without-sdl2
#   wasm     --host=wasm32-unknown-none --without-zlib (flags from CFLAGS, CXXFLAGS, LDFLAGS)
#   fuzz     CC=clang CXX=clang++ CFLAGS/CXXFLAGS instrumented (with zlib)
openmpt() {
    cd "$(srcdir libopenmpt)"
    ${WRAP_CONFIGURE:-} ./configure --prefix="$prefix" "$@" \
        --disable-shared --enable-static --disable-openmpt123 --disable-examples --disable-tests \
        --disable-doxygen-doc --without-mpg123 --without-ogg --without-vorbis --without-vorbisfile \
        --without-pulseaudio --without-portaudio --without-portaudiocpp --without-sndfile --without-flac
    ${WRAP_MAKE:-} make -j "$jobs"
    ${WRAP_MAKE:-} make install-libLTLIBRARIES install-nobase_includeHEADERS install-pkgconfigDATA
    rm -f "$prefix"/lib/*.la
}

# >> zlib through its own configure, as a static library ($CC, $CFLAGS).
zlib() {
    cd "$(srcdir zlib)"
    ${WRAP_CONFIGURE:-} ./configure --static --prefix="$prefix"
    ${WRAP_MAKE:-} make -j "$jobs" libz.a
    ${WRAP_MAKE:-} make install
}

build
echo "$target: $sources at $versions; $toolchain; $(date -u +%F)" >"$prefix/.complete"
rm -rf "$work"
echo "build-libs: $target: libraries ready in $prefix after $(( $(date +%s) - began )) s" >&2
echo "$prefix"
