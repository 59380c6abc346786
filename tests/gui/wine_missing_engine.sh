#!/usr/bin/env bash
# The Windows program under Wine, without its engine module and with a module that lacks a
# function: each time the "DLL ERROR" box appears, and once it is answered the program ends with
# exit code 1. WINEPREFIX names the prefix; screenshots go to the folder given. Needs a display:
# scripts/with-xvfb.sh tests/gui/wine_missing_engine.sh ...
set -euo pipefail
program=${1:?usage: wine_missing_engine.sh PROGRAM.exe INCOMPLETE_NODE.dll SCREENSHOT_DIR}
incomplete=${2:?}
shots=${3:?}
mkdir -p "$shots"
work=$(mktemp -d /tmp/tovak-dll-XXXXXX)
trap 'rm -rf "$work"' EXIT
export WINEDEBUG=-all

expect_box() {  # case name, folder holding the program
  local status=0 box
  /usr/lib/wine/wine64 "$2/tovak-downloader.exe" > /dev/null 2>&1 &
  local app=$!
  if ! box=$(timeout 60 xdotool search --sync --name '^DLL ERROR$' | head -1); then
    kill "$app" 2>/dev/null || true
    echo "$1: no DLL ERROR box appeared" >&2
    exit 1
  fi
  sleep 0.5
  import -window root -crop 1280x640+0+0 "$shots/dll-error-$1.png"
  xdotool windowfocus --sync "$box" key Return
  wait "$app" || status=$?
  [ "$status" -eq 1 ] || { echo "$1: the program ended with $status, not 1" >&2; exit 1; }
  echo "$1: the DLL ERROR box appeared and the program ended"
}

mkdir -p "$work/without" "$work/incomplete"
cp "$program" "$work/without/"
expect_box missing-module "$work/without"
cp "$program" "$incomplete" "$work/incomplete/"
expect_box missing-function "$work/incomplete"
