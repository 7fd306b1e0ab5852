#!/usr/bin/env bash
# Smoke test of halvik.exe under Wine, on a headless X server with a window manager, over a
# generated background. Checks what Wine does deterministically:
#   start: nothing shows (the screen is the background, pixel for pixel), only the entry;
#   restore (wmctrl -a on the entry "Halvik"): the form stands at 216,216, 356 x 481 pixels,
#   topmost, colour-keyed, and nothing else on the screen has changed; its client area shows
#   a blurred picture;
#   minimizing the form minimizes the application again, and nothing shows;
#   restoring again brings the form back at its stored bounds; closing ends with exit code 0;
#   a start with SW_SHOWMAXIMIZED shows the form at once, maximized.
# Wine copies layered windows along with the screen, so once the form shows its picture
# feeds back on itself: the picture is checked for being a blur, not against exact values.
# Usage: smoke.sh BUILD_DIR (holding src/halvik.exe and tests/win32/halvik_probe.exe).
# Leaves smoke-restored.png (and smoke-*.png on failure) in BUILD_DIR/smoke.
set -euo pipefail
build=$(cd "$1" && pwd)
exe=$build/src/halvik.exe
probe_exe=$build/tests/win32/halvik_probe.exe
out=$build/smoke
rm -rf "$out"
mkdir -p "$out"
# The real ImageMagick, whatever else the PATH holds.
convert=/usr/bin/convert compare=/usr/bin/compare import=/usr/bin/import display=/usr/bin/display
screen_w=1280 screen_h=1024

