#!/usr/bin/env bash
# Draws docs/dithers.png: one photo-like picture reduced by each --dither
# method of `orv convert`, rendered by `orv render` at scale 2 and stacked
# with the ffmpeg program, the source on top. Everything is made here: the
# picture is drawn with ffmpeg's geq filter, nothing is downloaded.
#   docs/make-gallery.sh [ORV] [OUTPUT]   (defaults build/bin/orv, docs/dithers.png)
set -euo pipefail
cd "$(dirname "$0")/.."
orv="${1:-build/bin/orv}"
out="${2:-docs/dithers.png}"
methods=(engrave threshold bayer floyd-steinberg blue-noise)
font=/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf
bold=/usr/share/fonts/truetype/dejavu/DejaVuSans-Bold.ttf
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
ff() { ffmpeg -hide_banner -loglevel error -y "$@"; }

# The scene, 512 x 256: a sky brightening towards the horizon, two rows of
# hills with a fence, and a ball lit from the upper left, in front.
near='(190+18*sin(X/70)+7*sin(X/23))'  # top of the near hill at column X
far='(150+22*sin(X/55+2))'             # top of the far hill
ball='(pow(X-360,2)+pow(Y-150,2))'     # squared distance from the ball's centre
radius=62
# Lit side: the normal's share along the light, 0..1.
light="clip(-0.5*(X-360)/$radius-0.55*(Y-150)/$radius+0.67*sqrt(max(0,1-$ball/($radius*$radius))),0,1)"
fence="lt(mod(X,26),4)*gt(Y,$near+18)*lt(Y,$near+52)+between(Y,$near+24,$near+27)"
spot="pow($light,12)"                   # the ball's highlight
# One channel: ball, fence, near hill, far hill or sky, from the front.
channel() {  # ball_dark ball_lit fence near_top near_fall far sky_top sky_horizon
    echo "if(lt($ball,$radius*$radius),$1+$2*$light+(250-$1-$2)*$spot,if(gt(Y,$near)*gt($fence,0),$3,if(gt(Y,$near),$4-$5*(Y-$near)/(H-$near)+8*sin(X*0.9)*sin(Y*1.3),if(gt(Y,$far),$6-30*(Y-$far)/40,$7+($8-$7)*Y/$far))))"
}
r="$(channel 20 225 50 70 50 120 80 230)"
g="$(channel 8 150 30 140 90 150 120 238)"
b="$(channel 4 90 15 40 30 155 200 248)"
scene="geq=r='$r':g='$g':b='$b'"
if [[ -f "$bold" ]]; then
    scene+=",drawtext=fontfile=$bold:text='ORV 128x64':fontsize=60:fontcolor=0x101830:x=20:y=12"
    scene+=",drawtext=fontfile=$bold:text='0123456789':fontsize=30:fontcolor=0x101830:x=24:y=84"
fi
ff -f lavfi -i "color=black:s=512x256:d=1,format=rgb24,$scene" -frames:v 1 "$work/picture.png"

# The source as the frame sees it (128 x 64), then each method, all at scale 2.
ff -i "$work/picture.png" -vf "scale=128:64:flags=area,scale=256:128:flags=neighbor" \
    "$work/row-0.png"
labels=(source "${methods[@]}")
n=1
for m in "${methods[@]}"; do
    "$orv" convert "$work/picture.png" -o "$work/$m.orv" --dither "$m" --fit stretch --quiet
    # A still picture may give more than one frame; they are all the same.
    "$orv" render "$work/$m.orv" -o "$work/row-$n.png" --frame 0 --scale 2
    n=$((n + 1))
done

# Each row with its label on the left, then the rows stacked.
inputs=() chains="" stack=""
for i in "${!labels[@]}"; do
    inputs+=(-i "$work/row-$i.png")
    label="pad=w=iw+176:h=ih+8:x=176:y=4:color=white"
    if [[ -f "$font" ]]; then
        label+=",drawtext=fontfile=$font:text='${labels[$i]}':fontsize=20:fontcolor=black:x=12:y=(h-th)/2"
    fi
    chains+="[$i:v]format=rgb24,$label[r$i];"
    stack+="[r$i]"
done
ff "${inputs[@]}" -filter_complex "${chains}${stack}vstack=inputs=${#labels[@]},format=rgb24" \
    -frames:v 1 "$work/gallery.png"
cp "$work/gallery.png" "$out"
if [[ ! -f "$font" || ! -f "$bold" ]]; then
    echo "make-gallery: no DejaVu fonts, so no lettering or labels" >&2
fi
echo "make-gallery: $out, rows: ${labels[*]}"
