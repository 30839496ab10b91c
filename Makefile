# make demo: the viewer on the simulated camera.  make test: the whole suite under sanitizers,
# then the installed tree.
# make fuzz: every fuzz target for FUZZ_SECONDS, growing and minimising its corpus in fuzz/corpus.
SHELL := /bin/bash
JOBS ?= $(shell nproc)
GENERATOR := -G Ninja

BUILD_RELEASE := build/release
BUILD_ASAN := build/asan
BUILD_TSAN := build/tsan
BUILD_BENCH := build/bench
BUILD_SOAK := build/soak
BUILD_FUZZ := build/fuzz
BUILD_INSTALL := build/install-check
FUZZ_SECONDS ?= 300
# Empty: every target of fuzz/.
FUZZ_TARGETS ?=
# Asserts and sanitizers stay; -O1 runs the decoding targets 1.4 to 4.5 times faster than -O0.
FUZZ_OPTIMISE := -g -O1

.PHONY: all deps build demo test test-asan test-tsan test-install fuzz fuzz-smoke bench soak clean

all: build

deps:
	@bash scripts/install-deps.sh

build: deps
	cmake -S . -B $(BUILD_RELEASE) $(GENERATOR) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVEXA_TESTS=OFF >/dev/null
	cmake --build $(BUILD_RELEASE) -j $(JOBS) --target vexa-viewer vexa-camera vexa_shared

demo: build
	@bash scripts/demo.sh $(BUILD_RELEASE)

test: test-asan test-tsan test-install

test-asan: deps
	CC=clang CXX=clang++ cmake -S . -B $(BUILD_ASAN) $(GENERATOR) -DCMAKE_BUILD_TYPE=Debug \
	  -DVEXA_SANITIZE=ON -DVEXA_FUZZ=ON >/dev/null
	cmake --build $(BUILD_ASAN) -j $(JOBS)
	cd $(BUILD_ASAN) && ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
	  ctest --output-on-failure -j $(JOBS)

# The threaded parts once more under ThreadSanitizer.
test-tsan: deps
	CC=clang CXX=clang++ cmake -S . -B $(BUILD_TSAN) $(GENERATOR) -DCMAKE_BUILD_TYPE=Debug \
	  -DVEXA_TSAN=ON >/dev/null
	cmake --build $(BUILD_TSAN) -j $(JOBS)
	cd $(BUILD_TSAN) && TSAN_OPTIONS=halt_on_error=1 ctest --output-on-failure -L threaded

# What `cmake --install` gives, used from a prefix under /tmp by CMake and pkg-config consumers.
test-install: deps
	cmake -S . -B $(BUILD_INSTALL) $(GENERATOR) -DCMAKE_BUILD_TYPE=Release -DVEXA_TESTS=OFF >/dev/null
	cmake --build $(BUILD_INSTALL) -j $(JOBS) --target vexa_shared vexa-viewer vexa-camera
	bash tests/install/run.sh $(BUILD_INSTALL)

# One target at a time, so a run's figures are its own.
fuzz: deps
	CC=clang CXX=clang++ cmake -S . -B $(BUILD_FUZZ) $(GENERATOR) -DCMAKE_BUILD_TYPE=Debug \
	  "-DCMAKE_C_FLAGS_DEBUG=$(FUZZ_OPTIMISE)" "-DCMAKE_CXX_FLAGS_DEBUG=$(FUZZ_OPTIMISE)" \
	  -DVEXA_SANITIZE=ON -DVEXA_FUZZ=ON -DVEXA_TESTS=OFF >/dev/null
	JOBS=$(JOBS) bash scripts/fuzz.sh $(BUILD_FUZZ) $(FUZZ_SECONDS) $(FUZZ_TARGETS)

bench: deps
	cmake -S . -B $(BUILD_BENCH) $(GENERATOR) -DCMAKE_BUILD_TYPE=Release -DVEXA_TESTS=OFF \
	  -DVEXA_BENCH=ON >/dev/null
	cmake --build $(BUILD_BENCH) -j $(JOBS)
	bash bench/run.sh $(BUILD_BENCH)

# The hostile cameras for a minute each on an optimised viewer, against valid streams.
soak: deps
	cmake -S . -B $(BUILD_SOAK) $(GENERATOR) -DCMAKE_BUILD_TYPE=Release -DVEXA_TESTS=OFF >/dev/null
	cmake --build $(BUILD_SOAK) -j $(JOBS) --target vexa-viewer vexa-camera
	/usr/bin/python3 tests/hostile/run.py --soak --viewer $(BUILD_SOAK)/apps/viewer/vexa-viewer \
	  --camera $(BUILD_SOAK)/apps/camera/vexa-camera

clean:
	rm -rf build
