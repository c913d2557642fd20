#!/usr/bin/env bash
# Installs the Debian 12 packages this project needs, and only those that are
# missing. Does nothing when everything is already there.
set -euo pipefail

PACKAGES=(
  qt6-base-dev qt6-multimedia-dev qt6-serialport-dev
  xvfb xauth
  ffmpeg libavformat-dev libavcodec-dev libswscale-dev libavutil-dev
  socat
  gstreamer1.0-plugins-base gstreamer1.0-plugins-good gstreamer1.0-libav
  libgtest-dev libgmock-dev libbenchmark-dev
  cmake ninja-build g++ clang-format
  fonts-wqy-microhei libxcb1-dev pkg-config openbox x11-utils
)

missing=()
for p in "${PACKAGES[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

echo "setup: installing ${missing[*]}" >&2
SUDO=()
if [ "$(id -u)" -ne 0 ]; then
  SUDO=(sudo)
fi
export DEBIAN_FRONTEND=noninteractive
"${SUDO[@]}" apt-get update -qq
"${SUDO[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
