# tools/libs/build.sh wasm, wasm-mt: the libraries the browser build links,
# built with Debian's emscripten. wasm-mt builds them for shared memory
# (-pthread), as the page's two-thread build needs: the linker will not mix
# objects built with and without it.
sources="zlib libspng libjpeg-turbo libsdl2 libopenmpt"
CC=emcc
AR=emar
threads=""
if [ "$target" = wasm-mt ]; then threads=-pthread; fi
# Linking is -O0: only configure's test programs are linked here (the
# libraries are static archives), and emcc -O2 runs wasm-opt on each of them.
export CFLAGS="-O2${threads:+ $threads}" CXXFLAGS="-O2${threads:+ $threads}" LDFLAGS="${threads:+$threads }-O0"
WRAP_CONFIGURE=emconfigure
WRAP_MAKE=emmake
# Debian's emcc needs node to find Debian's node modules (acorn).
export NODE_PATH=/usr/share/nodejs${NODE_PATH:+:$NODE_PATH}
# Thousands of configure checks: emcc's own start-up check once is enough.
export EMCC_SKIP_SANITY_CHECK=1
# emcc's output under node 18+: its built-in fetch breaks the loader.
emulator="node;--no-experimental-fetch"
toolchain=$(emcc --version | head -n 1)

wasm_sdl2() {   # static, no threads of its own
    emcmake cmake -S "$(srcdir libsdl2)" -B "$work/sdl2" -G Ninja -DCMAKE_BUILD_TYPE=Release \
        -DCMAKE_INSTALL_PREFIX="$prefix" -DCMAKE_PREFIX_PATH="$prefix" -DCMAKE_FIND_ROOT_PATH="$prefix" \
        -DCMAKE_CROSSCOMPILING_EMULATOR="$emulator" -DBUILD_SHARED_LIBS=OFF \
        -DSDL_SHARED=OFF -DSDL_STATIC=ON -DSDL_TEST=OFF -DSDL_PTHREADS=OFF -DSDL_THREADS=OFF \
        -DCMAKE_INSTALL_LIBDIR="$prefix/lib"
    cmake --build "$work/sdl2" -j "$jobs"
    cmake --install "$work/sdl2"
}

build() {
    step zlib zlib
    step spng spng -DSPNG_DISABLE_OPT
    # teq asks pkg-config for spng alone: the -lz it needs beside it.
    pc spng 0.7.3 "-lspng -lz" "Requires.private: zlib" " -DSPNG_STATIC"
    step turbojpeg turbojpeg emcmake cmake -- -DCMAKE_BUILD_TYPE=Release -DCMAKE_CROSSCOMPILING_EMULATOR="$emulator"
    pc libturbojpeg 2.1.5 -lturbojpeg
    step sdl2 wasm_sdl2
    export PKG_CONFIG_LIBDIR="$prefix/lib/pkgconfig"
    step openmpt openmpt --host=wasm32-unknown-none --without-zlib
}
