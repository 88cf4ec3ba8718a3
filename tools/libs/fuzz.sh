# tools/libs/build.sh fuzz: zlib, libspng and TurboJPEG built with clang,
# AddressSanitizer, UBSan and libFuzzer's coverage instrumentation, as static
# libraries, so the fuzz targets see inside the decoders.
sources="zlib libspng libjpeg-turbo"
export CC=${CC:-clang} CFLAGS="-O1 -g -fno-omit-frame-pointer -fsanitize=address,undefined,fuzzer-no-link"
AR="ar"
toolchain=$($CC --version | head -n 1)

build() {
    step zlib zlib
    step spng spng
    step turbojpeg turbojpeg cmake -- -DCMAKE_C_COMPILER="$CC" -DCMAKE_C_FLAGS="$CFLAGS" -DCMAKE_BUILD_TYPE=None
}
