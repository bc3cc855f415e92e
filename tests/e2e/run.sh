#!/usr/bin/env bash
# End-to-end run of the real program in a private X server (Xvfb, a window
# manager) of DEPTH bits (default 24):   run.sh BUILD_DIR [DEPTH]
# Starts BUILD_DIR/glimmet where XDG_RUNTIME_DIR is unset; uses the keyboard,
# the folder tree (pictures, none, a broken file; by keys and Return), the
# scroll bar, a slide and the grid's keys; starts it again on a picture named
# on its command line, on a large picture to pan and fit, with files dragged
# onto it, on a folder that changes while listed, at a scale of 2 and on a
# photo with an Exif orientation; quits by Ctrl+Q; checks exact pixels of
# screenshots, the cursor, the error boxes, the window's frame on the screen
# and that nothing was written.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/exit_status.sh"

build=$(cd "${1:?usage: run.sh BUILD_DIR [DEPTH]}" && pwd)
depth=${2:-24}
program=$build/glimmet
probe=$build/tests/e2e_probe
for tool in Xvfb openbox xdotool xprop import convert cjpeg; do
  command -v "$tool" >/dev/null || { echo "e2e: $tool is missing (scripts/setup.sh installs it)"; exit 1; }
done
[[ -x $program && -x $probe ]] || { echo "e2e: build glimmet and e2e_probe in $build first"; exit 1; }

work=$(mktemp -d /tmp/glimmet-e2e.XXXXXX)
xvfb_pid="" wm_pid="" app_pid=""
stop() {
  [[ -z $1 ]] && return 0  # plain return would give the status before an exit trap
  kill "$1" 2>/dev/null || true
  wait "$1" 2>/dev/null || true
}
stop_app() {
  stop "$app_pid"
  app_pid=""
}
cleanup() {
  stop_app
  stop "$wm_pid"
  stop "$xvfb_pid"
  rm -rf "$work"
}
trap cleanup EXIT
trap 'echo "e2e: stopped at line $LINENO: $BASH_COMMAND"' ERR

failures=0
# Screenshots of failed checks are kept here.
kept=$build/tests/e2e-failures
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

# --- pictures -------------------------------------------------------------
# A flat picture: width height RRGGBB file.
make_picture() {
  local w=$1 h=$2 rgb=$3 out=$4 px
  px=$(printf '\\x%s\\x%s\\x%s' "${rgb:0:2}" "${rgb:2:2}" "${rgb:4:2}")
  { printf 'P6\n%d %d\n255\n' "$w" "$h"; for ((i = 0; i < w * h; i++)); do printf '%b' "$px"; done; } >"$work/flat.ppm"
  cjpeg -quality 100 -sample 1x1 -outfile "$out" "$work/flat.ppm"
}
pic_colour=C81E1E
mkdir -p "$work/pics" "$work/broken" "$work/nopics" "$work/args dir"
for n in 1 2 3 4 5; do make_picture 100 75 "$pic_colour" "$work/pics/picture$n.jpg"; done
cp "$work/pics/picture1.jpg" "$work/broken/good1.jpg"
cp "$work/pics/picture2.jpg" "$work/broken/good2.jpg"
echo "this is no JPEG data" >"$work/broken/bad.jpg"
echo "no pictures here" >"$work/nopics/notes.txt"
# 1000 x 800, blue with a red band over its first 100 columns.
mkdir -p "$work/big"
convert -size 1000x800 xc:'#1E1EC8' -fill '#C81E1E' -draw 'rectangle 0,0 99,799' "$work/big.ppm"
cjpeg -quality 100 -sample 1x1 -outfile "$work/big/big.jpg" "$work/big.ppm"
# The program's private places: it must leave them as they are.
mkdir -m 700 "$work/home" "$work/tmp" "$work/cache"
tmp_runtime=/tmp/runtime-$(id -un) tmp_runtime_before=""
[[ -e $tmp_runtime ]] && tmp_runtime_before=yes

# --- X server -------------------------------------------------------------
Xvfb -displayfd 5 -screen 0 "1280x1024x$depth" -nolisten tcp 5>"$work/display" >"$work/xvfb.log" 2>&1 &
xvfb_pid=$!
for _ in $(seq 100); do [[ -s $work/display ]] && break; sleep 0.1; done
[[ -s $work/display ]] || { echo "e2e: Xvfb did not start"; cat "$work/xvfb.log"; exit 1; }
export DISPLAY=:$(head -n1 "$work/display")
unset WAYLAND_DISPLAY
export QT_QPA_PLATFORM=xcb
echo "e2e: X server on $DISPLAY, depth $depth"
openbox --sm-disable >"$work/openbox.log" 2>&1 &
wm_pid=$!
for _ in $(seq 100); do xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id' && break; sleep 0.1; done

# The frames of the hourglass as the toolkit makes it, and of the arrow.
wait_frames=" $("$probe" cursor-of wait) "
arrow_frames=" $("$probe" cursor-of arrow) "
for frame in $arrow_frames; do
  [[ $wait_frames != *" $frame "* ]] || fail "the hourglass cannot be told from the arrow"
done
showing_hourglass() { [[ $wait_frames == *" $("$probe" cursor) "* ]]; }

