#!/usr/bin/env bash
# The capture's CPU against ffmpeg's screen grab, in one run on one private X
# server: the tool's clock at 46 fps recording the 131 x 65 capture rectangle,
# then `ffmpeg -f x11grab` of the same rectangle at the same rate reduced to
# one bit, for SECONDS each (default 60). Prints both and the ratio, and the
# tool's tick cost and ticks on time: bench/capture-vs-ffmpeg.sh [SECONDS].
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
seconds="${1:-60}"
"$here/scripts/build.sh" >/dev/null
inner() {
  local secs=$1 bin=$2
  ours=$(QT_QPA_PLATFORM=xcb "$bin/tick_bench" 2000 "$secs" 46 2>/dev/null)
  echo "$ours"
  # The tool grabs from 476, 231 (its design place), 131 x 65.
  local mark
  mark=$(mktemp)
  times >"$mark"  # (in this shell: a pipe would ask a subshell)
  read -r -a before < <(tail -n 1 "$mark")
  ffmpeg -hide_banner -loglevel error -f x11grab -framerate 46 -video_size 131x65 \
    -i "$DISPLAY+476,231" -t "$secs" -pix_fmt monob -f rawvideo -y /dev/null
  times >"$mark"
  read -r -a after < <(tail -n 1 "$mark")
  rm -f "$mark"
  tos() { awk -v t="$1" 'BEGIN { split(t, p, "m"); sub("s", "", p[2]); print p[1] * 60 + p[2] }'; }
  local cpu
  cpu=$(awk -v a="$(tos "${after[0]}")" -v b="$(tos "${after[1]}")" \
    -v c="$(tos "${before[0]}")" -v d="$(tos "${before[1]}")" -v s="$secs" \
    'BEGIN { printf "%.4f", (a + b - c - d) / s }')
  echo "ffmpeg x11grab at 46 fps: process CPU $cpu s a second"
  local tool
  tool=$(echo "$ours" | sed -n 's/^process CPU: \([0-9.]*\) s a second.*/\1/p')
  awk -v o="$tool" -v f="$cpu" 'BEGIN { printf "ratio (tool / ffmpeg): %.2f\n", o / f }'
}
export -f inner
"$here/tests/gui/on-xvfb.sh" bash -c "inner $seconds $here/build/bin"
