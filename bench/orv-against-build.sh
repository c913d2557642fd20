#!/usr/bin/env bash
# Compares two builds of orv, for a change that must leave the command line
# as it was:
#   bench/orv-against-build.sh OLD_ORV [NEW_ORV]      (NEW_ORV: build/bin/orv)
# 1. The frame files that convert writes, byte for byte, from clips made here
#    with the ffmpeg program (every --dither method, the fits, tone options,
#    --invert, --start, several rates), and those of orv image engrave --orv.
# 2. Standard output, standard error, the exit status and the files left
#    behind, for every --help and several hundred command lines: unknown,
#    repeated, valueless and out-of-range options, = forms, --, operands.
# 3. What each command makes of real frame files: info, render's PNG and GIF,
#    export in every format, layout, polarity and display, with and without
#    its codec and from a stream, repair of a cut file, and the bytes send
#    puts on a serial line, raw and framed (through socat's virtual cable).
# Each difference is printed; the exit status is 1 if there is any.
set -uo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
old=$(realpath "$1")
new=$(realpath "${2:-$here/build/bin/orv}")
export old new  # read through ${!prog}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
runs=0 differ=0
ff() { ffmpeg -hide_banner -loglevel error -y "$@"; }
same() {  # a run's files of the two builds, or a difference
    runs=$((runs + 1))
    local part bad=""
    for part in "$@"; do cmp -s "$work/old.$part" "$work/new.$part" || bad="$bad $part"; done
    [ -z "$bad" ] && return
    differ=$((differ + 1))
    echo "=== differs ($bad ): $what"
    for part in $bad; do diff "$work/old.$part" "$work/new.$part" | head -8; done
}

mkdir "$work/clips" "$work/fixture"
cd "$work/clips" || exit 1
ff -f lavfi -i testsrc2=s=320x240:r=25:d=3 -c:v libx264 -pix_fmt yuv420p card.mp4
ff -f lavfi -i "mandelbrot=s=480x200:r=30,trim=duration=2" -c:v mjpeg -q:v 3 -pix_fmt yuvj420p wide.avi
ff -f lavfi -i color=black:s=256x128:r=60:d=2 -f lavfi -i color=white:s=40x40:r=60:d=2 \
    -filter_complex "[0][1]overlay=x=t*100:y=40" -c:v libx264 -pix_fmt yuv420p box60.mp4
ff -f lavfi -i gradients=s=200x300:r=12:d=3 -c:v libx264 -pix_fmt yuv420p tall12.mkv
ff -f lavfi -i testsrc=s=320x180:r=24:d=2 -c:v libx264 -pix_fmt yuv420p flat.mp4
ff -i flat.mp4 -c copy -metadata:s:v:0 rotate=90 turned.mp4
ff -f lavfi -i testsrc2=s=640x360 -frames:v 1 still.png
ff -f lavfi -i "color=gray:s=160x120:r=25:d=2,noise=alls=40:allf=t" -c:v mjpeg -q:v 2 \
    -pix_fmt yuvj420p noise.avi
ff -i card.mp4 -vf scale=129:65 -frames:v 1 card129.png
ff -i wide.avi -vf scale=129:65 -frames:v 1 wide129.png

convert() {  # CLIP OPTIONS...
    what="convert $*"
    local clip=$1 prog
    shift
    for prog in old new; do
        rm -f "$work/$prog.orv"
        "${!prog}" convert "$clip" -o "$work/$prog.orv" --quiet "$@" 2>"$work/$prog.err"
        echo $? >"$work/$prog.status"
    done
    same orv err status
}
for clip in card.mp4 wide.avi box60.mp4 tall12.mkv turned.mp4 still.png noise.avi; do
    for dither in engrave threshold bayer floyd-steinberg blue-noise; do
        for fit in stretch letterbox crop; do convert $clip --dither $dither --fit $fit; done
        convert $clip --dither $dither --brightness 40 --contrast 1.5 --gamma 0.8
        convert $clip --dither $dither --brightness -30 --gamma 2.5
        convert $clip --dither $dither --invert --fit crop --contrast 0.4
        for fps in 1 5 12 46; do convert $clip --dither $dither --fps $fps; done
        convert $clip --dither $dither --start 0.5 --duration 1
        convert $clip --dither $dither --start 1.25 --fps 10
    done
    convert $clip --dither threshold --threshold 100
    convert $clip --seed 18446744073709551615 --gamma 0.5 --fit crop
