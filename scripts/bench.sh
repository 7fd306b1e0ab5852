#!/usr/bin/env bash
# Measures the filters and the frame tick's pixel work, scalar and vector side by side, with
# OpenCV's nearest equivalent beside them, and prints the table of medians and ratios.
# Usage: scripts/bench.sh [extra Google Benchmark options]. Run it on a quiet machine.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
bash scripts/deps.sh build-essential cmake libgtest-dev libbenchmark-dev libopencv-dev

build="${HALVIK_BENCH_BUILD:-$root/build/bench}"  # where to build; the repository's build/ unless given
mkdir -p "$(dirname "$build")"
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release -DHALVIK_BENCH=ON -DHALVIK_TESTS=OFF >"$build.log" 2>&1 ||
  { tail -n 40 "$build.log"; exit 1; }
cmake --build "$build" -j"$(nproc)" --target filter_bench >>"$build.log" 2>&1 || { tail -n 40 "$build.log"; exit 1; }
echo "Machine: $(lscpu | sed -n 's/^Model name: *//p'), $(nproc) cores; load: $(cut -d' ' -f1-3 /proc/loadavg)"
"$build/bench/filter_bench" --benchmark_repetitions=5 --benchmark_report_aggregates_only=true --benchmark_color=false "$@"
