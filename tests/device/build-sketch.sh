#!/usr/bin/env bash
# Compiles a sketch of examples/arduino for an Arduino Uno with Debian's
# Arduino.mk, out of the source tree, as a user would, and fails when it does
# not fit: the program within the Uno's upload limit (make verify_size) and
# the RAM with 512 bytes left for the stack.
#   build-sketch.sh SKETCH [ELF [CLIP.h]]
# keeps the program as ELF (for a simulated board), and builds with CLIP.h
# instead of the sketch's own clip.h.
set -euo pipefail
here="$(cd "$(dirname "$0")/../.." && pwd)"
name=$1
top=$(mktemp -d)
trap 'rm -rf "$top"' EXIT
work="$top/$name"  # Arduino.mk names the program after its folder
mkdir "$work"
cp "$here/examples/arduino/$name"/{Makefile,*.ino,*.h} "$work/"
if [ $# -gt 2 ]; then cp "$3" "$work/clip.h"; fi
if ! make -C "$work" ORV_DEVICE="$here/src/device" >"$work/make.log" 2>&1; then
  cat "$work/make.log"
  exit 1
fi
make -C "$work" ORV_DEVICE="$here/src/device" verify_size >/dev/null
avr-size -A "$work/build-uno/${name}_.elf" | awk -v name="$name" '
  $1 == ".text" || $1 == ".data" { flash += $2 }
  $1 == ".data" || $1 == ".bss" || $1 == ".noinit" { ram += $2 }
  END {
    printf "%s for the Uno: %d bytes of program, %d bytes of RAM of 2048\n", name, flash, ram
    exit ram > 1536
  }'
if [ $# -gt 1 ]; then
  mkdir -p "$(dirname "$2")"
  cp "$work/build-uno/${name}_.elf" "$2"
fi
