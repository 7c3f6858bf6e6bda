#!/bin/bash
# V77Host's subcommands under Wine. First every command's argument errors:
# exit code 2 and a first stderr line naming the problem (and a runtime
# failure: exit code 1 with the HRESULT's meaning). Then one real run each of
# filters, view (an AVI file and the local capture process), snapshot, record
# and play on ffmpeg-made input, judged by
# what the tool wrote: the window's screenshot and the JPEG against the
# colour bars, the recorded DX50 segments packet for packet against ffmpeg's
# file, and the playback views against each other.
#   host_cli.sh BUILD_DIR WORK_DIR
set -uo pipefail
build=$1
work=$2
rm -rf "$work" && mkdir -p "$work"
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

# run ARGS...: V77Host's exit code in $rc, its output in out and err.
run() {
  V77_TIMEOUT=120 "$build/tools/wine-run" "$build/bin/V77Host.exe" "$@" >"$work/out.crlf" 2>"$work/err.all"
  rc=$?
  tr -d '\r' <"$work/out.crlf" >"$work/out"
  # Wine's sound driver probing is not ours.
  grep -v '^ALSA lib' "$work/err.all" | tr -d '\r' >"$work/err"
}
# expect CODE TEXT ARGS...: exit code CODE and TEXT in the first line of
# stderr (stdout for code 0).
expect() {
  local code=$1 text=$2 stream=err
  shift 2
  run "$@"
  [ "$code" = 0 ] && stream=out
  local first
  first=$(head -1 "$work/$stream")
  [ "$rc" = "$code" ] && [[ "$first" == *"$text"* ]] || fail "V77Host $*: exit $rc, \"$first\" (wanted $code, \"$text\")"
}

ffmpeg -v error -y -f lavfi -i smptebars=size=320x240:rate=25 -frames:v 50 -pix_fmt yuyv422 -c:v rawvideo \
  "$work/bars.avi" || fail "ffmpeg bars.avi"
ffmpeg -v error -y -f lavfi -i testsrc=size=320x240:rate=25 -frames:v 100 -c:v mpeg4 -vtag DX50 -g 12 -bf 0 \
  -q:v 4 "$work/dx50.avi" || fail "ffmpeg dx50.avi"
bars=$work/bars.avi

## Argument errors and exit codes
expect 2 'unknown command "bogus"' bogus
for c in filters view snapshot record play spy audio; do expect 0 "usage: V77Host $c" "$c" --help; done
expect 2 'unexpected argument "extra"' filters extra
expect 2 'missing argument' view
expect 2 'SOURCE must be' view clip.mp4
expect 2 'tcp:// needs host:port' view tcp://localhost
expect 2 'unknown option --bogus' view "$bars" --bogus
expect 2 '--duration needs a value' view "$bars" --duration
expect 2 '--duration takes a number' view "$bars" --duration soon
expect 2 '--renderer takes gdi or ddraw' view "$bars" --renderer vga
expect 2 '--buffer takes a whole number from 1 to 64' view "$bars" --buffer 0
expect 2 '--brightness takes a number from -128 to 128' view "$bars" --brightness 300
expect 2 '--deinterlace takes off, blend or double' view "$bars" --deinterlace weave
expect 2 'missing argument' snapshot "$bars"
expect 2 '--quality takes a whole number from 1 to 100' snapshot "$bars" out.jpg --quality 0
expect 2 'missing argument' record "$bars"
expect 2 '--segment takes a number' record "$bars" "$work/store" --segment 0
expect 2 '--views takes a whole number from 1 to 9' play "$work/store" --views 0
expect 2 '--rate 0 plays nothing' play "$work/store" --rate 0
printf 'seek 1\nrate fast\n' >"$work/bad.script"
expect 2 'line 2: bad command "rate fast"' play "$work/store" --script "$work/bad.script"
expect 1 'no recording segment' play "$work/empty"
expect 2 'missing argument' spy
expect 2 '--interval takes a whole number from 10 to 1000' spy desktop --interval 5
expect 1 'no window "No such window"' spy 'No such window' --duration 1
expect 2 'give one of --to PORT and --listen PORT' audio
expect 2 '--channel takes a whole number from 0 to 3' audio --listen 0 --channel 4
expect 1 'open the live source: AVIERR_FILEOPEN (0x8004406F)' view "$work/missing.avi" --duration 1

## filters: the 23 rows as the mapper holds them
expect 0 'Filters registered by the module' filters
grep -q '23 of 23 module filters registered' "$work/out" || fail "filters: $(tail -1 "$work/out")"

# pixel R G B X Y FILE.ppm: the colour at (X, Y) of a binary PPM is near R G B.
near_pixel() {
  python3 - "$@" <<'PY'
import sys
r, g, b, x, y = map(int, sys.argv[1:6])
data = open(sys.argv[6], 'rb').read()
fields, at = [], 0
while len(fields) < 4:  # P6 width height maxval, whitespace-separated
    while data[at:at + 1].isspace(): at += 1
    end = at
    while not data[end:end + 1].isspace(): end += 1
    fields.append(data[at:end]); at = end
at += 1
width = int(fields[1])
p = data[at + 3 * (y * width + x): at + 3 * (y * width + x) + 3]
sys.exit(0 if all(abs(a - e) <= 40 for a, e in zip(p, (r, g, b))) else 1)
PY
}
# bars FILE.ppm: the first four 75 % colour bars (grey, yellow, cyan, green) on row 60.
bars_shown() {
  near_pixel 191 191 191 22 60 "$1" && near_pixel 191 191 0 68 60 "$1" && near_pixel 0 191 191 114 60 "$1" &&
    near_pixel 0 191 0 160 60 "$1"
}

