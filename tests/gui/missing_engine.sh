#!/usr/bin/env bash
# The program without its browser engine shows the "DLL ERROR" box naming the module. Needs a
# display: scripts/with-xvfb.sh tests/gui/missing_engine.sh PROGRAM
set -euo pipefail
program=${1:?usage: missing_engine.sh PROGRAM}
TOVAK_BROWSER_MODULE=libno-such-engine.so.0 TOVAK_DRIVE_D=$(mktemp -d) "$program" > /dev/null 2>&1 &
app=$!
trap 'kill $app 2>/dev/null || true' EXIT
if timeout 20 xdotool search --sync --name '^DLL ERROR$' > /dev/null; then
  echo "the DLL ERROR box appeared"
else
  echo "no DLL ERROR box appeared" >&2
  exit 1
fi
