#!/usr/bin/env bash
# End-to-end start of the real program under Wayland:   wayland.sh BUILD_DIR
# Under weston with its headless backend (pixman), read back through
# weston-screenshooter: the window shows and its slides paint. The headless
# backend has no input devices, and weston offers clients no protocol to type
# with (no virtual keyboard), so keys go through a second weston that runs as
# a window of a private X server and takes what xdotool types there: End
# moves the view, Ctrl+Q ends the program with 0. Nothing is written to HOME
# or TMPDIR. Skipped (status 77) when weston is missing; scripts/setup.sh
# installs it.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/exit_status.sh"

build=$(cd "${1:?usage: wayland.sh BUILD_DIR}" && pwd)
program=$build/glimmet
probe=$build/tests/e2e_probe
if ! command -v weston >/dev/null; then
  echo "e2e-wayland: skipped: weston is missing (scripts/setup.sh installs it)"
  exit 77
fi
for tool in weston-screenshooter Xvfb xdotool import convert cjpeg; do
  command -v "$tool" >/dev/null || { echo "e2e-wayland: $tool is missing (scripts/setup.sh installs it)"; exit 1; }
done
[[ -x $program && -x $probe ]] || { echo "e2e-wayland: build glimmet and e2e_probe in $build first"; exit 1; }

work=$(mktemp -d /tmp/glimmet-wayland.XXXXXX)
pids=()
app_pid=""
cleanup() {
  local pid
  for pid in $app_pid "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  for pid in $app_pid "${pids[@]}"; do wait "$pid" 2>/dev/null || true; done
  rm -rf "$work"
}
trap cleanup EXIT
trap 'echo "e2e-wayland: stopped at line $LINENO: $BASH_COMMAND"' ERR

failures=0
kept=$build/tests/e2e-wayland-failures
rm -rf "$kept"
pass() { echo "ok: $*"; }
fail() {
  failures=$((failures + 1))
  echo "FAIL: $*"
  if [[ -s ${shot:-} ]]; then
    mkdir -p "$kept"
    cp "$shot" "$kept/failure-$failures.png"
  fi
}

# Five red pictures of 100 x 75; the program's private places, which it must
# leave as they are. The compositors' sockets go into a runtime folder of the
# run's own.
pic_colour=C81E1E
mkdir -p "$work/pics" "$work/shots"
convert -size 100x75 "xc:#$pic_colour" "$work/flat.ppm"
for n in 1 2 3 4 5; do cjpeg -quality 100 -sample 1x1 -outfile "$work/pics/picture$n.jpg" "$work/flat.ppm"; done
mkdir -m 700 "$work/runtime" "$work/home" "$work/tmp" "$work/cache"
export XDG_RUNTIME_DIR=$work/runtime

# start_weston SOCKET ARGS...: a compositor listening on SOCKET.
start_weston() {
  local socket=$1
  shift
  weston --socket="$socket" --idle-time=0 --no-config --log="$work/weston-$socket.log" "$@" >/dev/null 2>&1 &
  pids+=($!)
  for _ in $(seq 100); do [[ -S $XDG_RUNTIME_DIR/$socket ]] && return 0; sleep 0.1; done
  echo "e2e-wayland: weston did not start:"
  cat "$work/weston-$socket.log"
  exit 1
}
# launch SOCKET: the program on the pictures, a client of that compositor.
launch() {
  env -u DISPLAY WAYLAND_DISPLAY="$1" QT_QPA_PLATFORM=wayland HOME="$work/home" TMPDIR="$work/tmp" \
    XDG_CACHE_HOME="$work/cache" "$program" "$work/pics" >"$work/glimmet-$1.log" 2>&1 &
  app_pid=$!
}
# settle_slides SHOOT: screenshots (by the command SHOOT, into $shot) until the
# window's grid is found and slide 1 shows its picture; sets gx, gy.
settle_slides() {
  local ox="" oy=""
  for _ in $(seq 100); do
    "$1" || true
    read -r ox oy < <("$probe" client "$shot" 2>/dev/null) || true
    if [[ ${ox:-} =~ ^[0-9]+$ && ${oy:-} =~ ^[0-9]+$ ]]; then
      gx=$((ox + 1)) gy=$((oy + 137))
      "$probe" expect "$shot" $((gx + 77)) $((gy + 79)) $pic_colour 6 >/dev/null && return 0
    fi
    sleep 0.2
  done
  [[ ${ox:-} =~ ^[0-9]+$ && ${oy:-} =~ ^[0-9]+$ ]]
}
# expect NAME X Y RRGGBB [TOL]: one pixel of the last screenshot.
expect() {
  local name=$1 out
  shift
  if out=$("$probe" expect "$shot" "$@"); then pass "$name"; else fail "$name: $out"; fi
}

