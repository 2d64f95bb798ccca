# Top-level build. `make` builds everything into dist/, `make test` runs every test stage,
# `make demo` packs and runs the demo launcher. Each first installs what is missing.
#
# BUILD and DIST may be overridden so that several builds can run side by side.

BUILD ?= build
DIST ?= dist
JOBS ?= $(shell nproc)
export DIST_DIR := $(abspath $(DIST))
export BUILD_DIR := $(abspath $(BUILD))

.PHONY: all deps build native win32 win64 unit fuzz wine smoke32 test bench demo clean

all: deps build

deps:
	@bash scripts/install-deps.sh

$(BUILD)/native/build.ninja:
	cmake -S . -B $(BUILD)/native -G Ninja -DCMAKE_BUILD_TYPE=Debug \
	  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ >/dev/null

$(BUILD)/win32/build.ninja:
	cmake -S . -B $(BUILD)/win32 -G Ninja -DCMAKE_BUILD_TYPE=Release \
	  -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake >/dev/null

$(BUILD)/win64/build.ninja:
	cmake -S . -B $(BUILD)/win64 -G Ninja -DCMAKE_BUILD_TYPE=Release \
	  -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-x86_64.cmake >/dev/null

native: $(BUILD)/native/build.ninja
	ninja -C $(BUILD)/native -j $(JOBS)

win32: $(BUILD)/win32/build.ninja
	ninja -C $(BUILD)/win32 -j $(JOBS)

win64: $(BUILD)/win64/build.ninja
	ninja -C $(BUILD)/win64 -j $(JOBS)

# dist/ holds only what a user ships or runs: the two prebuilt launchers, the packer and the
# Java-side runtime jars (built by the native build).
build: native win32 win64
	mkdir -p $(DIST)
	cp $(BUILD)/win32/launcher32.exe $(BUILD)/win64/launcher64.exe $(BUILD)/win64/packer.exe $(DIST)/
	cp $(BUILD)/native/packer $(DIST)/packer
	cp $(BUILD)/native/java/ravel-runtime.jar $(BUILD)/native/java/qwkruntime.jar $(DIST)/

unit: native
	$(BUILD)/native/unit_tests --gtest_brief=1

fuzz: native
	bash tests/fuzz/run.sh $(BUILD)/native

wine: build
	bash tests/wine/run.sh

smoke32: build
	bash tests/smoke32/run.sh

test: deps build
	bash tests/run_all.sh

# Benchmarks of the runtime search and of a whole run under wine64; they print figures.
bench: build
	bash bench/run.sh

demo: deps build
	bash demo/run.sh

clean:
	rm -rf $(BUILD) $(DIST)
