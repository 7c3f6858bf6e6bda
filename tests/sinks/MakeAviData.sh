#!/bin/sh
# Input of the AVI file renderer suite, made by ffmpeg: 60 frames of 176x144
# MPEG-4 Part 2 video tagged DX50 at 25 frames a second, a key frame every
# 12 frames, no B-frames (the renderer writes packets in arrival order), the
# frame number burnt in (left out where ffmpeg has no drawtext or no font);
# and 20 frames of 64x48 YUY2 at 25 frames a second.
#   MakeAviData.sh OUTPUT_DIR
set -eu
out=$1
mkdir -p "$out"
rm -rf "$out"/recorded*.avi "$out"/store*
encode() {
  ffmpeg -nostdin -v error -y -f lavfi -i "testsrc2=size=176x144:rate=25$1" -frames:v 60 \
    -c:v mpeg4 -vtag DX50 -g 12 -bf 0 -q:v 4 "$out/dx50.avi"
}
encode ",drawtext=text='%{frame_num}':fontsize=48:fontcolor=white:box=1:boxcolor=black:x=8:y=8" 2>/dev/null || encode ""
ffmpeg -nostdin -v error -y -f lavfi -i "testsrc2=size=64x48:rate=25" -frames:v 20 -pix_fmt yuyv422 -c:v rawvideo \
  "$out/yuy2.avi"
