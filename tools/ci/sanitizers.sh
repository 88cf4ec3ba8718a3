#!/bin/sh
# The checking builds that CI runs after make test, each in its own folder:
#   build-asan  AddressSanitizer + UBSan with warnings as errors: every test
#               but the three real-time runs under Xvfb, whose frame pacing
#               the sanitizer's slowdown would turn into failures of timing
#               (and whose memory figures its quarantine would swell)
#   build-tsan  ThreadSanitizer: the renderer tests and a stretch of --bench,
#               where the two drawing threads share the frame
# Any report fails the step. BUILD is the make test build (its data is used).
set -eu
cd "$(dirname "$0")/../.."
BUILD=${BUILD:-build}
step() { echo "== $* ($(date +%T))"; }

step "ASan + UBSan, -Werror: build"
# -O1, as the sanitizers' documentation advises: the reports stay as exact
# and the instrumented renderer compiles in a third of -O3's time.
cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Release -DTEQ_SANITIZE=ON -DTEQ_WERROR=ON \
    -DCMAKE_C_FLAGS_RELEASE="-O1 -DNDEBUG" -DCMAKE_CXX_FLAGS_RELEASE="-O1 -DNDEBUG" >/dev/null
cmake --build build-asan -j2
step "ASan + UBSan: every test"
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
export LSAN_OPTIONS=suppressions=$PWD/tools/ci/lsan.supp
ASAN_OPTIONS=abort_on_error=1 ctest --test-dir build-asan --output-on-failure -j2 --timeout 900 \
    -E '^run\.(play|controls|faults)_xvfb$|^WindowTest\.'
# The window tests open a real display through Mesa, whose driver is unloaded
# before the leak check, so its allocations cannot be told apart by name: they
# run with every check but the leak check.
ASAN_OPTIONS=abort_on_error=1:detect_leaks=0 ctest --test-dir build-asan --output-on-failure -j2 \
    --timeout 900 -R '^WindowTest\.'

step "TSan: build"
cmake -S . -B build-tsan -G Ninja -DCMAKE_BUILD_TYPE=Release -DTEQ_TSAN=ON >/dev/null
cmake --build build-tsan -j2 --target render_test teq
step "TSan: renderer tests and --bench from 80 s to 90 s"
export TSAN_OPTIONS=halt_on_error=1
build-tsan/tests/render_test --gtest_brief=1
build-tsan/teq --data "$BUILD/data" --bench --start 80 --length 10
step "sanitizers done"
