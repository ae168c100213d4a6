# Entry points: `make run` starts the program, `make test` builds and runs
# every test. Both install missing Debian packages first.
BUILD ?= build
BUILD_TYPE ?= RelWithDebInfo
CMAKE_ARGS ?=
JOBS ?= 2

.PHONY: all deps configure build test run bench clean

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

bench: build
	@bash scripts/bench.sh $(BUILD)

clean:
	rm -rf $(BUILD)
