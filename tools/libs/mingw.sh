# tools/libs/build.sh mingw: the libraries teq.exe links statically, built
# with Debian's mingw-w64 (-posix threads) for 64-bit Windows. Only what teq
# needs is built; pkg-config files point at the prefix.
sources="zlib libspng libjpeg-turbo libsdl2 libopenmpt"
host=x86_64-w64-mingw32
CC=$host-gcc-posix
CXX=$host-g++-posix
AR=$host-gcc-ar-posix
CFLAGS=-O2
cmake_toolchain=$here/../../cmake/mingw-w64-x86_64.cmake
toolchain="$(cat "$cmake_toolchain"; $CC --version | head -n 1; $CXX --version | head -n 1)"

mingw_zlib() {   # the library alone: its CMake DLL target wants a resource file Debian's source lacks
    cd "$(srcdir zlib)"
    for f in adler32 compress crc32 deflate gzclose gzlib gzread gzwrite infback inffast inflate inftrees \
             trees uncompr zutil; do
        $CC $CFLAGS -c $f.c -o $f.o
    done
    $AR rcs "$prefix/lib/libz.a" ./*.o
    cp zlib.h zconf.h "$prefix/include/"
    pc zlib 1.2.13 -lz
}

mingw_sdl2() {   # static, no SDL2main, without the subsystems teq does not use
    cmake -S "$(srcdir libsdl2)" -B "$work/sdl2" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$cmake_toolchain" \
        -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$prefix" -DSDL_SHARED=OFF -DSDL_STATIC=ON \
        -DSDL_TEST=OFF -DSDL2_DISABLE_SDL2MAIN=ON -DSDL2_DISABLE_UNINSTALL=ON \
        -DSDL_JOYSTICK=OFF -DSDL_HAPTIC=OFF -DSDL_HIDAPI=OFF -DSDL_SENSOR=OFF -DSDL_POWER=OFF \
        -DSDL_VULKAN=OFF -DSDL_OPENGLES=OFF
    cmake --build "$work/sdl2" -j "$jobs"
    cmake --install "$work/sdl2"
    # sdl2.pc asks for -mwindows (a GUI program that prints nothing), in
    # more than one place: teq chooses its subsystem itself.
    sed -i 's/ *-mwindows//g' "$prefix/lib/pkgconfig/sdl2.pc"
    rm -rf "$prefix/lib/cmake" "$prefix/bin" "$prefix/share"
}

build() {
    export PKG_CONFIG_LIBDIR="$prefix/lib/pkgconfig" PKG_CONFIG_PATH=
    step zlib mingw_zlib
    step spng spng
    pc spng 0.7.3 -lspng "Requires.private: zlib" " -DSPNG_STATIC"
    # A prefix of our own: its Windows default (c:/...) breaks configuring on Linux.
    step turbojpeg turbojpeg cmake -- -DCMAKE_TOOLCHAIN_FILE="$cmake_toolchain" -DCMAKE_BUILD_TYPE=Release \
        -DCMAKE_INSTALL_PREFIX="$prefix"
    pc libturbojpeg 2.1.5 -lturbojpeg
    step sdl2 mingw_sdl2
    step openmpt openmpt --host=$host CC=$CC CXX=$CXX CFLAGS=$CFLAGS CXXFLAGS=$CFLAGS --without-zlib --without-sdl2
}
