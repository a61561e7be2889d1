#!/usr/bin/env bash
# The real program on a real X server, driven as a user drives it: started
# with examples/sine_family.vbs, its window shows the script's path in the
# title and the script in the editor; a click on the "Graphic" tab shows the
# graph, whose first two curves' colours are then on the screen (and were not
# before the click); the wheel zooms it and Home brings it back. Then an endless script: Escape stops it, the stop is
# reported in a message box, and after OK the window lives on with the
# script's path in its title. Last the script workflow: open through the
# dialog, run a function from the list, check an error, fix and save.
# Usage: window_e2e.sh BIN_DIR SOURCE_DIR. Exit status 77: skipped (no X
# server tools here).
set -u
bin=$1
source=$2
for tool in xvfb-run xdotool xwd python3; do
  if ! command -v "$tool" >/dev/null 2>&1; then
    echo "skipped: $tool is not installed (scripts/setup.sh installs it)"
    exit 77
  fi
done

# Under AddressSanitizer: the X keyboard library hands strndup a buffer
# without a terminating zero (legal, but strict string checks flag it), and
# the program is ended by a signal, so there is no exit to check leaks at.
if [ -n "${ASAN_OPTIONS:-}" ]; then
  export ASAN_OPTIONS="$ASAN_OPTIONS:strict_string_checks=0:detect_leaks=0"
fi

if [ "${3:-}" != --inside ]; then
  exec xvfb-run -a -s "-screen 0 1280x800x24 -noreset" bash "$0" "$bin" "$source" --inside
fi

work=$(mktemp -d /tmp/quillan-e2e-XXXXXX)
pid=""
finish() {
  [ -n "$pid" ] && kill "$pid" 2>/dev/null && wait "$pid" 2>/dev/null
  rm -rf "$work"
}
trap finish EXIT
fail() {
  echo "FAIL: $*"
  [ -s "$work/quillan.log" ] && sed 's/^/quillan: /' "$work/quillan.log"
  exit 1
}
shots=${QUILLAN_UI_SHOTS:-}
screen() {  # screen NAME COLOUR...: counts of pixels near each colour
  xwd -root -silent > "$work/$1.xwd" || fail "no screenshot"
  local png=()
  [ -n "$shots" ] && png=(--png "$shots/e2e-$1.png")
  python3 "$source/app/tests/screen_colours.py" "$work/$1.xwd" "${png[@]}" "${@:2}"
}

# Windows whose title is exactly $1 (xdotool's search ignores case, and the
# program's hidden group window is called "quillan").
titled_exactly() {
  local w
  for w in $(xdotool search --name "^$1\$" 2>/dev/null); do
    [ "$(xdotool getwindowname "$w" 2>/dev/null)" = "$1" ] && echo "$w"
  done
}

# Waits up to 10 s for a window titled exactly $1 (other than window $2)
# and prints its id; nothing when none came or the program ended.
await() {
  local w
  for _ in $(seq 1 50); do
    w=$(titled_exactly "$1" | grep -vx "${2:-none}" | head -1)
    [ -n "$w" ] && { echo "$w"; return; }
    kill -0 "$pid" 2>/dev/null || return
    sleep 0.2
  done
}

script="$source/examples/sine_family.vbs"
export QT_QPA_PLATFORM=xcb QUILLAN_REGISTRY_DIR="$work/registry"
"$bin/quillan" "$script" > "$work/quillan.log" 2>&1 &
pid=$!

window=$(await "Quillan - file script - $script")
[ -n "$window" ] || fail "no window titled with the script's path"
echo "window: $(xdotool getwindowname "$window")"
sleep 1

# The first two curves: opaque blue, and the second blended at alpha 220.
blue=0,60,255
second=70,87,220
read -r -d '' before_blue before_second < <(screen editor "$blue" "$second"; printf '\0')
[ "$before_blue" -lt 20 ] || fail "the curves' colour shows before the graph page ($before_blue pixels)"
# The editor shows the script: its keywords are drawn in blue (0,0,255).
keywords=$(screen editor-text 0,0,255)
[ "$keywords" -gt 50 ] || fail "the editor shows no coloured script text ($keywords pixels)"