done
for pic in card129.png wide129.png; do
    for seed in 0 5 123456789; do
        what="image engrave $pic --seed $seed"
        for prog in old new; do
            "${!prog}" image engrave $pic "$work/$prog.bmp" --orv "$work/$prog.orv" --seed $seed \
                2>"$work/$prog.err"
            echo $? >"$work/$prog.status"
        done
        same orv bmp err status
    done
done

# The fixture each command line runs in, a fresh copy for each build.
cd "$work/fixture" || exit 1
"$old" convert ../clips/card.mp4 -o one.orv --fps 1 --duration 1 --quiet
cp ../clips/box60.mp4 clip.mp4
cp ../clips/card129.png f.png
ff -i clip.mp4 -vf scale=20:10 -frames:v 1 a.png
touch exists.orv exists.png exists.h
line() {  # the words of a command line, as the shell reads them
    what="orv $*"
    local prog
    for prog in old new; do
        rm -rf "$work/$prog.dir"
        cp -r "$work/fixture" "$work/$prog.dir"
        (cd "$work/$prog.dir" && eval "timeout 20 \"\$$prog\" $*" >"$work/$prog.out" \
            2>"$work/$prog.err" </dev/null
        echo $? >"$work/$prog.status"
        find . -type f -exec md5sum {} + | sort -k2 >"$work/$prog.files")
        # The rate of a summary differs from run to run.
        sed -i -E 's/in [0-9.]+ s \([0-9.]+ frames\/s\)/in T s/' "$work/$prog.out" "$work/$prog.err"
    done
    same out err status files
}
for top in "" --help -h help "help convert" "help bogus" "help help" --version bogus -x \
    --verbose "--verbose --help" "--verbose info one.orv" "info one.orv --verbose=1" \
    "info one.orv -- --verbose" --completion-table "info -h -- one.orv"; do
    line "$top"
done
numbers=(x "' 5'" +5 1e1 5. .5 -0 0x10 "5,5" "''" - 1.2.3 5.5)
declare -A base=(
    [convert]="convert clip.mp4 -o out.orv --duration 0.2 --quiet" [info]="info one.orv"
    [render]="render one.orv -o out.png" [repair]="repair one.orv" [export]="export one.orv -o out.h"
    [send]="send one.orv --port /nonexistent/tty" [image]="image sharpen a.png out.png")
# Each option with a good value first, then values to refuse, apart by |.
declare -A values=(
    [convert]="fps:10|0|47 start:1.5|1:75|-1|x duration:1|0|abc fit:crop|zoom dither:bayer|noise
               threshold:100|256 seed:1|-1|1.5|99999999999999999999 brightness:9|-256
               contrast:2|11 gamma:2|0.05 output:x.orv"
    [info]="fps:10|0|256" [render]="frame:0|-1 scale:2|0|65 fps:10 colors:mono|red format:gif|jpg"
    [export]="codec:pmh|xyz fps:10|0 flash:uno|0|x format:bin|xyz layout:rows-msb|x set-bit:light|x
              display:ssd1306|x frames:0:1|5:2|x name:clip|1x output:x.bin|x.txt"
    [send]="settings:9600,n,8,1|x fps:10|0 mode:raw|x key:5|0 set-bit:light|x display:sh1106|x
            wait:1|61 port:5000"
    [image]="strength:2|abc")
declare -A flags=([convert]="invert append force quiet" [info]=stats [render]=force [export]=force
    [send]="loop quiet")
for cmd in convert info render repair export send image; do
    b=${base[$cmd]}
    for extra in --help -h --help=1 "x --help" "-- --help" --bogus -x - -- -o=x --output=x --=x \
        ---x -o "-o x" -hx "" a "a b c" "-- -x"; do
        line "$cmd $extra"
    done
    line "$b"
    line "$b extra"
    for option in ${values[$cmd]:-}; do
        name=${option%%:*}
        IFS='|' read -ra given <<<"${option#*:}"
        line "$b --$name"
        line "$b --$name="
        line "$b --$name=${given[0]}"
        line "$b --$name ${given[0]} --$name ${given[0]}"
        for v in "${given[@]}"; do line "$b --$name $v"; done
        [[ $name =~ ^(fps|threshold|frame|scale|key|brightness|wait)$ ]] &&
            for v in "${numbers[@]}"; do line "$b --$name $v"; done
    done
    for f in ${flags[$cmd]:-}; do
        line "$b --$f"
        line "$b --$f=1"
        line "$b --$f --$f"
    done
