#!/bin/sh
# make web: the page in WEB_DIR (index.html, serve.py, teq.js/.wasm,
# teq-mt.js/.wasm/.worker.js, teq.data), from two emcc builds of teq: teq.js
# on one thread for any server, teq-mt.js on shared memory with a drawing
# thread for cross-origin isolated pages. Each links its own build of the
# libraries (tools/libs/build.sh wasm, wasm-mt) and preloads DATA_DIR, the
# native build's data files.
#
#   web/build.sh WEB_DIR DATA_DIR
set -eu
[ $# -eq 2 ] || { echo "usage: web/build.sh WEB_DIR DATA_DIR" >&2; exit 2; }
root=$(cd "$(dirname "$0")/.." && pwd)
mkdir -p "$1"
web=$(cd "$1" && pwd)
data=$(cd "$2" 2>/dev/null && pwd) || { echo "web: no $2 (build the data first)" >&2; exit 1; }
[ -f "$data/distortion.xm" ] || { echo "web: no distortion.xm in $data (build the data first)" >&2; exit 1; }
export NODE_PATH=/usr/share/nodejs${NODE_PATH:+:$NODE_PATH}

# The two library sets build side by side: each is mostly configure checks
# on one core. Their logs go to standard error as they run; either failing
# stops the build.
mkdir -p "$web/libs"
"$root/tools/libs/build.sh" wasm "$web/libs" >"$web/libs/wasm.prefix" &
single=$!
"$root/tools/libs/build.sh" wasm-mt "$web/libs" >"$web/libs/wasm-mt.prefix" &
shared=$!
failed=""
wait $single || failed="$failed wasm"
wait $shared || failed="$failed wasm-mt"
[ -z "$failed" ] || { echo "web: the libraries for$failed failed to build (log above)" >&2; exit 1; }

for variant in wasm wasm-mt; do
    libs=$(cat "$web/libs/$variant.prefix")
    dir=$web/cmake${variant#wasm}
    threads=$([ "$variant" = wasm-mt ] && echo ON || echo OFF)
    # A new library prefix means a fresh configure: pkg-config's answers are cached.
    if [ ! -f "$dir/build.ninja" ] || ! grep -q "$libs" "$dir/CMakeCache.txt"; then
        rm -f "$dir/CMakeCache.txt"
        PKG_CONFIG_LIBDIR=$libs/lib/pkgconfig PKG_CONFIG_PATH='' cmake -S "$root" -B "$dir" -G Ninja \
            -DCMAKE_TOOLCHAIN_FILE=/usr/share/emscripten/cmake/Modules/Platform/Emscripten.cmake \
            -DCMAKE_BUILD_TYPE=Release -DCMAKE_FIND_ROOT_PATH="$libs" -DTEQ_WEB_THREADS="$threads" \
            -DCMAKE_CROSSCOMPILING_EMULATOR="node;--no-experimental-fetch" \
            -DTEQ_WEB_DATA="$data" -DTEQ_WEB_OUTPUT="$web"
    fi
done

# New data files (not seen by the linker) make the page's data package again.
if [ -f "$web/teq.data" ] && [ -n "$(find "$data" -newer "$web/teq.data")" ]; then
    rm -f "$web/teq.js" "$web/teq-mt.js"
fi
cmake --build "$web/cmake" -j2
cmake --build "$web/cmake-mt" -j2
# Both package the same files in the same order: one copy is served.
if [ -f "$web/teq-mt.data" ]; then cmp "$web/teq.data" "$web/teq-mt.data" && rm "$web/teq-mt.data"; fi
cd "$web" && ls -l index.html teq.js teq.wasm teq.data teq-mt.js teq-mt.wasm teq-mt.worker.js