## view: two seconds in a window, its screenshot shows the bars
expect 0 'view: AVI file, YUY2 320x240, 25.00 frames/s' view "$bars" --duration 2 --screenshot "$work/view.png"
frames=$(sed -n 's/^view: total \([0-9]*\) frames.*/\1/p' "$work/out")
[ "${frames:-0}" -ge 25 ] || fail "view showed ${frames:-no} frames in 2 s"
ffmpeg -v error -y -i "$work/view.png" -f image2 -c:v ppm "$work/view.ppm" && bars_shown "$work/view.ppm" ||
  fail "the view's screenshot does not show the bars"

## view local: the capture process's ring (V77Capture beside the host, ended by pid)
expect 1 'no capture ring "hostcli-none": is V77Capture.exe --name hostcli-none running?' view local:hostcli-none \
  --duration 1
ring=hostcli$$
V77_TIMEOUT=60 "$build/tools/wine-run" "$build/bin/V77Capture.exe" --name "$ring" >"$work/capture.log" 2>&1 &
capture=$!
for _ in $(seq 100); do grep -q "ring '$ring'" "$work/capture.log" && break; sleep 0.1; done
expect 0 'view: local capture process, YUY2 320x240, 25.00 frames/s' view "local:$ring" --duration 2 \
  --screenshot "$work/local.png"
kill "$capture"; wait "$capture" 2>/dev/null
frames=$(sed -n 's/^view: total \([0-9]*\) frames.*/\1/p' "$work/out")
[ "${frames:-0}" -ge 25 ] || fail "view local showed ${frames:-no} frames in 2 s"
# The moving test picture's eight bars, not a blank window.
ffmpeg -v error -y -i "$work/local.png" -f image2 -c:v ppm "$work/local.ppm" && python3 - "$work/local.ppm" <<'PY' ||
import sys
data = open(sys.argv[1], 'rb').read()
width = int(data.split()[1])
row = data[-3 * width * 120:][:3 * width]  # a row near the middle, counted from the end
sys.exit(0 if len({row[i:i + 3] for i in range(0, len(row), 3)}) >= 6 else 1)
PY
  fail "the local view's screenshot does not show the test picture"

## snapshot: a JPEG of the bars
expect 0 'snapshot: AVI file' snapshot "$bars" "$work/snap.jpg"
djpeg -pnm "$work/snap.jpg" >"$work/snap.ppm" && bars_shown "$work/snap.ppm" || fail "snapshot.jpg does not show the bars"

## record: ffmpeg's DX50 file into segments, each packet for packet a run of the input
expect 0 'record: AVI file, DX50 320x240' record "$work/dx50.avi" "$work/store" --duration 4 --segment 1.5
segments=$(ls "$work/store" | grep -c '^[0-9]*\.avi$')
[ "$segments" -ge 2 ] || fail "record wrote $segments segments in 4 s of 1.5 s"
ffmpeg -v error -i "$work/dx50.avi" -c copy -f framemd5 - | grep -v '^#' | awk -F, '{print $6}' >"$work/in.md5"
for seg in "$work"/store/*.avi; do
  [ "$(ffprobe -v error -select_streams v:0 -show_entries stream=codec_tag_string,width,height -of csv=p=0 "$seg")" = \
    "DX50,320,240" ] || fail "$(basename "$seg"): not a 320x240 DX50 stream"
  ffmpeg -v error -i "$seg" -c copy -f framemd5 - | grep -v '^#' | awk -F, '{print $6}' >"$work/seg.md5"
  # The input loops: its packets twice over hold every run the segment can be.
  python3 - "$work/in.md5" "$work/seg.md5" <<'PY' || fail "$(basename "$seg"): packets are not a run of the input's"
import sys
src = open(sys.argv[1]).read().split()
seg = open(sys.argv[2]).read().split()
ring = src + src
ok = len(seg) > 0 and any(ring[i:i + len(seg)] == seg for i in range(len(src))) if len(seg) <= len(src) else False
sys.exit(0 if ok else 1)
PY
  [ "$(ffprobe -v error -select_streams v:0 -show_entries packet=flags -of csv=p=0 "$seg" | head -1 | cut -c1)" = K ] ||
    fail "$(basename "$seg") does not start with a key frame"
done

## play: a YUY2 recording in two synchronised views, seek, step, rate
expect 0 'record: AVI file, YUY2' record "$bars" "$work/ystore" --duration 3 --segment 1
printf 'wait 0.5\npause\nstep 3\nwait 0.3\nrate 2\nwait 0.5\n' >"$work/play.script"
expect 0 'play: ' play "$work/ystore" --views 2 --seek 0.4 --duration 2 --script "$work/play.script" \
  --screenshot "$work/play.png"
# Both views end on the same recorded instant, having shown about as many
# frames (the counts are read one after the other while they play).
read -r frames1 last1 <<<"$(sed -n 's/^play: view 1: \([0-9]*\) frames, last at +\(.*\) s$/\1 \2/p' "$work/out")"
read -r frames2 last2 <<<"$(sed -n 's/^play: view 2: \([0-9]*\) frames, last at +\(.*\) s$/\1 \2/p' "$work/out")"
[ "${frames1:-0}" -gt 0 ] && [ "${last1:-}" = "${last2:-x}" ] && [ $((frames1 - frames2)) -le 2 ] &&
  [ $((frames2 - frames1)) -le 2 ] || fail "the views differ: $frames1 frames to $last1 s, $frames2 frames to $last2 s"
[ -s "$work/play.png" ] && [ -s "$work/play-2.png" ] || fail "no screenshot of both views"
grep -q '^play: step 3$' "$work/out" && grep -q '^play: rate 2$' "$work/out" || fail "the script's commands were not run"

[ "$failures" = 0 ] && echo "host_cli: all checks passed" && exit 0
cat "$work/out" "$work/err"
exit 1
