# The two set-up commands: `make run` and `make test`.
BUILD_DIR ?= build
JOBS ?= $(shell nproc)

.PHONY: all deps configure build run test bench clean package fuzz

all: build

deps:
	@bash scripts/install-deps.sh

configure: deps
	@cmake -S . -B $(BUILD_DIR) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null

build: configure
	@cmake --build $(BUILD_DIR) -j $(JOBS)

# Only the window program and what it links: the tests and benchmarks wait
# for `make test` and `make bench`.
run: configure
	@cmake --build $(BUILD_DIR) -j $(JOBS) --target velmorant-ips
	./$(BUILD_DIR)/app/velmorant-ips

test: build
	cd $(BUILD_DIR) && ctest --output-on-failure -j $(JOBS)

bench: build
	bash scripts/run-benchmarks.sh $(BUILD_DIR)

# The Debian package, $(BUILD_DIR)/velmorant-ips_<version>_amd64.deb: only
# what it ships is built (the programs, the manual pages, the changelog).
package: configure
	@bash scripts/install-deps.sh --with-packaging
	@cmake --build $(BUILD_DIR) -j $(JOBS) --target velmorant-ips velmorant-ips-cli vips_packaging_files
	cd $(BUILD_DIR) && cpack -G DEB

clean:
	rm -rf $(BUILD_DIR)

# Windows: the window and the CLI cross-built with MinGW-w64 into
# $(WINDOWS_BUILD_DIR) with the download zip; test-windows builds every test
# there too and runs them under Wine.
WINDOWS_BUILD_DIR ?= build-windows
.PHONY: windows test-windows

windows:
	@bash scripts/install-deps.sh --windows
	@JOBS=$(JOBS) bash scripts/build-windows.sh $(WINDOWS_BUILD_DIR)

test-windows: windows
	@JOBS=$(JOBS) bash scripts/test-windows.sh $(WINDOWS_BUILD_DIR)

# The libFuzzer target over reading, listing and gathering a patch in memory,
# built with clang and run from the seed corpus in fuzz/corpus for
# FUZZ_SECONDS seconds; new inputs it finds go to build-fuzz/corpus.
FUZZ_SECONDS ?= 60
fuzz:
	@bash scripts/install-deps.sh --with-fuzz
	@CC=clang CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	  -DVIPS_BUILD_FUZZ=ON -DVIPS_BUILD_APP=OFF -DVIPS_BUILD_BENCH=OFF -DVIPS_BUILD_TESTS=OFF >/dev/null
	@cmake --build build-fuzz -j $(JOBS) --target vips_patch_fuzzer
	@mkdir -p build-fuzz/corpus
	./build-fuzz/fuzz/vips_patch_fuzzer -max_total_time=$(FUZZ_SECONDS) -print_final_stats=1 \
	  -artifact_prefix=build-fuzz/ build-fuzz/corpus fuzz/corpus
