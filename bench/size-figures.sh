#!/usr/bin/env bash
# Figures of frames of other sizes than 128 x 64, on clips of 10 s at 31 fps
# made here from ffmpeg's lavfi sources (256 x 128, 2:1):
#   large moving filled shapes on a light gradient (as bench/codec-ratios.sh)
#   testsrc2 (a test card with moving parts)
#   mandelbrot (a fractal zoom)
# each converted by orv convert --size WxH --fit crop (the picture fills the
# frame) with --dither threshold and blue-noise, at 128x64, 128x32, 72x40,
# 64x48, 96x16, 128x128 and 84x48.
#
# Ratios: raw size (orv export --format bin, the pages layout) over the pmh
# stream's size (orv export --codec pmh) and over gzip -9's of the same raw
# bytes; the stream is checked to decode to the raw bytes. Goal: pmh at least
# gzip -9 at every size.
#
# Speed: convert's frames/s (as it prints them) times the frame's pixels, on
# the test card, median of RUNS (default 3) runs, the sizes taking turns;
# against 128 x 64's. Goal: no size below 1.00. Nothing else heavy should run
# meanwhile: the machine's load is printed before and after.
#
# Prints two Markdown tables. ORV=path/to/orv uses that orv instead of
# building one in build/.
set -euo pipefail
shopt -s inherit_errexit
here="$(cd "$(dirname "$0")/.." && pwd)"
# shellcheck source=bench/ratio-clips.sh
. "$here/bench/ratio-clips.sh"
runs="${RUNS:-3}"
sizes="128x64 128x32 72x40 64x48 96x16 128x128 84x48"

makeRatioClips 10
convert() {  # CLIP SIZE DITHER OUT: prints convert's frames/s
  "$ORV" convert "$work/$1.mkv" -o "$4" --force --fps 31 --size "$2" --fit crop --dither "$3" |
    sed -n 's/.*(\([0-9.]*\) frames\/s)$/\1/p'
}

echo "| clip | dither | size | pmh | gzip -9 | pmh / gzip -9 |"
echo "|---|---|---|---|---|---|"
for row in "shapes large moving shapes" "card a test card with moving parts" \
  "fractal a fractal zoom"; do
  read -r clip label <<<"$row"
  for dither in threshold blue-noise; do
    for size in $sizes; do
      base="$work/$clip-$dither-$size"
      convert "$clip" "$size" "$dither" "$base.orv" >/dev/null
      "$ORV" export "$base.orv" -o "$base.bin" --format bin --layout pages >/dev/null
      "$ORV" export "$base.orv" -o "$base.pmh" --format bin --codec pmh --fps 31 >/dev/null
      "$ORV" export "$base.pmh" -o "$base.back.bin" --format bin >/dev/null
      cmp -s "$base.bin" "$base.back.bin" ||
        { echo "$clip $dither $size: the stream does not decode to the frames" >&2; exit 1; }
      raw=$(stat -c %s "$base.bin")
      pmh=$(stat -c %s "$base.pmh")
      gz=$(gzip -9 -c "$base.bin" | wc -c)
      margin=$(awk -v a="$gz" -v b="$pmh" 'BEGIN { printf "%.2f", a / b }')
      echo "| $label | $dither | ${size/x/ x } | $(ratio "$raw" "$pmh") ($pmh B) |" \
        "$(ratio "$raw" "$gz") ($gz B) | $margin |"
    done
  done
done
rm -f "$work"/*-*.orv "$work"/*.bin "$work"/*.pmh

echo
echo "machine before: load average $(cut -d' ' -f1-3 /proc/loadavg)"
declare -A rate
for dither in threshold blue-noise; do
  for ((run = 1; run <= runs; ++run)); do
    for size in $sizes; do
      rate[$dither $size]+="$(convert card "$size" "$dither" "$work/speed.orv") "
    done
  done
done
echo "machine after: load average $(cut -d' ' -f1-3 /proc/loadavg)"
echo
median() { tr ' ' '\n' | sed '/^$/d' | sort -g | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }
echo "| dither | size | frames/s, median of $runs (the runs) | pixels/s | against 128 x 64 |"
echo "|---|---|---|---|---|"
for dither in threshold blue-noise; do
  base=""
  for size in $sizes; do
    fps=$(median <<<"${rate[$dither $size]}")
    pixels=$(awk -v f="$fps" -v s="$size" 'BEGIN { split(s, d, "x"); printf "%.0f", f * d[1] * d[2] }')
    [ -n "$base" ] || base="$pixels"
    echo "| $dither | ${size/x/ x } | $fps (${rate[$dither $size]% }) | $pixels |" \
      "$(awk -v a="$pixels" -v b="$base" 'BEGIN { printf "%.2f", a / b }') |"
  done
done