done
# Words that depend on one another, and several mistakes at once.
while IFS= read -r words; do line "$words"; done <<'EOF'
convert clip.mp4
convert clip.mp4 -o x.orv --threshold 5
convert clip.mp4 -o x.orv --seed 5 --dither bayer
convert clip.mp4 -o x.orv --append --force
convert clip.mp4 -o - --append
convert clip.mp4 -o x.png
convert clip.mp4 -o exists.orv
convert clip.mp4 -o clip.mp4
convert clip.mp4 -o x.orv --fps 0 --gamma 0
render one.orv -o x.gif --frame 0
render one.orv -o x.png --fps 10
render one.orv -o exists.png
render one.orv -o x.txt
export one.orv -o x.h --set-bit light --display 12864
export one.orv -o x.pmh --format c
export one.orv -o -
export one.orv -o x.h --codec pmh --layout rows-msb
export one.orv -o x.bin --name abc
export one.orv -o x.h --codec pmh --fps 10 --flash uno
send one.orv --port x --set-bit light --display 12864
send one.orv --port /nonexistent/tty --mode raw --key 5
image
image blur a.png out.png
image copy a.png
image copy a.png out.png
image copy a.png out.xyz
image copy a.png a.png
image engrave a.png out.png --orv x.orv
image engrave f.png out.png --orv x.orv --seed 3
image engrave f.png out.png --seed -1
image zoom a.png out.png --x 2 --y 0.5
image zoom a.png out.png --x -2
image brightness a.png out.png --red 40000
image brightness a.png out.png --red 5 --contrast-red 1.5
image copy a.png out.png --x 1
EOF
# Every command on frame files of the clips.
"$old" convert ../clips/card.mp4 -o a.orv --fps 10 --duration 2 --dither blue-noise --quiet
"$old" convert ../clips/wide.avi -o b.orv --fps 12 --dither threshold --quiet
"$old" convert ../clips/box60.mp4 -o c.orv --fps 31 --quiet
"$old" export a.orv -o a.pmh --display ssd1306 --fps 10 >/dev/null
head -c 10000 c.orv >cut.orv
for f in a.orv b.orv c.orv a.pmh; do
    line "info $f"
    line "info $f --stats --fps 20"
    line "export $f -o o.h"
    line "export $f -o o.bin --frames 1:3"
    for layout in pages rows-msb rows-lsb; do
        for bit in dark light; do line "export $f -o o.bin --layout $layout --set-bit $bit"; done
        line "export $f -o o.c --layout $layout --set-bit light --name frames_x"
    done
    for display in ssd1306 sh1106 st7565 12864; do line "export $f -o o.h --display $display"; done
    line "export $f -o o.pmh --fps 15"
    line "export $f -o o.h --codec pmh --set-bit light --flash uno"
    line "export $f -o o.bin --codec pmh --frames 2:4"
    line "export $f -o - --format bin --codec pmh"
done
for f in a.orv b.orv c.orv; do
    line "render $f -o o.png"
    line "render $f -o o.png --frame 3 --scale 2 --colors mono"
    line "render $f -o o.gif --fps 10 --scale 1"
    line "render $f -o - --format gif --scale 3"
done
line "repair cut.orv"
line "info cut.orv"
# send: the bytes that reach the far end of a virtual cable.
socat pty,raw,echo=0,link="$work/tty.a" pty,raw,echo=0,link="$work/tty.b" 2>/dev/null &
cable=$!
for i in $(seq 50); do [ -e "$work/tty.b" ] && break; sleep 0.1; done
for words in "a.orv --mode raw" "a.orv" "c.orv --key 5" "b.orv --display ssd1306"; do
    what="send $words"
    for prog in old new; do
        cat "$work/tty.b" >"$work/$prog.wire" &
        reader=$!
        (cd "$work/fixture" && "${!prog}" send $words --port "$work/tty.a" --wait 0 --quiet \
            --fps 46 2>"$work/$prog.err")
        echo $? >"$work/$prog.status"
        sleep 0.5
        kill $reader
        wait $reader 2>/dev/null
    done
    same wire status
done
kill $cable
echo "orv-against-build: $runs runs, $((runs - differ)) the same, $differ differ"
[ "$differ" = 0 ]
