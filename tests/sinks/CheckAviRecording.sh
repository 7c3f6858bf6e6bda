#!/bin/sh
# Judges the AVI that the Wine suite recorded from dx50.avi (fed from its
# frame SKIP on, the first key frame) with ffprobe and ffmpeg: codec tag DX50,
# size, rate, frame count and key flags, every packet equal to the input's
# from frame SKIP on (framemd5 of the stream copy), and a clean decode.
#   CheckAviRecording.sh DATA_DIR SKIP
set -eu
dir=$1
skip=$2
in=$dir/dx50.avi
rec=$dir/recorded.avi
fail() { echo "FAIL: $*" >&2; exit 1; }
[ -s "$rec" ] || fail "no recording at $rec"

probe() { ffprobe -v error -select_streams v:0 -show_entries "$1" -of csv=p=0 "$2"; }
[ "$(probe stream=codec_tag_string "$rec")" = DX50 ] || fail "codec tag $(probe stream=codec_tag_string "$rec")"
[ "$(probe stream=width,height "$rec")" = "176,144" ] || fail "size $(probe stream=width,height "$rec")"
[ "$(probe stream=r_frame_rate "$rec")" = "25/1" ] || fail "rate $(probe stream=r_frame_rate "$rec")"
want=$((60 - skip))
frames=$(ffprobe -v error -select_streams v:0 -count_packets -show_entries stream=nb_read_packets -of csv=p=0 "$rec")
[ "$frames" = "$want" ] || fail "$frames frames, wanted $want"

# Key flags and packets, in order, against the input's from frame SKIP on.
ffprobe -v error -select_streams v:0 -show_entries packet=flags -of csv=p=0 "$in" | tail -n +$((skip + 1)) \
  | cut -c1 > "$dir/keys-in.txt"
ffprobe -v error -select_streams v:0 -show_entries packet=flags -of csv=p=0 "$rec" | cut -c1 > "$dir/keys-rec.txt"
cmp -s "$dir/keys-in.txt" "$dir/keys-rec.txt" || fail "key flags differ"
grep -c K "$dir/keys-rec.txt" > /dev/null || fail "no key frame"

# size and MD5 of each packet (pts differ: the recording counts from 0).
md5s() { ffmpeg -nostdin -v error -i "$1" -map 0:v -c copy -f framemd5 - | grep -v '^#' | awk -F', *' '{print $5, $6}'; }
md5s "$in" | tail -n +$((skip + 1)) > "$dir/md5-in.txt"
md5s "$rec" > "$dir/md5-rec.txt"
[ "$(wc -l < "$dir/md5-rec.txt")" = "$want" ] || fail "framemd5 gave $(wc -l < "$dir/md5-rec.txt") packets"
cmp -s "$dir/md5-in.txt" "$dir/md5-rec.txt" || fail "packets differ from the input's"

errors=$(ffmpeg -nostdin -v error -i "$rec" -f null - 2>&1)
[ -z "$errors" ] || fail "decoding: $errors"
echo "recorded.avi: DX50 176x144 25/1, $frames frames, key flags and packets match the input from frame $skip"
