# Sourced by the ratio benches, after they set `here`: builds orv in build/
# unless ORV names one, and makes a scratch folder, $work.
# makeRatioClips SECONDS makes there the clips they measure (256 x 128 at
# 31 fps, lossless): shapes, three dark shapes moving over a light gradient,
# 2:1 like the picture; card, a test card with moving parts; fractal, a
# fractal zoom.
# shellcheck shell=bash
if [ -z "${ORV:-}" ]; then
  "${here:?}/scripts/setup.sh"
  cmake -S "$here" -B "$here/build" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
  cmake --build "$here/build" --target orv >/dev/null
  ORV="$here/build/bin/orv"
fi
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
makeRatioClips() {
  local seconds=$1
  lavfi() {  # NAME SOURCE
    ffmpeg -hide_banner -loglevel error -f lavfi -i "$2" -t "$seconds" -c:v ffv1 -y "$work/$1.mkv"
  }
  local shapes="if(lt(hypot(X-128-85*sin(0.9*T),Y-64-28*sin(1.3*T)),42),35+40*Y/H,"
  shapes+="if(lt(abs(X-128-95*sin(0.5*T+1)),24)*lt(abs(Y-70-22*cos(0.7*T)),52),70,"
  shapes+="if(lt(hypot((X-128-60*cos(0.35*T))/2.2,Y-96-10*sin(2*T)),16),55,165+70*X/W)))"
  lavfi shapes "color=c=gray:size=256x128:rate=31:duration=$seconds,format=gray,geq=lum='$shapes'"
  lavfi card "testsrc2=size=256x128:rate=31:duration=$seconds"
  lavfi fractal "mandelbrot=size=256x128:rate=31"
}
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.1fx", a / b }'; }
