#!/usr/bin/env bash
# orv convert --size against the ffmpeg program at every kind of size: grey
# clips of the frame's own size, in YUV 4:2:0 as most video is (converted to
# the frame without scaling, where swscale spills past a row's end), made here
# at 30 fps and converted at another rate with --fit stretch, give the very
# frames ffmpeg's fps filter picks and the very pixels of its two-colour
# paletteuse: floyd-steinberg its floyd_steinberg, threshold its nearest
# colour (dither=none).
#   sizes-vs-ffmpeg.sh ORV
set -euo pipefail
orv=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
ff() { ffmpeg -hide_banner -loglevel error -nostdin -y "$@"; }
# The palette paletteuse wants: 16 x 16 entries, half black, half white.
ff -f lavfi -i color=black:size=16x8 -f lavfi -i color=white:size=16x8 \
  -filter_complex "[0][1]vstack,format=rgb24" -frames:v 1 "$work/palette.png"
status=0
# SIZE SOURCE RATE
while read -r size source rate; do
  ff -f lavfi -i "$source=size=256x128:rate=30" \
    -vf "scale=${size/x/:}:flags=area,format=gray,format=yuv420p" \
    -frames:v 30 -c:v ffv1 "$work/clip.mkv"
  for pair in floyd-steinberg:floyd_steinberg threshold:none; do
    "$orv" convert "$work/clip.mkv" -o "$work/o.orv" --size "$size" --fps "$rate" \
      --dither "${pair%:*}" --fit stretch --force --quiet
    "$orv" export "$work/o.orv" -o "$work/o.bin" --layout rows-msb --set-bit light --force \
      >/dev/null
    ff -f rawvideo -pix_fmt monob -video_size "$size" -i "$work/o.bin" -f rawvideo \
      -pix_fmt gray "$work/ours.raw"
    ff -i "$work/clip.mkv" -i "$work/palette.png" -lavfi \
      "[0]fps=$rate,format=rgb24[v];[v][1]paletteuse=dither=${pair#*:},format=gray" \
      -f rawvideo "$work/theirs.raw"
    if cmp -s "$work/ours.raw" "$work/theirs.raw"; then
      echo "$size $source at $rate fps, ${pair%:*}: the same frames and pixels"
    else
      echo "$size $source at $rate fps, ${pair%:*}: $(cmp -l "$work/ours.raw" "$work/theirs.raw" |
        wc -l) bytes of $(stat -c %s "$work/theirs.raw") differ"
      status=1
    fi
  done
done <<EOF
128x64 mandelbrot 24
72x40 testsrc2 24
128x32 mandelbrot 25
84x48 testsrc2 30
96x16 mandelbrot 12
8x8 testsrc2 24
256x128 mandelbrot 24
EOF
exit $status
