#!/bin/sh
# Checks, without building anything, that every make target the README
# documents builds the build outputs its recipes use, so that each works from
# a fresh clone on its own and in any order. For each target it reads
# `make -n TARGET` as run in an empty folder (nothing built) and follows the
# commands in order: a path that git ignores (build*/ ...) and does not
# track is a build output,
# and each one a command runs or reads must have been made by an earlier
# command (or this one) of the target or its prerequisites:
#   cmake -S SRC -B DIR                configures DIR (what `cmake --build DIR` needs)
#   cmake --build DIR --target T...    makes DIR/T (and what is below it: DIR/data/...)
#   cmake --build DIR                  makes everything in DIR
#   SCRIPT DIR ..., SCRIPT a writer    makes everything in DIR (the writers below)
#   npm install --prefix DIR           makes everything in DIR
#   mkdir -p DIR                       makes the folder DIR
# Paths tested for (test -f P, [ -d P ]), removed (rm) or printed (echo) are
# not reads; nor are comments. A
# reading of a whole folder (ctest --test-dir build) needs all of it made.
# Scripts must take the build outputs they read as arguments, so that they
# show here; a script that writes a build folder others read is a writer.
#
#   tools/ci/make-inputs.sh [MAKEFILE [README]]
# Prints each target's verdict; exits 1 if any recipe uses what nothing made.
set -eu
root=$(cd "$(dirname "$0")/../.." && pwd)
makefile=$(cd "$(dirname "${1:-$root/Makefile}")" && pwd)/$(basename "${1:-$root/Makefile}")
readme=${2:-$root/README.md}
# Scripts that write into the folder named by their first argument.
writers="tools/windows/build.sh web/build.sh tools/deb/build.sh"

targets=$(grep -oE '(^ {4}|`)make [a-z][a-z0-9-]*' "$readme" | sed 's/.*make //' | sort -u)
[ -n "$targets" ] || { echo "make-inputs: no make targets found in $readme" >&2; exit 1; }
tmp=$(mktemp -d "${TMPDIR:-/tmp}/make-inputs.XXXXXX")
trap 'rm -rf "$tmp"' EXIT
mkdir "$tmp/tree"
ln -s "$makefile" "$tmp/tree/Makefile"
git -C "$root" ls-files >"$tmp/tracked"

