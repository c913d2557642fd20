#!/usr/bin/env bash
# The sketches on the simulated board, an SSD1306 (flash_sim for the flash
# player, orv_sim for the receiver), with a test card made here.
#   boards.sh ORV FLASH_SIM: the flash player at 128 x 64 with a busy clip (the
# card dithered by engrave, every page of every frame changing) and one
# exported without --display (the card in blue noise, whose loop's restart
# changes the most).
#   boards.sh ORV FLASH_SIM ORV_SIM: panels smaller than 128 x 64, which show
# part of the controller's 128 x 64 RAM. For each, both sketches are built for
# it (make ORV_DISPLAY=NAME): the flash player plays a clip of the panel's
# size, and the receiver shows every frame orv send sends it, the panel's part
# of the RAM checked frame by frame against orv export's frames; orv send
# refuses a file of 128 x 64 frames for that receiver, naming both sizes.
# The flash player plays at 31 fps a clip exported with --flash uno, the panel
# showing every frame as its source has it, white where the source is white,
# each frame within 1 ms of its time, the loop's restart included; the time
# orv export states for the slowest frame is no less than the simulation's,
# nor 5 % more. Each sketch gives the panel the set-up of its data sheet.
set -euo pipefail
here="$(cd "$(dirname "$0")/../.." && pwd)"
orv=$1 flashSim=$2 orvSim=${3:-}
work=$(mktemp -d)
sim=""
trap '[ -n "$sim" ] && kill -9 "$sim" 2>/dev/null; rm -rf "$work"' EXIT
ffmpeg -hide_banner -loglevel error -f lavfi -i "testsrc2=size=256x128:rate=31" -t 2 \
  -c:v ffv1 -y "$work/card.mkv"
status=0
fault() {
  echo "$*"
  status=1
}

# The flash player on DISPLAY (PANEL MUX COM_PINS, as below) playing SECONDS of
# the card in DITHER, its clip exported with EXPORT OPTIONS.
play() {
  local display=$1 panel=$2 mux=$3 com=$4 dither=$5 seconds=$6 said ran
  shift 6
  "$orv" convert "$work/card.mkv" -o "$work/$display.orv" --display "$display" \
    --dither "$dither" --duration "$seconds" --force --quiet
  # What the panel should show: a set bit a lit pixel.
  "$orv" export "$work/$display.orv" --display "$display" -o "$work/$display.bin" --force \
    >/dev/null
  said=$("$orv" export "$work/$display.orv" --codec pmh --flash uno --name clip \
    -o "$work/clip.h" --force "$@")
  echo "$said"
  "$here/tests/device/build-sketch.sh" orv_flash_player "$work/player.elf" "$work/clip.h" \
    "ORV_DISPLAY=$display"
  ran=$("$flashSim" "$work/player.elf" --expect "$work/$display.bin" --fps 31 --panel "$panel" \
    --seconds "$(awk -v s="$seconds" 'BEGIN { print 2 * s + 0.5 }')" 2>/dev/null |
    grep '^frames=') || fault "flash player on $display, $dither:"
  echo "$ran"
  [[ $ran == *" mux=$mux com_pins=$com" ]] || fault "flash player on $display: not its set-up"
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

# The receiver on the board, fed FILE by orv send with OPTIONS; what orv send
# said is in send.txt, the board's report in report.txt.
receive() {
  local file=$1 display=$2 panel=$3
  shift 3
  rm -f "$work/board"
  "$orvSim" "$work/receiver.elf" --pty "$work/board" --report "$work/report.txt" \
    --expect "$work/$display.bin" --panel "$panel" >"$work/board.log" &
  sim=$!
  for _ in $(seq 500); do [ -e "$work/board" ] && break || sleep 0.01; done
  local sent=0
  "$orv" send "$file" --port "$work/board" "$@" >"$work/send.txt" 2>&1 || sent=$?
  kill -TERM "$sim"
  wait "$sim" || true
  sim=""
  return $sent
}

if [ -z "$orvSim" ]; then
  play ssd1306 128x64@0 63 18 engrave 1.5 --display ssd1306
  play ssd1306 128x64@0 63 18 blue-noise 2
  exit $status
fi
"$orv" convert "$work/card.mkv" -o "$work/full.orv" --duration 1 --quiet
# NAME PANEL MUX COM_PINS: the panel on the controller's RAM (WxH@its first
# column) and the set-up its data sheet asks for: a multiplex ratio of its
# rows less one, COM pins 0x02 (sequential, 2) for the 32-row module and 0x12
# (alternative, 18) for the others.
while read -r display panel mux com; do
  size=${panel%@*}
  w=${size%x*} h=${size#*x}
  play "$display" "$panel" "$mux" "$com" blue-noise 1
  frames=$(($(stat -c %s "$work/$display.bin") / (w * h / 8)))
  "$here/tests/device/build-sketch.sh" orv_player "$work/receiver.elf" "ORV_DISPLAY=$display"
  receive "$work/$display.orv" "$display" "$panel" --display "$display" --fps 10 ||
    fault "orv send to $display: $(cat "$work/send.txt")"
  shown=$(grep -c '^shown ' "$work/report.txt" || true)
  echo "receiver on $display: $shown of $frames frames shown; $(grep '^panel' "$work/report.txt")"
  [ "$shown" -eq "$frames" ] || fault "receiver on $display: not every frame shown"
  grep -q "^panel on=1 inverted=0 mux=$mux com_pins=$com$" "$work/report.txt" ||
    fault "receiver on $display: not its set-up"

  if receive "$work/full.orv" "$display" "$panel" --set-bit light; then
    fault "orv send sent 128 x 64 frames to a receiver of $w x $h"
  fi
  grep -q "128 x 64.*$w x $h\|$w x $h.*128 x 64" "$work/send.txt" ||
    fault "orv send's refusal names not both sizes: $(cat "$work/send.txt")"
done <<EOF
ssd1306-128x32 128x32@0 31 2
ssd1306-72x40 72x40@28 39 18
ssd1306-64x48 64x48@32 47 18
EOF
exit $status