# "Graphic" is the first tab of the right pane, just right of the left pane
# (at least 300 pixels wide), on the row of the tabs below the toolbar.
shown=""
for y in 71 66 76 61 81; do
  for x in 345 330 360 375; do
    xdotool mousemove --sync "$x" "$y" click 1
    sleep 0.5
    read -r -d '' after_blue after_second < <(screen graph "$blue" "$second"; printf '\0')
    if [ "$after_blue" -ge 50 ] && [ "$after_second" -ge 20 ]; then
      shown="$x,$y"
      break 2
    fi
  done
done
[ -n "$shown" ] || fail "no click on the tab row showed the graph's colours (blue $after_blue, second $after_second)"
echo "graph shown after a click at $shown: $after_blue blue and $after_second second-curve pixels"
kill -0 "$pid" 2>/dev/null || fail "the program ended"

# Wheel zoom about a point inside the plot (three notches in): the curves
# spread out, so the screen shows other counts of their colours; Home puts
# the script's box back and with it the same picture as before.
xdotool mousemove --sync 800 420
sleep 0.3
xdotool click 4 click 4 click 4
sleep 0.7
read -r -d '' zoom_blue zoom_second < <(screen zoomed "$blue" "$second"; printf '\0')
[ "$zoom_blue" -ne "$after_blue" ] || [ "$zoom_second" -ne "$after_second" ] ||
  fail "the wheel changed nothing on the screen ($zoom_blue blue, $zoom_second second-curve pixels)"
xdotool key Home
sleep 0.7
read -r -d '' home_blue home_second < <(screen home "$blue" "$second"; printf '\0')
[ "$home_blue" -eq "$after_blue" ] && [ "$home_second" -eq "$after_second" ] ||
  fail "Home did not bring the script's box back (blue $home_blue for $after_blue, second $home_second for $after_second)"
echo "wheel zoom: $zoom_blue blue and $zoom_second second-curve pixels; after Home as before"
kill -0 "$pid" 2>/dev/null || fail "the program ended"
kill "$pid"; wait "$pid" 2>/dev/null; pid=""

# An endless loop, stopped with Escape.
endless="$work/endless.vbs"
printf 'Dim n\nDo\n  n = n + 1\nLoop\n' > "$endless"
"$bin/quillan" "$endless" > "$work/quillan.log" 2>&1 &
pid=$!
main=$(await Quillan)
[ -n "$main" ] || fail "no window while the endless script runs"
sleep 1.5  # past the half second after which the running window takes Stop
xdotool windowfocus --sync "$main" key Escape
box=$(await Quillan "$main")
[ -n "$box" ] || fail "Escape did not stop the endless script (no message box)"
sleep 0.5  # the box is mapped and painted
screen stopped >/dev/null
xdotool windowfocus --sync "$box" key Return
titled=$(await "Quillan - file script - $endless")
[ -n "$titled" ] || fail "after the stop the window did not go on to show the script"
kill -0 "$pid" 2>/dev/null || fail "the program ended after the stop"
echo "Escape stopped the endless script; the window lives on"
kill "$pid"; wait "$pid" 2>/dev/null; pid=""

# The script workflow as a user goes through it: Open (Ctrl+O, the path typed
# into the file dialog), a function chosen in the list changes the graph, an
# error typed into the editor is marked red by Check, the fix is saved, and
# the file on disk has the edit; then a word is found, replaced and the
# replacement undone, each seen in the saved file.
flow="$work/workflow.vbs"
cat > "$flow" <<'VBS'
Graf.CreateSeries
Dim i
For i = 0 To 100
  Graf.AddPointToSeries 0, i, Sin(i / 10)