# The commands of `make -n`, one logical line each (continuations joined),
# cut into words: shell punctuation becomes a ";" word, quotes, "=" and ":"
# separate words, the empty tree's absolute path is taken off.
words() {
    awk -v tree="$tmp/tree/" '
        { line = line $0 }
        /\\$/ { sub(/\\$/, "", line); next }
        line ~ /^[ \t]*#/ { line = ""; next }
        {
            shown = line
            gsub(/[ \t]+/, " ", shown)
            gsub(/[;|&(){}<>`]/, " ; ", line)
            gsub(/["'\''=:,]/, " ", line)
            n = split(line, w, /[ \t]+/)
            out = ""
            for (i = 1; i <= n; i++) {
                if (w[i] == "") continue
                if (index(w[i], tree) == 1) w[i] = substr(w[i], length(tree) + 1)
                sub(/^\.\//, "", w[i])
                out = out (out == "" ? "" : " ") w[i]
            }
            if (out != "") print out "\t" shown
            line = ""
        }'
}

failed=0
for target in $targets; do
    if ! (cd "$tmp/tree" && make -n --no-print-directory "$target") >"$tmp/$target.sh" 2>"$tmp/$target.err"; then
        echo "make-inputs: $target: make -n failed: $(head -n 3 "$tmp/$target.err")"
        failed=1
        continue
    fi
    words <"$tmp/$target.sh" >"$tmp/$target.words"
    # Which words are build outputs: git ignores them, or what would be below them.
    cut -f1 "$tmp/$target.words" | tr ' ' '\n' | grep -E '^[A-Za-z0-9_.+][A-Za-z0-9_.+/-]*$' | sort -u >"$tmp/$target.paths" || true
    sed 's|$|/x|' "$tmp/$target.paths" | cat "$tmp/$target.paths" - |
        git -C "$root" check-ignore --no-index --stdin >"$tmp/$target.ignored" || true
    # ... and are not in git (web/build.sh would match build*/ as a folder).
    sed -n 's|/x$||p' "$tmp/$target.ignored" | cat "$tmp/$target.ignored" - | grep -v '/x$' | sort -u |
        awk 'FNR == NR { n = split($0, p, "/"); d = ""; for (i = 1; i <= n; i++) { d = d (i > 1 ? "/" : "") p[i]; src[d] = 1 }; next }
             !($0 in src)' "$tmp/tracked" - >"$tmp/$target.outputs"
    if awk -v target="$target" -v writers=" $writers " -v outputs="$tmp/$target.outputs" '
        BEGIN { while ((getline p < outputs) > 0) output[p] = 1 }
        function made(p,   k) {
            if (p in exact) return 1
            for (k in tree) if (p == k || index(p, k "/") == 1) return 1
            for (k in exact) if (index(p, k "/") == 1) return 1
            return 0
        }
        function need(p, how) {
            if (!(p in output) || made(p)) return
            print "make-inputs: " target ": " how " " p ", which no earlier command of the target or its prerequisites makes:"
            print "    " shown
            bad = 1
        }
        {
            shown = $0; sub(/^[^\t]*\t/, "", shown)
            n = split($0, f, "\t"); n = split(f[1], w, " ")
            delete role
            for (i = 1; i <= n; i++) {
                x = w[i]
                if (x == "cmake" && w[i + 1] == "--build") {
                    dir = w[i + 2]; role[i + 2] = "configured"
                    targets = 0
                    for (j = i + 3; j <= n && w[j] != ";"; j++) {
                        if (w[j] == "--target") { for (k = j + 1; k <= n && w[k] != ";" && w[k] !~ /^-/; k++) { role[k] = "name"; mk[++targets] = dir "/" w[k] } j = k - 1 }
                    }
                    if (targets == 0) mkt[dir] = 1
                    else for (k = 1; k <= targets; k++) mke[mk[k]] = 1
                } else if (x == "-B" && i < n) {
                    role[i + 1] = "made"; mke[w[i + 1] "/CMakeCache.txt"] = 1; mke[w[i + 1] "/build.ninja"] = 1; cfg[w[i + 1]] = 1
                } else if (index(writers, " " x " ") && i < n) {
                    role[i + 1] = "made"; mkt[w[i + 1]] = 1
                } else if (x == "--prefix" && i < n) {
                    role[i + 1] = "made"; mkt[w[i + 1]] = 1
                } else if (x == "mkdir") {
                    for (j = i + 1; j <= n && w[j] != ";"; j++) if (w[j] !~ /^-/) { role[j] = "made"; mke[w[j]] = 1 }
                } else if (x == "echo" || x == "printf" || x == "rm") {
                    for (j = i + 1; j <= n && w[j] != ";"; j++) role[j] = "text"
                } else if (x ~ /^-[fdexsrw]$/ && i < n) {
                    role[i + 1] = "tested"
                }
            }
            for (i = 1; i <= n; i++) {
                if (role[i] == "configured") {
                    if (!(w[i] in cfg) && !made(w[i])) need(w[i], "builds in")
                } else if (role[i] == "") {
                    need(w[i], "uses")
                }
            }
            for (k in mke) exact[k] = 1
            for (k in mkt) tree[k] = 1
            delete mke; delete mkt
        }
        END { exit bad }' "$tmp/$target.words"; then
        echo "make-inputs: $target: builds all it uses ($(wc -l <"$tmp/$target.words") commands)"
    else
        failed=1
    fi
done
exit $failed
