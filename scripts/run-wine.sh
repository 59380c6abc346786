#!/usr/bin/env bash
# Builds the 64-bit Windows program and starts it under Wine against a local demo release.
#
# Like scripts/run.sh: it serves an update page titled with a version and a sample archive from
# 127.0.0.1. With a display the window is yours to use; without one (or with CI=true) the script
# runs the program under Xvfb and drives it like a person: it checks that the window starts
# collapsed and centred, widens and narrows it, presses the download button, answers the retry
# prompt that a failed block brings up, waits for "下载完成！", compares the saved archive with the
# served one, and saves screenshots of the Ready, Downloading, Retry and Done states.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
scripts/install-deps.sh --gui --windows
mkdir -p build-app build-win64
cmake -S . -B build-app -DCMAKE_BUILD_TYPE=RelWithDebInfo > build-app/configure.log 2>&1 || { cat build-app/configure.log; exit 1; }
cmake --build build-app -j"$(nproc)" --target tovak-test-server > build-app/build.log 2>&1 || { tail -50 build-app/build.log; exit 1; }
cmake -S . -B build-win64 -DCMAKE_TOOLCHAIN_FILE=cmake/x86_64-w64-mingw32.cmake -DCMAKE_BUILD_TYPE=Release \
  > build-win64/configure.log 2>&1 || { cat build-win64/configure.log; exit 1; }
cmake --build build-win64 -j"$(nproc)" --target tovak-downloader node > build-win64/build.log 2>&1 || { tail -50 build-win64/build.log; exit 1; }

work=$(mktemp -d /tmp/tovak-wine-XXXXXX)
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  [ -n "${WINEPREFIX:-}" ] && /usr/lib/wine/wineserver -k 2>/dev/null || true
}
trap cleanup EXIT

# The program saves beside itself: a folder of its own keeps the build folder clean.
app="$work/app"
mkdir -p "$app"
cp build-win64/bin/tovak-downloader.exe build-win64/bin/node.dll "$app/"
echo "making a Wine prefix (drive D: is $work/drive-d)"
scripts/wine-prefix.sh "$work/prefix" "$work/drive-d"
export WINEPREFIX="$work/prefix" WINEDEBUG=-all

version=1.4.2
size=$((32 * 1048576))
head -c "$size" /dev/urandom > "$work/tovak.security.zip"
# 1 MiB/s per connection keeps the run long enough to be seen; the first block of the second
# range fails once, which brings up the retry prompt at the end of the first pass.
"$root/build-app/tests/tovak-test-server" --file "$work/tovak.security.zip" --title "$version" \
  --rate-limit 1048576 --fail-once-at $((size / 16 + 1)) > "$work/server.url" &
pids+=($!)
for _ in $(seq 100); do [ -s "$work/server.url" ] && break; sleep 0.1; done
base=$(cat "$work/server.url")
export TOVAK_UPDATE_PAGE_URL="$base/tovak安全/Dev/Update.html"
export TOVAK_RELEASE_BASE_URL="$base/releases/download/v"
echo "demo release $version served at $base"

if [ -n "${DISPLAY:-}" ] && [ "${CI:-}" != true ]; then
  /usr/lib/wine/wine64 "$app/tovak-downloader.exe"
  exit 0
fi

display=:$((300 + RANDOM % 100))
Xvfb "$display" -screen 0 1280x1024x24 -nolisten tcp > "$work/xvfb.log" 2>&1 &
pids+=($!)
export DISPLAY=$display
for _ in $(seq 50); do xdpyinfo > /dev/null 2>&1 && break; sleep 0.1; done
/usr/lib/wine/wine64 "$app/tovak-downloader.exe" > "$work/program.log" 2>&1 &
pids+=($!)
shots="$root/build-win64/screenshots"
mkdir -p "$shots"
shot() { import -display "$display" -window root -crop 1280x640+0+0 "$shots/$1.png"; }
fail() { echo "$*" >&2; exit 1; }

window=$(timeout 60 xdotool search --sync --name '^下载器$' | head -1) || fail "the window did not appear"
# Without a window manager Wine maps the client area alone; its X11 geometry is the client's.
client() {  # prints: left top width
  xdotool getwindowgeometry "$window" | awk '/Position/ {split($2, p, ","); x = p[1]; y = p[2]}
                                            /Geometry/ {split($2, g, "x"); w = g[1]} END {print x, y, w}'
}
wait_width() {  # the client width to wait for, given as a test on $w
  for _ in $(seq 50); do
    read -r x y w < <(client)
    eval "$1" && return 0
    sleep 0.1
  done
  fail "the window did not reach the expected width: left $x width $w"
}
# The window starts collapsed to 466 pixels (frame included) and centred on the 1280-pixel screen.
wait_width '[ "$w" -lt 466 ] && [ "$w" -gt 440 ]'
read -r x0 y0 w0 < <(client)
centre=$((x0 + w0 / 2))
[ $((centre - 640)) -ge -1 ] && [ $((centre - 640)) -le 1 ] || fail "the collapsed window is not centred: left $x0 width $w0"
sleep 3  # the update page loads
shot ready
xdotool mousemove $((x0 + 416 + 20)) $((y0 + 8 + 16)) click 1
wait_width "[ \$w -eq $((w0 + 885 - 466)) ]"
read -r x1 _ _ < <(client)
[ "$x1" -eq $((x0 - (407 - 197))) ] || fail "the expanded window is not centred: left $x1"
sleep 0.5
shot expanded
xdotool mousemove $((x1 + 416 + 20)) $((y0 + 8 + 16)) click 1
wait_width "[ \$w -eq $w0 ]"
echo "the window starts collapsed and centred, and the toggle widens and narrows it"

# The download button stays disabled until the page has loaded; press until the run has begun.
for _ in $(seq 20); do
  xdotool mousemove $((x0 + 197 + 40)) $((y0 + 162 + 16)) click 1
  sleep 1
  [ -d "$work/drive-d/01-Download/diRediruzu" ] && break
done
[ -d "$work/drive-d/01-Download/diRediruzu" ] || fail "the download did not start"
sleep 0.5
shot downloading
prompt=$(timeout 60 xdotool search --sync --name '^警告$' | head -1) || fail "no retry prompt appeared"
sleep 0.5
shot retry
# Yes is the prompt's default button.
xdotool windowfocus --sync "$prompt" key Return
saved="$app/Tovak Security.zip"
for _ in $(seq 120); do
  [ -f "$saved" ] && [ ! -d "$work/drive-d/01-Download/diRediruzu" ] && break
  sleep 0.5
done
sleep 1
shot done
cmp -s "$saved" "$work/tovak.security.zip" || fail "the saved archive does not match the served one"
echo "the saved archive matches the served one, after a retry: $saved"
echo "screenshots: $shots/{ready,expanded,downloading,retry,done}.png"
