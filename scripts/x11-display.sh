# Sourced by the X11 scripts: starts a display of our own, Xvfb with Composite and openbox, and
# ends what it started, by PID, when the sourcing script exits.
#   start_own_display [WIDTHxHEIGHT]   exports DISPLAY; the PIDs are in XVFB_PID and WM_PID
x11_started_pids=()
stop_own_display() {
  local pid
  for pid in "${x11_started_pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  for pid in "${x11_started_pids[@]}"; do wait "$pid" 2>/dev/null || true; done
  x11_started_pids=()
  [ -n "${x11_fd_file:-}" ] && rm -f "$x11_fd_file"
  return 0
}

start_own_display() {
  local size=${1:-1920x1080}
  x11_fd_file=$(mktemp)
  # -displayfd picks a free display number and writes it when the server is ready.
  Xvfb -displayfd 3 -screen 0 "${size}x24" +extension Composite -nolisten tcp 3>"$x11_fd_file" >/dev/null 2>&1 &
  XVFB_PID=$!
  x11_started_pids+=("$XVFB_PID")
  local i
  for i in $(seq 200); do [ -s "$x11_fd_file" ] && break; kill -0 "$XVFB_PID" 2>/dev/null || break; sleep 0.05; done
  [ -s "$x11_fd_file" ] || { echo "Xvfb did not start" >&2; return 1; }
  export DISPLAY=":$(head -n1 "$x11_fd_file")"
  openbox --sm-disable >/dev/null 2>&1 &
  WM_PID=$!
  x11_started_pids+=("$WM_PID")
  # openbox is ready once it owns the window manager selection and names its check window.
  for i in $(seq 200); do
    xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id' && return 0
    sleep 0.05
  done
  echo "openbox did not start" >&2
  return 1
}
