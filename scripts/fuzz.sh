#!/usr/bin/env bash
# Builds the libFuzzer targets under fuzz/ with clang, AddressSanitizer and
# UndefinedBehaviorSanitizer, writes their seed corpora and runs each for SECONDS (default 60).
# Prints the executions of each; a crash, a failed check, a leak or a timeout stops with the
# input kept under the build directory's fuzz/crashes/. Usage: scripts/fuzz.sh [SECONDS]
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
secs=${1:-60}
out=${BUILD_ROOT:-$root/build}/fuzz

bash scripts/deps.sh cmake clang-14 libclang-rt-14-dev
targets=(bmp stretch boxblur clip)
log="$out.log"
mkdir -p "$(dirname "$out")"
if ! { cmake -S "$root" -B "$out" -DCMAKE_CXX_COMPILER=clang++-14 -DCMAKE_BUILD_TYPE=RelWithDebInfo \
         -DHALVIK_FUZZ=ON -DHALVIK_TESTS=OFF &&
       cmake --build "$out" -j"$(nproc)" --target make_seeds "${targets[@]/#/fuzz_}"; } >"$log" 2>&1; then
  tail -n 40 "$log"; echo "Fuzz build failed; full log: $log"; exit 1
fi

rm -rf "$out/seeds"
"$out/fuzz/make_seeds" "$out/seeds"
mkdir -p "$out/crashes"
for t in "${targets[@]}"; do
  corpus="$out/corpus/$t"
  mkdir -p "$corpus"
  # Any single allocation above 128 MiB is a finding: the BMP target's stores are capped at 16 MiB.
  if ! "$out/fuzz/fuzz_$t" -max_total_time="$secs" -timeout=10 -malloc_limit_mb=128 -rss_limit_mb=2048 \
         -print_final_stats=1 -artifact_prefix="$out/crashes/$t-" "$corpus" "$out/seeds/$t" >"$out/$t.log" 2>&1; then
    tail -n 60 "$out/$t.log"; echo "fuzz_$t found a failure; input kept in $out/crashes/"; exit 1
  fi
  execs=$(awk '/stat::number_of_executed_units/ {print $2}' "$out/$t.log")
  cov=$(grep -o 'cov: [0-9]*' "$out/$t.log" | tail -n 1 | cut -d' ' -f2)
  echo "fuzz_$t: $execs executions in ${secs} s, $(ls "$corpus" | wc -l) inputs in the corpus, ${cov:-?} edges covered"
done
