#!/bin/sh
# Builds zlib, libspng and TurboJPEG from Debian's source packages with clang,
# AddressSanitizer, UBSan and libFuzzer's coverage instrumentation, as static
# libraries, so the fuzz targets see inside the decoders. The sources are the
# versions of the installed packages, fetched through a private apt set-up
# (the machine's own apt configuration is not touched).
#
# The result is cached outside the clone, in $TEQ_FUZZ_CACHE (default
# /var/cache/teq) under fuzz-<key>, the key taken from this script, the
# compiler and the package versions; a second run finds it and does nothing.
# Prints the prefix (include/, lib/) on its last line.
set -eu

here=$(cd "$(dirname "$0")" && pwd)
CC=${CC:-clang}
cache=${TEQ_FUZZ_CACHE:-/var/cache/teq}
flags="-O1 -g -fno-omit-frame-pointer -fsanitize=address,undefined,fuzzer-no-link"

version() { dpkg-query -W -f='${source:Version}' "$1"; }
zlib_v=$(version zlib1g)
spng_v=$(version libspng0)
jpeg_v=$(version libturbojpeg0)
key=$( { cat "$0"; $CC --version | head -1; echo "$zlib_v $spng_v $jpeg_v $flags"; } | sha256sum | cut -c1-16)
prefix=$cache/fuzz-$key
if [ -f "$prefix/done" ]; then
    echo "$prefix"
    exit 0
fi

work=$(mktemp -d "${TMPDIR:-/tmp}/teq-fuzz-libs.XXXXXX")
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/apt/lists/partial" "$work/apt/cache/archives/partial" "$work/src" "$work/out/include" "$work/out/lib"

# A private apt: deb-src entries only, its own lists and cache.
. /etc/os-release
mirror=${TEQ_DEBIAN_MIRROR:-http://deb.debian.org/debian}
echo "deb-src $mirror $VERSION_CODENAME main" >"$work/apt/sources.list"
echo "deb-src ${mirror}-security $VERSION_CODENAME-security main" >>"$work/apt/sources.list"
apt_opts="-o Dir::Etc::SourceList=$work/apt/sources.list -o Dir::Etc::SourceParts=/dev/null
  -o Dir::State::Lists=$work/apt/lists -o Dir::Cache=$work/apt/cache -o Debug::NoLocking=1
  -o APT::Get::List-Cleanup=0"
# shellcheck disable=SC2086
apt-get $apt_opts -qq update >"$work/apt.log" 2>&1 || { cat "$work/apt.log" >&2; exit 1; }
cd "$work/src"
for p in "zlib=$zlib_v" "libspng=$spng_v" "libjpeg-turbo=$jpeg_v"; do
    # shellcheck disable=SC2086
    apt-get $apt_opts -qq source --download-only "$p" >>"$work/apt.log" 2>&1 || { cat "$work/apt.log" >&2; exit 1; }
done
for dsc in *.dsc; do dpkg-source --no-check -x "$dsc" >/dev/null; done

out=$work/out
jobs=${JOBS:-2}

# zlib
(cd zlib-*/ && CC=$CC CFLAGS="$flags" ./configure --static --prefix="$out" >/dev/null &&
    make -s -j"$jobs" libz.a >/dev/null && cp libz.a "$out/lib/" && cp zlib.h zconf.h "$out/include/")

# libspng: one C file
(cd libspng-*/ && $CC $flags -DSPNG_STATIC -I"$out/include" -c spng/spng.c -o spng.o &&
    ar rcs "$out/lib/libspng.a" spng.o && cp spng/spng.h "$out/include/")

# TurboJPEG, portable C code paths (SIMD assembly is not instrumented)
(cd libjpeg-turbo-*/ && mkdir -p b && cd b &&
    cmake .. -G Ninja -DCMAKE_C_COMPILER="$CC" -DCMAKE_C_FLAGS="$flags" -DCMAKE_BUILD_TYPE=None \
        -DENABLE_SHARED=OFF -DENABLE_STATIC=ON -DWITH_SIMD=0 -DWITH_TURBOJPEG=ON >/dev/null &&
    ninja -j"$jobs" turbojpeg-static >/dev/null &&
    cp libturbojpeg.a "$out/lib/" && cp ../turbojpeg.h "$out/include/")

mkdir -p "$cache"
rm -rf "$prefix"
cp -r "$out" "$prefix"
echo "zlib $zlib_v, libspng $spng_v, libjpeg-turbo $jpeg_v; $($CC --version | head -1); $flags" >"$prefix/done"
echo "$prefix"
