#!/bin/sh
# The manual page teq.6: the frame teq.6.in with its OPTIONS section written
# from `teq --help` and its version from `teq --version`, so the page and
# the program cannot disagree.
#   manpage.sh TEQ TEMPLATE OUT DATE
set -eu
teq=$1 template=$2 out=$3 date=$4
version=$("$teq" --version | sed -n 's/^teq //p')
[ -n "$version" ] || { echo "manpage.sh: $teq --version says no version" >&2; exit 1; }

# --help lists each option as "  --name ARGS   text", the text going on in
# lines indented past the name column. Each becomes a .TP entry: the name
# bold, its arguments italic, every leading hyphen a minus sign.
"$teq" --help | awk '
function roff(s) {
    gsub(/\\/, "\\e", s)
    s = " " s
    while (match(s, / -+[A-Za-z]/)) {                # --word: minus signs
        head = substr(s, 1, RSTART); dashes = substr(s, RSTART + 1, RLENGTH - 2)
        gsub(/-/, "\\-", dashes)
        s = head dashes substr(s, RSTART + RLENGTH - 1)
    }
    return substr(s, 2)
}
function flush() { if (text != "") print roff(text); text = "" }
/^  -/ {
    flush()
    line = substr($0, 3)
    split_at = match(line, /  +/)
    name = split_at ? substr(line, 1, split_at - 1) : line
    text = split_at ? substr(line, split_at + RLENGTH) : ""
    n = split(name, part, " ")
    entry = "\\fB" roff(part[1]) "\\fR"
    for (i = 2; i <= n; i++) entry = entry " \\fI" part[i] "\\fR"
    print ".TP"
    print entry
    options++
    next
}
/^   / && options { sub(/^ +/, ""); text = text " " $0; next }
{ flush() }
END { flush(); if (!options) exit 1 }
' >"$out.options" || { echo "manpage.sh: no options in $teq --help" >&2; exit 1; }

sed -e "s/@VERSION@/$version/" -e "s/@DATE@/$date/" -e "/^@OPTIONS@\$/{r $out.options" -e "d;}" "$template" >"$out.tmp"
rm "$out.options"
mv "$out.tmp" "$out"
