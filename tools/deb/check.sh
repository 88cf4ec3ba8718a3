#!/bin/bash
# make deb-check: the package installed for real with apt-get (as root),
# played, checked and removed again.
#
#   tools/deb/check.sh WORK_DIR TEQ DATA_DIR
#
# TEQ and DATA_DIR are the native build's: the installed teq, run from a
# folder of its own, must draw the same bytes. Then --help, the manual page
# through man, the desktop entry and the AppStream metainfo through their
# validators, and a purge that leaves none of the package's files behind.
set -u
work=$1 teq=$2 data=$3
debs=("$work"/teq_*_amd64.deb)
deb=${debs[0]}
[ -f "$deb" ] || { echo "deb-check: no package in $work (make deb)" >&2; exit 1; }
[ "$(id -u)" = 0 ] || { echo "deb-check: installs the package with apt-get, run it as root" >&2; exit 1; }
deb=$(cd "$(dirname "$deb")" && pwd)/$(basename "$deb")
teq=$(cd "$(dirname "$teq")" && pwd)/$(basename "$teq")
data=$(cd "$data" && pwd)
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"; dpkg-query -W teq >/dev/null 2>&1 && [ -z "${kept:-}" ] && dpkg --purge teq >/dev/null' EXIT
failed=0
fail() { echo "FAIL: $*"; failed=1; }
. "$(dirname "$0")/../../tests/install/same_shot.sh"
ms() { date +%s%N | cut -c1-13; }

# An earlier install of teq is left as it was.
if dpkg-query -W -f='${Status}' teq 2>/dev/null | grep -q "install ok installed"; then
    echo "deb-check: teq is installed already; remove it first (apt-get purge teq)" >&2
    kept=1
    exit 1
fi

t0=$(ms)
DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends "$deb" >"$scratch/apt.log" 2>&1 ||
    { tail -n 20 "$scratch/apt.log"; echo "FAIL: apt-get install $deb"; exit 1; }
t1=$(ms)
echo "deb-check: installed $(basename "$deb") in $((t1 - t0)) ms" \
    "($(dpkg-query -W -f='${Installed-Size}' teq) KiB, $(dpkg -L teq | wc -l) paths)"
dpkg -L teq | grep -v -x "/\." >"$scratch/files"
dpkg --verify teq || fail "dpkg --verify: installed files differ from the package's checksums"

# --help and --version from the installed program.
/usr/games/teq --help >"$scratch/help" 2>&1 || fail "/usr/games/teq --help exits $?"
head -1 "$scratch/help" | grep -q '^usage: teq' || fail "/usr/games/teq --help prints: $(head -1 "$scratch/help")"
echo "deb-check: /usr/games/teq --help: $(wc -l <"$scratch/help") lines; $(/usr/games/teq --version)"
[ "$(/usr/games/teq --version)" = "teq $(dpkg-query -W -f='${Version}' teq)" ] ||
    fail "--version says '$(/usr/games/teq --version)', the package $(dpkg-query -W -f='${Version}' teq)"

# The same picture from a folder that has nothing to do with teq, found on a
# user's PATH as installed games are.
if same_shot "$scratch" "$teq" "$data" env PATH="/usr/local/games:/usr/games:$PATH" teq; then
    echo "deb-check: teq --shot 60 from $scratch/elsewhere in $SHOT_MS ms:" \
        "the same $SHOT_BYTES bytes as $teq --shot 60"
else
    fail "$SHOT_WHY"
fi

# The manual page through man, without a warning; the menu entry and the
# metainfo through their validators.
page=/usr/share/man/man6/teq.6.gz
MANWIDTH=80 man --warnings -l "$page" >"$scratch/man.txt" 2>"$scratch/man.err" || fail "man -l $page exits $?"
[ -s "$scratch/man.err" ] && fail "man -l $page warns: $(head -3 "$scratch/man.err")"
grep -q -- '--shot T FILE' "$scratch/man.txt" && grep -q '^EXIT STATUS' "$scratch/man.txt" ||
    fail "man -l $page renders no options or exit status"
echo "deb-check: man -l $page: $(wc -l <"$scratch/man.txt") lines"
desktop=$(grep '^/usr/share/applications/.*\.desktop$' "$scratch/files")
metainfo=$(grep '^/usr/share/metainfo/.*\.xml$' "$scratch/files")
[ -n "$desktop" ] && desktop-file-validate "$desktop" || fail "desktop-file-validate ${desktop:-(no desktop entry)}"
[ -n "$metainfo" ] && appstreamcli validate --no-net "$metainfo" >"$scratch/as.log" 2>&1 ||
    { cat "$scratch/as.log"; fail "appstreamcli validate ${metainfo:-(no metainfo)}"; }
echo "deb-check: desktop-file-validate $desktop: ok; appstreamcli validate $metainfo: $(tail -1 "$scratch/as.log")"
for size in 16 32 48 64 128 256; do
    [ -f "/usr/share/icons/hicolor/${size}x${size}/apps/teq.png" ] || fail "no ${size}x${size} icon"
done

# Purged: the package is gone and so is every file it brought.
t0=$(ms)
DEBIAN_FRONTEND=noninteractive apt-get purge -y teq >"$scratch/apt.log" 2>&1 || fail "apt-get purge teq"
t1=$(ms)
dpkg-query -W -f='${Status}' teq 2>/dev/null | grep -q "installed" && fail "teq still known to dpkg after purge"
left=0
while read -r f; do
    if [ -f "$f" ] || [ -L "$f" ] || { [ -d "$f" ] && [ -z "$(dpkg -S "$f" 2>/dev/null)" ]; }; then
        fail "left behind: $f"
        left=$((left + 1))
    fi
done <"$scratch/files"
echo "deb-check: purged in $((t1 - t0)) ms; $left of $(wc -l <"$scratch/files") paths left behind"

[ $failed -eq 0 ] && echo "deb-check: ok"
exit $failed
