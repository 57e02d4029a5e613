# The two set-up commands: `make run` and `make test`.
BUILD_DIR ?= build
JOBS ?= $(shell nproc)

.PHONY: all deps configure build run test bench clean package

all: build

deps:
	@bash scripts/install-deps.sh

configure: deps
	@cmake -S . -B $(BUILD_DIR) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null

build: configure
	@cmake --build $(BUILD_DIR) -j $(JOBS)

run: build
	./$(BUILD_DIR)/app/velmorant-ips

test: build
	cd $(BUILD_DIR) && ctest --output-on-failure -j $(JOBS)

bench: build
	bash scripts/run-benchmarks.sh $(BUILD_DIR)

# The Debian package, $(BUILD_DIR)/velmorant-ips_2.2.0.0_amd64.deb.
package: build
	@bash scripts/install-deps.sh --with-packaging
	cd $(BUILD_DIR) && cpack -G DEB

clean:
	rm -rf $(BUILD_DIR)

# Windows: the core, the CLI and their tests cross-built with MinGW-w64 into
# $(WINDOWS_BUILD_DIR) with the download zip; the tests run under Wine.
WINDOWS_BUILD_DIR ?= build-windows
.PHONY: windows test-windows

windows:
	@bash scripts/install-deps.sh --windows
	@JOBS=$(JOBS) bash scripts/build-windows.sh $(WINDOWS_BUILD_DIR)

test-windows: windows
	@JOBS=$(JOBS) bash scripts/test-windows.sh $(WINDOWS_BUILD_DIR)
