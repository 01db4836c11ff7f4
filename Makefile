# Top-level driver: configures and builds the CMake trees and runs their
# tests. See README.md.
#   build/host   host tools, release (sfxtool, benchmarks)
#   build/asan   host unit tests under AddressSanitizer + UBSan
#   build/tsan   the same under ThreadSanitizer
#   build/fuzz   libFuzzer targets (clang)
#   build/win32  the installer program and the Wine end-to-end suite
SHELL := /bin/bash
JOBS ?= $(shell nproc)
CMAKE_GEN := -G Ninja
BUILD ?= build
HOST_DIR := $(BUILD)/host
ASAN_DIR := $(BUILD)/asan
TSAN_DIR := $(BUILD)/tsan
FUZZ_DIR := $(BUILD)/fuzz
WIN_DIR := $(BUILD)/win32
export WINEPREFIX ?= $(CURDIR)/$(BUILD)/wine
FUZZ_SECONDS ?= 20

.PHONY: all deps host asan tsan fuzz-build win32 test test-host test-tsan \
        test-fuzz test-win32 \
        bench fuzz demo demo-gui clean demo-build tool-build install package

all: host win32

deps:
	@scripts/install-deps

$(HOST_DIR)/build.ninja:
	cmake -S . -B $(HOST_DIR) $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=Release

host: $(HOST_DIR)/build.ninja
	cmake --build $(HOST_DIR) -j $(JOBS)

$(ASAN_DIR)/build.ninja:
	cmake -S . -B $(ASAN_DIR) $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=Debug \
	  -DSFX_SANITIZE=ON -DSFX_BENCH=OFF

asan: $(ASAN_DIR)/build.ninja
	cmake --build $(ASAN_DIR) -j $(JOBS)

$(TSAN_DIR)/build.ninja:
	cmake -S . -B $(TSAN_DIR) $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	  -DSFX_TSAN=ON -DSFX_BENCH=OFF

tsan: $(TSAN_DIR)/build.ninja
	cmake --build $(TSAN_DIR) -j $(JOBS)

$(FUZZ_DIR)/build.ninja:
	CC=clang CXX=clang++ cmake -S . -B $(FUZZ_DIR) $(CMAKE_GEN) \
	  -DCMAKE_BUILD_TYPE=RelWithDebInfo -DSFX_FUZZ=ON -DSFX_BENCH=OFF

fuzz-build: $(FUZZ_DIR)/build.ninja
	cmake --build $(FUZZ_DIR) -j $(JOBS)

$(WIN_DIR)/build.ninja:
	cmake -S . -B $(WIN_DIR) $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=MinSizeRel \
	  -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake \
	  -DSFXTOOL=$(CURDIR)/$(HOST_DIR)/sfxtool

win32: host $(WIN_DIR)/build.ninja
	cmake --build $(WIN_DIR) -j $(JOBS)

# Every test: unit tests under the sanitizers, the tool and interoperability
# tests, a short fuzzing run, and the Win32 suite under Wine.
test: deps
	$(MAKE) test-host
	$(MAKE) test-tsan
	$(MAKE) test-fuzz
	$(MAKE) test-win32

test-host: asan
	cd $(ASAN_DIR) && ctest --output-on-failure -j $(JOBS)

# The tests that start threads or processes that do (decode-ahead, the
# installation, sfxtool's parallel packing); a race report fails the test.
test-tsan: tsan
	cd $(TSAN_DIR) && ctest --output-on-failure -j $(JOBS) -E 'fuzzer|interop'

test-fuzz: fuzz-build
	scripts/run-fuzzers $(FUZZ_DIR) $(FUZZ_SECONDS)

test-win32: win32
	scripts/with-wine bash -c 'cd $(WIN_DIR) && ctest --output-on-failure'

bench: deps host win32
	scripts/run-bench $(HOST_DIR) $(WIN_DIR)
	scripts/bench-package $(CURDIR)/$(HOST_DIR)/sfxtool

fuzz: deps fuzz-build
	scripts/run-fuzzers $(FUZZ_DIR) 300

# The main job needs only the tool, the installer program and the example's
# own programs, not the test suites.
demo-build: $(HOST_DIR)/build.ninja $(WIN_DIR)/build.ninja
	cmake --build $(HOST_DIR) -j $(JOBS) --target sfxtool
	cmake --build $(WIN_DIR) -j $(JOBS) --target installer hello uninstaller

demo: deps
	$(MAKE) demo-build
	scripts/with-wine scripts/demo $(HOST_DIR) $(WIN_DIR)

demo-gui: deps
	$(MAKE) demo-build
	scripts/demo-gui $(HOST_DIR) $(WIN_DIR)

# sfxtool with its installer program and uninstaller: installed under
# $(PREFIX) (bin/sfxtool, share/sfx/), honouring DESTDIR, or as a .deb.
PREFIX ?= /usr/local
tool-build: $(HOST_DIR)/build.ninja $(WIN_DIR)/build.ninja
	cmake --build $(HOST_DIR) -j $(JOBS) --target sfxtool
	cmake --build $(WIN_DIR) -j $(JOBS) --target installer uninstaller

install: tool-build
	DESTDIR=$(DESTDIR) cmake --install $(HOST_DIR) --prefix $(PREFIX)

package: tool-build
	cd $(HOST_DIR) && cpack -G DEB

clean:
	rm -rf $(BUILD)
