#!/usr/bin/env bash
# Runs a cross-built x86_64 Windows program under Wine, in the prefix that WINEPREFIX names
# (scripts/wine-prefix.sh makes one); CTest calls it for every test of the Windows build.
set -euo pipefail
export WINEDEBUG=-all
exec /usr/lib/wine/wine64 "$@"
