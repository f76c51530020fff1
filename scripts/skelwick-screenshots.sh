#!/usr/bin/env bash
# Pictures of Skelwick (logo, the main window connected to the project's
# server, each menu), framed by a real window manager on a virtual display,
# into docs/screenshots/skelwick/. Needs a build (scripts/build.sh).
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
out="$top/docs/screenshots/skelwick"
mkdir -p "$out"
work=$(mktemp -d)
# A small folder to show on the server's side.
mkdir -p "$work/root/pub" "$work/root/incoming"
printf 'Welcome to the demo server.\n' > "$work/root/README.txt"
head -c 180000 /dev/urandom > "$work/root/pub/archive.tar.gz"
head -c 4096 /dev/urandom > "$work/root/pub/notes.pdf"
# Large enough that a run is still going when it is pictured (sparse: costs no disk).
truncate -s 2G "$work/root/pub/disk-image.iso"
port=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])')
"$top/build/bin/portlorn_runner" --root "$work/root" --port "$port" --user demo --pass demo >/dev/null 2>&1 &
server=$!
trap 'kill $server 2>/dev/null || true; rm -rf "$work"' EXIT
# The server shows its folders by their full local path: an absolute start folder.
"$top/scripts/on-virtual-desktop.sh" "$top/build/bin/main_shots" "$out" "$port" demo demo "/$work/root/"
