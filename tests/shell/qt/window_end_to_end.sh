#!/usr/bin/env bash
# Runs the window program as a user would, on a virtual X display: a picture named on its
# command line, the window found by its title, the reduce button clicked, screenshots
# checked for the buttons, the picture under them and the button states after reducing;
# then from the keyboard: a save to a place that takes no file (the window says so and
# saving stays possible), a save that works, and Ctrl+O with a path typed into the dialog.
#
#   window_end_to_end.sh PROGRAM WORK_FOLDER
#
# Exit 77 (skipped) when Xvfb, xdotool or ImageMagick is missing.
set -euo pipefail

program=$1
work=$2

for tool in Xvfb xdotool import; do
  if ! command -v "$tool" >/dev/null 2>&1; then
    echo "skipped: $tool is not installed (scripts/setup installs it)"
    exit 77
  fi
done
# ImageMagick's own convert, where another program of that name comes first on the path.
convert=convert
if [ -x /usr/bin/convert ]; then convert=/usr/bin/convert; fi

rm -rf "$work"
mkdir -p "$work"

xvfb_pid=""
app_pid=""
cleanup() {
  if [ -n "$app_pid" ]; then kill "$app_pid" 2>/dev/null || true; wait "$app_pid" 2>/dev/null || true; fi
  if [ -n "$xvfb_pid" ]; then kill "$xvfb_pid" 2>/dev/null || true; wait "$xvfb_pid" 2>/dev/null || true; fi
}
trap cleanup EXIT

fail() {
  echo "FAILED: $*"
  [ -f "$work/stderr" ] && sed 's/^/  program: /' "$work/stderr" | tail -20
  exit 1
}

# Xvfb picks a free display number itself and writes it to the file. Without -noreset it
# resets whenever its last client leaves (the check with xdotool below), and a program
# connecting during that reset is refused.
Xvfb -displayfd 3 -screen 0 800x600x24 -nolisten tcp -noreset 3>"$work/display" >"$work/xvfb.log" 2>&1 &
xvfb_pid=$!
display=""
for _ in $(seq 1 100); do
  display=$(head -n 1 "$work/display" 2>/dev/null || true)
  [ -n "$display" ] && break
  kill -0 "$xvfb_pid" 2>/dev/null || fail "Xvfb did not start"
  sleep 0.1
done
[ -n "$display" ] || fail "Xvfb did not report its display"
display=":$display"
export DISPLAY=$display
xdotool getdisplaygeometry >/dev/null 2>&1 || fail "Xvfb did not start"

# A photo-like picture, as a 24-bit BMP file.
$convert rose: -resize 300% -type TrueColor BMP3:"$work/rose.bmp"

# A busy machine can still refuse the first connection; the start is tried three times.
for attempt in 1 2 3; do
  "$program" "$work/rose.bmp" >"$work/stdout" 2>"$work/stderr" &
  app_pid=$!
  sleep 1
  kill -0 "$app_pid" 2>/dev/null && break
  grep -q 'could not connect to display' "$work/stderr" || break
  wait "$app_pid" 2>/dev/null || true
  app_pid=""
  echo "attempt $attempt: the program could not connect to $DISPLAY; starting it again"
done
[ -n "$app_pid" ] || fail "the program could not connect to the display"

title='２５６色への減色(7.5xY3xU4xV分散小数大津誤差拡散DistanceSquareSumMax_rgbygamma1.1_edge6_et20_t5_bun1_edon2_kmon1_JpegPngGifInPngGifOut Ver0112)'
window=""
for _ in $(seq 1 150); do
  window=$(xdotool search --onlyvisible --name 'Ver0112' 2>/dev/null | head -n 1 || true)
  [ -n "$window" ] && break
  kill -0 "$app_pid" 2>/dev/null || fail "the program ended early"
  sleep 0.2
done
[ -n "$window" ] || fail "no window titled ...Ver0112) appeared"
[ "$(xdotool getwindowname "$window")" = "$title" ] || fail "the title is not the window's title"
eval "$(xdotool getwindowgeometry --shell "$window")"
[ "$WIDTH" = 600 ] && [ "$HEIGHT" = 480 ] || fail "the window is ${WIDTH}x${HEIGHT}, not 600x480"

# Dark pixels (text of an enabled caption) inside a region WxH+X+Y of a screenshot.
has_dark() { # file region
  local mean
  mean=$($convert "$1" -crop "$2" +repage -colorspace Gray -threshold 25% -format '%[fx:mean]' info:)
  awk -v m="$mean" 'BEGIN { exit !(m < 1) }'
}
colour_at() { # file x y
  $convert "$1" -format "%[pixel:p{$2,$3}]" info:
}
shot() { import -window "$window" "$1"; }

reduce_caption=80x16+16+16
save_caption=80x16+112+16
# The picture named on the command line appears under the buttons. A window not painted
# yet shows no white band (its pixels may be black), so the shots go on until it has one.
for _ in $(seq 1 50); do
  shot "$work/before.png"
  [ "$(colour_at "$work/before.png" 300 44)" = "srgb(255,255,255)" ] &&
    [ "$(colour_at "$work/before.png" 20 60)" != "srgb(255,255,255)" ] && break
  sleep 0.2
done
has_dark "$work/before.png" "$reduce_caption" || fail "the reduce button is not enabled after the drop"
has_dark "$work/before.png" "$save_caption" && fail "the save button is enabled before reducing"
[ "$(colour_at "$work/before.png" 300 44)" = "srgb(255,255,255)" ] || fail "no white band under the buttons"
[ "$(colour_at "$work/before.png" 20 60)" != "srgb(255,255,255)" ] || fail "the picture is not drawn at y = 48"

