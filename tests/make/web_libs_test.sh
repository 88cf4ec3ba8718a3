#!/bin/sh
# web/build.sh builds its two library sets side by side: a failure of either
# must stop it, name the set that failed with its log's place, and leave the
# page's program unconfigured. The sources come from a mirror nobody answers
# at, so the builds fail in their first step, in seconds, with nothing fetched.
set -u
root=$(cd "$(dirname "$0")/../.." && pwd)
command -v emcc >/dev/null 2>&1 || { echo "no emcc (make web-deps installs it): skipped"; exit 77; }
tmp=$(mktemp -d "${TMPDIR:-/tmp}/web-libs-test.XXXXXX")
trap 'rm -rf "$tmp"' EXIT
failed=0
mkdir -p "$tmp/data"
: >"$tmp/data/distortion.xm"
export TEQ_DEBIAN_MIRROR=http://127.0.0.1:9/debian TEQ_LIB_CACHE=$tmp/cache

# run WEB_DIR: web/build.sh's status, its standard error in $tmp/err.
run() {
    sh "$root/web/build.sh" "$1" "$tmp/data" >"$tmp/out" 2>"$tmp/err"
}

if run "$tmp/web"; then
    echo "FAIL: both sets failing, the build passed"
    failed=1
fi
grep -q "^web: the libraries for wasm wasm-mt failed" "$tmp/err" ||
    { echo "FAIL: both sets failing, no line naming both:"; cat "$tmp/err"; failed=1; }
for set in wasm wasm-mt; do
    grep -q "^build-libs: $set: fetch failed (whole log: .*/logs/fetch.log)" "$tmp/err" ||
        { echo "FAIL: no failed step with its log for $set"; failed=1; }
done
[ ! -e "$tmp/web/cmake" ] && [ ! -e "$tmp/web/cmake-mt" ] ||
    { echo "FAIL: the page's program was configured after a failure"; failed=1; }

# One set finished before (its folder marked complete), the other failing:
# the build still stops, naming only the one that failed.
prefix=$(sed -n 's/^build-libs: wasm: fetch failed (whole log: \(.*\)\.work\/logs\/fetch\.log)$/\1/p' "$tmp/err")
if [ -z "$prefix" ]; then
    echo "FAIL: no cache folder for wasm in the log"
    failed=1
else
    rm -rf "$prefix.work"
    mkdir -p "$prefix/lib/pkgconfig"
    echo done >"$prefix/.complete"
    if run "$tmp/web2"; then
        echo "FAIL: wasm-mt failing, the build passed"
        failed=1
    fi
    grep -q "^web: the libraries for wasm-mt failed" "$tmp/err" ||
        { echo "FAIL: wasm-mt failing, no line naming it alone:"; cat "$tmp/err"; failed=1; }
    ! grep -q "^build-libs: wasm:" "$tmp/err" ||
        { echo "FAIL: the finished wasm set was built again"; failed=1; }
fi
[ $failed = 0 ] && echo "web/build.sh stops on either library set's failure"
exit $failed
