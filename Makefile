# Thin wrappers over CMake. `make run` builds and runs the demo; `make test`
# builds everything in Debug (checks on) and runs every test.

BUILD_DIR ?= build/debug
JOBS ?= 2
MAKEFLAGS += --no-print-directory

.PHONY: run test test-long bench configure clean

configure:
	cmake -S . -B $(BUILD_DIR) -DCMAKE_BUILD_TYPE=Debug

run: configure
	cmake --build $(BUILD_DIR) --target quarn_demo --parallel $(JOBS)
	$(BUILD_DIR)/quarn_demo

test: configure
	cmake --build $(BUILD_DIR) --parallel $(JOBS)
	ctest --test-dir $(BUILD_DIR) --output-on-failure --parallel $(JOBS) --label-exclude long

# Opt-in long transforms (2^20 to 2^30), in an optimised build.
test-long:
	cmake -S . -B build/release -DCMAKE_BUILD_TYPE=Release
	cmake --build build/release --target quarn_long_tests --parallel $(JOBS)
	ctest --test-dir build/release --output-on-failure --label-regex long --verbose

# Benchmark against FFTW and KissFFT (Release); regenerates docs/benchmarks.md,
# docs/benchmarks.svg and README.md's Performance figures. Installs nothing:
# it names what is missing. Options: make bench BENCH_ARGS="--big".
bench:
	JOBS=$(JOBS) bash bench/run.sh $(BENCH_ARGS)

clean:
	rm -rf build
