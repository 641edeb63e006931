# Thin wrappers over CMake. `make run` builds and runs the demo; `make test`
# builds everything in Debug (checks on) and runs every test.

BUILD_DIR ?= build/debug
JOBS ?= 2
MAKEFLAGS += --no-print-directory

.PHONY: run test test-long fuzz lint bench configure clean

configure:
	cmake -S . -B $(BUILD_DIR) -DCMAKE_BUILD_TYPE=Debug

run: configure
	cmake --build $(BUILD_DIR) --target quarn_demo --parallel $(JOBS)
	$(BUILD_DIR)/quarn_demo

test: configure
	cmake --build $(BUILD_DIR) --parallel $(JOBS)
	ctest --test-dir $(BUILD_DIR) --output-on-failure --parallel $(JOBS) --label-exclude long

# Opt-in long transforms (self-checks from 2^18, references from 2^20 to
# 2^30), in an optimised build.
test-long:
	cmake -S . -B build/release -DCMAKE_BUILD_TYPE=Release
	cmake --build build/release --target quarn_long_tests --parallel $(JOBS)
	ctest --test-dir build/release --output-on-failure --label-regex long --verbose

# The fuzz target under AddressSanitizer and UndefinedBehaviorSanitizer, for
# FUZZ_SECONDS; the corpus it grows is kept in build/fuzz/corpus, and a
# failing input is written to build/fuzz/crash-...
FUZZ_SECONDS ?= 60
fuzz:
	cmake -S . -B build/fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++ \
	    -DQUARN_BUILD_FUZZ=ON -DQUARN_BUILD_TESTS=OFF -DQUARN_BUILD_DEMO=OFF
	cmake --build build/fuzz --target quarn_fuzz --parallel $(JOBS)
	mkdir -p build/fuzz/corpus
	build/fuzz/tests/fuzz/quarn_fuzz -max_total_time=$(FUZZ_SECONDS) -print_final_stats=1 \
	    -artifact_prefix=build/fuzz/ build/fuzz/corpus

# Static analysis of the library headers: clang-tidy (.clang-tidy) on each
# header alone and on tests/lint/instances.cpp, which instantiates the
# templates; cppcheck with .cppcheck-suppressions. Any finding fails.
lint:
	for h in quarn/*.h; do \
	    clang-tidy --quiet "$$h" -- -x c++ -std=c++17 -I. || exit 1; \
	done
	clang-tidy --quiet tests/lint/instances.cpp -- -std=c++17 -I.
	cppcheck --std=c++17 --language=c++ -I . --quiet --error-exitcode=1 \
	    --enable=warning,style,performance,portability,information \
	    --inline-suppr --suppressions-list=.cppcheck-suppressions \
	    quarn/*.h tests/lint/instances.cpp

# Benchmark on Google Benchmark: each of quarn's instruction-set paths and
# its default, float and double, beside FFTW, KissFFT and FFmpeg; rewrites
# docs/benchmarks.md, docs/benchmarks.svg and README.md's bench block.
# Installs nothing: it names what is missing. Options (bench/run.sh):
# BENCH_ARGS=--big (2^21 to 2^26), ISA=AVX2 (one path), BASELINE=<git rev>
# (that revision beside this one), FLAGS2 (quarn's second build).
FLAGS2 ?= -O3 -march=native
bench:
	JOBS=$(JOBS) ISA="$(ISA)" BASELINE="$(BASELINE)" FLAGS2="$(FLAGS2)" bash bench/run.sh $(BENCH_ARGS)

clean:
	rm -rf build
