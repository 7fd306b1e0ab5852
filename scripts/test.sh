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
run_suite sanitize -DCMAKE_BUILD_TYPE=Debug -DHALVIK_SANITIZE=ON
# The native back ends bring their own suites (X11 under Xvfb, Win32 under Wine).
for extra in scripts/test-x11.sh scripts/test-win32.sh; do
  [ -f "$extra" ] && bash "$extra"
done
# Hardening: each fuzz target for 20 s and a short soak (README, Reliability, has the long runs).
bash scripts/fuzz.sh 20
SOAK_RELEASE_DIR="$root/build/release" bash scripts/soak.sh 3000
echo "All test suites passed."
