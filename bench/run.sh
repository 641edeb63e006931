#!/usr/bin/env bash
# `make bench`: checks what the benchmark needs (it installs nothing), builds
# it in Release, runs it, and regenerates docs/benchmarks.md,
# docs/benchmarks.svg and the headline block of README.md's Performance
# section. Arguments go to the program (see `quarn_bench --help`), e.g.
#     make bench BENCH_ARGS="--big"          # adds 2^22 and 2^24
#     CXXFLAGS="-march=native" make bench    # other compiler flags
set -euo pipefail
cd "$(dirname "$0")/.."

BUILD_DIR=${BENCH_BUILD_DIR:-build/bench}
JOBS=${JOBS:-2}

# What is missing, as Debian package names.
missing=()
if command -v dpkg-query >/dev/null; then
    for pkg in libfftw3-dev libkissfft-dev; do
        dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q 'install ok installed' \
            || missing+=("$pkg")
    done
else
    echo "make bench: no dpkg-query here; relying on CMake to find FFTW and KissFFT" >&2
fi
command -v gnuplot >/dev/null || missing+=(gnuplot-nox)
command -v cmake >/dev/null || missing+=(cmake)
command -v c++ >/dev/null || missing+=(g++)
if [ ${#missing[@]} -gt 0 ]; then
    echo "make bench: missing ${missing[*]}; nothing was installed." >&2
    echo "Install with:  apt-get install ${missing[*]}" >&2
    exit 1
fi

cmake -S . -B "$BUILD_DIR" -DCMAKE_BUILD_TYPE=Release -DQUARN_BUILD_BENCH=ON \
    -DQUARN_BUILD_TESTS=OFF -DQUARN_BUILD_DEMO=OFF -DCMAKE_CXX_FLAGS="${CXXFLAGS:-}"
cmake --build "$BUILD_DIR" --target quarn_bench --parallel "$JOBS"

mkdir -p docs
"$BUILD_DIR/bench/quarn_bench" --md docs/benchmarks.md \
    --plot-data "$BUILD_DIR/benchmarks.dat" --raw "$BUILD_DIR/benchmarks.raw" \
    --readme README.md "$@"
gnuplot -e "datafile='$BUILD_DIR/benchmarks.dat'; outfile='docs/benchmarks.svg'" bench/benchmarks.gp
echo "wrote docs/benchmarks.svg"
