#!/usr/bin/env bash
# Builds Halvik for X11 and starts it on your X display ($DISPLAY). Without a display it starts
# one of its own (Xvfb with openbox and a generated scene), restores the window, writes a
# screenshot of what a person would see to build/screenshot.png, and ends all it started.
# Usage: scripts/run.sh
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD

bash scripts/deps.sh build-essential cmake libx11-dev libxext-dev libxcomposite-dev libxfixes-dev libxrender-dev
mkdir -p "$root/build"
if ! { cmake -S "$root" -B "$root/build/run" -DCMAKE_BUILD_TYPE=Release -DHALVIK_BACKEND=x11 -DHALVIK_TESTS=OFF &&
       cmake --build "$root/build/run" -j"$(nproc)"; } >"$root/build/run.log" 2>&1; then
  tail -n 40 "$root/build/run.log"; echo "Build failed; full log: $root/build/run.log"; exit 1
fi
halvik="$root/build/run/src/halvik"
scene="$root/build/run/src/halvik_scene"

if [ -n "${DISPLAY:-}" ] && "$scene" --probe; then
  echo "Starting Halvik on $DISPLAY: it starts minimized to its taskbar entry \"Halvik\"."
  exec "$halvik"
fi

echo "No X display: starting one of our own (Xvfb, openbox)."
bash scripts/deps.sh xvfb openbox wmctrl x11-utils imagemagick
source scripts/x11-display.sh
halvik_pid=""
finish() {
  set +e
  if [ -n "$halvik_pid" ]; then
    # Closed as a person would close it; ended by its PID if it does not go.
    [ -n "${win:-}" ] && wmctrl -i -c "$win" 2>/dev/null
    for _ in $(seq 50); do kill -0 "$halvik_pid" 2>/dev/null || break; sleep 0.05; done
    kill "$halvik_pid" 2>/dev/null
    wait "$halvik_pid" 2>/dev/null
  fi
  stop_own_display
}
trap finish EXIT
start_own_display 1920x1080
"$scene"
"$halvik" &
halvik_pid=$!

# Its window appears in the window manager's list, minimized; restore it as from the taskbar.
win=""
for _ in $(seq 200); do
  win=$(wmctrl -lp | awk -v pid="$halvik_pid" '$3 == pid { print $1; exit }')
  [ -n "$win" ] && break
  sleep 0.05
done
[ -n "$win" ] || { echo "Halvik's window did not appear" >&2; exit 1; }
wmctrl -i -a "$win"
for _ in $(seq 200); do
  xwininfo -id "$win" | grep -q IsViewable && break
  sleep 0.05
done
sleep 1  # some 30 ticks
shot="$root/build/screenshot.png"
import -window root "$shot"
echo "Screenshot of the screen with Halvik's window restored: $shot"
