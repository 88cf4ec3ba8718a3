#!/bin/bash
# The README's table of options names the options --help names, no more, no fewer.
# usage: readme_options.sh TEQ README
set -u
teq=$1 readme=$2
help_options=$("$teq" --help | sed -n 's/^  \(--[^ ]*\).*/\1/p' | sort)
readme_options=$(sed -n 's/^| `\(--[a-z-]*\).*/\1/p' "$readme" | sort -u)
[ -n "$help_options" ] || { echo "FAIL: --help names no option"; exit 1; }
if [ "$help_options" != "$readme_options" ]; then
    echo "FAIL: the README's option table and --help differ:"
    diff <(echo "$readme_options") <(echo "$help_options") | sed -n 's/^</  only in the README:/p; s/^>/  only in --help:/p'
    exit 1
fi
echo "readme_options: $(echo "$help_options" | wc -l) options in both"
