#!/usr/bin/env bash
# Compiles the reference receiver for an Arduino Uno with Debian's Arduino.mk,
# out of the source tree, as a user would, and fails when it does not fit:
# the program within the Uno's upload limit (make verify_size) and the RAM
# with 512 bytes left for the stack. build-sketch.sh [ELF] also keeps the
# program, for the simulated board.
set -euo pipefail
sketch="$(cd "$(dirname "$0")/../../examples/arduino/orv_player" && pwd)"
top=$(mktemp -d)
trap 'rm -rf "$top"' EXIT
work="$top/orv_player"  # Arduino.mk names the program after its folder
mkdir "$work"
cp "$sketch"/Makefile "$sketch"/*.ino "$sketch"/*.h "$work/"
if ! make -C "$work" >"$work/make.log" 2>&1; then
  cat "$work/make.log"
  exit 1
fi
make -C "$work" verify_size >/dev/null
avr-size -A "$work/build-uno/orv_player_.elf" | awk '
  $1 == ".text" || $1 == ".data" { flash += $2 }
  $1 == ".data" || $1 == ".bss" || $1 == ".noinit" { ram += $2 }
  END {
    printf "orv_player for the Uno: %d bytes of program, %d bytes of RAM of 2048\n", flash, ram
    exit ram > 1536
  }'
if [ $# -gt 0 ]; then
  mkdir -p "$(dirname "$1")"
  cp "$work/build-uno/orv_player_.elf" "$1"
fi
