#!/usr/bin/env python3
"""Makes the live receiver suite's inputs with ffmpeg (the independent peer),
into the directory given: AVI files of each format with ffmpeg's framecrc of
their video packets, an MPEG-4 elementary stream, and RTP datagrams of
ffmpeg's RTP muxer recorded from a loopback port with the SDP it wrote (the
Windows suite replays them, with the damage each test wants), plus broken
files. Run as a CTest fixture before the suite; safe to run again."""
import os, socket, subprocess, sys, time

out = sys.argv[1]
os.makedirs(out, exist_ok=True)
FRAMES = 50
SRC = ["-f", "lavfi", "-i", "testsrc=size=176x144:rate=25"]


def ffmpeg(*args):
    subprocess.check_call(["ffmpeg", "-v", "error", "-y", *args])


def framecrc(avi, name):
    ffmpeg("-i", os.path.join(out, avi), "-map", "0:v:0", "-c", "copy", "-f", "framecrc", os.path.join(out, name))


def record_rtp(name, encode):
    """ffmpeg sends to a loopback port; the datagrams are kept, each preceded
    by its 16-bit big-endian length."""
    sock = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    sock.setsockopt(socket.SOL_SOCKET, socket.SO_RCVBUF, 8 << 20)
    sock.bind(("127.0.0.1", 0))
    sock.settimeout(0.3)
    port = sock.getsockname()[1]
    sdp = os.path.join(out, name + ".sdp")
    peer = subprocess.Popen(["ffmpeg", "-v", "error", "-y", "-re", *encode, "-pkt_size", "700",
                             "-f", "rtp", "-sdp_file", sdp, "rtp://127.0.0.1:%d" % port])
    datagrams = []
    deadline = time.time() + 60
    while time.time() < deadline:
        try:
            datagrams.append(sock.recv(65536))
        except socket.timeout:
            if peer.poll() is not None:
                break
    if peer.poll() is None:
        peer.kill()
    peer.wait()
    with open(os.path.join(out, name + ".rtp"), "wb") as f:
        for d in datagrams:
            f.write(len(d).to_bytes(2, "big") + d)


# Uncompressed formats and MPEG-4 Part 2, as ffmpeg writes them into AVI.
for name, args in (("yuy2", ["-c:v", "rawvideo", "-pix_fmt", "yuyv422"]),
                   ("i420", ["-c:v", "rawvideo", "-pix_fmt", "yuv420p"]),
                   ("yv12", ["-c:v", "rawvideo", "-pix_fmt", "yuv420p", "-vtag", "YV12"]),
                   ("bgr24", ["-c:v", "rawvideo", "-pix_fmt", "bgr24"]),
                   ("mpeg4", ["-c:v", "mpeg4", "-bf", "0", "-g", "10", "-threads", "1"])):
    ffmpeg(*SRC, "-frames:v", str(FRAMES), *args, os.path.join(out, name + ".avi"))
    framecrc(name + ".avi", name + ".crc")
ffmpeg(*SRC, "-frames:v", "10", "-c:v", "rawvideo", "-pix_fmt", "yuyv422", os.path.join(out, "short.avi"))
framecrc("short.avi", "short.crc")

# The elementary stream the TCP tests serve: the MPEG-4 AVI's packets, as is.
ffmpeg("-i", os.path.join(out, "mpeg4.avi"), "-c", "copy", "-f", "m4v", os.path.join(out, "mpeg4.m4v"))

# RTP: stream copy of the AVI (config= in the SDP), and encoded straight to
# RTP (no config=: the VOL travels in front of every key frame).
record_rtp("rtp-config", ["-i", os.path.join(out, "mpeg4.avi"), "-map", "0:v:0", "-c", "copy"])
record_rtp("rtp-inband", [*SRC, "-frames:v", str(FRAMES), "-c:v", "mpeg4", "-bf", "0", "-g", "10", "-threads", "1"])

# Broken inputs.
with open(os.path.join(out, "mpeg4.avi"), "rb") as f:
    whole = f.read()
with open(os.path.join(out, "truncated.avi"), "wb") as f:
    f.write(whole[: len(whole) // 2])
with open(os.path.join(out, "headeronly.avi"), "wb") as f:
    f.write(whole[:300])
corrupt = bytearray(whole)
for i in range(12, 400, 7):
    corrupt[i] ^= 0x5A
with open(os.path.join(out, "corrupt.avi"), "wb") as f:
    f.write(bytes(corrupt))
ffmpeg("-f", "lavfi", "-i", "sine=frequency=440:duration=1", "-c:a", "pcm_s16le", os.path.join(out, "audio.avi"))
with open(os.path.join(out, "malformed.sdp"), "w") as f:
    f.write("v=0\nm=video 5004 RTP/AVP 96\na=rtpmap:96 H264/90000\n")
with open(os.path.join(out, "ready"), "w") as f:
    f.write("ok\n")
