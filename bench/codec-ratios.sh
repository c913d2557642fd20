#!/usr/bin/env bash
# Compression ratios of the pmh frame stream (docs/codec.md) against gzip -9
# and xz -9e of the same raw frames, on 30 s clips at 31 fps made here from
# ffmpeg's lavfi sources:
#   large moving filled shapes on a light gradient, threshold and blue-noise
#   testsrc2 (a test card with moving parts), threshold
#   mandelbrot (a fractal zoom), threshold
# Each clip goes through orv convert, then orv export --format bin --layout
# pages (raw) and --codec pmh; the stream is checked to decode to the raw
# bytes. Prints a Markdown table. ORV=path/to/orv uses that orv instead of
# building one in build/.
set -euo pipefail
shopt -s inherit_errexit
here="$(cd "$(dirname "$0")/.." && pwd)"
# shellcheck source=bench/ratio-clips.sh
. "$here/bench/ratio-clips.sh"

makeRatioClips 30
echo "| clip | dither | pmh | gzip -9 | xz -9e |"
echo "|---|---|---|---|---|"
for row in "shapes threshold large moving shapes" "shapes blue-noise large moving shapes" \
  "card threshold a test card with moving parts" "fractal threshold a fractal zoom"; do
  read -r clip dither label <<<"$row"
  base="$work/$clip-$dither"
  "$ORV" convert "$work/$clip.mkv" -o "$base.orv" --fps 31 --dither "$dither" >/dev/null
  "$ORV" export "$base.orv" -o "$base.bin" --format bin --layout pages >/dev/null
  "$ORV" export "$base.orv" -o "$base.pmh" --format bin --codec pmh --fps 31 >/dev/null
  "$ORV" export "$base.pmh" -o "$base.back.bin" --format bin >/dev/null
  cmp -s "$base.bin" "$base.back.bin" || { echo "$clip $dither: the stream does not decode to the frames" >&2; exit 1; }
  raw=$(stat -c %s "$base.bin")
  pmh=$(stat -c %s "$base.pmh")
  gz=$(gzip -9 -c "$base.bin" | wc -c)
  xz=$(xz -9e -c "$base.bin" | wc -c)
  echo "| $label | $dither | $(ratio "$raw" "$pmh") ($pmh B) | $(ratio "$raw" "$gz") | $(ratio "$raw" "$xz") |"
done
