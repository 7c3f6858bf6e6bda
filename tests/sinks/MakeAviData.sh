#!/bin/sh
# Input of the AVI file renderer suite, made by ffmpeg: 60 frames of 176x144
# MPEG-4 Part 2 video tagged DX50 at 25 frames a second, a key frame every
# 12 frames, no B-frames (the renderer writes packets in arrival order).
#   MakeAviData.sh OUTPUT_DIR
set -eu
out=$1
mkdir -p "$out"
rm -f "$out"/recorded*.avi
ffmpeg -nostdin -v error -y -f lavfi -i "testsrc2=size=176x144:rate=25" -frames:v 60 \
  -c:v mpeg4 -vtag DX50 -g 12 -bf 0 -q:v 4 "$out/dx50.avi"
