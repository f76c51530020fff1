#!/usr/bin/env bash
# Sets the machine up, builds, and starts the programs on a working default.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
"$top/scripts/setup.sh"
"$top/scripts/build.sh"
# Without a display the programs still run (the server serves), just unseen.
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ] && [ -z "${QT_QPA_PLATFORM:-}" ]; then
  echo "No display found: starting without a visible window (QT_QPA_PLATFORM=offscreen)."
  export QT_QPA_PLATFORM=offscreen
fi
started=0
for prog in Portlorn Skelwick; do
  if [ -x "$top/build/bin/$prog" ]; then
    "$top/build/bin/$prog" "$@" &
    started=1
  fi
done
if [ "$started" -eq 0 ]; then
  echo "The programs are not built yet: only the libraries and their tests exist so far."
  exit 0
fi
wait
