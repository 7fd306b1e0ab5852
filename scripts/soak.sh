#!/usr/bin/env bash
# The program on the headless desktop for TICKS ticks of virtual time (default 100000) with
# random moves, resizes, maximizes and screens, every tick checked against the filters by
# hand: once built with AddressSanitizer, whose leak check runs at exit, and once optimised,
# where resident memory after warm-up is compared with the end. Prints both runs' figures.
# Usage: scripts/soak.sh [TICKS]; SOAK_RELEASE_DIR names an optimised build to reuse
# (scripts/test.sh passes its own).
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
ticks=${1:-100000}
out=${BUILD_ROOT:-$root/build}

bash scripts/deps.sh build-essential cmake libgtest-dev libgmock-dev
jobs=$(nproc)
build() {  # dir, cmake options...
  local dir=$1; shift
  mkdir -p "$out"
  if ! { cmake -S "$root" -B "$out/$dir" "$@" && cmake --build "$out/$dir" -j"$jobs" --target program_soak; } \
      >"$out/$dir.log" 2>&1; then
    tail -n 40 "$out/$dir.log"; echo "Build $dir failed; full log: $out/$dir.log"; exit 1
  fi
}
build soak-sanitize -DCMAKE_BUILD_TYPE=RelWithDebInfo -DHALVIK_SANITIZE=ON
release=${SOAK_RELEASE_DIR:-}
if [ -n "$release" ] && [ -f "$release/CMakeCache.txt" ]; then
  cmake --build "$release" -j"$jobs" --target program_soak >"$out/soak-release.log" 2>&1 ||
    { tail -n 40 "$out/soak-release.log"; echo "Build in $release failed"; exit 1; }
else
  build soak-release -DCMAKE_BUILD_TYPE=Release
  release=$out/soak-release
fi

run() {  # name, binary
  local start=$SECONDS
  echo "== soak, $1: $ticks ticks"
  if ! HALVIK_SOAK_TICKS=$ticks ASAN_OPTIONS=detect_leaks=1 "$2" --gtest_brief=1 >"$out/$1.out" 2>&1; then
    tail -n 40 "$out/$1.out"; echo "Soak ($1) failed; full output: $out/$1.out"; exit 1
  fi
  grep '^soak:' "$out/$1.out"
  echo "soak, $1: passed in $((SECONDS - start)) s"
}
run sanitize "$out/soak-sanitize/tests/program_soak"
run release "$release/tests/program_soak"
