#!/usr/bin/env bash
# Fidelity and flicker of each `orv convert --dither` method against ffmpeg's
# own dithers (paletteuse with a black and white palette), on 128 x 64 grey
# clips made here from lavfi sources, 2 s at 25 fps, stored losslessly:
#   card     testsrc2 (a test card with moving parts and a counter)
#   fractal  mandelbrot (a fractal zoom)
#   photo    a still photograph-like picture: a sky, a shaded ball, stripes,
#            blurred noise for texture
#   shapes   two discs and a bar moving over a gradient
#   still    photo with two pixels one level up on every other frame, at a
#            new place each time
#   noise    photo with every pixel one level up or not, at random, each frame
# orv reads each clip at its own rate with --fit stretch, so it reduces the
# very grey pixels ffmpeg does.
# Fidelity: PSNR of the one-bit result against the grey clip, both blurred by
# a 5 x 5 binomial kernel (a Gaussian of sigma 1), over every frame of card,
# fractal, photo and shapes. Flicker: the mean share of pixels that change
# between one frame and the next, on still, noise and shapes.
# Targets: floyd-steinberg within 0.7 dB of ffmpeg's best fidelity on each of
# the four clips; bayer and blue-noise flicker no higher than ffmpeg's bayer
# at its least flickering bayer_scale. Prints a Markdown table, then the
# verdicts, then whether floyd-steinberg gives the very pixels of ffmpeg's
# floyd_steinberg (the same arithmetic) on every clip.
# ORV=path/to/orv uses that orv instead of building one in build-run/.
set -euo pipefail
shopt -s inherit_errexit
here="$(cd "$(dirname "$0")/.." && pwd)"
if [ -z "${ORV:-}" ]; then
  "$here/scripts/build.sh" run >/dev/null
  ORV="$here/build-run/bin/orv"
fi
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
ff() { ffmpeg -hide_banner -loglevel error -nostdin -y "$@"; }
grey="scale=128:64:flags=area,format=gray"
store() { ff "${@:2}" -frames:v 50 -c:v ffv1 "$work/$1.mkv"; }  # NAME INPUT...

store card -f lavfi -i testsrc2=size=256x128:rate=25 -vf "$grey"
store fractal -f lavfi -i mandelbrot=size=256x128:rate=25 -vf "$grey"
ball='(pow(X-170,2)+pow(Y-70,2))'
photo="if(lt($ball,2500),40+150*clip((190-X+70-Y)/100,0,1),"
photo+="if(gt(Y,95),60+40*sin(X/9)*gt(sin(X/3),0),200-120*Y/95+20*sin(X/40)))"
ff -f lavfi -i "color=gray:size=256x128,format=gray,geq=lum='$photo',noise=alls=24:allf=u" \
  -vf "gblur=sigma=1.2,$grey" -frames:v 1 "$work/photo.png"
store photo -loop 1 -framerate 25 -i "$work/photo.png"
shapes="if(lt(hypot(X-128-70*sin(T),Y-64-20*cos(1.7*T)),30),30,"
shapes+="if(lt(hypot(X-60-30*cos(0.6*T),Y-40),18),230,"
shapes+="if(lt(abs(X-200+40*sin(0.8*T)),12),90,40+160*(X+Y)/(W+H))))"
store shapes -f lavfi -i "color=gray:size=256x128:rate=25,format=gray,geq=lum='$shapes'" \
  -vf "$grey"
# Two pixels one level up on odd frames, each time at a new place.
raise="mod(N,2)*(eq(X,mod(37*N,128))*eq(Y,mod(23*N,64))"
raise+="+eq(X,mod(37*N+64,128))*eq(Y,mod(23*N+32,64)))"
store still -loop 1 -framerate 25 -i "$work/photo.png" -vf "geq=lum='p(X,Y)+$raise'"
# Every pixel one level up with chance one half, from a hash of X, Y and N.
coin="gt(mod(abs(sin(12.9898*X+78.233*Y+37.719*N)*43758.5453),1),0.5)"
store noise -loop 1 -framerate 25 -i "$work/photo.png" -vf "geq=lum='p(X,Y)+$coin'"

# The two-colour palette paletteuse wants: 16 x 16 entries, half black, half white.
ff -f lavfi -i color=black:size=16x8 -f lavfi -i color=white:size=16x8 \
  -filter_complex "[0][1]vstack,format=rgb24" -frames:v 1 "$work/palette.png"

