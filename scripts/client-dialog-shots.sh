#!/usr/bin/env bash
# Pictures of the client's dialogs, framed by a real window manager on a
# virtual display, into docs/screenshots/client/. Needs a build (scripts/build.sh).
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
out="$top/docs/screenshots/client"
# The first free display number.
n=90
while [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ]; do n=$((n + 1)); done
Xvfb ":$n" -screen 0 1280x900x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
trap 'kill $wm $xvfb 2>/dev/null || true' EXIT
wm=""
for _ in $(seq 50); do [ -e "/tmp/.X11-unix/X$n" ] && break; sleep 0.1; done
DISPLAY=":$n" openbox >/dev/null 2>&1 &
wm=$!
sleep 1
DISPLAY=":$n" QT_QPA_PLATFORM=xcb "$top/build/bin/client_ui_shots" "$out"
