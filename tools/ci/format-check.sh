#!/bin/sh
# Every C and C++ file of the tree as .clang-format lays it out: lists the
# files that differ and exits 1 if any does. `clang-format -i FILE` fixes one.
set -eu
cd "$(dirname "$0")/../.."
command -v clang-format >/dev/null || { echo "format-check: clang-format is missing (apt-get install clang-format)" >&2; exit 1; }
bad=0
for f in $(git ls-files '*.c' '*.cc' '*.cpp' '*.h'); do
    if ! clang-format --style=file --dry-run --Werror "$f" 2>/dev/null; then
        echo "format-check: $f differs from .clang-format's layout" >&2
        bad=1
    fi
done
[ $bad -eq 0 ] && echo "format-check: $(git ls-files '*.c' '*.cc' '*.cpp' '*.h' | wc -l) files laid out as .clang-format says"
exit $bad
