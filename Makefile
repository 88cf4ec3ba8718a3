# The two everyday commands:
#   make run    build teq and play the demo
#   make test   build everything and run every test
# Both first check the Debian packages teq needs; as root they install what is
# missing, otherwise they print the apt-get line to run.

BUILD ?= build
BUILD_TYPE ?= Release
PACKAGES := cmake g++ ninja-build pkg-config libsdl2-dev libopenmpt-dev \
            libspng-dev libturbojpeg0-dev libstb-dev libgtest-dev libgmock-dev \
            libbenchmark-dev fonts-dejavu-core ffmpeg openmpt123 xvfb xauth xdotool

# Fuzzing (make fuzz): clang with libFuzzer, and dpkg-source for the decoders' sources.
FUZZ_PACKAGES := clang libclang-rt-14-dev dpkg-dev cmake ninja-build

# Windows (make windows, make windows-check): mingw-w64, wine, zip, and
# dpkg-source for the libraries' sources.
WINDOWS_BUILD ?= build-windows
WINDOWS_PACKAGES := mingw-w64 wine wine64 zip unzip dpkg-dev make file xz-utils debian-archive-keyring

.PHONY: run test build deps configure clean fuzz windows windows-check windows-deps

run: build
	./$(BUILD)/teq $(ARGS)

test: build
	ctest --test-dir $(BUILD) --output-on-failure -j2 --timeout 900

# Every fuzz target for FUZZ_SECONDS (default 45) each; see tools/fuzz/run.sh.
fuzz:
	@$(MAKE) --no-print-directory deps PACKAGES="$(PACKAGES) $(FUZZ_PACKAGES)"
	tools/fuzz/run.sh

build: configure
	cmake --build $(BUILD) -j2

configure: deps
	@test -f $(BUILD)/build.ninja || cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=$(BUILD_TYPE)

deps:
	@missing=""; for p in $(PACKAGES); do \
	  dpkg-query -W -f='$${Status}' $$p 2>/dev/null | grep -q "install ok installed" || missing="$$missing $$p"; \
	done; \
	if [ -n "$$missing" ]; then \
	  if [ "$$(id -u)" = 0 ]; then \
	    echo "Installing:$$missing"; \
	    DEBIAN_FRONTEND=noninteractive apt-get install -y $$missing || \
	      { apt-get update && DEBIAN_FRONTEND=noninteractive apt-get install -y $$missing; } || exit 1; \
	  else \
	    echo "teq needs these Debian packages. Run:"; \
	    echo "  sudo apt-get install -y$$missing"; \
	    exit 1; \
	  fi; \
	fi

# 64-bit Windows: build-windows/teq-windows.zip (teq.exe, data, README.txt),
# then checked under wine against the native build.
windows: windows-deps configure
	cmake --build $(BUILD) -j2 --target data
	tools/windows/build.sh $(WINDOWS_BUILD) $(BUILD)/data

windows-check: windows
	cmake --build $(BUILD) -j2 --target teq teq-pngdiff
	tools/windows/check.sh $(WINDOWS_BUILD) $(BUILD)/teq $(BUILD)/data $(BUILD)/teq-pngdiff

windows-deps:
	@$(MAKE) --no-print-directory deps PACKAGES="$(PACKAGES) $(WINDOWS_PACKAGES)"

clean:
	rm -rf $(BUILD)

# The browser build (web/): `make web` writes build-web/ (index.html, teq.js,
# teq.wasm, teq.data); `make web-check` plays it in headless Chromium. Both
# install what they need as root (emscripten, chromium, npm; puppeteer-core
# into a cache folder outside the clone), and the libraries cross-built for
# the browser are cached the same way (web/build-libs.sh).
WEB ?= build-web
WEB_PACKAGES := emscripten chromium python3
PUPPETEER_VERSION := 24.43.1
export NODE_PATH := /usr/share/nodejs$(if $(NODE_PATH),:$(NODE_PATH))

.PHONY: web web-check web-deps

