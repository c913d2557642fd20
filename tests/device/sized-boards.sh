#!/usr/bin/env bash
# Panels smaller than 128 x 64 on the simulated board, an SSD1306 whose panel
# shows part of its 128 x 64 RAM. For each, both sketches are built for it
# (make ORV_DISPLAY=NAME): the flash player plays a clip of the panel's size,
# each frame on time, and the receiver shows every frame orv send sends it;
# the panel's part of the RAM is checked frame by frame against orv export's
# frames, and the set-up each sketch gives is the data sheet's for the
# panel. orv send refuses a file of 128 x 64 frames for that receiver, naming
# both sizes.
#   sized-boards.sh ORV FLASH_SIM ORV_SIM
set -euo pipefail
here="$(cd "$(dirname "$0")/../.." && pwd)"
orv=$1 flashSim=$2 orvSim=$3
work=$(mktemp -d)
sim=""
trap '[ -n "$sim" ] && kill -9 "$sim" 2>/dev/null; rm -rf "$work"' EXIT
ffmpeg -hide_banner -loglevel error -f lavfi -i "testsrc2=size=256x128:rate=31" -t 1 \
  -c:v ffv1 -y "$work/card.mkv"
"$orv" convert "$work/card.mkv" -o "$work/full.orv" --quiet
status=0
fault() {
  echo "$*"
  status=1
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

# NAME PANEL MUX COM_PINS: the panel on the controller's RAM (WxH@its first
# column) and the set-up its data sheet asks for: a multiplex ratio of its
# rows less one, COM pins 0x02 (sequential, 2) for the 32-row module and 0x12
# (alternative, 18) for the others.
while read -r display panel mux com; do
  size=${panel%@*}
  w=${size%x*} h=${size#*x}
  "$orv" convert "$work/card.mkv" -o "$work/$display.orv" --display "$display" \
    --dither blue-noise --quiet
  # What the panel should show: a set bit a lit pixel.
  "$orv" export "$work/$display.orv" --display "$display" -o "$work/$display.bin" >/dev/null
  frames=$(($(stat -c %s "$work/$display.bin") / (w * h / 8)))

  "$orv" export "$work/$display.orv" --codec pmh --flash uno --name clip -o "$work/clip.h" \
    --force >/dev/null
  "$here/tests/device/build-sketch.sh" orv_flash_player "$work/player.elf" "$work/clip.h" \
    "ORV_DISPLAY=$display"
  ran=$("$flashSim" "$work/player.elf" --expect "$work/$display.bin" --fps 31 --seconds 2.5 \
    --panel "$panel" 2>/dev/null | grep '^frames=') || fault "flash player on $display:"
  echo "$ran"
  [[ $ran == *" mux=$mux com_pins=$com" ]] || fault "flash player on $display: not its set-up"

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
