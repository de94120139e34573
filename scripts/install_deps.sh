#!/usr/bin/env bash
# Installs every Debian package the project needs to build, test and run its demo.
# Idempotent: packages already present are not fetched again.
set -euo pipefail

packages=(
  build-essential cmake pkg-config git
  libavformat-dev libavcodec-dev libavutil-dev libswscale-dev libswresample-dev
  libgstreamer1.0-dev libgstreamer-plugins-base1.0-dev
  gstreamer1.0-plugins-base gstreamer1.0-plugins-good gstreamer1.0-pulseaudio gstreamer1.0-tools
  pulseaudio pulseaudio-utils
  qt6-base-dev qt6-base-dev-tools libgl-dev fonts-wqy-microhei
  libgtest-dev xvfb xauth matchbox-window-manager
  nginx libnginx-mod-rtmp
  ffmpeg
  python3
  time valgrind
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

echo "installing: ${missing[*]}" >&2
SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
