#!/usr/bin/env bash
# Installs the Debian 12 packages this project needs, and only those that are
# missing. Does nothing when everything is already there.
set -euo pipefail

PACKAGES=(
  qt6-base-dev qt6-multimedia-dev qt6-serialport-dev
  xvfb xauth
  ffmpeg libavformat-dev libavcodec-dev libswscale-dev libavutil-dev
  socat time
  gstreamer1.0-plugins-base gstreamer1.0-plugins-good gstreamer1.0-libav
  libgtest-dev libgmock-dev libbenchmark-dev
  cmake ninja-build g++ clang-format
  fonts-wqy-microhei libxcb1-dev pkg-config openbox x11-utils locales
  arduino-mk arduino-core-avr
)

missing=()
for p in "${PACKAGES[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

SUDO=()
if [ "$(id -u)" -ne 0 ]; then
  SUDO=(sudo)
fi
if [ ${#missing[@]} -gt 0 ]; then
  echo "setup: installing ${missing[*]}" >&2
  export DEBIAN_FRONTEND=noninteractive
  "${SUDO[@]}" apt-get update -qq
  "${SUDO[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
# A locale that writes numbers with a decimal comma, for the windows' tests.
if ! locale -a 2>/dev/null | grep -qix 'de_DE.utf8'; then
  echo "setup: generating the locale de_DE.UTF-8" >&2
  "${SUDO[@]}" localedef -i de_DE -f UTF-8 de_DE.UTF-8
fi
