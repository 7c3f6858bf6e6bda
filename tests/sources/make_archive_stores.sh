#!/bin/bash
# Recording stores for the archive suites, made by ffmpeg (never by our own
# writer): 16x16 frames at 25 fps whose first two luma bytes carry the frame's
# number in the recording (low byte, high byte). Segments are named by the
# time of their first frame; frame n of a store lies at ORIGIN + n * 400000.
#   plain/  YUY2, frames 0-119 in three contiguous segments of 40
#   bad/    YUY2: 0-19, a gap, 40-59, an overlapping 50-69, a truncated
#           segment at 100, a file of garbage at 200, a text file
#   mpeg4/  MPEG-4 Part 2 (GOP 10): 0-29, 30-59, and 60-89 whose index has
#           no key frame
#   whole/  YUY2, frames 0-119 in one file (the AVI file source plays one file)
set -euo pipefail
out=$1
ORIGIN=133485408000000000
FRAME=400000
rm -rf "$out" && mkdir -p "$out/plain" "$out/bad" "$out/mpeg4" "$out/whole"

name() { echo $((ORIGIN + $1 * FRAME)).avi; }

# segment <file> <first frame number> <count> <codec args...>
segment() {
  local file=$1 first=$2 count=$3
  shift 3
  ffmpeg -v error -y -f lavfi \
    -i "color=c=black:s=16x16:r=25,format=yuv422p,geq=lum='if(eq(X\,0)\,mod(N+$first\,256)\,if(eq(X\,1)\,floor((N+$first)/256)\,16+mod(N*7\,200)))':cb=128:cr=128" \
    -frames:v "$count" "$@" -f avi "$file"
}
yuy2() { segment "$1" "$2" "$3" -c:v rawvideo -pix_fmt yuyv422; }
mpeg4() { segment "$1" "$2" "$3" -c:v mpeg4 -g 10 -sc_threshold 1000000000 -bf 0 -q:v 4 -pix_fmt yuv420p -vtag DX50; }

for s in 0 40 80; do yuy2 "$out/plain/$(name $s)" $s 40; done
yuy2 "$out/whole/$(name 0)" 0 120

yuy2 "$out/bad/$(name 0)" 0 20
yuy2 "$out/bad/$(name 40)" 40 20
yuy2 "$out/bad/$(name 50)" 50 20
yuy2 "$out/bad/$(name 100)" 100 20
truncate -s $(( $(stat -c %s "$out/bad/$(name 100)") * 6 / 10 )) "$out/bad/$(name 100)"
head -c 4096 /dev/urandom > "$out/bad/$(name 200)"
echo "not a segment" > "$out/bad/notes.txt"

mpeg4 "$out/mpeg4/$(name 0)" 0 30
mpeg4 "$out/mpeg4/$(name 30)" 30 30
mpeg4 "$out/mpeg4/$(name 60)" 60 30
# Clear the key-frame flag of every index entry of the last segment, and the
# header's "trust chunk types" flag, so that readers believe the index.
python3 - "$out/mpeg4/$(name 60)" <<'PY'
import struct, sys
path = sys.argv[1]
data = bytearray(open(path, 'rb').read())
at = data.rfind(b'idx1')
size = struct.unpack_from('<I', data, at + 4)[0]
for entry in range(at + 8, at + 8 + size, 16):
    flags = struct.unpack_from('<I', data, entry + 4)[0]
    struct.pack_into('<I', data, entry + 4, flags & ~0x10)
avih = data.find(b'avih')
flags = struct.unpack_from('<I', data, avih + 8 + 12)[0]
struct.pack_into('<I', data, avih + 8 + 12, flags & ~0x800)
open(path, 'wb').write(data)
PY
touch "$out/.complete"
