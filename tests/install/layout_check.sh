#!/bin/bash
# `cmake --install` into a scratch root, then the installed teq from a folder
# of its own: it reads PREFIX/share/games/teq (not a distortion.xm in the
# current folder), draws the build's picture byte for byte, says once when
# that folder is gone, and --data still overrides. The manual page renders
# without a warning, and its options and keys are the ones --help names.
# usage: layout_check.sh BUILD_DIR TEQ DATA_DIR VERSION APP_ID
set -u
build=$1 teq=$2 data=$3 version=$4 app=$5
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failed=0
fail() { echo "FAIL: $*"; failed=1; }
. "$(dirname "$0")/same_shot.sh"

DESTDIR=$work/root cmake --install "$build" --prefix /usr >"$work/install.log" 2>&1 ||
    { cat "$work/install.log"; exit 1; }
root=$work/root/usr
for f in games/teq share/man/man6/teq.6 share/applications/$app.desktop share/metainfo/$app.metainfo.xml; do
    [ -f "$root/$f" ] || fail "not installed: /usr/$f"
done
for f in "$data"/*; do
    cmp -s "$f" "$root/share/games/teq/$(basename "$f")" || fail "data file $(basename "$f") not installed as built"
done
# Each icon a PNG of its folder's size (the width and height in the IHDR chunk).
for dir in "$root"/share/icons/hicolor/*/apps; do
    size=$(basename "$(dirname "$dir")")
    got=$(od -An -tu1 -j16 -N8 "$dir/teq.png" | awk '{ printf "%dx%d", $3 * 256 + $4, $7 * 256 + $8 }')
    [ "$got" = "$size" ] || fail "icon $size/apps/teq.png is $got"
done
[ "$(ls -d "$root"/share/icons/hicolor/*/apps | wc -l)" -ge 6 ] || fail "fewer than 6 icon sizes"

# From an unrelated folder that holds a decoy distortion.xm.
mkdir -p "$work/elsewhere"
echo "not a module" >"$work/elsewhere/distortion.xm"
same_shot "$work" "$teq" "$data" "$root/games/teq" || fail "$SHOT_WHY"
[ "$("$root/games/teq" --version)" = "teq $version" ] || fail "--version says '$("$root/games/teq" --version)'"

"$root/games/teq" --data "$work/none" --shot 1 x.png 2>"$work/err"
[ $? -eq 2 ] && grep -q -- "--data $work/none: no such folder" "$work/err" || fail "--data does not override: $(cat "$work/err")"
mv "$root/share/games/teq" "$root/share/games/moved"
(cd "$work/elsewhere" && "$root/games/teq" --shot 60 y.png 2>"$work/err") || fail "teq without its data folder failed"
[ "$(wc -l <"$work/err")" -eq 1 ] && grep -q "data folder $root/share/games/teq: no such folder" "$work/err" ||
    fail "a missing data folder is not said in one line: $(cat "$work/err")"
mv "$root/share/games/moved" "$root/share/games/teq"

# The manual page: no warning from groff; the options and keys of --help.
page=$root/share/man/man6/teq.6
warnings=$(LC_ALL=C.UTF-8 groff -man -Tutf8 -ww -z "$page" 2>&1)
[ -z "$warnings" ] || fail "groff warns: $warnings"
grep -q "^\.TH TEQ 6 .* \"teq $version\"" "$page" || fail "page header lacks teq $version"
plain() { sed -e 's/\\f[BIR]//g' -e 's/\\-/-/g' -e 's/^\.BR* //' -e 's/"//g'; }
help_options=$("$teq" --help | sed -n 's/^  \(-[^ ]*\).*/\1/p' | sort)
page_options=$(sed -n '/^\.SH OPTIONS/,/^\.SH/{/^\.TP/{n;p}}' "$page" | plain | awk '{ print $1 }' | sort)
[ -n "$help_options" ] && [ "$help_options" = "$page_options" ] ||
    fail "options differ: --help has $(echo $help_options), the page $(echo $page_options)"
help_keys=$("$teq" --help | sed -n '/Keys:/,/^$/p' | sed '1s/.*Keys://' | tr ' ,;.' '\n\n\n\n' | grep -E '^([A-Z][A-Za-z0-9]*|Alt\+Enter)$' |
    sort -u)
page_keys=$(sed -n '/^\.SH KEYS/,/^\.SH/{/^\.TP/{n;p}}' "$page" | plain | tr ',' '\n' | sed 's/^ *//; s/ *$//' |
    grep -v ' ' | sort -u)
[ -n "$help_keys" ] && [ "$help_keys" = "$page_keys" ] ||
    fail "keys differ: --help has $(echo $help_keys), the page $(echo $page_keys)"

[ $failed -eq 0 ] && echo "install layout: ok ($(du -sk "$work/root" | cut -f1) KiB installed)"
exit $failed