# --- the program ------------------------------------------------------------
shot="$work/shot.png"
# X calls that walk the window tree die on BadWindow when a window (a
# tooltip under the pointer, a box) goes away meanwhile: they are asked again.
take_shot() {
  local tries
  for tries in 1 2 3 4 5 6 7 8 9 10; do
    import -window root "$shot" 2>"$work/import.err" && return 0
    sleep 0.1
  done
  cat "$work/import.err" >&2
  return 1
}
# frame_extents WIN: sets fl fr ft fb to the frame the window manager put
# around the window; fails while it has put none there yet.
frame_extents() {
  local line value
  line=$(xprop -id "$1" _NET_FRAME_EXTENTS 2>/dev/null) || return 1
  read -r fl fr ft fb <<<"$(sed 's/.*= //; s/,//g' <<<"$line")"
  for value in "$fl" "$fr" "$ft" "$fb"; do [[ $value =~ ^[0-9]+$ ]] || return 1; done
}
# find_windows PATTERN [SECONDS]: the visible windows whose name matches, one
# id a line, waiting up to SECONDS (default 20; 0 looks once) for one to show.
find_windows() {
  local pattern=$1 end=$((SECONDS + ${2:-20})) found tries=0
  while :; do
    if found=$(xdotool search --onlyvisible --name "$pattern" 2>"$work/search.err") && [[ -n $found ]]; then
      echo "$found"
      return 0
    fi
    # A search cut short (a window vanished under it, or the server refused
    # the connection for a moment) says nothing of the others.
    if [[ -s $work/search.err ]] && ((++tries < 100)); then
      sleep 0.05
      continue
    fi
    ((SECONDS < end)) || return 1
    sleep 0.1
  done
}
# Starts the program in the background with its private places, logging to
# glimmet-LOG.log; extra environment settings may precede the arguments.
launch() {
  local log=$1
  shift
  env -u XDG_RUNTIME_DIR HOME="$work/home" TMPDIR="$work/tmp" XDG_CACHE_HOME="$work/cache" "$@" \
    >"$work/glimmet-$log.log" 2>&1 &
  app_pid=$!
}

# Starts the program with the arguments, logging to glimmet-LOG.log. The
# window is centred with the frame the window manager put around it; its
# client origin (ox, oy) is read off the screen (the grid's frame), and the
# grid's (gx, gy), the tree's (tx, ty) and the large view's (lx, ly) from it.
start_program() {
  local log=$1
  shift
  launch "$log" "$program" "$@"
  win=$(find_windows '^Glimmet$' | head -n1) || return 1
  for _ in $(seq 100); do frame_extents "$win" && break || sleep 0.1; done
  frame_extents "$win" || { echo "e2e: the window manager put no frame around the window"; return 1; }
  want_x=$(((1280 - (944 + fl + fr)) / 2 + fl)) want_y=$(((1024 - (591 + ft + fb)) / 2 + ft))
  for _ in $(seq 50); do
    take_shot
    read -r ox oy < <("$probe" client "$shot") || true
    [[ ${ox:-} == "$want_x" && ${oy:-} == "$want_y" ]] && break
    sleep 0.2
  done
  # The grid's frame, by which the window is found, may never show.
  [[ ${ox:-} =~ ^[0-9]+$ && ${oy:-} =~ ^[0-9]+$ ]] || { echo "e2e: no window frame found on the screen"; return 1; }
  gx=$((ox + 1)) gy=$((oy + 137)) tx=$((ox + 1)) ty=$((oy + 1)) lx=$((ox + 322)) ly=$((oy + 1))
}
start_program start || { echo "e2e: the window did not appear"; cat "$work/glimmet-start.log"; exit 1; }
eval "$(xdotool getwindowgeometry --shell "$win")"
[[ $WIDTH == 944 && $HEIGHT == 591 ]] && pass "client area 944 x 591" || fail "client area $WIDTH x $HEIGHT"
echo "e2e: client origin ($ox, $oy), frame extents $fl $fr $ft $fb"
[[ $ox == "$want_x" && $oy == "$want_y" ]] && pass "centred on the screen with its frame" ||
  fail "client at ($ox, $oy), not ($want_x, $want_y)"

# Clicks the tree's selected (highlighted) row, found on a fresh screenshot;
# sets first and last to its rows. Fails when no row is highlighted.
click_selected_row() {
  take_shot
  local rows
  rows=$("$probe" rows "$shot" $((tx + 250)) $((ty + 2)) $((ty + 125)) $highlight) || return 1
  read -r first last <<<"$rows"
  xdotool mousemove $((tx + 250)) $(((first + last) / 2)) click 1
}
# Types into the tree KEY:SECONDS (a key, then a pause) or NAME (a name).
in_tree() {
  local step
  for step; do
    case $step in
      *:*) xdotool key "${step%:*}" && sleep "${step#*:}" ;;
      *) xdotool type --delay 50 "$step" && sleep 0.6 ;;
    esac
  done
}

