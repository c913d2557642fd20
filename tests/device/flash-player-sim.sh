#!/usr/bin/env bash
# The flash player on the simulated board (flash_sim), at 31 fps, with clips
# exported with --flash uno: a busy one (a test card dithered by engrave, every
# page of every frame changing) and one exported without --display (the test
# card in blue noise, whose loop's restart changes the most). Each plays with
# the panel showing every frame as its source has it, white where the source
# is white, each frame within 1 ms of its time, the loop's restart included;
# and the time orv export states for the slowest frame is no less than the
# simulation's, nor 5 % more.
#   flash-player-sim.sh ORV FLASH_SIM
set -euo pipefail
here="$(cd "$(dirname "$0")/../.." && pwd)"
orv=$1
sim=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
ffmpeg -hide_banner -loglevel error -f lavfi -i "testsrc2=size=256x128:rate=31" -t 2 \
  -c:v ffv1 -y "$work/card.mkv"
status=0
# NAME DITHER SECONDS [EXPORT OPTIONS...]
play() {
  local name=$1 dither=$2 seconds=$3
  shift 3
  "$orv" convert "$work/card.mkv" -o "$work/$name.orv" --dither "$dither" --duration "$seconds" \
    >/dev/null
  local said
  said=$("$orv" export "$work/$name.orv" --codec pmh --flash uno --name clip -o "$work/clip.h" --force "$@")
  echo "$said"
  # What the panel should show: a set bit a lit pixel.
  "$orv" export "$work/$name.orv" --display ssd1306 -o "$work/frames.bin" --force >/dev/null
  "$here/tests/device/build-sketch.sh" orv_flash_player "$work/player.elf" "$work/clip.h"
  local ran
  ran=$("$sim" "$work/player.elf" --expect "$work/frames.bin" --fps 31 \
    --seconds "$(awk -v s="$seconds" 'BEGIN { print 2 * s + 0.5 }')" 2>/dev/null | grep '^frames=') ||
    status=1
  echo "$ran"
  awk -v said="$said" -v ran="$ran" 'BEGIN {
    match(said, /takes [0-9.]+ ms/)
    stated = substr(said, RSTART + 6, RLENGTH - 9) * 1000
    match(ran, /slowest_us=[0-9]+/)
    measured = substr(ran, RSTART + 11, RLENGTH - 11)
    if (stated < measured - 50 || stated > measured * 1.05) {
      printf "orv export states %d us for the slowest frame, the simulation %d us\n", stated, measured
      exit 1
    }
  }' || status=1
}
play busy engrave 1.5 --display ssd1306
play dark blue-noise 2
exit $status
