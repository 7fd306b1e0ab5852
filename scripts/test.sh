#!/usr/bin/env bash
# The whole test suite: installs what it needs, builds and runs every test, the sanitizer
# build included. Usage: scripts/test.sh
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD

bash scripts/deps.sh build-essential cmake libgtest-dev libgmock-dev

jobs=$(nproc)
run_suite() {  # name, cmake options...
  local name=$1; shift
  echo "== $name"
  mkdir -p "$root/build"
  local log="$root/build/$name.log"
  if ! { cmake -S "$root" -B "$root/build/$name" "$@" && cmake --build "$root/build/$name" -j"$jobs"; } >"$log" 2>&1; then
    tail -n 60 "$log"; echo "Build $name failed; full log: $log"; exit 1
  fi
  ctest --test-dir "$root/build/$name" --output-on-failure -j"$jobs"
}

run_suite release -DCMAKE_BUILD_TYPE=Release
# The release suite again on the scalar code and on each smaller kernel set (the run above used
# the fastest this processor has; a set it lacks falls back to that one).
for set in scalar sse2 avx2; do
  echo "== release, kernels $set"
  if ! HALVIK_FORCE_SCALAR=$([ "$set" = scalar ] && echo 1 || echo 0) HALVIK_KERNELS=$set \
      ctest --test-dir "$root/build/release" -j"$jobs" >"$root/build/release-$set.log" 2>&1; then
    tail -n 60 "$root/build/release-$set.log"; echo "Tests on kernel set $set failed"; exit 1
  fi
  tail -n 3 "$root/build/release-$set.log" | head -n 1
done
run_suite sanitize -DCMAKE_BUILD_TYPE=Debug -DHALVIK_SANITIZE=ON
# The native back ends bring their own suites (X11 under Xvfb, Win32 under Wine).
for extra in scripts/test-x11.sh scripts/test-win32.sh; do
  [ -f "$extra" ] && bash "$extra"
done
# Hardening: each fuzz target for 20 s and a short soak (README, Reliability, has the long runs).
bash scripts/fuzz.sh 20
SOAK_RELEASE_DIR="$root/build/release" bash scripts/soak.sh 3000
echo "All test suites passed."
