#!/usr/bin/env bash
# Writes a few seconds of moving test shapes as an AVI (motion JPEG), 2:1 like
# the capture area: make-demo.sh [OUTPUT] (default demo.avi).
set -euo pipefail
out="${1:-demo.avi}"
ffmpeg -hide_banner -loglevel error -f lavfi -i "testsrc2=size=256x128:rate=25:duration=8" \
  -c:v mjpeg -q:v 3 -pix_fmt yuvj420p -y "$out"