xdotool mousemove --window "$window" 56 24 click 1
reduced=""
for _ in $(seq 1 240); do
  sleep 0.5
  shot "$work/window.png"
  if has_dark "$work/window.png" "$save_caption"; then reduced=yes; break; fi
done
[ -n "$reduced" ] || fail "the save button was not enabled within 2 minutes of pressing reduce"
has_dark "$work/window.png" "$reduce_caption" && fail "the reduce button is still enabled after reducing"
[ "$(colour_at "$work/window.png" 20 60)" != "srgb(255,255,255)" ] || fail "the result is not shown"
kill -0 "$app_pid" 2>/dev/null || fail "the program ended"
# The title keeps the last k-means pass (its line feed is cut off by the shell here).
after=$(xdotool getwindowname "$window")
[ "$after" = "$title" ] || [[ "$after" =~ ^Kmeans\ [0-9]+\ kaime$ ]] || fail "unexpected title: $after"

not() { ! "$@"; }
# Red text right of the buttons: the notice line of a failure.
has_red() { # file region
  local mean
  mean=$($convert "$1" -crop "$2" +repage -fx '(r > 0.4 && g < 0.3 && b < 0.3) ? 1 : 0' \
    -format '%[fx:mean]' info:)
  awk -v m="$mean" 'BEGIN { exit !(m > 0) }'
}
notice=340x32+208+8
# Waits for a dialog with this title, types a path into its name field and presses Enter.
# Both dialogs start in the picture's folder. Names there are typed whole: a name whose
# beginning matches other entries opens the name field's completion list, and on a display
# without a window manager keys typed while that list loads a large folder can be lost.
answer_dialog() { # title path
  local dialog=""
  for _ in $(seq 1 50); do
    dialog=$(xdotool search --onlyvisible --name "$1" 2>/dev/null | head -n 1 || true)
    [ -n "$dialog" ] && break
    sleep 0.2
  done
  [ -n "$dialog" ] || fail "no dialog titled $1 appeared"
  # The name field has the focus once the dialog is the focused window and has painted.
  xdotool windowfocus --sync "$dialog"
  sleep 0.5
  xdotool type --delay 10 "$2"
  xdotool key Return
  for _ in $(seq 1 50); do
    xdotool search --onlyvisible --name "$1" >/dev/null 2>&1 || return 0
    sleep 0.2
  done
  import -window root "$work/dialog.png"
  fail "the dialog titled $1 did not close (screenshot: $work/dialog.png)"
}
keys() { xdotool windowfocus --sync "$window" && xdotool key "$@"; }
# Takes screenshots into FILE until the command given holds for it (the window repaints a
# moment after a dialog closes), for at most five seconds.
shot_until() { # file command...
  local file=$1
  shift
  for _ in $(seq 1 25); do
    shot "$file"
    "$@" && return 0
    sleep 0.2
  done
  return 1
}
has_red "$work/window.png" "$notice" && fail "a notice is shown before anything failed"

# Ctrl+S, a name in a folder that does not exist: the window says so, saving stays possible.
keys ctrl+s
answer_dialog '名前を付けて保存' "nofolder/x.png"
shot_until "$work/failed_save.png" has_red "$work/failed_save.png" "$notice" ||
  fail "a failed save shows no notice"
has_dark "$work/failed_save.png" "$save_caption" || fail "the save button is not enabled after a failed save"
grep -q 'nofolder' "$work/stderr" || fail "the failed save left no line on standard error"

# Another name works; the save button is then disabled.
keys ctrl+s
answer_dialog '名前を付けて保存' "kept.png"
# Until the window has painted over the closed dialog, its old pixels are in the shots.
shot_until "$work/saved_window.png" not has_dark "$work/saved_window.png" "$save_caption" ||
  fail "the save button is enabled after a save"
[ "$(head -c 4 "$work/kept.png" | od -An -c | tr -d ' ')" = '211PNG' ] || fail "kept.png is not a PNG file"
has_red "$work/saved_window.png" "$notice" && fail "the failure notice stayed after a good save"

# Ctrl+O, a path typed into the open dialog: the picture is read as a drop would.
$convert rose: -flop -resize 200% -type TrueColor BMP3:"$work/mirrored.bmp"
keys ctrl+o
answer_dialog '画像を開く' "mirrored.bmp"
# The save button's place shows the dialog's folder until the window has painted.
shot_until "$work/opened.png" not has_dark "$work/opened.png" "$save_caption" ||
  fail "the save button is enabled after opening"
[ "$(xdotool getwindowname "$window")" = "$title" ] || fail "the title is not the window's title after opening"
has_dark "$work/opened.png" "$reduce_caption" || fail "the reduce button is not enabled after opening"
# The new picture is 140 x 92 pixels, the one before it 210 x 138.
[ "$(colour_at "$work/opened.png" 20 60)" != "srgb(255,255,255)" ] || fail "the opened picture is not shown"
[ "$(colour_at "$work/opened.png" 180 60)" = "srgb(255,255,255)" ] || fail "the picture shown is not the opened one"
# Ctrl+Q closes the window through its close button's way.
keys ctrl+q
for _ in $(seq 1 50); do kill -0 "$app_pid" 2>/dev/null || break; sleep 0.2; done
kill -0 "$app_pid" 2>/dev/null && fail "Ctrl+Q did not end the program"
app_pid=""

echo "window_end_to_end: 1 passed, 0 failed (screenshots: $work/*.png)"
