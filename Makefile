# SPDX-License-Identifier: MIT
# Thin wrappers over CMake. `make run` builds and runs the demo; `make test`
# builds everything in Debug (checks on) and runs every test; `make
# test-aarch64` does the same for AArch64, under emulation. `make run` needs
# no GoogleTest (the tests are then skipped at configure); `make test` stops
# at configure, naming the package, without it. CMAKE_ARGS go to the
# configure step.

BUILD_DIR ?= build/debug
JOBS ?= 2
CMAKE_ARGS ?=
REQUIRE_TESTS ?= OFF
MAKEFLAGS += --no-print-directory

.PHONY: run test test-long test-aarch64 fuzz lint lint-cppcheck bench configure clean

configure:
	cmake -S . -B $(BUILD_DIR) -DCMAKE_BUILD_TYPE=Debug -DQUARN_REQUIRE_TESTS=$(REQUIRE_TESTS) $(CMAKE_ARGS)

test: REQUIRE_TESTS = ON

run: configure
	cmake --build $(BUILD_DIR) --target quarn_demo --parallel $(JOBS)
	$(BUILD_DIR)/quarn_demo

test: configure
	cmake --build $(BUILD_DIR) --parallel $(JOBS)
	ctest --test-dir $(BUILD_DIR) --output-on-failure --parallel $(JOBS) --label-exclude long

# Opt-in long transforms (each path on from where `make test` stops, and
# spot bins at 2^28 and 2^30), in an optimised build.
test-long:
	cmake -S . -B build/release -DCMAKE_BUILD_TYPE=Release
	cmake --build build/release --target quarn_tests --parallel $(JOBS)
	ctest --test-dir build/release --output-on-failure --parallel $(JOBS) --label-regex long --verbose

# The tests cross-built for AArch64 and run under qemu-user (Debian's
# g++-aarch64-linux-gnu, qemu-user and googletest, whose GoogleTest sources
# are built for the target). -O2, the code that users run, with the debug
# checks kept as in `make test`; line tables only (-g1), as full debug
# information makes the build a third longer. Warnings are errors, as in
# CI's other optimised builds: this is the one build that compiles the
# AArch64 code. Death tests need gtest's
# default style, which forks: the threadsafe style executes the program
# again, which the host cannot do without binfmt_misc.
AARCH64_SYSROOT ?= /usr/aarch64-linux-gnu
test-aarch64:
	cmake -S . -B build/aarch64 -DCMAKE_SYSTEM_NAME=Linux -DCMAKE_SYSTEM_PROCESSOR=aarch64 \
	    -DCMAKE_CXX_COMPILER=aarch64-linux-gnu-g++ \
	    -DCMAKE_CROSSCOMPILING_EMULATOR="qemu-aarch64;-L;$(AARCH64_SYSROOT)" \
	    -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O2 -g1" \
	    -DCMAKE_CXX_FLAGS="-Werror" \
	    -DQUARN_GTEST_SOURCE_DIR=/usr/src/googletest
	cmake --build build/aarch64 --parallel $(JOBS)
	ctest --test-dir build/aarch64 --output-on-failure --parallel $(JOBS) --label-exclude long

# The fuzz target under AddressSanitizer and UndefinedBehaviorSanitizer, for
# FUZZ_SECONDS; the corpus it grows is kept in build/fuzz/corpus, and a
# failing input is written to build/fuzz/crash-... At -O1 with line tables
# only, which keeps the instrumented build short: the fuzzer looks for wrong
# results and memory errors, not speed. FUZZ_JOBS above 1: that many
# processes at once (libFuzzer's fork mode), sharing the corpus.
FUZZ_SECONDS ?= 60
FUZZ_JOBS ?= 1
fuzz:
	cmake -S . -B build/fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++ \
	    -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O1 -g1" \
	    -DQUARN_BUILD_FUZZ=ON -DQUARN_BUILD_TESTS=OFF -DQUARN_BUILD_DEMO=OFF
	cmake --build build/fuzz --target quarn_fuzz --parallel $(JOBS)
	mkdir -p build/fuzz/corpus
	build/fuzz/tests/fuzz/quarn_fuzz -max_total_time=$(FUZZ_SECONDS) -print_final_stats=1 \
	    $(if $(filter-out 1,$(FUZZ_JOBS)),-fork=$(FUZZ_JOBS)) \
	    -artifact_prefix=build/fuzz/ build/fuzz/corpus

# Static analysis of the library headers: each internal header compiles on
# its own; clang-tidy (.clang-tidy) on each public header alone and on
# tests/lint/instances.cpp, which instantiates the templates and so reaches
# every internal header; cppcheck with .cppcheck-suppressions. Any finding
# fails. Each check is a job of its own, JOBS at a time (they take about
# 35 s one after another).
LINT_JOBS := $(addprefix lint-syntax/,$(wildcard quarn/detail/*.h)) \
             $(addprefix lint-tidy/,$(wildcard quarn/*.h) tests/lint/instances.cpp) lint-cppcheck
lint:
	$(MAKE) -j$(JOBS) --output-sync=target $(LINT_JOBS)

lint-syntax/%:
	$(CXX) -std=c++17 -fsyntax-only -x c++ -I. $*

lint-tidy/%:
	clang-tidy --quiet $* -- -x c++ -std=c++17 -I.

lint-cppcheck:
	cppcheck --std=c++17 --language=c++ -I . --quiet --error-exitcode=1 \
	    --enable=warning,style,performance,portability,information \
	    --inline-suppr --suppressions-list=.cppcheck-suppressions \
	    quarn/*.h quarn/detail/*.h tests/lint/instances.cpp

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