# expect NAME X Y RRGGBB [TOL]: one pixel of the last screenshot.
expect() {
  local name=$1
  shift
  if out=$("$probe" expect "$shot" "$@"); then pass "$name"; else fail "$name: $out"; fi
}
# settle NAME X Y RRGGBB[,RRGGBB] [TOL]: screenshots until the pixel shows, then checks it.
settle() {
  for _ in $(seq 50); do
    take_shot
    "$probe" expect "$shot" "${@:2}" >/dev/null && break
    sleep 0.2
  done
  expect "$@"
}
# expect_picture NAME RRGGBB: the 100 x 75 picture in the 621 x 589 large view,
# at ((621 - 100) div 2, (589 - 75) div 2) = (260, 257) to (359, 331).
expect_picture() {
  settle "$1, top-left pixel" $((lx + 260)) $((ly + 257)) "$2" 6
  expect "$1, bottom-right pixel" $((lx + 359)) $((ly + 331)) "$2" 6
  expect "$1, face left of it" $((lx + 259)) $((ly + 300)) F0F0F0
  expect "$1, face right of it" $((lx + 360)) $((ly + 300)) F0F0F0
  expect "$1, face above it" $((lx + 300)) $((ly + 256)) F0F0F0
  expect "$1, face below it" $((lx + 300)) $((ly + 332)) F0F0F0
}
expect_cursor_not_wait() {
  xdotool mousemove "$1" "$2"
  sleep 0.2
  if showing_hourglass; then fail "$3: the hourglass is still shown"; else pass "$3"; fi
}

# The grid at start-up: its lowered control frame (0, 0, 297, 451), found
# where it belongs by probe client above, and the raised outer frame of
# slide 1 at (10, 12)-(144, 146).
take_shot
expect "grid's last column keeps the face colour" $((gx + 298)) $((gy + 200)) F0F0F0
expect "slide 1 outer frame, top-left white" $((gx + 10)) $((gy + 12)) FFFFFF
expect "slide 1 outer frame, inner ring silver" $((gx + 11)) $((gy + 13)) C0C0C0
expect "slide 1 outer frame, bottom-right black" $((gx + 144)) $((gy + 146)) 000000
expect "slide 1 outer frame, inner bottom-right gray" $((gx + 143)) $((gy + 145)) 808080

# At start the tree shows the data folder as its current one. The selected
# node's highlight is a shaded band around 0078D7, looked for inside the
# tree's frame (where the band of its focus lies, of the same colour).
highlight="0078D7 40"
take_shot
if "$probe" rows "$shot" $((tx + 250)) $((ty + 2)) $((ty + 125)) $highlight >/dev/null; then
  pass "at start the data folder is the tree's current one, in view"
else
  fail "at start no folder is highlighted in the tree"
fi

# --- the keyboard: the scroll bar has the first focus ---------------------------
# The data folder's 15 samples: End moves the bar to 100, the grid to its
# Max, slide 15 alone in the top row; Home brings slide 2 back beside slide 1.
xdotool key End
settle "End: no slide beside slide 15" $((gx + 200)) $((gy + 79)) F0F0F0
expect "End: slide 15 at (10, 12)" $((gx + 10)) $((gy + 12)) FFFFFF
xdotool key Home
settle "Home: slide 2 beside slide 1" $((gx + 146)) $((gy + 12)) FFFFFF

# The folder tree: the platform's folder icon on the row below the root,
# once Home has made the root current (and scrolled to it).
xdotool mousemove $((tx + 60)) $((ty + 6)) click 1
in_tree Home:0.6
take_shot
if "$probe" expect "$shot" $((tx + 31)) $((ty + 29)) FFFFFF >/dev/null; then fail "no folder icon in the tree"; else
  pass "folder icon in the tree"
fi

# --- choosing a folder in the tree -------------------------------------------
# A click on the root node lists "/"; the keyboard then walks down to the
# pictures' folder (each folder where the keys stop is listed) and Return
# lists it.
xdotool mousemove $((tx + 60)) $((ty + 6)) click 1
sleep 0.6
in_tree tmp Right:1.5 "$(basename "$work")" Right:1.5 pics Return:0.6
take_shot
if "$probe" rows "$shot" $((tx + 250)) $((ty + 2)) $((ty + 125)) $highlight >/dev/null; then
  pass "pictures' folder selected in the tree"
else
  fail "no selected node in the tree"
fi

# Slide 1 now shows a picture of the folder: 100 x 75 scales to 120 x 90 at
# columns 17..136, rows 34..123 of the grid.
settle "thumbnail inside slide 1" $((gx + 77)) $((gy + 79)) $pic_colour 6
expect "thumbnail's lowered frame, top-left gray" $((gx + 17)) $((gy + 34)) 808080
expect "cover above the thumbnail" $((gx + 77)) $((gy + 32)) C0C0C0
expect_cursor_not_wait $((gx + 77)) $((gy + 79)) "hourglass gone after the folder's paint"

