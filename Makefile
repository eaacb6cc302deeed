# Quick start: `make run` and `make test`. PRESET picks the CMake preset (dev, ci, asan).
PRESET ?= dev
BUILD := build/$(PRESET)

.PHONY: all deps configure build run test bench clean

all: build

deps:
	@bash scripts/install-deps.sh

configure: deps
	@cmake --preset $(PRESET) >/dev/null

build: configure
	@cmake --build --preset $(PRESET)

run: build
	@$(BUILD)/bin/kqmediareport tests/data/media

test: build
	@ctest --preset $(PRESET)

bench: build
	@KQ_WITH_MEDIA_TOOLS=1 bash scripts/install-deps.sh
	@bash bench/run.sh $(BUILD)

clean:
	rm -rf build
