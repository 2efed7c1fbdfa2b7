#!/usr/bin/env bash
# The window under a real X server: F5 makes the six images of the picture in
# Input, and Ctrl+Q closes the window. The keys go through the X server, as a
# user's do. Exits 77 (skipped) when xvfb-run or xdotool is not installed.
#   xvfb_check.sh BIN_DIR
set -euo pipefail

if [ "${1:-}" = --inside ]; then
  work=$2
  "$work/kestro-welcome" >"$work/window.log" 2>&1 &
  pid=$!
  window=$(timeout 60 xdotool search --sync --onlyvisible --name "^Kestro Welcome Screen" | head -n 1)
  [ -n "$window" ] || { echo "the window did not show"; exit 1; }
  xdotool windowfocus --sync "$window"
  xdotool key F5
  # Waits for the images, as long as a slow machine may need.
  for _ in $(seq 600); do
    [ "$(find "$work/Output" -name 'logo_*_welcome.img' | wc -l)" -eq 6 ] && break
    sleep 0.1
  done
  made=$(find "$work/Output" -name 'logo_*_welcome.img' | wc -l)
  [ "$made" -eq 6 ] || { echo "F5 made $made images, not 6"; cat "$work/window.log"; exit 1; }
  xdotool windowfocus --sync "$window"
  xdotool key ctrl+q
  for _ in $(seq 300); do
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.1
  done
  if kill -0 "$pid" 2>/dev/null; then
    echo "Ctrl+Q did not close the window"
    kill "$pid"
    exit 1
  fi
  wait "$pid"
  echo "F5 made 6 images; Ctrl+Q closed the window"
  exit 0
fi

bin=$1
if ! command -v xvfb-run >/dev/null || ! command -v xdotool >/dev/null; then
  echo "xvfb-run or xdotool is not installed (Debian: xvfb, xauth, xdotool)"
  exit 77
fi
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# A copy of its own, as a portable program: its working folders go beside it.
cp "$bin/kestro-welcome" "$work/"
mkdir -p "$work/Input"
"$bin/kestro-welcome-cli" sample "$work/Input/logo.bmp" >/dev/null
# The window remembers its choices here, not in the user's settings.
export XDG_CONFIG_HOME=$work/config
unset QT_QPA_PLATFORM
xvfb-run -a -s "-screen 0 1280x1024x24" bash "$0" --inside "$work"
