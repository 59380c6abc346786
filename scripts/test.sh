#!/usr/bin/env bash
# Builds and runs the whole test suite: a normal build, an AddressSanitizer + UBSan build, a
# ThreadSanitizer build of the concurrency and engine tests, the fuzz targets for a bounded time
# each (TOVAK_FUZZ_SECONDS, 20 by default), the Windows builds with the 64-bit suite under Wine, the
# Linux and Windows programs under Xvfb, and the release packages with a check of what they hold.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh --gui --windows
jobs=$(nproc)

build() {  # dir, sanitizer, further options
  mkdir -p "$1"
  cmake -S . -B "$1" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTOVAK_SANITIZE="$2" "${@:3}" > "$1/configure.log" 2>&1 \
    || { cat "$1/configure.log"; exit 1; }
  cmake --build "$1" -j"$jobs" > "$1/build.log" 2>&1 || { tail -50 "$1/build.log"; exit 1; }
}

echo "== normal build"
build build "" -DTOVAK_BUILD_GUI=ON
ctest --test-dir build -j"$jobs" --output-on-failure

echo "== address and undefined-behaviour sanitizers"
build build-asan address -DTOVAK_BUILD_GUI=OFF
ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  ctest --test-dir build-asan -j"$jobs" --output-on-failure

echo "== thread sanitizer: concurrency and engine"
build build-tsan thread -DTOVAK_BUILD_GUI=OFF
TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1" \
  ctest --test-dir build-tsan -j"$jobs" --output-on-failure -R 'TaskPool|Lock|Event|HandleTable|RecordQueue|EngineTest|Sized|MainWindow|Blocks/|FirstBlocks|TransferQueue'

echo "== fuzz targets, ${TOVAK_FUZZ_SECONDS:-20} s each"
build build-fuzz "" -DCMAKE_CXX_COMPILER=clang++ -DTOVAK_BUILD_FUZZERS=ON -DTOVAK_FUZZ_SECONDS="${TOVAK_FUZZ_SECONDS:-20}"
ctest --test-dir build-fuzz -j"$jobs" --output-on-failure

echo "== Windows: 32-bit build (compiled and linked), 64-bit build and its tests under Wine"
build build-win32 "" -DCMAKE_TOOLCHAIN_FILE=cmake/i686-w64-mingw32.cmake -DCMAKE_BUILD_TYPE=Release
build build-win64 "" -DCMAKE_TOOLCHAIN_FILE=cmake/x86_64-w64-mingw32.cmake -DCMAKE_BUILD_TYPE=Release
export WINEPREFIX="$PWD/build-win64/wine-prefix"
scripts/wine-prefix.sh "$WINEPREFIX" "$PWD/build-win64/drive-d"
# One program at a time: they share the prefix's drive D. Wine's windows are X11 windows, so the
# window and engine-module tests need a display.
scripts/with-xvfb.sh ctest --test-dir build-win64 -j1 --output-on-failure
echo "== Windows: the temporary tree on a machine without drive D:"
rm "$WINEPREFIX/dosdevices/d:"
scripts/wine-run.sh build-win64/bin/win32_platform_test.exe --gtest_filter='Win32NativePath.*'

echo "== the programs under Xvfb"
scripts/with-xvfb.sh tests/gui/missing_engine.sh build/tovak-downloader
CI=true scripts/run.sh
scripts/with-xvfb.sh tests/gui/wine_missing_engine.sh build-win64/bin/tovak-downloader.exe \
  build-win64/incomplete-node/node.dll build-win64/screenshots
unset WINEPREFIX
CI=true scripts/run-wine.sh

echo "== release packages"
for dir in build build-win32 build-win64; do
  (cd "$dir" && cpack -B packages > packages.log 2>&1) || { tail -30 "$dir/packages.log"; exit 1; }
done
tests/packaging/check_packages.sh build/packages/tovak-downloader_*.deb build-win32/packages/*-win32.zip \
  build-win64/packages/*-win64.zip
