#!/usr/bin/env bash
# Wall time of `orv convert --fps 30` against the ffmpeg program doing the same
# decoding and scaling with none of our work, on a 10 s 640x480 H.264 clip and
# an MJPEG AVI. Median of RUNS (default 5) runs each; prints the ratios.
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
runs="${RUNS:-5}"
"$here/scripts/setup.sh"
"$here/scripts/build.sh" >/dev/null
orv="$here/build/bin/orv"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

ffmpeg -hide_banner -loglevel error -f lavfi -i testsrc2=size=640x480:rate=25:duration=10 \
  -c:v libx264 -pix_fmt yuv420p "$work/h264.mp4"
ffmpeg -hide_banner -loglevel error -f lavfi -i testsrc2=size=640x480:rate=25:duration=10 \
  -c:v mjpeg -q:v 3 -pix_fmt yuvj420p "$work/mjpeg.avi"

seconds() {  # wall seconds of one run of the command
  local t0 t1
  t0=$(date +%s.%N)
  "$@" >/dev/null 2>&1
  t1=$(date +%s.%N)
  awk -v a="$t0" -v b="$t1" 'BEGIN { printf "%.4f\n", b - a }'
}
median() { sort -g | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }

for clip in h264.mp4 mjpeg.avi; do
  ours=(); theirs=()
  for _ in $(seq "$runs"); do
    ours+=("$(seconds "$orv" convert "$work/$clip" -o "$work/out.orv" --fps 30 --force --quiet)")
    theirs+=("$(seconds ffmpeg -hide_banner -loglevel error -i "$work/$clip" \
      -vf fps=30,scale=129:65 -f rawvideo -pix_fmt bgra -y /dev/null)")
  done
  o=$(printf '%s\n' "${ours[@]}" | median)
  f=$(printf '%s\n' "${theirs[@]}" | median)
  printf '%-10s orv convert %.3f s, ffmpeg %.3f s, ratio %.2f (median of %d)\n' \
    "$clip" "$o" "$f" "$(awk -v a="$o" -v b="$f" 'BEGIN { print a / b }')" "$runs"
done
