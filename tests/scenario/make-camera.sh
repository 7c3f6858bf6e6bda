#!/bin/bash
# The scenario's camera recording, made by ffmpeg: 60 s of 320x240 at 25 fps
# whose picture shows the frame's number (drawn over ffmpeg's moving test
# pattern, with temporal noise so that no two packets are alike), MPEG-4
# Part 2 with a key frame every 25 frames, no B-frames, in AVI as DX50; and ffmpeg's packet list of it
# (framecrc: size and Adler-32 of every packet, key flags). The scenario's
# RTP sender streams this file as it is, so every frame received, recorded
# or played back is found in the list by its checksum.
set -euo pipefail
out=$1
mkdir -p "$out"
font=$(fc-match -f '%{file}' monospace 2>/dev/null || true)
[ -f "$font" ] || font=/usr/share/fonts/truetype/dejavu/DejaVuSansMono.ttf
ffmpeg -v error -y -f lavfi \
  -i "testsrc=size=320x240:rate=25,drawtext=fontfile=$font:text=%{n}:fontsize=40:fontcolor=white:box=1:boxcolor=black:x=8:y=8,noise=alls=6:allf=t" \
  -frames:v 1500 \
  -c:v mpeg4 -g 25 -sc_threshold 1000000000 -bf 0 -q:v 5 -threads 1 -vtag DX50 "$out/camera.avi"
ffmpeg -v error -y -i "$out/camera.avi" -map 0:v:0 -c copy -f framecrc "$out/camera.crc"
