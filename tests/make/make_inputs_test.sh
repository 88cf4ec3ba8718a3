#!/bin/sh
# tools/ci/make-inputs.sh on the Makefile as it is (every documented target
# passes) and on copies with one prerequisite build taken out each, which it
# must catch, naming the target and the build output used.
set -u
root=$(cd "$(dirname "$0")/../.." && pwd)
check=$root/tools/ci/make-inputs.sh
tmp=$(mktemp -d "${TMPDIR:-/tmp}/make-inputs-test.XXXXXX")
trap 'rm -rf "$tmp"' EXIT
failed=0
# The checker asks git which paths are build outputs.
git -C "$root" rev-parse --git-dir >/dev/null 2>&1 || { echo "not a git checkout: skipped"; exit 77; }

out=$(sh "$check" "$root/Makefile" "$root/README.md" 2>&1) || { echo "FAIL: the Makefile as it is: $out"; failed=1; }
for target in run test windows windows-check web web-check fuzz; do
    echo "$out" | grep -q "^make-inputs: $target: builds all it uses" ||
        { echo "FAIL: no verdict for documented target $target"; failed=1; }
done

# broken SED_EXPRESSION TARGET OUTPUT: the checker must fail on the edited
# Makefile, naming TARGET and OUTPUT.
broken() {
    sed "$1" "$root/Makefile" >"$tmp/Makefile"
    cmp -s "$root/Makefile" "$tmp/Makefile" && { echo "FAIL: '$1' changed nothing"; failed=1; return; }
    if out=$(sh "$check" "$tmp/Makefile" "$root/README.md" 2>&1); then
        echo "FAIL: '$1' passed"
        failed=1
    elif ! echo "$out" | grep -q "^make-inputs: $2: uses $3, which no earlier"; then
        echo "FAIL: '$1': expected $2 using $3, got: $out"
        failed=1
    fi
}
broken '/^web-check:/,/^$/{/--target teq$/d}' web-check build/teq
broken 's/^test: build$/test: configure/' test build
broken 's/^run: build$/run: configure/' run build/teq
broken 's/--target teq teq-pngdiff$/--target teq/' windows-check build/teq-pngdiff
broken '/^windows:/,/^$/{/--target data$/d}' windows build/data
broken '/^web:/,/^$/{/--target data$/d}' web build/data
broken 's/^web-check: web$/web-check: web-deps/' web-check build-web/cmake/tests/render_test.js

[ $failed -eq 0 ] && echo "make-inputs: catches every prerequisite taken out"
exit $failed
