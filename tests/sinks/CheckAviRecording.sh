#!/bin/sh
# Judges the AVI that the Wine suite recorded from dx50.avi (fed from its
# frame SKIP on, the first key frame) with ffprobe and ffmpeg: codec tag DX50,
# size, rate, frame count and key flags, every packet equal to the input's
# from frame SKIP on (framemd5 of the stream copy), and a clean decode.
#   CheckAviRecording.sh DATA_DIR SKIP [RECORDING]  (a pattern under DATA_DIR; default recorded.avi)
set -eu
dir=$1
skip=$2
in=$dir/dx50.avi
# shellcheck disable=SC2086  # the pattern is meant to expand
rec=$(ls -1 "$dir"/${3:-recorded.avi} 2>/dev/null | head -n 1 || true)
fail() { echo "FAIL: $*" >&2; exit 1; }
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
[ -n "$rec" ] && [ -s "$rec" ] || fail "no recording ${3:-recorded.avi} in $dir"

probe() { ffprobe -v error -select_streams v:0 -show_entries "$1" -of csv=p=0 "$2"; }
[ "$(probe stream=codec_tag_string "$rec")" = DX50 ] || fail "codec tag $(probe stream=codec_tag_string "$rec")"
[ "$(probe stream=width,height "$rec")" = "176,144" ] || fail "size $(probe stream=width,height "$rec")"
[ "$(probe stream=r_frame_rate "$rec")" = "25/1" ] || fail "rate $(probe stream=r_frame_rate "$rec")"
want=$((60 - skip))
frames=$(ffprobe -v error -select_streams v:0 -count_packets -show_entries stream=nb_read_packets -of csv=p=0 "$rec")
[ "$frames" = "$want" ] || fail "$frames frames, wanted $want"

# Key flags and packets, in order, against the input's from frame SKIP on.
ffprobe -v error -select_streams v:0 -show_entries packet=flags -of csv=p=0 "$in" | tail -n +$((skip + 1)) \
  | cut -c1 > "$tmp/keys-in.txt"
ffprobe -v error -select_streams v:0 -show_entries packet=flags -of csv=p=0 "$rec" | cut -c1 > "$tmp/keys-rec.txt"
cmp -s "$tmp/keys-in.txt" "$tmp/keys-rec.txt" || fail "key flags differ"
grep -c K "$tmp/keys-rec.txt" > /dev/null || fail "no key frame"

# size and MD5 of each packet (pts differ: the recording counts from 0).
md5s() { ffmpeg -nostdin -v error -i "$1" -map 0:v -c copy -f framemd5 - | grep -v '^#' | awk -F', *' '{print $5, $6}'; }
md5s "$in" | tail -n +$((skip + 1)) > "$tmp/md5-in.txt"
md5s "$rec" > "$tmp/md5-rec.txt"
[ "$(wc -l < "$tmp/md5-rec.txt")" = "$want" ] || fail "framemd5 gave $(wc -l < "$tmp/md5-rec.txt") packets"
cmp -s "$tmp/md5-in.txt" "$tmp/md5-rec.txt" || fail "packets differ from the input's"

errors=$(ffmpeg -nostdin -v error -i "$rec" -f null - 2>&1)
[ -z "$errors" ] || fail "decoding: $errors"
echo "$(basename "$rec"): DX50 176x144 25/1, $frames frames, key flags and packets match the input from frame $skip"
