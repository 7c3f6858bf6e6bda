#!/usr/bin/env bash
# Makes the AVI files the live source suite plays, with ffmpeg (a writer
# independent of ours).   make-live-media.sh FFMPEG OUTPUT_DIR
set -euo pipefail
FFMPEG=$1
OUT=$2
mkdir -p "$OUT"
# Ten frames of a moving test pattern in uncompressed YUY2, and the same frames raw.
"$FFMPEG" -v error -y -f lavfi -i testsrc2=size=64x48:rate=25 -frames:v 10 \
  -pix_fmt yuyv422 -c:v rawvideo "$OUT/pattern.avi"
"$FFMPEG" -v error -y -i "$OUT/pattern.avi" -f rawvideo -pix_fmt yuyv422 "$OUT/pattern.yuv"
# Five red frames, then five blue ones.
"$FFMPEG" -v error -y -f lavfi -i "color=c=0xcd2d2d:size=64x48:rate=25:duration=0.2" \
  -f lavfi -i "color=c=0x323cd2:size=64x48:rate=25:duration=0.2" \
  -filter_complex "[0:v][1:v]concat=n=2:v=1[v]" -map "[v]" -pix_fmt yuyv422 -c:v rawvideo "$OUT/colours.avi"
