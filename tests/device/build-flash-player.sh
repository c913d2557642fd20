#!/usr/bin/env bash
# Compiles the flash player for an Arduino Uno with Debian's Arduino.mk, out
# of the source tree, and fails when it does not fit: the program within the
# Uno's upload limit (make verify_size) and the RAM with 512 bytes left for
# the stack.
#   build-flash-player.sh [CLIP.h [ELF]]
# plays CLIP.h instead of the sketch's own clip.h, and keeps the program.
set -euo pipefail
here="$(cd "$(dirname "$0")/../.." && pwd)"
sketch="$here/examples/arduino/orv_flash_player"
top=$(mktemp -d)
trap 'rm -rf "$top"' EXIT
work="$top/orv_flash_player"  # Arduino.mk names the program after its folder
mkdir "$work"
cp "$sketch"/Makefile "$sketch"/*.ino "$sketch"/clip.h "$work/"
if [ $# -gt 0 ]; then cp "$1" "$work/clip.h"; fi
if ! make -C "$work" ORV_DEVICE="$here/src/device" >"$work/make.log" 2>&1; then
  cat "$work/make.log"
  exit 1
fi
make -C "$work" ORV_DEVICE="$here/src/device" verify_size >/dev/null
avr-size -A "$work/build-uno/orv_flash_player_.elf" | awk '
  $1 == ".text" || $1 == ".data" { flash += $2 }
  $1 == ".data" || $1 == ".bss" || $1 == ".noinit" { ram += $2 }
  END {
    printf "orv_flash_player for the Uno: %d bytes of program, %d bytes of RAM of 2048\n", flash, ram
    exit ram > 1536
  }'
if [ $# -gt 1 ]; then
  mkdir -p "$(dirname "$2")"
  cp "$work/build-uno/orv_flash_player_.elf" "$2"
fi