# Each method's frames of a clip, as raw 128 x 64 grey (0 or 255) in OUT.
ours() {  # method clip out
  "$ORV" convert "$work/$2.mkv" -o "$work/o.orv" --dither "$1" --fit stretch --fps 25 --force \
    --quiet
  "$ORV" export "$work/o.orv" -o "$work/o.bin" --format bin --layout rows-msb --set-bit light \
    --force >/dev/null
  ff -f rawvideo -pix_fmt monob -video_size 128x64 -i "$work/o.bin" -f rawvideo -pix_fmt gray "$3"
}
theirs() {  # paletteuse-options clip out
  ff -i "$work/$2.mkv" -i "$work/palette.png" \
    -lavfi "[0]format=rgb24[v];[v][1]paletteuse=$1,format=gray" -f rawvideo "$3"
}
raw() { echo "-f rawvideo -pix_fmt gray -video_size 128x64 -framerate 25 -i $1"; }
blur="convolution=0m='1 4 6 4 1 4 16 24 16 4 6 24 36 24 6 4 16 24 16 4 1 4 6 4 1':0rdiv=1/256"
fidelity() {  # frames clip
  # shellcheck disable=SC2046 # the input options are words
  ffmpeg -hide_banner -nostdin $(raw "$1") -i "$work/$2.mkv" \
    -lavfi "[0]${blur}[a];[1]format=gray,${blur}[b];[a][b]psnr" -f null - 2>&1 |
    sed -n 's/.*PSNR.* average:\([0-9.]*\).*/\1/p' | xargs printf '%.2f'
}
# The mean share of pixels that change from one frame to the next, in percent,
# then how many of the frame pairs change at all ("8 of 49").
flicker() {  # frames
  local yavg="metadata=print:key=lavfi.signalstats.YAVG:file=-"
  # shellcheck disable=SC2046
  ff $(raw "$1") -vf "tblend=all_mode=difference,signalstats,$yavg" -f null - |
    awk -F= '/YAVG/ { s += $2; n++; k += $2 > 0 }
      END { printf "%.2f %d of %d", 100 * s / n / 255, k, n }'
}

fidelity_clips=(card fractal photo shapes)
flicker_clips=(still noise shapes)
rows=()
for m in engrave threshold bayer floyd-steinberg blue-noise; do rows+=("ours $m"); done
rows+=("theirs dither=none")
for s in 0 1 2 3 4 5; do rows+=("theirs dither=bayer:bayer_scale=$s"); done
for d in heckbert floyd_steinberg sierra2 sierra2_4a; do rows+=("theirs dither=$d"); done

header="| method |"
for c in "${fidelity_clips[@]}"; do header+=" $c, dB |"; done
for c in "${flicker_clips[@]}"; do header+=" $c, % changed |"; done
echo "$header"
echo "|---|$(printf -- '---|%.0s' "${fidelity_clips[@]}" "${flicker_clips[@]}")"
declare -A fid flick pairs
for row in "${rows[@]}"; do
  read -r who what <<<"$row"
  label="orv $what"
  if [ "$who" = theirs ]; then
    label="ffmpeg ${what#dither=}" label=${label/:bayer_scale=/, scale }
  fi
  line="| $label |"
  for c in "${fidelity_clips[@]}"; do
    "$who" "$what" "$c" "$work/f.raw"
    fid[$what,$c]=$(fidelity "$work/f.raw" "$c")
    line+=" ${fid[$what,$c]} |"
  done
  for c in "${flicker_clips[@]}"; do
    "$who" "$what" "$c" "$work/f.raw"
    read -r share changed <<<"$(flicker "$work/f.raw")"
    flick[$what,$c]=$share pairs[$what,$c]=$changed
    line+=" ${flick[$what,$c]} |"
  done
  echo "$line"
done

echo
for c in "${fidelity_clips[@]}"; do
  best=0 which=""
  for row in "${rows[@]}"; do
    read -r who what <<<"$row"
    [ "$who" = theirs ] || continue
    if awk -v a="${fid[$what,$c]}" -v b="$best" 'BEGIN { exit !(a > b) }'; then
      best=${fid[$what,$c]} which=${what#dither=}
    fi
  done
  ours=${fid[floyd-steinberg,$c]}
  verdict=$(awk -v a="$ours" -v b="$best" 'BEGIN { print (a >= b - 0.7 ? "met" : "NOT MET") }')
  echo "$c: floyd-steinberg $ours dB, ffmpeg's best $best dB ($which): within 0.7 dB $verdict"
done
for m in bayer blue-noise; do
  for c in "${flicker_clips[@]}"; do
    least=100
    for s in 0 1 2 3 4 5; do
      least=$(awk -v a="${flick[dither=bayer:bayer_scale=$s,$c]}" -v b="$least" \
        'BEGIN { print (a < b ? a : b) }')
    done
    ours=${flick[$m,$c]}
    verdict=$(awk -v a="$ours" -v b="$least" 'BEGIN { print (a <= b ? "met" : "NOT MET") }')
    echo "$c: $m flickers $ours %, ffmpeg's least flickering bayer $least %: no higher $verdict"
  done
done
same=0
for c in "${fidelity_clips[@]}" still noise; do
  ours floyd-steinberg "$c" "$work/a.raw"
  theirs dither=floyd_steinberg "$c" "$work/b.raw"
  if cmp -s "$work/a.raw" "$work/b.raw"; then
    same=$((same + 1))
  else
    echo "$c: floyd-steinberg differs from ffmpeg's floyd_steinberg"
  fi
done
echo "floyd-steinberg: the same pixels as ffmpeg's floyd_steinberg on $same of 6 clips"
echo "still: floyd-steinberg changes the picture between ${pairs[floyd-steinberg,still]} frame" \
  "pairs, ffmpeg's floyd_steinberg between ${pairs[dither=floyd_steinberg,still]}"
