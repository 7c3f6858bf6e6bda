#!/bin/bash
# The archive demo's recording store, made by ffmpeg: YUY2 segments of 40
# frames (160x120, 25 fps; three, or the count given second), each named by
# the FILETIME of its first frame.
# The frame's number in the recording is burnt into the picture's top band as
# eight black/white blocks, bit 0 on the left, so a window shows which
# recorded instant it holds.
set -euo pipefail
out=$1
segments=${2:-3}
ORIGIN=133485408000000000
FRAME=400000
rm -rf "$out" && mkdir -p "$out"
for ((s = 0; s < segments; ++s)); do
  first=$((s * 40))
  ffmpeg -v error -y -f lavfi \
    -i "color=c=gray:s=160x120:r=25,format=yuv422p,geq=lum='if(lt(Y\,60)\,if(bitand(floor((N+$first)/pow(2\,floor(X/20)))\,1)\,235\,16)\,60+mod(X+N*3\,120))':cb=128:cr=128" \
    -frames:v 40 -c:v rawvideo -pix_fmt yuyv422 -f avi "$out/$((ORIGIN + first * FRAME)).avi"
done