# --- the scroll bar: drag the thumb to the end, then click the up arrow ------
bar_x=$((ox + 310))
xdotool mousemove $bar_x $((gy + 30)) mousedown 1
xdotool mousemove $bar_x $((gy + 200))
xdotool mousemove $bar_x $((gy + 440)) mouseup 1
# Position 5: slide 5 begins the top row at (10, 12); there is no slide 6.
settle "slide 5 at the top after the drag" $((gx + 77)) $((gy + 79)) $pic_colour 6
expect "no slide beside slide 5" $((gx + 200)) $((gy + 79)) F0F0F0
for _ in 1 2 3; do xdotool mousemove $bar_x $((gy + 5)) click 1; sleep 0.3; done
# Position 2: the row of slides 1 and 2 half scrolled away; slide 3 at (10, 80).
settle "slide 3's box at (10, 80)" $((gx + 10)) $((gy + 80)) FFFFFF
expect "slide 3's inner ring" $((gx + 11)) $((gy + 81)) C0C0C0
expect "slide 1 cut by the top band" $((gx + 77)) $((gy + 5)) F0F0F0
# Three notches of the wheel over the grid: position 5 again.
xdotool mousemove $((gx + 77)) $((gy + 200))
for _ in 1 2 3; do xdotool click 5; sleep 0.3; done
settle "wheel: no slide beside slide 5" $((gx + 200)) $((gy + 79)) F0F0F0
for _ in 1 2 3; do xdotool click 4; sleep 0.3; done
settle "wheel back: slide 3's box at (10, 80)" $((gx + 10)) $((gy + 80)) FFFFFF

# --- clicking slide 3 ----------------------------------------------------------
xdotool mousemove $((gx + 77)) $((gy + 147)) click 1
# Selected: its cover turns navy; the large view shows the picture.
settle "clicked slide selected" $((gx + 77)) $((gy + 90)) 000080
expect_picture "large view" $pic_colour
expect_cursor_not_wait $((gx + 77)) $((gy + 147)) "hourglass gone after the click"

# --- the grid by keys: the click gave it the focus ------------------------------
# The bar at 2 puts the row of slides 3 and 4 at y 80: Right selects slide 4
# (its cover navy 10 pixels into its box at (146, 80)); Down stops at the last,
# slide 5 at (10, 216); Home selects slide 1, above the view, and the bar
# brings its row to the top, (10, 12); Return shows it in the large view.
xdotool key Right
settle "Right: slide 4 selected" $((gx + 213)) $((gy + 90)) 000080
expect "Right: slide 3 no longer" $((gx + 77)) $((gy + 90)) C0C0C0
xdotool key Down
settle "Down: slide 5, the last, selected" $((gx + 77)) $((gy + 226)) 000080
xdotool key Home
settle "Home: slide 1 selected, its row scrolled to the top" $((gx + 77)) $((gy + 22)) 000080
expect "Home: slide 2 beside it" $((gx + 146)) $((gy + 12)) FFFFFF
xdotool key Return
expect_picture "Return: the large view" $pic_colour

# --- a folder without pictures hides the grid; the bar keeps its place -------
bar_colour=$("$probe" pixel "$shot" $bar_x $((gy + 200)))
# The grid took the focus when it was clicked; Shift+Tab leads back to the tree.
in_tree shift+Tab:0.3 Left:0.6 nopics
if click_selected_row; then
  settle "hidden grid: its area shows the panel" $((gx + 77)) $((gy + 79)) F0F0F0
  expect "hidden grid: the bar stays at x 300" $bar_x $((gy + 200)) "$bar_colour"
  expect "hidden grid: no bar in the middle" $((ox + 150)) $((gy + 200)) F0F0F0
else
  fail "no selected node for the folder without pictures"
fi

# --- a folder with a broken picture: every other slide shows -----------------
# Its three slides: two pictures and the broken file's numbered card, a white
# card at columns 17..136, rows 39..118 of its box. The bar stays at 2, so
# the boxes lie at (10 + 136 column, -56 + 136 row); the point (30, 100) of
# a box is card or picture. The paint ends, the hourglass goes, and the one
# paint of the click (the grid was hidden, so its new Max paints nothing)
# reports once. The keys that chose it list it; no click is needed.
in_tree Left:0.6 broken
if take_shot && "$probe" rows "$shot" $((tx + 250)) $((ty + 2)) $((ty + 125)) $highlight >/dev/null; then
  boxes=0 quiet=0
  while ((quiet < 10)); do
    box=$(find_windows '^glimmet$' 0 | grep -vx "$win" | head -n1) || true
    if [[ -n $box ]]; then
      boxes=$((boxes + 1)) quiet=0
      xdotool windowactivate --sync "$box" key Return 2>/dev/null || xdotool key Return
      sleep 0.5
    else
      quiet=$((quiet + 1))
      sleep 0.2
    fi
  done
  [[ $boxes == 1 ]] && pass "one error box" || fail "$boxes error boxes"
  take_shot
  cards=0
  for k in 1 2 3; do
    x=$((gx + 40 + 136 * ((k - 1) % 2))) y=$((gy + 44 + 136 * ((k - 1) / 2)))
    if "$probe" expect "$shot" $x $y FFFFFF >/dev/null; then
      cards=$((cards + 1))
    else
      expect "broken folder: slide $k shows its picture" $x $y $pic_colour 6
    fi
  done
  [[ $cards == 1 ]] && pass "the broken file's slide alone shows its card" || fail "$cards numbered cards"
  expect_cursor_not_wait $((gx + 77)) $((gy + 147)) "hourglass gone after the broken folder's paint"
