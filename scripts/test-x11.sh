#!/usr/bin/env bash
# The X11 back end's suite: builds the program for X11 with its tests and runs them under a
# display of its own (Xvfb with Composite, openbox). Installs what it needs.
# Usage: scripts/test-x11.sh
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD

bash scripts/deps.sh build-essential cmake libgtest-dev libgmock-dev \
  libx11-dev libxext-dev libxcomposite-dev libxfixes-dev libxrender-dev \
  xvfb openbox xdotool wmctrl x11-utils

echo "== x11"
mkdir -p "$root/build"
log="$root/build/x11.log"
if ! { cmake -S "$root" -B "$root/build/x11" -DCMAKE_BUILD_TYPE=Release -DHALVIK_BACKEND=x11 -DHALVIK_X11_TESTS=ON &&
       cmake --build "$root/build/x11" -j"$(nproc)"; } >"$log" 2>&1; then
  tail -n 60 "$log"; echo "Build x11 failed; full log: $log"; exit 1
fi

source scripts/x11-display.sh
trap stop_own_display EXIT
start_own_display 1920x1080
echo "Display $DISPLAY (Xvfb $XVFB_PID, openbox $WM_PID)"
# The tests share one screen: they run one at a time.
ctest --test-dir "$root/build/x11" -L x11 --output-on-failure --timeout 120
