# Entry points: `make run` starts the program, `make test` builds and runs
# every test. Both install missing Debian packages first.
BUILD ?= build
BUILD_TYPE ?= RelWithDebInfo
CMAKE_ARGS ?=
JOBS ?= 2

.PHONY: all deps configure build test run bench fuzz screenshots install package clean format

all: build

deps:
	@bash scripts/install-deps.sh

configure: deps
	cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=$(BUILD_TYPE) $(CMAKE_ARGS)

build: configure
	cmake --build $(BUILD) -j $(JOBS)

test: build
	cd $(BUILD) && ctest -j $(JOBS) --output-on-failure --timeout 120

run: build
	@bash scripts/run.sh $(BUILD)

# Every window as a PNG in $(BUILD)/screenshots/, taken under Xvfb.
screenshots: build
	@bash scripts/screenshots.sh $(BUILD)

# Installs into $(PREFIX) (default /usr/local).
PREFIX ?= /usr/local
install: build
	cmake --install $(BUILD) --prefix $(PREFIX)

# A Debian package in $(BUILD)/, checked with lintian.
package: build
	cd $(BUILD) && cpack -G DEB
	lintian --no-tag-display-limit $(BUILD)/quor_*.deb || true

bench: build
	@bash scripts/bench.sh $(BUILD)

# Each fuzz target for FUZZ_SECONDS (default 300) in build-fuzz.
fuzz: deps
	@bash scripts/fuzz.sh build-fuzz $(FUZZ_SECONDS)

# Rewrites every C and C++ file as .clang-format says (CI checks it).
format:
	@bash scripts/check-format.sh --fix

clean:
	rm -rf $(BUILD)
