#!/usr/bin/env bash
# Wall time and peak memory of `orv convert` against the ffmpeg program doing
# the same decoding and scaling with none of our work:
#   ffmpeg -i IN -vf fps=N,scale=W:H -f rawvideo -pix_fmt bgra -y /dev/null
# with W x H the size orv scales the clip to. Clips of 10 s made here from
# lavfi's testsrc2 (moving shapes and a counter):
#   640x480 H.264 and MJPEG at 25 fps, --fps 30       (no target: the old cases)
#   1080p MJPEG at 30 fps, --fps 30                   target: at most 0.60 x ffmpeg
#   720p H.264 (preset medium, B-frames), --fps 30    target: at most 0.85 x
#   the same at --fps 10                              target: at most 0.70 x
# For MJPEG ffmpeg also runs with -lowres 3 (decoding at an eighth of the
# size, as orv does); the ratio is against the faster of the two.
# Peak memory (maximum resident set, from /usr/bin/time) of orv must be no
# higher than ffmpeg's in every case.
# Median of RUNS (default 5) runs each, orv and ffmpeg taking turns; nothing
# else heavy should run meanwhile. Prints every figure and ratio, and how busy
# the machine was before and after.
set -euo pipefail
shopt -s inherit_errexit
here="$(cd "$(dirname "$0")/.." && pwd)"
runs="${RUNS:-5}"
"$here/scripts/setup.sh"
cmake -S "$here" -B "$here/build" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$here/build" --target orv >/dev/null
orv="$here/build/bin/orv"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

# How busy the machine is with nothing of ours running: percent of all cores
# over two seconds, from /proc/stat.
busy() {
  local -a a b
  read -ra a < <(grep '^cpu ' /proc/stat)
  sleep 2
  read -ra b < <(grep '^cpu ' /proc/stat)
  local total=0 i
  for i in 1 2 3 4 5 6 7 8; do total=$((total + b[i] - a[i])); done
  echo "$(((total - (b[4] - a[4]) - (b[5] - a[5])) * 100 / total))% busy"
}
echo "machine before: load average $(cut -d' ' -f1-3 /proc/loadavg), $(busy)"
make_clip() {  # lavfi source, encoder options, file name
  local source="$1" codec="$2" name="$3"
  # shellcheck disable=SC2086 # the encoder options are words
  ffmpeg -hide_banner -loglevel error -f lavfi -i "$source" $codec "$work/$name"
}
make_clip testsrc2=size=640x480:rate=25:duration=10 "-c:v libx264 -pix_fmt yuv420p" h264.mp4
make_clip testsrc2=size=640x480:rate=25:duration=10 "-c:v mjpeg -q:v 3 -pix_fmt yuvj420p" mjpeg.avi
make_clip testsrc2=size=1920x1080:rate=30:duration=10 "-c:v mjpeg -q:v 3 -pix_fmt yuvj420p" \
  mjpeg1080.avi
make_clip testsrc2=size=1280x720:rate=30:duration=10 \
  "-c:v libx264 -preset medium -pix_fmt yuv420p" h264-720.mp4

# One run: prints "wall-seconds peak-KiB".
measure() {
  local t0 t1
  t0=$(date +%s.%N)
  /usr/bin/time -o "$work/rss" -f %M "$@" >/dev/null 2>&1
  t1=$(date +%s.%N)
  awk -v a="$t0" -v b="$t1" -v m="$(tail -1 "$work/rss")" 'BEGIN { printf "%.4f %d\n", b - a, m }'
}
median() { sort -g | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }
largest() { sort -g | tail -1; }

verdicts=()
# clip, --fps, scaled size (what orv scales to: letterboxed into 128 x 64),
# target ratio or -, and whether ffmpeg may also decode small.
bench() {
  local clip="$1" fps="$2" size="$3" target="$4" lowres="$5"
  local -a ours=() plain=() small=()
  local scale="fps=$fps,scale=${size/x/:}"
  for _ in $(seq "$runs"); do
    ours+=("$(measure "$orv" convert "$work/$clip" -o "$work/out.orv" --fps "$fps" --force --quiet)")
    plain+=("$(measure ffmpeg -hide_banner -loglevel error -i "$work/$clip" \
      -vf "$scale" -f rawvideo -pix_fmt bgra -y /dev/null)")
    if [ "$lowres" = yes ]; then
      small+=("$(measure ffmpeg -hide_banner -loglevel error -lowres 3 -i "$work/$clip" \
        -vf "$scale" -f rawvideo -pix_fmt bgra -y /dev/null)")
    fi
  done
  local o om f fm which="ffmpeg"
  o=$(printf '%s\n' "${ours[@]}" | cut -d' ' -f1 | median)
  om=$(printf '%s\n' "${ours[@]}" | cut -d' ' -f2 | largest)
  f=$(printf '%s\n' "${plain[@]}" | cut -d' ' -f1 | median)
  fm=$(printf '%s\n' "${plain[@]}" | cut -d' ' -f2 | largest)
  printf '%-14s --fps %-2s orv %.3f s %6d KiB | ffmpeg %.3f s %6d KiB, ratio %.2f\n' \
    "$clip" "$fps" "$o" "$om" "$f" "$fm" "$(awk -v a="$o" -v b="$f" 'BEGIN { print a / b }')"
  if [ "$lowres" = yes ]; then
    local s sm
    s=$(printf '%s\n' "${small[@]}" | cut -d' ' -f1 | median)
    sm=$(printf '%s\n' "${small[@]}" | cut -d' ' -f2 | largest)
    printf '%-14s --fps %-2s orv %.3f s %6d KiB | ffmpeg -lowres 3 %.3f s %6d KiB, ratio %.2f\n' \
      "$clip" "$fps" "$o" "$om" "$s" "$sm" "$(awk -v a="$o" -v b="$s" 'BEGIN { print a / b }')"
    if awk -v a="$s" -v b="$f" 'BEGIN { exit !(a < b) }'; then
      f="$s" fm="$sm" which="ffmpeg -lowres 3"
    fi
  fi
  local ratio verdict
  ratio=$(awk -v a="$o" -v b="$f" 'BEGIN { printf "%.2f", a / b }')
  if [ "$target" = - ]; then
    verdict="ratio $ratio (no target)"
  elif awk -v r="$ratio" -v t="$target" 'BEGIN { exit !(r <= t) }'; then
    verdict="ratio $ratio against $which, target $target: met"
  else
    verdict="ratio $ratio against $which, target $target: NOT MET"
  fi
  if [ "$om" -le "$fm" ]; then
    verdict+="; peak memory $om KiB against $fm KiB: no higher"
  else
    verdict+="; peak memory $om KiB against $fm KiB: HIGHER"
  fi
  verdicts+=("$(printf '%-14s --fps %-2s %s' "$clip" "$fps" "$verdict")")
}

bench h264.mp4 30 85x64 - no
bench mjpeg.avi 30 85x64 - no
bench mjpeg1080.avi 30 114x64 0.60 yes
bench h264-720.mp4 30 114x64 0.85 no
bench h264-720.mp4 10 114x64 0.70 no
echo "median of $runs runs; machine after: load average $(cut -d' ' -f1-3 /proc/loadavg), $(busy)"
printf '%s\n' "${verdicts[@]}"
