# tools/libs/build.sh fuzz-openmpt: libopenmpt built as the fuzz target's
# decoders are (fuzz.sh), so the xm fuzz target sees inside the player too.
# About 370 s of processor time, once.
sources="libopenmpt"
export CC=${CC:-clang} CXX=${CXX:-clang++}
export CFLAGS="-O1 -g -fno-omit-frame-pointer -fsanitize=address,undefined,fuzzer-no-link"
export CXXFLAGS="$CFLAGS"
toolchain=$($CXX --version | head -n 1)

build() {
    step openmpt openmpt
}
