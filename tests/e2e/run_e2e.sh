#!/usr/bin/env bash
# End-to-end run of the saver on a virtual X display:
#   /s covers the screen with a window titled "Grimholt 3D Screensaver"; a key press ends it, and
#      so does a click, with exit status 0; a second /s started meanwhile exits at once;
#   /t opens a 600 x 400 client area that keys and clicks leave open and its close box closes;
#   /p without a parent shows a 155 x 115 window that only closing ends;
#   --headless runs on two virtual monitors and ends by a scripted key.
# Usage: run_e2e.sh PATH/TO/grimholt PATH/TO/grim_x11_close. Exit 77 (skip) without Xvfb or xdotool.
set -u
prog=$1
closer=$2
for tool in Xvfb xdotool xwininfo; do
  command -v "$tool" >/dev/null 2>&1 || { echo "skip: $tool is not installed"; exit 77; }
done

# Under the sanitizer build: SDL unloads the X libraries it opened at exit, and LeakSanitizer cannot
# name (or suppress) what those left behind; the unit tests cover our own leaks.
export ASAN_OPTIONS="${ASAN_OPTIONS:+$ASAN_OPTIONS:}detect_leaks=0"

work=$(mktemp -d)
export XDG_CONFIG_HOME=$work/config HOME=$work
cd "$work" || exit 1
xvfb_pid=
cleanup() {
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null
  for p in $(jobs -p); do kill "$p" 2>/dev/null; done
  rm -rf "$work"
}
trap cleanup EXIT

display=
for n in $(seq 91 140); do
  if [ ! -e /tmp/.X11-unix/X$n ] && [ ! -e /tmp/.X$n-lock ]; then display=:$n; break; fi
done
[ -n "$display" ] || { echo "skip: no free display number"; exit 77; }
Xvfb "$display" -screen 0 1024x768x24 -nolisten tcp >"$work/xvfb.log" 2>&1 &
xvfb_pid=$!
export DISPLAY=$display
for _ in $(seq 1 50); do xwininfo -root >/dev/null 2>&1 && break; sleep 0.1; done
xwininfo -root >/dev/null 2>&1 || { echo "skip: Xvfb did not start"; exit 77; }

failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
title="Grimholt 3D Screensaver"

# Window id of our window (top level or deeper); empty when none.
window_id() { xwininfo -root -tree 2>/dev/null | awk -v t="\"$title\":" '$2 == "\"Grimholt" && index($0, t) { print $1; exit }'; }
wait_window() {
  for _ in $(seq 1 200); do id=$(window_id); [ -n "$id" ] && { echo "$id"; return 0; }; sleep 0.1; done
  return 1
}
# Waits up to $2 tenths of a second for pid $1 (a child of this shell) to end; sets status.
wait_exit() {
  status=running
  for _ in $(seq 1 "$2"); do
    if ! kill -0 "$1" 2>/dev/null; then wait "$1"; status=$?; return 0; fi
    sleep 0.1
  done
}
count_windows() { xwininfo -root -tree 2>/dev/null | grep -c "\"$title\": (\"$title\""; }

# /s ended by a key; a second /s meanwhile exits at once.
"$prog" /s >"$work/s1.log" 2>&1 &
saver=$!
if id=$(wait_window); then
  geometry=$(xwininfo -id "$id" | awk '/Width:/ {w=$2} /Height:/ {h=$2} /Absolute upper-left X:/ {x=$4} /Absolute upper-left Y:/ {y=$4} END {print w "x" h "+" x "+" y}')
  [ "$geometry" = "1024x768+0+0" ] || fail "/s window geometry is $geometry, not 1024x768+0+0"
  "$prog" /s >"$work/s2.log" 2>&1 &
  second=$!
  wait_exit "$second" 150
  [ "$status" = 0 ] || fail "second /s: $status (want a quick exit with status 0)"
  [ "$(count_windows)" = 1 ] || fail "second /s made a window"
  sleep 0.3
  xdotool mousemove 512 384 key space
  wait_exit "$saver" 150
  [ "$status" = 0 ] || fail "/s after a key press: $status"
else
  fail "/s made no window titled \"$title\""
fi

# /s ended by a click.
"$prog" /s >"$work/s3.log" 2>&1 &
saver=$!
if wait_window >/dev/null; then
  sleep 0.3
  xdotool mousemove 300 300 click 1
  wait_exit "$saver" 150
  [ "$status" = 0 ] || fail "/s after a click: $status"
else
  fail "/s (click run) made no window"
fi

# /t: keys and clicks leave it open, the close box closes it.
"$prog" /t >"$work/t.log" 2>&1 &
testwin=$!
if id=$(wait_window); then
  size=$(xwininfo -id "$id" | awk '/Width:/ {w=$2} /Height:/ {h=$2} END {print w "x" h}')
  [ "$size" = "600x400" ] || fail "/t client area is $size, not 600x400"
  xdotool mousemove 200 200 click 1 key space click 3
  sleep 0.8
  kill -0 "$testwin" 2>/dev/null || fail "/t ended on a key or click"
  "$closer" "$id"
  wait_exit "$testwin" 150
  [ "$status" = 0 ] || fail "/t after its close box: $status"
else
  fail "/t made no window"
fi

# /p without a window to live in: a small window of its own that input does not end.
"$prog" /p >"$work/p.log" 2>&1 &
preview=$!
if id=$(wait_window); then
  size=$(xwininfo -id "$id" | awk '/Width:/ {w=$2} /Height:/ {h=$2} END {print w "x" h}')
  [ "$size" = "155x115" ] || fail "/p window is $size, not 155x115"
  xdotool mousemove 512 384 click 1 key space
  sleep 0.8
  kill -0 "$preview" 2>/dev/null || fail "/p ended on input"
  "$closer" "$id"
  wait_exit "$preview" 150
  [ "$status" = 0 ] || fail "/p after close: $status"
else
  fail "/p made no window"
fi

# Headless: two virtual monitors, ended by a scripted key.
timeout 20 "$prog" --headless --monitors=2 --script=200:key /s >"$work/h.log" 2>&1
status=$?
[ "$status" = 0 ] || fail "headless /s on two monitors: $status"

# Headless frames on disk: /t presents 600 x 400 frames of the base saver's blue, every 10th kept.
mkdir -p "$work/frames"
timeout 20 "$prog" --headless --run-ms=100 --frames-out="$work/frames" --frame-every=10 --frame-stats /t \
  >"$work/frames.log" 2>&1
status=$?
[ "$status" = 0 ] || fail "headless /t with frames: $status"
grep -q 'frames per second' "$work/frames.log" || fail "headless /t printed no frame rate"
frame=$work/frames/frame_00001.bmp
if [ -f "$frame" ]; then
  # BMP header: width and height at bytes 18 and 22, 24 bits a pixel at 28; first pixel blue.
  got=$(od -An -tu4 -j18 -N8 "$frame" | tr -s ' ')
  [ "$got" = " 600 400" ] || fail "headless frame is not 600 x 400:$got"
  pixel=$(od -An -tx1 -j54 -N3 "$frame" | tr -d ' ')
  [ "$pixel" = "ff0000" ] || fail "headless frame is not blue: $pixel"
else
  fail "headless /t wrote no frame files"
fi

if [ "$failures" -ne 0 ]; then
  for f in "$work"/*.log; do echo "== $f"; cat "$f"; done
  exit 1
fi
echo "e2e: all passed"
