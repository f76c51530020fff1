#!/usr/bin/env bash
# Pictures of the dial-up dialog and the dial status window, as a desktop
# draws them: a virtual X display with a window manager, then the windows.
# Needs a build (scripts/build.sh); writes docs/screenshots/dialup/ by default.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
out=${1:-$top/docs/screenshots/dialup}
cmake --build "$top/build" --target dialup_screens >/dev/null

tmp=$(mktemp -d)
wm=
Xvfb -displayfd 3 -screen 0 800x600x24 -nolisten tcp 3>"$tmp/display" &
xvfb=$!
trap '{ [ -n "$wm" ] && kill $wm && wait $wm; kill $xvfb; wait $xvfb; } 2>/dev/null || true; rm -rf "$tmp"' EXIT
for _ in $(seq 100); do
  [ -s "$tmp/display" ] && break
  sleep 0.1
done
export DISPLAY=:$(head -n1 "$tmp/display")
openbox &
wm=$!
sleep 1 # the window manager takes over the screen
QT_QPA_PLATFORM=xcb "$top/build/bin/dialup_screens" "$out"
echo "pictures in $out"
