#!/bin/sh
# CI: starts the library sets of the other builds (tools/libs/build.sh:
# fuzz, fuzz-openmpt, mingw, wasm, wasm-mt) in the background at the lowest
# priority, so that they take the processor time the tests and the
# one-core steps leave idle rather than running one after another later.
#
#   tools/ci/libs-ahead.sh PID_FILE
#
# Each set runs in its own process group, listed in PID_FILE (for stopping
# them when CI ends early). The steps that use a set call tools/libs/build.sh
# as before, with the same fallback folder: a finished set is reused, one
# still building is waited for (its lock), and one that failed here is built
# again there, where its log is shown. The logs of this early start go to
# build-libs-ahead/TARGET.log.
set -eu
cd "$(dirname "$0")/../.."
[ $# -eq 1 ] || { echo "usage: tools/ci/libs-ahead.sh PID_FILE" >&2; exit 2; }
pids=$1
# Each build's packages first: installing them is not something to do twice at once.
make --no-print-directory fuzz-deps windows-deps web-deps
mkdir -p build-libs-ahead
: >"$pids"
# The fallback folders are the ones tools/fuzz/run.sh, tools/windows/build.sh
# and web/build.sh pass, so that either start finds the other's set.
for set in fuzz:build-fuzz/libs fuzz-openmpt:build-fuzz/libs mingw:build-windows \
    wasm:build-web/libs wasm-mt:build-web/libs; do
    target=${set%%:*}
    setsid nice -n 19 tools/libs/build.sh "$target" "${set#*:}" >"build-libs-ahead/$target.log" 2>&1 </dev/null &
    echo $! >>"$pids"
done
echo "libs-ahead: fuzz, fuzz-openmpt, mingw, wasm and wasm-mt libraries building in the background"