else
  fail "no selected node for the broken folder"
fi

stop_app
if grep -qiE 'error|warning' "$work/glimmet-start.log"; then
  echo "e2e: the program wrote:"
  cat "$work/glimmet-start.log"
fi

# --- a picture named on the command line --------------------------------------
# Nine pictures in a folder whose name has spaces, one of them green; the
# program starts on the green one: its folder selected in the tree, in view,
# its slide the one selected (a navy cover 10 pixels into its box) among the
# eight boxes of the unscrolled view.
arg_colour=1EC81E
make_picture 100 75 "$arg_colour" "$work/args dir/green one.jpg"
for n in 1 2 3 4 5 6 7 8; do cp "$work/pics/picture1.jpg" "$work/args dir/picture $n.jpg"; done
if start_program args "$work/args dir/green one.jpg"; then
  expect_picture "picture argument" $arg_colour
  selected=0
  for k in 0 1 2 3 4 5 6 7; do
    "$probe" expect "$shot" $((gx + 77 + 136 * (k % 2))) $((gy + 22 + 136 * (k / 2))) 000080 >/dev/null &&
      selected=$((selected + 1))
  done
  [[ $selected == 1 ]] && pass "picture argument: its slide selected, in view" ||
    fail "picture argument: $selected slides selected in view"
  if "$probe" rows "$shot" $((tx + 250)) $((ty + 2)) $((ty + 125)) $highlight >/dev/null; then
    pass "picture argument: its folder is selected in the tree, in view"
  else
    fail "picture argument: no selected row in view in the tree"
  fi
else
  fail "picture argument: the window did not appear"
fi
# Ctrl+Q closes the window as its close button does: the program ends, 0.
xdotool key ctrl+q
exit_status "$app_pid" 50
[[ $quit_status == timeout ]] || app_pid=""
[[ $quit_status == 0 ]] && pass "Ctrl+Q ends the program" || fail "Ctrl+Q: $quit_status"
stop_app
[[ ! -s $work/glimmet-args.log ]] || { echo "e2e: the program wrote:"; cat "$work/glimmet-args.log"; }

# --- the whole picture: pan and fit --------------------------------------------
# 1000 x 800 in the 621 x 589 view: at its natural size its origin is
# (-379 div 2, -211 div 2) = (-189, -105), the red band out of view. Dragged by
# (200, 100), it stops at x 0 (the band in view: columns 0..99) and moves to
# y -5. A double click fits it: 621 x round(800 * 621 / 1000) = 621 x 497 at
# (0, (589 - 497) div 2) = (0, 46), the band 62 columns wide; 1 returns it to
# its natural size, centred.
if start_program big "$work/big/big.jpg"; then
  settle "big picture, natural size: its middle" $((lx + 300)) $((ly + 300)) 1E1EC8 6
  expect "big picture, natural size: the band out of view" $((lx + 5)) $((ly + 300)) 1E1EC8 6
  xdotool mousemove $((lx + 300)) $((ly + 300)) mousedown 1
  xdotool mousemove $((lx + 400)) $((ly + 350))
  xdotool mousemove $((lx + 500)) $((ly + 400)) mouseup 1
  settle "pan: the band at the view's left edge" $((lx + 0)) $((ly + 300)) C81E1E 6
  expect "pan: the band's last column" $((lx + 99)) $((ly + 300)) C81E1E 6
  expect "pan: blue after the band" $((lx + 100)) $((ly + 300)) 1E1EC8 6
  xdotool click --repeat 2 --delay 80 1
  settle "fit: face above the picture" $((lx + 300)) $((ly + 45)) F0F0F0
  expect "fit: the picture's top row" $((lx + 300)) $((ly + 46)) 1E1EC8 8
  expect "fit: the picture's bottom row" $((lx + 300)) $((ly + 542)) 1E1EC8 8
  expect "fit: face below the picture" $((lx + 300)) $((ly + 543)) F0F0F0
  expect "fit: the band on the left" $((lx + 30)) $((ly + 300)) C81E1E 8
  expect "fit: blue right of the band" $((lx + 70)) $((ly + 300)) 1E1EC8 8
  cp "$shot" "$build/tests/e2e-fitted.png"
  xdotool key 1
  settle "1: natural size again, the band out of view" $((lx + 5)) $((ly + 300)) 1E1EC8 6
  expect "1: no face above" $((lx + 300)) $((ly + 45)) 1E1EC8 6
else
  fail "big picture: the window did not appear"
fi
stop_app