web-deps:
	@missing=""; for p in $(WEB_PACKAGES); do \
	  dpkg-query -W -f='$${Status}' $$p 2>/dev/null | grep -q "install ok installed" || missing="$$missing $$p"; \
	done; \
	command -v npm >/dev/null || missing="$$missing npm"; \
	if [ -n "$$missing" ]; then \
	  if [ "$$(id -u)" = 0 ]; then \
	    echo "Installing:$$missing"; \
	    apt-get update && DEBIAN_FRONTEND=noninteractive apt-get install -y $$missing || exit 1; \
	  else \
	    echo "The browser build needs these Debian packages. Run:"; \
	    echo "  sudo apt-get install -y$$missing"; \
	    exit 1; \
	  fi; \
	fi

web: configure web-deps
	cmake --build $(BUILD) -j2 --target data
	@# Two builds of the page's program: teq.js on one thread for any server,
	@# teq-mt.js on shared memory with a drawing thread for cross-origin
	@# isolated pages. Each links its own build of the libraries.
	@for variant in "" mt; do \
	  libs=$$(sh web/build-libs.sh $(WEB)/libs $$variant) || exit 1; \
	  dir=$(WEB)/cmake$${variant:+-$$variant}; threads=$$([ -n "$$variant" ] && echo ON || echo OFF); \
	  if [ ! -f $$dir/build.ninja ] || ! grep -q "$$libs" $$dir/CMakeCache.txt; then \
	    rm -f $$dir/CMakeCache.txt; \
	    PKG_CONFIG_LIBDIR=$$libs/lib/pkgconfig PKG_CONFIG_PATH= cmake -S . -B $$dir -G Ninja \
	      -DCMAKE_TOOLCHAIN_FILE=/usr/share/emscripten/cmake/Modules/Platform/Emscripten.cmake \
	      -DCMAKE_BUILD_TYPE=Release -DCMAKE_FIND_ROOT_PATH=$$libs -DTEQ_WEB_THREADS=$$threads \
	      -DCMAKE_CROSSCOMPILING_EMULATOR="node;--no-experimental-fetch" \
	      -DTEQ_WEB_DATA=$(abspath $(BUILD))/data -DTEQ_WEB_OUTPUT=$(abspath $(WEB)) || exit 1; \
	  fi; \
	done
	@# New data files (not seen by the linker) make the page's data package again.
	@if [ -f $(WEB)/teq.data ] && [ -n "$$(find $(BUILD)/data -newer $(WEB)/teq.data)" ]; then \
	  rm -f $(WEB)/teq.js $(WEB)/teq-mt.js; fi
	cmake --build $(WEB)/cmake -j2
	cmake --build $(WEB)/cmake-mt -j2
	@# Both package the same files in the same order: one copy is served.
	@if [ -f $(WEB)/teq-mt.data ]; then cmp $(WEB)/teq.data $(WEB)/teq-mt.data && rm $(WEB)/teq-mt.data; fi
	@ls -l $(WEB)/index.html $(WEB)/teq.js $(WEB)/teq.wasm $(WEB)/teq.data $(WEB)/teq-mt.js \
	  $(WEB)/teq-mt.wasm $(WEB)/teq-mt.worker.js

# The page's shot is compared with the native teq's.
web-check: web
	cmake --build $(BUILD) -j2 --target teq
	node --no-experimental-fetch $(WEB)/cmake/tests/render_test.js
	node --no-experimental-fetch $(WEB)/cmake-mt/tests/render_test.js
	@dir=/var/cache/teq/npm-puppeteer-core-$(PUPPETEER_VERSION); \
	{ mkdir -p $$dir 2>/dev/null && [ -w $$dir ]; } || dir=$(abspath $(WEB))/npm-puppeteer-core-$(PUPPETEER_VERSION); \
	if [ ! -d $$dir/node_modules/puppeteer-core ]; then \
	  npm install --prefix $$dir --no-save --no-audit --no-fund --loglevel=error \
	    puppeteer-core@$(PUPPETEER_VERSION) || exit 1; \
	fi; \
	NODE_PATH=$$dir/node_modules:$(NODE_PATH) node web/check.cjs --dir $(WEB) --teq $(BUILD)/teq
