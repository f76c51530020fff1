#!/usr/bin/env bash
# Pictures of the client's dialogs, framed by a real window manager on a
# virtual display, into docs/screenshots/client/. Needs a build (scripts/build.sh).
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
"$top/scripts/on-virtual-desktop.sh" "$top/build/bin/client_ui_shots" "$top/docs/screenshots/client"