Next
Graf.SetPropertySeries 0, 255, Graf.ColorRGB(0, 60, 255)
Graf.ReDrawGraph
Sub AddGreen
  Dim k
  Graf.CreateSeries
  For k = 0 To 100
    Graf.AddPointToSeries 1, k, Cos(k / 10)
  Next
  Graf.SetPropertySeries 1, 255, Graf.ColorRGB(0, 200, 0)
  Graf.ReDrawGraph
End Sub
VBS
"$bin/quillan" > "$work/quillan.log" 2>&1 &
pid=$!
main=$(await Quillan)
[ -n "$main" ] || fail "no window for the workflow"
sleep 1
xdotool windowfocus --sync "$main" key ctrl+o
dialog=$(await "Open Script")
[ -n "$dialog" ] || fail "Ctrl+O showed no Open Script dialog"
sleep 0.5
xdotool windowfocus --sync "$dialog" type --delay 5 "$flow"
xdotool key Return
titled=$(await "Quillan - file script - $flow")
[ -n "$titled" ] || fail "the script typed into the Open dialog was not opened"
sleep 0.5
green=0,200,0
# The function list: the left pane's lower list; its first entry is AddGreen.
xdotool mousemove --sync 60 354 click 1
sleep 0.5
xdotool mousemove --sync "${shown%,*}" "${shown#*,}" click 1
sleep 0.5
greens=$(screen function "$green")
[ "$greens" -ge 50 ] || fail "choosing AddGreen in the function list did not add its green curve ($greens pixels)"
echo "the function chosen in the list drew $greens green pixels"

# Back to the editor: an unfinished line at the end, then Check.
xdotool mousemove --sync 424 71 click 1  # the "Edit script" tab
sleep 0.5
xdotool mousemove --sync 800 600 click 1
xdotool key ctrl+End Return
xdotool type --delay 5 "x = ("
xdotool mousemove --sync 590 103 click 1
# Check runs the text: the syntax error is reported in a message box.
box=$(await Quillan)
[ -n "$box" ] || fail "Check reported no error for the unfinished line"
sleep 0.5
screen check-report >/dev/null
xdotool windowfocus --sync "$box" key Return
sleep 1
reds=$(screen checked 255,0,0)
[ "$reds" -ge 20 ] || fail "Check did not mark the error line red ($reds pixels)"
echo "Check marked the error line: $reds red pixels"
# The fix: the line becomes a comment, then Save.
xdotool mousemove --sync 800 600 click 1
xdotool key ctrl+End Home
xdotool type --delay 5 "Rem fixed: "
xdotool mousemove --sync 400 103 click 1
sleep 1
grep -q "^Rem fixed: x = ($" "$flow" || fail "Save did not write the edit: $(tail -2 "$flow")"
kill -0 "$pid" 2>/dev/null || fail "the program ended during the workflow"
echo "the saved file has the edit"
# Find and replace, then undo: Ctrl+H, the word typed, Tab to the
# replacement; Enter there finds the word and Enter again replaces it.
# Save writes the replacement; Ctrl+Z in the editor takes it back, and a
# second Save writes the text as it was.
xdotool mousemove --sync 800 600 click 1
xdotool key ctrl+Home ctrl+h
sleep 0.3
xdotool type --delay 5 "AddGreen"
xdotool key Tab
xdotool type --delay 5 "AddLime"
xdotool key Return Return Escape
sleep 0.3
screen replaced >/dev/null
xdotool mousemove --sync 400 103 click 1
sleep 1
grep -q "^Sub AddLime$" "$flow" || fail "Replace did not reach the saved file: $(grep -n "^Sub" "$flow")"
xdotool mousemove --sync 800 600 click 1
xdotool key ctrl+z
sleep 0.3
xdotool mousemove --sync 400 103 click 1
sleep 1
grep -q "^Sub AddGreen$" "$flow" || fail "Ctrl+Z did not take the replacement back: $(grep -n "^Sub" "$flow")"
kill -0 "$pid" 2>/dev/null || fail "the program ended during find and replace"
echo "find, replace and undo reached the saved file"
echo "PASS"
