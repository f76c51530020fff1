#!/usr/bin/env bash
# Takes the pictures of the drawing library under docs/widgets/: a private
# Xvfb with the openbox window manager, and the gallery program on it.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
gallery="$top/build/bin/widgets_gallery"
[ -x "$gallery" ] || { echo "build first: $gallery is missing" >&2; exit 1; }
exec {fd}<> <(:)
Xvfb -displayfd "$fd" -screen 0 1024x768x24 -nolisten tcp &
xvfb=$!
read -r -u "$fd" number
export DISPLAY=":$number"
openbox &
wm=$!
trap 'kill $wm $xvfb 2>/dev/null; wait $wm $xvfb 2>/dev/null || true' EXIT
sleep 1
QT_QPA_PLATFORM=xcb "$gallery" "$top/docs/widgets"
echo "pictures in $top/docs/widgets"
