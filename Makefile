# Quick start: `make run` and `make test`. PRESET picks the CMake preset (dev, ci, asan, tsan).
PRESET ?= dev
BUILD := build/$(PRESET)

.PHONY: all deps configure build run test fuzz bench package clean

all: build

deps:
	@bash scripts/install-deps.sh

configure: deps
	@cmake --preset $(PRESET) >/dev/null

build: configure
	@cmake --build --preset $(PRESET)

# The window needs a display; without one, the report of the sample media is printed instead.
run: build
	@if [ -n "$$DISPLAY$$WAYLAND_DISPLAY" ]; then \
		$(BUILD)/bin/KQCheckMediaInfo; \
	else \
		echo "No display (DISPLAY/WAYLAND_DISPLAY unset): the report of tests/data/media follows."; \
		$(BUILD)/bin/kqmediareport tests/data/media; \
	fi

test: build
	@ctest --preset $(PRESET)

# Each fuzz target for FUZZ_SECONDS (clang, libFuzzer, address and undefined-behaviour
# sanitizers); the plain builds replay their inputs as tests.
FUZZ_SECONDS ?= 20
fuzz:
	@KQ_WITH_FUZZ_TOOLS=1 bash scripts/install-deps.sh
	@cmake --preset fuzz >/dev/null
	@cmake --build --preset fuzz
	@bash scripts/run-fuzzers.sh build/fuzz $(FUZZ_SECONDS)

bench: build
	@KQ_WITH_MEDIA_TOOLS=1 bash scripts/install-deps.sh
	@bash bench/run.sh $(BUILD)

# The Debian package build/package/kqcheckmediainfo_<version>_<arch>.deb: a release build
# of its own (no tests), installed to /usr.
package:
	@KQ_WITH_PACKAGING_TOOLS=1 bash scripts/install-deps.sh
	@cmake --preset package >/dev/null
	@cmake --build --preset package
	@cpack --preset package

clean:
	rm -rf build
