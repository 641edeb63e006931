#!/usr/bin/env bash
# `make bench`: checks what the benchmark needs (installing nothing), builds
# it in RelWithDebInfo (-O2, as most users build), runs it per length and
# sample type on one CPU, and writes from Google Benchmark's JSON files
# docs/benchmarks.md, docs/benchmarks.svg and README.md's bench block.
#     make bench BENCH_ARGS=--big        adds 2^21 to 2^26
#     make bench ISA=AVX2                one of quarn's paths (or ISA=default)
#     make bench BASELINE=<git rev>      that revision's quarn beside this one
#     make bench FLAGS2="-O3"            flags of quarn's second build
# --smoke (CI) times 2^10 briefly. Other arguments go to quarn_bench. With
# ISA or --smoke the report goes to the build directory, not to docs/.
set -euo pipefail
cd "$(dirname "$0")/.."

BUILD_DIR=${BENCH_BUILD_DIR:-build/bench}
bits=$(seq 4 20) reps=15 min_time=0.02 out=docs args=()
for arg in "$@"; do
    case "$arg" in
        --big) bits="$bits $(seq 21 26)" ;;
        --smoke) bits=10 reps=2 min_time=0.001 out=$BUILD_DIR/report ;;
        *) args+=("$arg") ;;
    esac
done
[ -n "${ISA:-}" ] && out=$BUILD_DIR/report

missing=$(for p in libbenchmark-dev libfftw3-dev libkissfft-dev libavutil-dev pkgconf gnuplot-nox python3 cmake g++; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || echo "$p"; done | xargs)
[ -z "$missing" ] || { echo "make bench: missing $missing; nothing was installed. Install with:" \
    "apt-get install $missing" >&2; exit 1; }

base_dir=${BASELINE:+$PWD/$BUILD_DIR/baseline}
if [ -n "$base_dir" ]; then
    rm -rf "$base_dir"; mkdir -p "$base_dir"; git archive "$BASELINE" quarn | tar -x -C "$base_dir"
fi
cmake -S . -B "$BUILD_DIR" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUARN_BUILD_BENCH=ON -DQUARN_BUILD_TESTS=OFF \
    -DQUARN_BUILD_DEMO=OFF -DCMAKE_CXX_FLAGS="${CXXFLAGS:-}" -DQUARN_BENCH_FLAGS2="${FLAGS2:--O3 -march=native}" \
    -DQUARN_BENCH_BASELINE_DIR="$base_dir"
cmake --build "$BUILD_DIR" --target quarn_bench --parallel "${JOBS:-2}"

json=$BUILD_DIR/json
rm -rf "$json" && mkdir -p "$json" "$out"
cpu=$(( $(nproc) - 1 ))   # the last CPU: other work tends to start on the first
pin=()
command -v taskset >/dev/null && pin=(taskset -c "$cpu")
context="min_time=$min_time,pinned=${pin:+CPU $cpu},baseline=${BASELINE:-}"
context+=",revision=$(git describe --always --dirty 2>/dev/null || echo unknown)"
for b in $bits; do
    for type in float double; do
        # Past 2^20 a call takes up to seconds: fewer repetitions.
        "${pin[@]}" "$BUILD_DIR/bench/quarn_bench" "$type" "$b" ${ISA:+"$ISA"} \
            --benchmark_repetitions="$([ "$b" -gt 20 ] && echo 5 || echo "$reps")" \
            --benchmark_enable_random_interleaving=true --benchmark_report_aggregates_only=true \
            --benchmark_min_time="$min_time" --benchmark_out="$json/$type-$b.json" --benchmark_out_format=json \
            --benchmark_context="$context" "${args[@]}"
    done
done

readme=README.md
[ "$out" = docs ] || { readme=$out/README.md; cp README.md "$readme"; }
python3 bench/report.py "$out" "$readme" "$json"/*.json
