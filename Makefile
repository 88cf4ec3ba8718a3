# The two everyday commands:
#   make run    build teq and play the demo
#   make test   build everything and run every test
# Both first check the Debian packages teq needs; as root they install what is
# missing, otherwise they print the apt-get line to run.

BUILD ?= build
BUILD_TYPE ?= Release
PACKAGES := cmake g++ ninja-build pkg-config libsdl2-dev libopenmpt-dev \
            libspng-dev libturbojpeg0-dev libstb-dev libgtest-dev libgmock-dev \
            libbenchmark-dev fonts-dejavu-core ffmpeg openmpt123 xvfb xauth xdotool \
            libjpeg-turbo-progs

# What tools/libs/build.sh needs to fetch and unpack Debian's source packages
# for the libraries the fuzzing, Windows and browser builds link.
LIB_PACKAGES := dpkg-dev xz-utils debian-archive-keyring make

# Fuzzing (make fuzz): clang with libFuzzer.
FUZZ_PACKAGES := clang libclang-rt-14-dev $(LIB_PACKAGES)

# Windows (make windows, make windows-check): mingw-w64, wine, zip.
WINDOWS_BUILD ?= build-windows
WINDOWS_PACKAGES := mingw-w64 wine wine64 zip unzip file $(LIB_PACKAGES)

.PHONY: run test build deps configure clean fuzz fuzz-deps windows windows-check windows-deps

run: build
	./$(BUILD)/teq $(ARGS)

test: build
	ctest --test-dir $(BUILD) --output-on-failure -j2 --timeout 900

# Every fuzz target for FUZZ_SECONDS (default 45) each; see tools/fuzz/run.sh.
fuzz: fuzz-deps
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

# Each build's own packages, checked (as root installed) as deps does.
fuzz-deps:
	@$(MAKE) --no-print-directory deps PACKAGES="$(PACKAGES) $(FUZZ_PACKAGES)"

windows-deps:
	@$(MAKE) --no-print-directory deps PACKAGES="$(PACKAGES) $(WINDOWS_PACKAGES)"

web-deps:
	@$(MAKE) --no-print-directory deps PACKAGES="$(PACKAGES) $(WEB_PACKAGES)"

clean:
	rm -rf $(BUILD)

# The browser build (web/): `make web` writes build-web/ (index.html, teq.js,
# teq.wasm, teq.data); `make web-check` plays it in headless Chromium. Both
# install what they need as root (emscripten, chromium, npm; puppeteer-core
# into a cache folder outside the clone), and the libraries cross-built for
# the browser are cached the same way (tools/libs/build.sh).
WEB ?= build-web
# npm: Debian's, unless one is on the PATH already (NodeSource's node brings
# its own, which Debian's would conflict with).
WEB_PACKAGES := emscripten chromium firefox-esr python3 $(LIB_PACKAGES) $(if $(shell command -v npm),,npm)
PUPPETEER_VERSION := 24.43.1
export NODE_PATH := /usr/share/nodejs$(if $(NODE_PATH),:$(NODE_PATH))

.PHONY: web web-check web-deps

# Two builds of the page's program (web/build.sh): teq.js on one thread for
# any server, teq-mt.js on shared memory with a drawing thread for
# cross-origin isolated pages. Both preload the native build's data files.
web: web-deps configure
	cmake --build $(BUILD) -j2 --target data
	web/build.sh $(WEB) $(BUILD)/data

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

# The Debian package (tools/deb): `make deb` writes build-deb/teq_VERSION_amd64.deb
# (teq built there with Debian's flags, laid out by `cmake --install`) and
# checks it with lintian; `make deb-check` installs it with apt-get as root,
# plays it against the native build, validates its files and purges it.
DEB ?= build-deb
DEB_PACKAGES := dpkg-dev lintian desktop-file-utils appstream man-db

.PHONY: deb deb-check deb-deps

deb-deps:
	@$(MAKE) --no-print-directory deps PACKAGES="$(PACKAGES) $(DEB_PACKAGES)"

deb: deb-deps
	tools/deb/build.sh $(DEB)

deb-check: deb configure
	cmake --build $(BUILD) -j2 --target teq data
	tools/deb/check.sh $(DEB) $(BUILD)/teq $(BUILD)/data
