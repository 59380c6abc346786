#!/usr/bin/env bash
# Runs a command with DISPLAY set to an Xvfb of its own (1280x1024), which ends with the command.
set -euo pipefail
display=:$((500 + RANDOM % 100))
Xvfb "$display" -screen 0 1280x1024x24 -nolisten tcp > /dev/null 2>&1 &
xvfb=$!
trap 'kill $xvfb 2>/dev/null || true' EXIT
export DISPLAY=$display
for _ in $(seq 50); do xdpyinfo > /dev/null 2>&1 && break; sleep 0.1; done
"$@"
