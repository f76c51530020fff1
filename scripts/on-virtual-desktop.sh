#!/usr/bin/env bash
# Runs a command on a private virtual X display (Xvfb) with a real window
# manager (openbox), as a desktop would show its windows; both end with it.
#   scripts/on-virtual-desktop.sh COMMAND [ARGS...]
set -euo pipefail
# The first free display number.
n=90
while [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ]; do n=$((n + 1)); done
Xvfb ":$n" -screen 0 1280x900x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
wm=""
trap 'kill $wm $xvfb 2>/dev/null || true' EXIT
for _ in $(seq 50); do [ -e "/tmp/.X11-unix/X$n" ] && break; sleep 0.1; done
DISPLAY=":$n" openbox >/dev/null 2>&1 &
wm=$!
sleep 1 # the window manager takes over the screen
DISPLAY=":$n" QT_QPA_PLATFORM=xcb "$@"