# --- a prompt close ------------------------------------------------------------
# Eight black pictures of 400 megapixels, each decoding for most of a second
# here: Ctrl+Q half a second after the window shows, with the paint far from
# done, ends the program within a second (the paint waits 200 ms at most for
# its slides; the decodes stop at their next row). On a loaded machine the
# second grows to one whole decode of such a picture, timed just before.
mkdir -p "$work/huge"
{ printf 'P6\n20000 20000\n255\n'; head -c 1200000000 /dev/zero; } | cjpeg -quality 50 -outfile "$work/huge/h1.jpg"
for n in 2 3 4 5 6 7 8; do cp "$work/huge/h1.jpg" "$work/huge/h$n.jpg"; done
started=$(date +%s%N)
djpeg -outfile /dev/null "$work/huge/h1.jpg"
close_limit_ms=$((($(date +%s%N) - started) / 1000000))
((close_limit_ms > 1000)) || close_limit_ms=1000
launch huge "$program" "$work/huge"
if find_windows '^Glimmet$' >/dev/null; then
  sleep 0.5
  asked=$(date +%s%N)
  xdotool key ctrl+q
  while kill -0 "$app_pid" 2>/dev/null && (($(date +%s%N) - asked < 10000000000)); do sleep 0.02; done
  took_ms=$((($(date +%s%N) - asked) / 1000000))
  ((took_ms < close_limit_ms)) && pass "Ctrl+Q during a paint of huge pictures: ended in $took_ms ms" ||
    fail "Ctrl+Q during a paint of huge pictures: $took_ms ms (limit $close_limit_ms ms)"
else
  fail "huge pictures: the window did not appear"
fi
stop_app
rm -rf "$work/huge"

# --- drops ----------------------------------------------------------------------
# Real drags from another program onto the grid. A text file and a picture
# whose name the scan does not list (.jpeg) are refused: each drag ends
# ignored, and the tree, the grid, the large view and the bar stay as they
# were, with no error box. A folder dragged the same way is taken (its
# picture fills slide 1): the drags do reach the window.
mkdir -p "$work/drops"
echo "no picture" >"$work/drops/notes.txt"
cp "$work/args dir/green one.jpg" "$work/drops/green.jpeg"
# drag_onto_grid FILE...: drags the files from the probe's window to the
# grid's middle by the mouse and sets dropped to the action the drop ended in.
drag_onto_grid() {
  dropped=""
  "$probe" drag "$@" >"$work/drag.out" 2>"$work/drag.log" &
  local drag_pid=$! source to_x=$((gx + 77)) to_y=$((gy + 200))
  if source=$(find_windows '^e2e drag$' | head -n1); then
    sleep 0.3
    xdotool mousemove --window "$source" 40 40 mousedown 1
    for k in 1 2 3 4 5 6; do
      xdotool mousemove $((60 + (to_x - 60) * k / 6)) $((60 + (to_y - 60) * k / 6)) && sleep 0.2
    done
    xdotool mouseup 1
    for _ in $(seq 70); do kill -0 "$drag_pid" 2>/dev/null || break; sleep 0.1; done
  fi
  stop "$drag_pid"
  dropped=$(cat "$work/drag.out")
}
# no_box NAME: no error box shows within a second.
no_box() {
  sleep 1
  if find_windows '^glimmet$' 0 | grep -qvx "$win"; then
    fail "$1: an error box"
    xdotool key Return
  else
    pass "$1: no error box"
  fi
}
if start_program drops "$work/pics"; then
  settle "drops: slide 1 shows its picture" $((gx + 77)) $((gy + 79)) $pic_colour 6
  xdotool mousemove $((gx + 77)) $((gy + 200))
  sleep 0.3
  take_shot
  tree_rows=$("$probe" rows "$shot" $((tx + 250)) $((ty + 2)) $((ty + 125)) $highlight) || true
  bar_colour=$("$probe" pixel "$shot" $((ox + 310)) $((gy + 200)))
  for file in notes.txt green.jpeg; do
    drag_onto_grid "$work/drops/$file"
    [[ $dropped == ignore ]] && pass "$file: the drop is refused" || fail "$file: the drop ended in '$dropped'"
    no_box "$file"
    take_shot
    expect "$file: slide 1 keeps its picture" $((gx + 77)) $((gy + 79)) $pic_colour 6
    expect "$file: the large view stays empty" $((lx + 300)) $((ly + 300)) F0F0F0
    expect "$file: the bar stays as it was" $((ox + 310)) $((gy + 200)) "$bar_colour"
    rows=$("$probe" rows "$shot" $((tx + 250)) $((ty + 2)) $((ty + 125)) $highlight) || true
    [[ $rows == "$tree_rows" ]] && pass "$file: the tree keeps its current folder" ||
      fail "$file: the tree's highlight at rows $rows, not $tree_rows"
  done
  drag_onto_grid "$work/big"
  [[ $dropped == copy ]] && pass "a folder's drop is taken" || fail "a folder's drop ended in '$dropped'"
  settle "the dropped folder is listed: its picture in slide 1" $((gx + 77)) $((gy + 79)) 1E1EC8 8
else
  fail "drops: the window did not appear"
fi
stop_app