pids=()
cleanup() {
  local rc=$?
  set +e
  for ((i = ${#pids[@]} - 1; i >= 0; i--)); do kill "${pids[i]}" 2>/dev/null; done
  [ -n "${WINEPREFIX:-}" ] && [ -d "$WINEPREFIX" ] && wineserver -k 2>/dev/null
  for p in "${pids[@]}"; do wait "$p" 2>/dev/null; done
  exit $rc
}
trap cleanup EXIT

fail() {
  echo "smoke: FAIL: $*"
  $import -window root "$out/smoke-failure.png" 2>/dev/null || true
  echo "smoke: screen at failure: $out/smoke-failure.png"
  exit 1
}

# ---- X server (the number it picks itself) and window manager
exec {fd}>"$out/display"
Xvfb -displayfd "$fd" -screen 0 ${screen_w}x${screen_h}x24 -nolisten tcp >"$out/xvfb.log" 2>&1 &
pids+=($!)
for _ in $(seq 100); do [ -s "$out/display" ] && break; sleep 0.1; done
exec {fd}>&-
[ -s "$out/display" ] || fail "Xvfb did not start"
export DISPLAY=:$(head -n1 "$out/display")
openbox >"$out/openbox.log" 2>&1 &
pids+=($!)
for _ in $(seq 100); do wmctrl -m >/dev/null 2>&1 && break; sleep 0.1; done
wmctrl -m >/dev/null 2>&1 || fail "openbox did not start"

# ---- Background: a checkerboard of two colours, neither of them the key grey
bg=$out/background.png
c1='#204060' c2='#e0c0a0'
$convert -size 32x32 "xc:$c1" -fill "$c2" -draw 'rectangle 0,0 15,15' -draw 'rectangle 16,16 31,31' \
  -write mpr:tile +delete -size ${screen_w}x${screen_h} tile:mpr:tile -depth 8 "PNG24:$bg"
$display -window root "$bg" 2>/dev/null || true

shot() { $import -window root "$1"; }
# Pixels that differ between two images (outside a rectangle x0,y0,x1,y1 when given).
differ() {
  local a=$1 b=$2
  if [ $# -gt 2 ]; then
    local r=$3
    $convert "$a" -fill black -draw "rectangle $r" "$out/a.png"
    $convert "$b" -fill black -draw "rectangle $r" "$out/b.png"
    a=$out/a.png b=$out/b.png
  fi
  $compare -metric AE "$a" "$b" null: 2>&1 || true
}
shot "$out/empty.png"
[ "$(differ "$out/empty.png" "$bg")" = 0 ] || fail "the background did not take"

# ---- Wine: a fresh prefix of our own
export WINEPREFIX=$out/wineprefix WINEDLLOVERRIDES="mscoree,mshtml=" WINEDEBUG=-all
wineboot -i >"$out/wineboot.log" 2>&1 || fail "wineboot failed"

probe() {  # the probe's answers in $out/probe.txt; prints the value of one name
  wine "$probe_exe" 2>/dev/null | tr -d '\r' >"$out/probe.txt" || true
}
value() { sed -n "s/^$1=//p" "$out/probe.txt"; }
expect() {  # name value what
  [ "$(value "$1")" = "$2" ] || fail "$3: $1 is '$(value "$1")', not '$2' (probe: $(tr '\n' ' ' <"$out/probe.txt"))"
}
# Waits until a command succeeds, up to $1 tenths of a second.
wait_for() {
  local n=$1
  shift
  for _ in $(seq "$n"); do "$@" && return 0; sleep 0.1; done
  return 1
}
x_window() { wmctrl -l | awk -v t="$1" '{ $1 = $1 } { id = $1; $1 = $2 = $3 = ""; sub(/^ +/, ""); if ($0 == t) print id }' | head -n1; }
entry_listed() { [ -n "$(x_window Halvik)" ]; }
form_mapped() {
  local id
  id=$(x_window -Halvik-)
  [ -n "$id" ] && xwininfo -id "$id" | grep -q 'Map State: IsViewable'
}
form_unmapped() { ! form_mapped; }
# Outer geometry of the form's X window: "x y w h".
form_geometry() {
  xwininfo -id "$(x_window -Halvik-)" |
    awk '/Absolute upper-left X/ {x=$NF} /Absolute upper-left Y/ {y=$NF} /Width:/ {w=$NF} /Height:/ {h=$NF} END {print x, y, w, h}'
}

# ---- Start
wine "$exe" >"$out/halvik.log" 2>&1 &
halvik=$!
pids+=($halvik)
wait_for 300 entry_listed || fail "no taskbar entry \"Halvik\" within 30 s"
sleep 1  # some ticks
probe
expect app.iconic 1 "at start the application is minimized"
expect form.visible 0 "at start the form is hidden"
expect form.iconic 0 "the form itself is never minimized"
form_unmapped || fail "the form shows at start"
shot "$out/start.png"
[ "$(differ "$out/start.png" "$bg")" = 0 ] || fail "something shows at start"
echo "smoke: start: only the entry, nothing on the screen"

# ---- Restore from the entry
wmctrl -F -a Halvik
wait_for 100 form_mapped || fail "restoring the entry did not show the form"
sleep 1
read -r gx gy gw gh < <(form_geometry)
[ "$gx $gy $gw $gh" = "216 216 356 481" ] || fail "the form stands at $gx,$gy, $gw x $gh, not at 216,216, 356 x 481"
probe
expect form.visible 1 "restored"
expect form.left 216 "restored"
expect form.top 216 "restored"
expect form.width 356 "restored"
expect form.height 481 "restored"
expect form.topmost 1 "restored"
expect form.layered 1 "restored"
expect form.key 808080 "the colour key"
expect form.layered_flags 1 "the colour key alone (LWA_COLORKEY)"
expect form.owned_by_app 1 "the form's owner"
expect app.iconic 0 "restored"
xprop -id "$(x_window -Halvik-)" _NET_WM_STATE | grep -q _NET_WM_STATE_ABOVE || fail "the form is not kept above"
shot "$out/smoke-restored.png"
outer="216,216 $((216 + 356 - 1)),$((216 + 481 - 1))"
[ "$(differ "$out/smoke-restored.png" "$bg" "$outer")" = 0 ] || fail "something besides the form changed on the screen"

# The client area: a blur of the background. Wine's screen copy includes the layered window, so
# once shown the picture feeds back on itself and darkens tick by tick; what stays certain is
# some of the background's own colours, many colours, and mixtures. A sharp copy has no
# mixtures, and no picture at all leaves one colour.
cl=$(value form.client_left) ct=$(value form.client_top) cw=$(value form.client_width) ch=$(value form.client_height)
$convert "$out/smoke-restored.png" -crop "${cw}x${ch}+${cl}+${ct}" +repage "$out/client.png"
colours=$($convert "$out/client.png" -unique-colors -format '%w' info:)
read -r total near mixed < <($convert "$out/client.png" -depth 8 txt:- | awk -v c1="${c1#\#}" -v c2="${c2#\#}" '
  function hex(s, i) { return index("0123456789abcdef", substr(s, i, 1)) - 1 }
  function chan(s, k) { return hex(s, 2 * k + 1) * 16 + hex(s, 2 * k + 2) }
  function dist(a, b,   k, d, m) { for (k = 0; k < 3; k++) { d = chan(a, k) - chan(b, k); if (d < 0) d = -d; if (d > m) m = d } return m }
  NR > 1 { c = tolower(substr($3, 2, 6)); n++; d = dist(c, tolower(c1)); e = dist(c, tolower(c2)); if (e < d) d = e
           if (d <= 24) near++; else mixed++ }
  END { print n + 0, near + 0, mixed + 0 }')
echo "smoke: client area ${cw} x ${ch}: $colours colours; $near near the background's two, $mixed mixtures"
[ "$colours" -ge 16 ] || fail "the client area has $colours colour(s): no blurred picture (placeholder filters?)"
[ $((near * 100)) -ge "$total" ] || fail "only $near of $total client pixels are near the background's colours: not a picture of it"
[ $((mixed * 20)) -ge "$total" ] || fail "only $mixed of $total client pixels are mixtures: the picture is not blurred"
echo "smoke: restored: at 216,216, 356 x 481, topmost, key 808080; client shows $colours colours"

# ---- Minimize the form: the application goes back to its entry
xdotool windowminimize "$(x_window -Halvik-)"
wait_for 100 form_unmapped || fail "minimizing the form left it on the screen"
sleep 0.5
probe
expect app.iconic 1 "after minimizing the form"
expect form.visible 0 "after minimizing the form"
shot "$out/minimized.png"
[ "$(differ "$out/minimized.png" "$bg")" = 0 ] || fail "something shows after minimizing"
echo "smoke: minimized again: only the entry"

# ---- Restore again, then close
wmctrl -F -a Halvik
wait_for 100 form_mapped || fail "the second restore did not show the form"
sleep 0.5
read -r gx gy gw gh < <(form_geometry)
[ "$gx $gy $gw $gh" = "216 216 356 481" ] || fail "restored again at $gx,$gy, $gw x $gh"
wmctrl -i -c "$(x_window -Halvik-)"
for _ in $(seq 150); do kill -0 "$halvik" 2>/dev/null || break; sleep 0.1; done
kill -0 "$halvik" 2>/dev/null && fail "halvik.exe did not end within 15 s of closing its window"
rc=0
wait "$halvik" || rc=$?
[ $rc -eq 0 ] || fail "halvik.exe ended with exit code $rc"
echo "smoke: restored again at 216,216; closed with exit code 0"

# ---- Started maximized
wine start /wait /max "$(winepath -w "$exe")" >"$out/halvik-max.log" 2>&1 &
halvik=$!
pids+=($halvik)
wait_for 300 form_mapped || fail "started maximized, the form did not show"
probe
expect form.zoomed 1 "started maximized"
expect form.visible 1 "started maximized"
wmctrl -i -c "$(x_window -Halvik-)"
for _ in $(seq 150); do kill -0 "$halvik" 2>/dev/null || break; sleep 0.1; done
rc=0
wait "$halvik" || rc=$?
[ $rc -eq 0 ] || fail "started maximized, halvik.exe ended with exit code $rc"
echo "smoke: started maximized: shown at once; closed with exit code 0"
echo "smoke: passed; screenshot $out/smoke-restored.png"
