#!/bin/sh
# make deb: WORK_DIR/teq_VERSION_amd64.deb, checked with lintian.
#
#   tools/deb/build.sh WORK_DIR
#
# teq is compiled in WORK_DIR/cmake with the flags a Debian build machine
# uses (dpkg-buildflags, hardening on), installed into a staging tree by
# `cmake --install` (the layout is tools/install's), and packed with dpkg's
# own tools: dpkg-shlibdeps finds the libraries' packages for Depends,
# dpkg-gencontrol writes the control file from tools/deb/control and a
# changelog carrying the version of CMakeLists.txt, dpkg-deb builds.
set -eu
work=$1
root=$(cd "$(dirname "$0")/../.." && pwd)
jobs=${JOBS:-2}
began=$(date +%s)
mkdir -p "$work"
work=$(cd "$work" && pwd)

# Debian's flags; CMake reads no CPPFLAGS, so they join the compilers' flags.
export DEB_BUILD_MAINT_OPTIONS=hardening=+all
flags() { (cd "$root" && dpkg-buildflags --get "$1"); }
cppflags=$(flags CPPFLAGS)
build=$work/cmake
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=/usr \
    -DCMAKE_C_FLAGS="$(flags CFLAGS) $cppflags" -DCMAKE_CXX_FLAGS="$(flags CXXFLAGS) $cppflags" \
    -DCMAKE_EXE_LINKER_FLAGS="$(flags LDFLAGS)" >"$work/configure.log" 2>&1 ||
    { tail -n 30 "$work/configure.log" >&2; exit 1; }
cmake --build "$build" -j "$jobs" --target teq data install-files
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
date=$(sed -n 's/^TEQ_RELEASE_DATE:INTERNAL=//p' "$build/CMakeCache.txt")
[ -n "$version" ] && [ -n "$date" ] || { echo "deb: no version or release date in $build/CMakeCache.txt" >&2; exit 1; }

# The tree as dpkg-buildpackage's helpers would lay it: debian/ beside the
# package's root debian/teq.
pkg=$work/pkg
stage=$pkg/debian/teq
rm -rf "$pkg"
mkdir -p "$pkg/debian" "$stage/DEBIAN"
umask 022
DESTDIR=$stage cmake --install "$build" --strip >"$work/install.log"
# As dh_strip leaves a program: no compiler notes either.
strip --remove-section=.comment --remove-section=.note "$stage/usr/games/teq"
doc=$stage/usr/share/doc/teq
mkdir -p "$doc"
cp "$root/tools/deb/copyright" "$doc/copyright"
maintainer=$(sed -n 's/^Maintainer: //p' "$root/tools/deb/control")
sed -e "s/@VERSION@/$version/g" -e "s/@MAINTAINER@/$maintainer/" \
    -e "s/@DATE@/$(LC_ALL=C date -u -d "$date 12:00" -R)/" "$root/tools/deb/changelog.in" >"$pkg/debian/changelog"
cp "$pkg/debian/changelog" "$doc/changelog"
cp "$root/tools/deb/control" "$pkg/debian/control"
gzip -9n "$doc/changelog" "$stage/usr/share/man/man6/teq.6"
find "$stage" -type d -exec chmod 755 {} +
find "$stage" -type f -exec chmod 644 {} +
chmod 755 "$stage/usr/games/teq"

# Depends from the libraries teq links; the control file; the checksums.
(cd "$pkg" && dpkg-shlibdeps -Tdebian/teq.substvars debian/teq/usr/games/teq &&
    dpkg-gencontrol -pteq -Pdebian/teq -Tdebian/teq.substvars)
(cd "$stage" && find usr -type f | LC_ALL=C sort | xargs md5sum >DEBIAN/md5sums)
chmod 644 "$stage/DEBIAN/md5sums"

deb=$work/teq_${version}_amd64.deb
rm -f "$work"/teq_*_amd64.deb
SOURCE_DATE_EPOCH=$(date -u -d "$date 12:00" +%s) dpkg-deb --root-owner-group -Zxz --build "$stage" "$deb" >/dev/null
echo "deb: $deb ($(du -k "$deb" | cut -f1) KiB, installed $(sed -n 's/^Installed-Size: //p' "$stage/DEBIAN/control") KiB)" \
    "in $(($(date +%s) - began)) s"
sed -n 's/^Depends: /deb: Depends: /p' "$stage/DEBIAN/control"

# No error and no warning from lintian; its overrides say why beside each.
echo "deb: lintian $(dpkg-query -W -f='${Version}' lintian)"
lintian --fail-on error,warning --display-info "$deb"
echo "deb: lintian has no error and no warning"
