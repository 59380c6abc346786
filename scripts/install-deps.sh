#!/usr/bin/env bash
# Installs the Debian packages that building, testing and running need; a no-op when present.
set -euo pipefail
packages=(build-essential cmake pkg-config libgtest-dev libgmock-dev libcurl4-openssl-dev libcpp-httplib-dev
          libssl-dev openssl ca-certificates nginx clang libclang-rt-14-dev)
if [ "${1:-}" = "--gui" ]; then
  packages+=(libgtk-3-dev libwebkit2gtk-4.1-0 xvfb xauth xdotool imagemagick fonts-noto-cjk)
fi
missing=()
for package in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed' || missing+=("$package")
done
if [ ${#missing[@]} -gt 0 ]; then
  sudo_cmd=""
  [ "$(id -u)" -ne 0 ] && sudo_cmd="sudo"
  $sudo_cmd apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo_cmd apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