# --- a scale of 2 ----------------------------------------------------------------
# 944 x 591 logical pixels are 1888 x 1182 on the 1280 x 1024 screen: the
# window is made smaller so that it and its frame lie within the screen.
launch scale2 QT_SCALE_FACTOR=2 "$program" "$work/pics"
if win=$(find_windows '^Glimmet$' | head -n1); then
  inside=""
  for _ in $(seq 50); do
    sleep 0.2
    frame_extents "$win" || continue
    read -r X Y WIDTH HEIGHT < <(xwininfo -id "$win" | awk '/Absolute upper-left X/ {x = $NF}
      /Absolute upper-left Y/ {y = $NF} /^ *Width/ {w = $NF} /^ *Height/ {h = $NF} END {print x, y, w, h}')
    left=$((X - fl)) top=$((Y - ft)) right=$((X + WIDTH + fr)) bottom=$((Y + HEIGHT + fb))
    if ((left >= 0 && top >= 0 && right <= 1280 && bottom <= 1024)); then inside=yes && break; fi
  done
  [[ $inside == yes ]] && pass "scale 2: the frame lies within the screen ($left, $top)-($right, $bottom)" ||
    fail "scale 2: the frame at ($left, $top)-($right, $bottom)"
  take_shot
  cp "$shot" "$build/tests/e2e-scale2.png"
else
  fail "scale 2: the window did not appear"
fi
stop_app

# --- the large view as a viewer --------------------------------------------------
# Three 100 x 75 pictures of different colours, in the order the folder lists
# them. With the large view focused (a click on it), Right shows slide 2's
# picture and selects slide 2 (its navy cover), Left slide 1's again. + zooms
# to 3/2: 150 x 113 (112.5 rounded up) at ((621 - 150) div 2, (589 - 113)
# div 2) = (235, 238); - returns to the natural size. F11 shows the view
# alone on the 1280 x 1024 screen, the picture at (590, 474); Escape returns
# to the window exactly as it was.
mkdir -p "$work/viewer"
for colour in C81E1E 1EA028 1E1EC8; do make_picture 100 75 "$colour" "$work/viewer/$colour.jpg"; done
if start_program viewer "$work/viewer"; then
  settle "viewer: slide 2 shows its picture" $((gx + 213)) $((gy + 79)) C81E1E,1EA028,1E1EC8 6
  first=$("$probe" pixel "$shot" $((gx + 77)) $((gy + 79)))
  second=$("$probe" pixel "$shot" $((gx + 213)) $((gy + 79)))
  xdotool mousemove $((gx + 77)) $((gy + 79)) click 1
  expect_picture "viewer: slide 1 clicked" "$first"
  xdotool mousemove $((lx + 300)) $((ly + 400)) click 1
  sleep 0.3
  xdotool key Right
  expect_picture "viewer: Right on the large view shows slide 2" "$second"
  expect "viewer: slide 2 selected" $((gx + 213)) $((gy + 22)) 000080
  xdotool key Left
  expect_picture "viewer: Left shows slide 1 again" "$first"
  xdotool key plus
  settle "viewer: + zooms to 3/2, top-left" $((lx + 235)) $((ly + 238)) "$first" 6
  expect "viewer: + zooms to 3/2, bottom-right" $((lx + 384)) $((ly + 350)) "$first" 6
  expect "viewer: + zooms to 3/2, face left of it" $((lx + 234)) $((ly + 300)) F0F0F0
  expect "viewer: + zooms to 3/2, face below it" $((lx + 300)) $((ly + 351)) F0F0F0
  xdotool key minus
  expect_picture "viewer: - returns to the natural size" "$first"
  before=$(xdotool getwindowgeometry --shell "$win")
  xdotool key F11
  settle "viewer: full screen, the picture's top-left" 590 474 "$first" 6
  expect "viewer: full screen, its bottom-right" 689 548 "$first" 6
  expect "viewer: full screen, face left of it" 589 500 F0F0F0
  expect "viewer: full screen, face where the grid was" $((gx + 77)) $((gy + 79)) F0F0F0
  xdotool key Escape
  expect_picture "viewer: Escape, back in the window" "$first"
  after=$(xdotool getwindowgeometry --shell "$win")
  [[ $after == "$before" ]] && pass "viewer: the window exactly as before full screen" ||
    fail "viewer: the window was $before, is $after"
  expect "viewer: slide 1 still selected" $((gx + 77)) $((gy + 22)) 000080
else
  fail "viewer: the window did not appear"
fi
stop_app

# --- a photo turned upright by its Exif orientation ------------------------------
# Stored 120 x 80, red over blue, with an Exif block (Motorola order) saying
# orientation 6: the stored top row is the right side, so it stands 80 x 120,
# blue on the left, red on the right. In the 621 x 589 view at its natural
# size: (270, 234) to (349, 353), the halves meeting between columns 309 and
# 310. Its slide: 80 x 120 in slide 1's 120 x 120 picture box at (17, 19),
# columns 37..116, rows 19..138 (their edges under the inner frame), blue up
# to column 76. Shown as stored, red would lie above blue, rows 39..118.
mkdir -p "$work/turned"
convert -size 120x80 xc:'#1E1EC8' -fill '#C81E1E' -draw 'rectangle 0,0 119,39' "$work/turned.ppm"
cjpeg -quality 100 -sample 1x1 -outfile "$work/stored.jpg" "$work/turned.ppm"
exif6='\xff\xe1\x00\x22Exif\x00\x00MM\x00\x2a\x00\x00\x00\x08\x00\x01\x01\x12\x00\x03\x00\x00\x00\x01\x00\x06\x00\x00\x00\x00\x00\x00'
{ head -c 2 "$work/stored.jpg"; printf "$exif6"; tail -c +3 "$work/stored.jpg"; } >"$work/turned/portrait.jpg"
if start_program turned "$work/turned/portrait.jpg"; then
  settle "turned photo, view: blue on the left" $((lx + 280)) $((ly + 300)) 1E1EC8 8
  expect "turned photo, view: red on the right" $((lx + 340)) $((ly + 300)) C81E1E 8
  expect "turned photo, view: its top row" $((lx + 340)) $((ly + 234)) C81E1E 8
  expect "turned photo, view: face above it" $((lx + 340)) $((ly + 233)) F0F0F0
  expect "turned photo, view: its bottom row" $((lx + 340)) $((ly + 353)) C81E1E 8
  expect "turned photo, view: face left of it" $((lx + 269)) $((ly + 300)) F0F0F0
  expect "turned photo, view: face right of it" $((lx + 350)) $((ly + 300)) F0F0F0
  expect "turned photo, slide: blue on the left" $((gx + 50)) $((gy + 78)) 1E1EC8 8
  expect "turned photo, slide: red on the right" $((gx + 100)) $((gy + 78)) C81E1E 8
  expect "turned photo, slide: blue near its top" $((gx + 50)) $((gy + 30)) 1E1EC8 8
  cp "$shot" "$build/tests/e2e-turned.png"
else
  fail "turned photo: the window did not appear"
fi
stop_app

# --- a folder that follows the disk --------------------------------------------
# Two pictures listed; a third copied in shows in slide 3 with no input, and
# one removed leaves slide 3's place empty again, with no error box. F5
# lists a file copied in at once. A click gives the grid the focus: its edge
# turns blue.
mkdir -p "$work/follow"
cp "$work/pics/picture1.jpg" "$work/pics/picture2.jpg" "$work/follow/"
if start_program follow "$work/follow"; then
  settle "follow: slide 2 shows its picture" $((gx + 213)) $((gy + 79)) $pic_colour 6
  expect "follow: no slide 3" $((gx + 77)) $((gy + 215)) F0F0F0
  inside_edge=$("$probe" pixel "$shot" $((gx + 2)) $((gy + 200)))
  xdotool mousemove $((gx + 145)) $((gy + 400)) click 1
  settle "follow: the grid's focus shows as a blue edge" $((gx + 1)) $((gy + 200)) 0078D7
  expect "follow: the edge is two pixels wide" $((gx + 2)) $((gy + 200)) "$inside_edge"
  cp "$work/big/big.jpg" "$work/follow/copied.jpg"
  settle "follow: a file copied in shows in slide 3" $((gx + 77)) $((gy + 215)) C81E1E,1E1EC8 8
  no_box "follow: copied in"
  rm "$work/follow/picture1.jpg"
  settle "follow: a file removed leaves slide 3 empty" $((gx + 77)) $((gy + 215)) F0F0F0
  no_box "follow: removed"
  cp "$work/pics/picture3.jpg" "$work/follow/"
  xdotool key F5
  settle "follow: F5 lists the file copied in" $((gx + 77)) $((gy + 215)) C81E1E,1E1EC8 8
  no_box "follow: F5"
else
  fail "follow: the window did not appear"
fi
stop_app

# --- a window manager that starts after the window ------------------------------
# It frames a window already shown: the window is centred again with that frame.
stop "$wm_pid"
launch late "$program" "$work/pics"
if win=$(find_windows '^Glimmet$' | head -n1); then
  openbox --sm-disable >>"$work/openbox.log" 2>&1 &
  wm_pid=$!
  at=""
  for _ in $(seq 50); do
    sleep 0.2
    frame_extents "$win" || continue
    at=$(xwininfo -id "$win" | awk '/Absolute upper-left X/ {x = $NF} /Absolute upper-left Y/ {y = $NF} END {print x, y}') || continue
    want="$(((1280 - (944 + fl + fr)) / 2 + fl)) $(((1024 - (591 + ft + fb)) / 2 + ft))"
    [[ $at == "$want" ]] && break
  done
  [[ $at == "${want:-}" ]] && pass "a late window manager: centred with its frame at ($at)" ||
    fail "a late window manager: the client at (${at:-?}), not (${want:-?})"
else
  fail "a late window manager: the window did not appear"
fi
stop_app

written=$(find "$work/tmp" "$work/home" -mindepth 1)
[[ -z $written ]] && pass "nothing written to TMPDIR or HOME" || fail "written: $written"
# Qt's own runtime folder, should it ever pass TMPDIR by.
[[ -n $tmp_runtime_before || ! -e $tmp_runtime ]] && pass "no $tmp_runtime made" || fail "$tmp_runtime made"
# The one place written: the cache folder, private, whole entries only.
odd=$(find "$work/cache" -mindepth 1 ! \( -path "$work/cache/glimmet" -perm 0700 \) ! \( -name '*.slide' -perm 0600 \))
kept=$(find "$work/cache/glimmet" -name '*.slide' 2>/dev/null | wc -l)
[[ -z $odd && $kept -gt 0 ]] && pass "$kept slides kept in the cache folder, nothing else" ||
  fail "cache folder: $kept slides; unexpected: $odd"

echo "e2e: $failures failure(s)"
((failures == 0))
