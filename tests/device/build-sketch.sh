#!/usr/bin/env bash
# Compiles a sketch of examples/arduino for an Arduino Uno with Debian's
# Arduino.mk, out of the source tree, as a user would, and fails when it does
# not fit: the program within the Uno's upload limit (make verify_size) and
# the RAM with 512 bytes left for the stack.
#   build-sketch.sh SKETCH [ELF [CLIP.h]] [make variables...]
# keeps the program as ELF (for a simulated board); the flash player plays
# CLIP.h instead of its own clip.h. Variables such as ORV_DISPLAY=sh1106 go
# to make.
set -euo pipefail
here="$(cd "$(dirname "$0")/../.." && pwd)"
name=$1
shift
elf="" clip=""
if [ $# -gt 0 ] && [[ $1 != *=* ]]; then elf=$1 && shift; fi
if [ $# -gt 0 ] && [[ $1 != *=* ]]; then clip=$1 && shift; fi
sketch="$here/examples/arduino/$name"
top=$(mktemp -d)
trap 'rm -rf "$top"' EXIT
work="$top/$name"  # Arduino.mk names the program after its folder
mkdir "$work"
cp "$sketch"/Makefile "$sketch"/*.ino "$work/"
cp "$sketch"/*.h "$work/" 2>/dev/null || true
if [ -n "$clip" ]; then cp "$clip" "$work/clip.h"; fi
if ! make -C "$work" ORV_DEVICE="$here/src/device" "$@" >"$work/make.log" 2>&1; then
  cat "$work/make.log"
  exit 1
fi
make -C "$work" ORV_DEVICE="$here/src/device" "$@" verify_size >/dev/null
avr-size -A "$work/build-uno/${name}_.elf" | awk -v name="$name" -v how="$*" '
  $1 == ".text" || $1 == ".data" { flash += $2 }
  $1 == ".data" || $1 == ".bss" || $1 == ".noinit" { ram += $2 }
  END {
    printf "%s %sfor the Uno: %d bytes of program, %d bytes of RAM of 2048\n",
      name, how == "" ? "" : "(" how ") ", flash, ram
    exit ram > 1536
  }'
if [ -n "$elf" ]; then
  mkdir -p "$(dirname "$elf")"
  cp "$work/build-uno/${name}_.elf" "$elf"
fi
