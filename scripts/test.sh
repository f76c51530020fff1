#!/usr/bin/env bash
# Sets the machine up, builds, and runs every test (unit, GUI offscreen and interop).
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
"$top/scripts/setup.sh"
"$top/scripts/build.sh"
export QT_QPA_PLATFORM=${QT_QPA_PLATFORM:-offscreen}
ctest --test-dir "$top/build" --output-on-failure --parallel "$(nproc)" --timeout 600
