#!/usr/bin/env bash
# The flash player on the simulated board (flash_sim): a 20 s clip at 30 fps
# of large moving shapes, exported with --flash uno, plays with the display
# RAM equal to every frame, each frame within 1 ms of its due time, and loops.
#   flash-player-sim.sh ORV FLASH_SIM
set -euo pipefail
here="$(cd "$(dirname "$0")/../.." && pwd)"
orv=$1
sim=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# Three dark shapes moving over a light gradient (as bench/codec-ratios.sh).
shapes="if(lt(hypot(X-128-85*sin(0.9*T),Y-64-28*sin(1.3*T)),42),35+40*Y/H,"
shapes+="if(lt(abs(X-128-95*sin(0.5*T+1)),24)*lt(abs(Y-70-22*cos(0.7*T)),52),70,"
shapes+="if(lt(hypot((X-128-60*cos(0.35*T))/2.2,Y-96-10*sin(2*T)),16),55,165+70*X/W)))"
ffmpeg -hide_banner -loglevel error -f lavfi \
  -i "color=c=gray:size=256x128:rate=30:duration=20,format=gray,geq=lum='$shapes'" \
  -c:v ffv1 -y "$work/shapes.mkv"
"$orv" convert "$work/shapes.mkv" -o "$work/clip.orv" --fps 30 --dither threshold >/dev/null
"$orv" export "$work/clip.orv" --codec pmh --fps 30 --display ssd1306 --flash uno -o "$work/clip.h"
"$orv" export "$work/clip.orv" --display ssd1306 -o "$work/frames.bin" >/dev/null
"$here/tests/device/build-sketch.sh" orv_flash_player "$work/player.elf" "$work/clip.h"
# 20 s and the start of the next time round.
"$sim" "$work/player.elf" --expect "$work/frames.bin" --fps 30 --seconds 21 2>/dev/null
