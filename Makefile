# Thin wrapper over CMake.  `make` builds the Release library into build/,
# `make test` builds and runs the whole test suite, `make demo` vectorizes the
# bundled sample drawing.  Before a build folder is first configured,
# scripts/deps.sh installs the Debian packages the build needs when they are
# missing (or names them and stops).
BUILD ?= build
JOBS ?= $(shell nproc 2>/dev/null || echo 2)
CMAKE_FLAGS ?=

.PHONY: all build test demo bench compare sanitize clean install web web-serve web-test

all: build

$(BUILD)/CMakeCache.txt:
	scripts/deps.sh build test
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=Release $(CMAKE_FLAGS)

build: $(BUILD)/CMakeCache.txt
	cmake --build $(BUILD) -j $(JOBS)

test: build
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

# The bundled sample sheet, as centre lines and as outlines, each written as
# SVG and JSON with one summary line; DEMO_INPUT=drawing.png vectorizes
# another file.
DEMO_INPUT ?= examples/sample.png
DEMO_OUT = examples/out/sample

demo: build
	@mkdir -p examples/out
	@$(BUILD)/ktvec centerline $(DEMO_INPUT) -o $(DEMO_OUT)-centerline.svg -o $(DEMO_OUT)-centerline.json
	@$(BUILD)/ktvec outline $(DEMO_INPUT) -o $(DEMO_OUT)-outline.svg -o $(DEMO_OUT)-outline.json

# `make install PREFIX=DIR`: the library with its soname links, ktvec.h, the
# ktvec program, the CMake package, ktvec.pc and the Python module (under
# lib/python3.X/dist-packages, where the system's Python looks for /usr and
# /usr/local); only what is installed is built.
PREFIX ?= /usr/local

install: $(BUILD)/CMakeCache.txt
	cmake --build $(BUILD) -j $(JOBS) --target ktvec_installables
	cmake --install $(BUILD) --prefix $(PREFIX)

bench: build
	$(BUILD)/ktvec_bench

compare: build
	BUILD=$(BUILD) bench/compare.sh

sanitize:
	scripts/deps.sh build test
	cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKTVEC_SANITIZE=ON -DKTVEC_BUILD_BENCH=OFF
	cmake --build build-asan -j $(JOBS)
	cd build-asan && ASAN_OPTIONS=detect_leaks=1:allocator_may_return_null=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 ctest --output-on-failure -j $(JOBS)

# The editor in a browser (docs/web.md): `make web` builds it into
# build-web/, `make web-serve` serves it on http://127.0.0.1:8000/,
# `make web-test` runs its end-to-end tests in Debian's chromium (the native
# program is built too: the tests compare the page with it).
include web/build.mk
WEB_PORT ?= 8000

web: $(WEB_BUILD)/ktvec.js $(WEB_PAGE)

web-serve: web
	cd $(WEB_BUILD) && python3 -m http.server $(WEB_PORT) --bind 127.0.0.1

web-test: web build
	web/run-tests.sh

clean:
	rm -rf $(BUILD) build-asan $(WEB_BUILD)
