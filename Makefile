# Single entry for building, running and testing Vyn. Each configuration has its own build tree.
JOBS ?= $(shell nproc)
GEN   = -G Ninja -DCMAKE_EXPORT_COMPILE_COMMANDS=ON

.PHONY: all deps build run test check-floors test-release test-asan test-stress bench clean

all: build

deps:
	@tools/install-deps

build/release/build.ninja: | deps
	cmake -S . -B build/release $(GEN) -DCMAKE_BUILD_TYPE=RelWithDebInfo

build/asan/build.ninja: | deps
	cmake -S . -B build/asan $(GEN) -DCMAKE_BUILD_TYPE=Debug -DVYN_SANITIZE=ON

# Every allocation runs a full collection: the unit tests of the collection-safe modules enable it.
build/stress/build.ninja: | deps
	cmake -S . -B build/stress $(GEN) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVYN_GC_STRESS=ON -DVYN_BENCH=OFF

build: deps build/release/build.ninja
	cmake --build build/release -j $(JOBS)

run: build
	./build/release/vyn

test: check-floors test-release test-asan test-stress

# Includes must not run from a lower floor (core < datatypes < eval < startup, console) upward.
check-floors:
	@python3 tools/check-floors

test-release: build
	cd build/release && ctest --output-on-failure -j $(JOBS)

test-asan: deps build/asan/build.ninja
	cmake --build build/asan -j $(JOBS)
	cd build/asan && ASAN_OPTIONS=detect_leaks=0 ctest --output-on-failure -j $(JOBS)

test-stress: deps build/stress/build.ninja
	cmake --build build/stress -j $(JOBS) --target vyn_tests
	cd build/stress && ctest --output-on-failure -R '^unit$$'

bench: build
	./build/release/bench/vyn_bench

clean:
	rm -rf build
