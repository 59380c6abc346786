#!/usr/bin/env bash
# The program without its browser engine shows the "DLL ERROR" box naming the module, under Xvfb.
set -euo pipefail
program=${1:?usage: missing_engine.sh PROGRAM}
display=:$((200 + RANDOM % 100))
Xvfb "$display" -screen 0 1280x1024x24 -nolisten tcp > /dev/null 2>&1 &
xvfb=$!
trap 'kill $xvfb 2>/dev/null || true; kill $app 2>/dev/null || true' EXIT
export DISPLAY=$display
for _ in $(seq 50); do xdpyinfo > /dev/null 2>&1 && break; sleep 0.1; done
TOVAK_BROWSER_MODULE=libno-such-engine.so.0 TOVAK_DRIVE_D=$(mktemp -d) "$program" > /dev/null 2>&1 &
app=$!
if timeout 20 xdotool search --sync --name '^DLL ERROR$' > /dev/null; then
  echo "the DLL ERROR box appeared"
else
  echo "no DLL ERROR box appeared" >&2
  exit 1
fi
