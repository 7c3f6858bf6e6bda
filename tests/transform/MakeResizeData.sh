#!/bin/sh
# Inputs and references of the resize suite, made by ffmpeg: one smooth
# 352x288 test picture in each raw format the filter takes, and ffmpeg's
# bilinear scaling of it to several sizes and of a cropped part of it.
#   MakeResizeData.sh OUTPUT_DIR
set -eu
out=$1
mkdir -p "$out"
picture="testsrc2=size=352x288:rate=1,gblur=sigma=2"
for fmt in yuyv422 bgr24 bgra yuv420p; do
  ffmpeg -nostdin -v error -y -f lavfi -i "$picture" -frames:v 1 -pix_fmt $fmt -f rawvideo "$out/in_$fmt.raw"
  for size in 176x144 200x150 640x480 528x432; do
    ffmpeg -nostdin -v error -y -f rawvideo -pix_fmt $fmt -s 352x288 -i "$out/in_$fmt.raw" \
      -vf "scale=$(echo $size | tr x :):flags=bilinear" -pix_fmt $fmt -f rawvideo "$out/ref_${fmt}_$size.raw"
  done
  # The rectangle {64, 32, 160, 128} at the whole frame's factor 0.5.
  ffmpeg -nostdin -v error -y -f rawvideo -pix_fmt $fmt -s 352x288 -i "$out/in_$fmt.raw" \
    -vf "crop=160:128:64:32,scale=80:64:flags=bilinear" -pix_fmt $fmt -f rawvideo "$out/ref_${fmt}_crop.raw"
done
