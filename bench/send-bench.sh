#!/usr/bin/env bash
# orv send to a pseudo-terminal, where nothing answers (so without waiting for
# a receiver to announce itself): frames on time at 46 fps over a minute, and
# the bytes a frame takes, framed against raw, on the demo clip (everything
# moves) and on a talking-head-like clip (a still picture with a small moving
# part): bench/send-bench.sh [SECONDS] (default 60).
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
seconds="${1:-60}"
"$here/scripts/build.sh" >/dev/null
orv="$here/build/bin/orv"
work=$(mktemp -d)
pids=()
cleanup() {
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
  rm -rf "$work"
}
trap cleanup EXIT

"$here/scripts/make-demo.sh" "$work/demo.avi"
ffmpeg -hide_banner -loglevel error -f lavfi -i "smptebars=s=256x128:r=25:d=20" \
  -f lavfi -i "testsrc2=s=40x40:r=25:d=20" \
  -filter_complex "[0][1]overlay=x=108+20*sin(t*2):y=44" -c:v mjpeg -q:v 3 -y "$work/head.avi"
for clip in demo head; do
  "$orv" convert "$work/$clip.avi" -o "$work/$clip.orv" --fps 46 --dither blue-noise --quiet
done

socat pty,raw,echo=0,link="$work/near" pty,raw,echo=0,link="$work/far" &
pids+=($!)
for _ in $(seq 100); do [ -e "$work/far" ] && break; sleep 0.05; done
cat "$work/far" >/dev/null &
pids+=($!)

run() {  # clip mode seconds
  local clip=$1 mode=$2 secs=$3
  { timeout --signal=INT "$secs" "$orv" send "$work/$clip.orv" --port "$work/near" --fps 46 \
    --loop --mode "$mode" --wait 0 || true; } | tail -n 1
}
echo "== on time at 46 fps for $seconds s (framed, demo clip)"
run demo framed "$seconds"
echo "== bytes a frame"
for clip in demo head; do
  for mode in framed raw; do
    printf '%s %s: ' "$clip" "$mode"
    run "$clip" "$mode" 5 | sed -E 's/.*\(([0-9]+) bytes, ([0-9]+) a frame\).*/\2 bytes a frame (\1 in all)/'
  done
done
