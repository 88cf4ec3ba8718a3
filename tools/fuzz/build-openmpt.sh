#!/bin/sh
# Builds libopenmpt from Debian's source package (the installed version) with
# the same instrumentation as build-libs.sh, as a static library, so the xm
# fuzz target sees inside the player too. make fuzz uses it unless
# FUZZ_OPENMPT=0 (about 370 s of processor time to build, once; cached in
# $TEQ_FUZZ_CACHE/fuzz-openmpt-<key>). Prints the prefix on its last line.
set -eu
CC=${CC:-clang}
CXX=${CXX:-clang++}
cache=${TEQ_FUZZ_CACHE:-/var/cache/teq}
flags="-O1 -g -fno-omit-frame-pointer -fsanitize=address,undefined,fuzzer-no-link"
openmpt_v=$(dpkg-query -W -f='${source:Version}' libopenmpt0)
key=$( { cat "$0"; $CXX --version | head -1; echo "$openmpt_v $flags"; } | sha256sum | cut -c1-16)
prefix=$cache/fuzz-openmpt-$key
if [ -f "$prefix/done" ]; then
    echo "$prefix"
    exit 0
fi
work=$(mktemp -d "${TMPDIR:-/tmp}/teq-fuzz-openmpt.XXXXXX")
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/apt/lists/partial" "$work/apt/cache/archives/partial" "$work/src" "$work/out/include/libopenmpt" "$work/out/lib"
. /etc/os-release
mirror=${TEQ_DEBIAN_MIRROR:-http://deb.debian.org/debian}
echo "deb-src $mirror $VERSION_CODENAME main" >"$work/apt/sources.list"
apt_opts="-o Dir::Etc::SourceList=$work/apt/sources.list -o Dir::Etc::SourceParts=/dev/null
  -o Dir::State::Lists=$work/apt/lists -o Dir::Cache=$work/apt/cache -o Debug::NoLocking=1"
# shellcheck disable=SC2086
{ apt-get $apt_opts -qq update && cd "$work/src" && apt-get $apt_opts -qq source --download-only "libopenmpt=$openmpt_v"; } \
    >"$work/apt.log" 2>&1 || { cat "$work/apt.log" >&2; exit 1; }
dpkg-source --no-check -x ./*.dsc >/dev/null
cd libopenmpt-*/
# The player alone: no decoders of compressed samples, no tools.
./configure -q CC="$CC" CXX="$CXX" CFLAGS="$flags" CXXFLAGS="$flags" --disable-shared --enable-static \
    --disable-openmpt123 --disable-examples --disable-tests --disable-doxygen-doc --without-mpg123 --without-ogg \
    --without-vorbis --without-vorbisfile --without-portaudio --without-portaudiocpp --without-pulseaudio \
    --without-sndfile --without-flac >"$work/configure.log" 2>&1 || { tail -20 "$work/configure.log" >&2; exit 1; }
make -s -j"${JOBS:-2}" >"$work/make.log" 2>&1 || { tail -20 "$work/make.log" >&2; exit 1; }
cp .libs/libopenmpt.a "$work/out/lib/"
cp libopenmpt/libopenmpt.h libopenmpt/libopenmpt_config.h libopenmpt/libopenmpt_version.h libopenmpt/libopenmpt.hpp \
    "$work/out/include/libopenmpt/"
mkdir -p "$cache"
rm -rf "$prefix"
cp -r "$work/out" "$prefix"
echo "libopenmpt $openmpt_v; $($CXX --version | head -1); $flags" >"$prefix/done"
echo "$prefix"
