# Sourced by the install checks (tests/install/layout_check.sh, tools/deb/check.sh).
#
# same_shot WORK TEQ DATA INSTALLED...: runs the build's TEQ --data DATA
# --shot 60 in WORK, then the installed teq (the command INSTALLED..., without
# --data) --shot 60 in WORK/elsewhere, a folder of its own, and compares the
# pictures byte for byte. Returns 0 when they are the same and the installed
# teq said nothing; else 1 with the reason in SHOT_WHY. SHOT_MS: how long the
# installed teq took; SHOT_BYTES: the picture's size.
same_shot() {
    local work=$1 teq=$2 data=$3; shift 3
    local t0 t1
    mkdir -p "$work/elsewhere"
    SHOT_WHY="" SHOT_MS="" SHOT_BYTES=""
    (cd "$work" && "$teq" --data "$data" --shot 60 build.png 2>/dev/null) ||
        { SHOT_WHY="the build's teq --shot 60 failed"; return 1; }
    t0=$(date +%s%N)
    (cd "$work/elsewhere" && "$@" --shot 60 x.png 2>"$work/shot.err") ||
        { SHOT_WHY="installed teq --shot 60 failed: $(head -1 "$work/shot.err")"; return 1; }
    t1=$(date +%s%N)
    SHOT_MS=$(((t1 - t0) / 1000000))
    [ -s "$work/shot.err" ] && { SHOT_WHY="installed teq --shot 60 said: $(head -1 "$work/shot.err")"; return 1; }
    cmp -s "$work/build.png" "$work/elsewhere/x.png" ||
        { SHOT_WHY="installed teq --shot 60 differs from $teq --shot 60"; return 1; }
    SHOT_BYTES=$(stat -c %s "$work/build.png")
}
