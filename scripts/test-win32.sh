#!/usr/bin/env bash
# The Windows build and its tests: cross-builds halvik.exe and the tests with mingw-w64,
# checks that the exe needs only system DLLs, runs the unit tests under Wine on a headless X
# server, then the smoke test of halvik.exe (tests/win32/smoke.sh). Installs what it needs.
# Usage: scripts/test-win32.sh   (HALVIK_WIN32_BUILD: build folder, default build/win32)
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
build=${HALVIK_WIN32_BUILD:-$root/build/win32}
gtest=$build-gtest
toolchain=$root/cmake/mingw-w64-x86_64.cmake

bash scripts/deps.sh cmake make binutils g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 googletest \
  wine wine64 xvfb openbox wmctrl xdotool x11-utils imagemagick

jobs=$(nproc)
mkdir -p "$(dirname "$build")"
log=$build.log
step() {  # what, command...: runs quietly, shows the log's end when it fails
  local what=$1; shift
  if ! "$@" >>"$log" 2>&1; then tail -n 60 "$log"; echo "$what failed; full log: $log"; exit 1; fi
}
: >"$log"

echo "== win32: cross build"
# GoogleTest for Windows, from the sources Debian ships.
if [ ! -f "$gtest/install/lib/cmake/GTest/GTestConfig.cmake" ]; then
  step "GoogleTest cross build" cmake -S /usr/src/googletest -B "$gtest" -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
    -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$gtest/install" -Dgtest_disable_pthreads=ON
  step "GoogleTest cross build" cmake --build "$gtest" -j"$jobs"
  step "GoogleTest cross build" cmake --install "$gtest"
fi
step "Cross build" cmake -S "$root" -B "$build" -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_PREFIX_PATH="$gtest/install" -DCMAKE_FIND_ROOT_PATH="$gtest/install"
step "Cross build" cmake --build "$build" -j"$jobs"
bash tests/win32/check-exe.sh "$build/src/halvik.exe"

echo "== win32: unit tests under Wine"
failed=()
pids=()
cleanup() {
  local rc=$?
  set +e
  [ -n "${WINEPREFIX:-}" ] && [ -d "$WINEPREFIX" ] && wineserver -k 2>/dev/null
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null; wait "$p" 2>/dev/null; done
  exit $rc
}
trap cleanup EXIT
display_file=$build/unit-display
rm -f "$display_file"
exec {fd}>"$display_file"
Xvfb -displayfd "$fd" -screen 0 1280x1024x24 -nolisten tcp >"$build/unit-xvfb.log" 2>&1 &
pids+=($!)
for _ in $(seq 100); do [ -s "$display_file" ] && break; sleep 0.1; done
exec {fd}>&-
[ -s "$display_file" ] || { echo "Xvfb did not start"; exit 1; }
export DISPLAY=:$(head -n1 "$display_file")
export WINEPREFIX=$build/unit-wineprefix WINEDLLOVERRIDES="mscoree,mshtml=" WINEDEBUG=-all
rm -rf "$WINEPREFIX"
mkdir -p "$WINEPREFIX"
# One wine server, kept running, for all the test processes: each then starts in a fraction
# of a second.
wineserver -p
step "Wine prefix" wineboot -i
ctest --test-dir "$build" --output-on-failure -j"$jobs" || failed+=("unit tests under Wine")
wineserver -k || true
unset WINEPREFIX

echo "== win32: smoke test of halvik.exe"
bash tests/win32/smoke.sh "$build" || failed+=("smoke test")

if [ ${#failed[@]} -gt 0 ]; then
  echo "win32: failed: ${failed[*]}"
  exit 1
fi
echo "win32: cross build, unit tests under Wine and smoke test passed."
