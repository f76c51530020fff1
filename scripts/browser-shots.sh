#!/usr/bin/env bash
# Pictures of the two browsing windows against a local pyftpdlib server,
# framed by a real window manager on a virtual display, into
# docs/screenshots/browser/. Needs a build (scripts/build.sh).
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
"$top/scripts/on-virtual-desktop.sh" "$top/build/bin/browser_shots" "$top/docs/screenshots/browser"
