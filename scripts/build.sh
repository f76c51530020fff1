#!/usr/bin/env bash
# Configures and builds into build/ (programs land in build/bin/): the targets
# named as arguments, or everything, tests included, when none are named.
#   scripts/build.sh                     everything
#   scripts/build.sh Skelwick Portlorn   the two programs and the files made beside them
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
cmake -S "$top" -B "$top/build" -G Ninja >/dev/null
targets=()
[ $# -eq 0 ] || targets=(--target "$@")
cmake --build "$top/build" --parallel "$(nproc)" "${targets[@]}"
