#!/usr/bin/env bash
# Installs the Debian 12 packages this project needs, and only those that are
# missing. Does nothing when everything is already there.
#
#   setup.sh run    what building and running the tool need (./run)
#   setup.sh test   that, and what the tests, benchmarks and package checks
#                   need (./test and CI); the default
set -euo pipefail

role="${1:-test}"
case "$role" in
  run | test) ;;
  *)
    echo "usage: setup.sh [run|test]" >&2
    exit 2
    ;;
esac

# Building: the compiler, CMake, the libraries' development files and lrelease
# for the windows' English captions.
BUILD_PACKAGES=(
  cmake ninja-build g++ pkg-config
  qt6-base-dev qt6-multimedia-dev qt6-serialport-dev qt6-svg-dev
  libavformat-dev libavcodec-dev libswscale-dev libavutil-dev
  libxcb1-dev libxcb-shm0-dev
  libpipewire-0.3-dev
  qt6-l10n-tools
)
# Running: the ffmpeg program for the demo clip, GStreamer's plugins to play
# video in the window, a font for the Chinese captions.
RUN_PACKAGES=(
  ffmpeg
  gstreamer1.0-plugins-base gstreamer1.0-plugins-good gstreamer1.0-libav
  fonts-wqy-microhei
)
# Testing only: the test and benchmark libraries, the format check, private X
# servers with and without a window manager, a headless Wayland desktop whose
# screen is read through the desktop portal (sway, XWayland, a terminal with a
# font, the session bus, PipeWire and the portal, and Qt's Wayland platform
# for the tool started natively there), virtual serial cables, the
# benchmarks' peak-memory readings, the comma locale, the Arduino sketches'
# build and the simulated board they run on (simavr's library and parts), the
# Debian package's build and checks, and the accessibility bus with its
# Python client, to read the windows as a screen reader does.
TEST_PACKAGES=(
  libgtest-dev libgmock-dev libbenchmark-dev
  clang-format
  xvfb xauth openbox x11-utils
  sway xwayland foot fonts-dejavu-core dbus dbus-session-bus-common
  pipewire pipewire-bin wireplumber xdg-desktop-portal xdg-desktop-portal-wlr qt6-wayland
  socat
  time
  locales
  arduino-mk arduino-core-avr libsimavr-dev libsimavrparts1
  dpkg-dev file lintian desktop-file-utils
  at-spi2-core python3-pyatspi gir1.2-atspi-2.0
)

PACKAGES=("${BUILD_PACKAGES[@]}" "${RUN_PACKAGES[@]}")
if [ "$role" = test ]; then
  PACKAGES+=("${TEST_PACKAGES[@]}")
fi

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
if [ "$role" = test ]; then
  # A locale that writes numbers with a decimal comma, for the windows' tests.
  if ! locale -a 2>/dev/null | grep -qix 'de_DE.utf8'; then
    echo "setup: generating the locale de_DE.UTF-8" >&2
    "${SUDO[@]}" localedef -i de_DE -f UTF-8 de_DE.UTF-8
  fi
fi