# --- headless ----------------------------------------------------------------------
start_weston headless --backend=headless-backend.so --use-pixman --width=1280 --height=1024 --debug
shot_headless() {
  rm -f "$work/shots"/*.png
  (cd "$work/shots" && WAYLAND_DISPLAY=headless weston-screenshooter >/dev/null 2>&1) || return 1
  shot=$(ls "$work/shots"/*.png 2>/dev/null | head -n1)
  [[ -n $shot ]]
}
launch headless
if settle_slides shot_headless; then
  pass "headless: the window shows"
  expect "headless: slide 1 shows its picture" $((gx + 77)) $((gy + 79)) $pic_colour 6
  expect "headless: slide 2 shows its picture" $((gx + 213)) $((gy + 79)) $pic_colour 6
  expect "headless: slide 1's raised frame, top-left white" $((gx + 10)) $((gy + 12)) FFFFFF
  expect "headless: slide 1's raised frame, bottom-right black" $((gx + 144)) $((gy + 146)) 000000
  cp "$shot" "$build/tests/e2e-wayland.png"
else
  fail "headless: no window found on the screen"
  cat "$work/glimmet-headless.log"
fi
kill -0 "$app_pid" 2>/dev/null && pass "headless: the program runs on" || fail "headless: the program ended"
kill "$app_pid" 2>/dev/null || true
wait "$app_pid" 2>/dev/null || true
app_pid=""

# --- keys, through a compositor in an X server ------------------------------------
Xvfb -displayfd 5 -screen 0 1280x1024x24 -nolisten tcp 5>"$work/display" >"$work/xvfb.log" 2>&1 &
pids+=($!)
for _ in $(seq 100); do [[ -s $work/display ]] && break; sleep 0.1; done
[[ -s $work/display ]] || { echo "e2e-wayland: Xvfb did not start"; exit 1; }
x_display=:$(head -n1 "$work/display")
DISPLAY=$x_display start_weston nested --backend=x11-backend.so --use-pixman --width=1200 --height=900
shot_nested() {
  shot=$work/shots/nested.png
  import -display "$x_display" -window root "$shot" 2>/dev/null
}
launch nested
if settle_slides shot_nested; then
  pass "nested: the window shows, slide 1 its picture"
  expect "nested: slide 2 beside slide 1" $((gx + 213)) $((gy + 79)) $pic_colour 6
  # The pointer over the large view, out of the slides' tooltips: the keys go
  # to the compositor's window, and from it to the program's, which has the
  # keyboard. The scroll bar has the first focus: End takes the view to its
  # last row, slide 5 alone.
  DISPLAY=$x_display xdotool mousemove $((gx + 600)) $((gy + 100))
  DISPLAY=$x_display xdotool key End
  for _ in $(seq 50); do
    shot_nested
    "$probe" expect "$shot" $((gx + 200)) $((gy + 79)) F0F0F0 >/dev/null && break
    sleep 0.2
  done
  expect "End: no slide beside slide 5" $((gx + 200)) $((gy + 79)) F0F0F0
  expect "End: slide 5 at the top" $((gx + 77)) $((gy + 79)) $pic_colour 6
  DISPLAY=$x_display xdotool key ctrl+q
  exit_status "$app_pid" 100
  [[ $quit_status == timeout ]] || app_pid=""
  [[ $quit_status == 0 ]] && pass "Ctrl+Q ends the program with 0" || fail "Ctrl+Q: $quit_status"
else
  fail "nested: no window found on the screen"
  cat "$work/glimmet-nested.log"
fi

written=$(find "$work/tmp" "$work/home" -mindepth 1)
[[ -z $written ]] && pass "nothing written to TMPDIR or HOME" || fail "written: $written"
for log in "$work"/glimmet-*.log; do
  [[ ! -s $log ]] || { echo "e2e-wayland: the program wrote ($(basename "$log")):"; cat "$log"; }
done

echo "e2e-wayland: $failures failure(s)"
((failures == 0))
