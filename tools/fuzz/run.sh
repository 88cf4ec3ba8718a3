#!/bin/sh
# make fuzz: every fuzz target for a bounded time, with AddressSanitizer and
# UBSan over the engine and over instrumented builds of zlib, libspng,
# TurboJPEG and libopenmpt (tools/libs/build.sh fuzz, fuzz-openmpt), cached
# outside the clone.
#   FUZZ_SECONDS  time per target (default 45)
#   FUZZ_BUILD    build folder (default build-fuzz)
#   FUZZ_ONLY     run only these targets, e.g. "png xm"
#   FUZZ_OPENMPT  0: the xm target with the system's libopenmpt instead of an
#                 instrumented one (tools/libs/build.sh fuzz-openmpt, ~370 s
#                 of processor time to build once)
# Each target starts from its committed corpus (copied: new inputs stay in the
# build folder). A fault stops with the input's path: fix it, then add the
# input to the target's corpus so the replay tests keep it.
set -eu
cd "$(dirname "$0")/../.."
seconds=${FUZZ_SECONDS:-45}
build=${FUZZ_BUILD:-build-fuzz}
targets="png:tests/assets/corpus/png jpeg:tests/assets/corpus/jpeg a3f:tests/assets/corpus/a3f
         xm:tests/audio/corpus/xm options:tests/run/corpus/options"

mkdir -p "$build"
libs=$(tools/libs/build.sh fuzz "$build/libs")
echo "fuzz: instrumented libraries in $libs ($(cat "$libs/.complete"))"
openmpt=""
if [ "${FUZZ_OPENMPT:-1}" = 1 ]; then
    openmpt=$(tools/libs/build.sh fuzz-openmpt "$build/libs")
    echo "fuzz: instrumented player in $openmpt ($(cat "$openmpt/.complete"))"
fi
CC=clang CXX=clang++ cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DTEQ_FUZZ=ON \
    -DTEQ_FUZZ_LIBS="$libs" -DTEQ_FUZZ_OPENMPT="$openmpt" >"$build/configure.log" 2>&1 ||
    { cat "$build/configure.log"; exit 1; }
names=""
for t in $targets; do
    name=${t%%:*}
    [ -z "${FUZZ_ONLY:-}" ] || case " $FUZZ_ONLY " in *" $name "*) ;; *) continue ;; esac
    names="$names $name"
done
# shellcheck disable=SC2086
cmake --build "$build" -j2 --target $(for n in $names; do printf 'fuzz_%s ' "$n"; done) >/dev/null

export ASAN_OPTIONS=detect_leaks=1:abort_on_error=0
export UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1
run_one() {   # run_one NAME CORPUS
    dir=$build/fuzz-run/$1
    rm -rf "$dir"
    mkdir -p "$dir/corpus"
    cp "$2"/* "$dir/corpus/"
    "$build/fuzz/fuzz_$1" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=1024 -print_final_stats=1 \
        -artifact_prefix="$dir/" "$dir/corpus" >"$dir/log" 2>&1
    echo $? >"$dir/rc"
}
# Two at a time, one per core.
set -- $names
while [ $# -gt 0 ]; do
    for t in $targets; do [ "${t%%:*}" = "$1" ] && run_one "$1" "${t#*:}" & done
    if [ $# -gt 1 ]; then
        for t in $targets; do [ "${t%%:*}" = "$2" ] && run_one "$2" "${t#*:}" & done
        shift
    fi
    shift
    wait
done

failed=0
for name in $names; do
    dir=$build/fuzz-run/$name
    log=$dir/log
    line=$(grep -E '^#[0-9]+' "$log" | tail -1)
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
    speed=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log")
    cov=$(echo "$line" | sed -n 's/.*cov: \([0-9]*\).*/\1/p')
    ft=$(echo "$line" | sed -n 's/.*ft: \([0-9]*\).*/\1/p')
    inputs=$(ls "$dir/corpus" | wc -l)
    if [ "$(cat "$dir/rc")" = 0 ]; then
        echo "fuzz_$name: ${seconds} s, ${runs:-?} runs, ${speed:-?} exec/s, cov ${cov:-?}, ft ${ft:-?}, corpus $inputs: ok"
    else
        failed=1
        echo "fuzz_$name: FAILED after ${runs:-?} runs; the input:"
        ls "$dir"/crash-* "$dir"/leak-* "$dir"/timeout-* "$dir"/oom-* 2>/dev/null || true
        grep -E 'ERROR|SUMMARY|runtime error' "$log" | head -5
        tail -40 "$log"
    fi
done
exit $failed
