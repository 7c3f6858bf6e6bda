#!/usr/bin/env python3
"""Regenerates the seed corpora from ffmpeg's output (run by hand; the seeds are
committed): RTP datagrams and the SDP file of ffmpeg's RTP muxer, and an
MPEG-4 Part 2 elementary stream."""
import os, socket, subprocess, sys, tempfile, time

here = os.path.dirname(os.path.abspath(__file__))
corpus = os.path.join(here, "corpus")


def write(kind, name, data):
    os.makedirs(os.path.join(corpus, kind), exist_ok=True)
    with open(os.path.join(corpus, kind, name), "wb") as f:
        f.write(data)


def capture(tmp, extra, frames, pkt):
    sock = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    sock.bind(("127.0.0.1", 0))
    sock.settimeout(0.5)
    port = sock.getsockname()[1]
    sdp = os.path.join(tmp, "s.sdp")
    peer = subprocess.Popen(["ffmpeg", "-v", "error", "-y", "-re", "-f", "lavfi", "-i",
                             "testsrc=size=96x64:rate=25", "-frames:v", str(frames), "-c:v", "mpeg4", "-g", "4",
                             *extra, "-pkt_size", str(pkt), "-f", "rtp", "-sdp_file", sdp,
                             "rtp://127.0.0.1:%d" % port])
    datagrams = []
    deadline = time.time() + 30
    while time.time() < deadline:
        try:
            datagrams.append(sock.recv(65536))
        except socket.timeout:
            if peer.poll() is not None:
                break
    if peer.poll() is None:
        peer.kill()
    peer.wait()
    with open(sdp, "rb") as f:
        return datagrams, f.read()


with tempfile.TemporaryDirectory() as tmp:
    for i, (extra, pkt) in enumerate((([], 200), (["-flags", "+global_header"], 1400))):
        datagrams, sdp = capture(tmp, extra, 8, pkt)
        framed = bytes([8]) + b"".join(len(d).to_bytes(2, "big") + d for d in datagrams)
        write("depacketizer", "ffmpeg-%d" % i, framed)
        write("sdp_reader", "ffmpeg-%d.sdp" % i, sdp)
    es = os.path.join(tmp, "s.m4v")
    subprocess.check_call(["ffmpeg", "-v", "error", "-y", "-f", "lavfi", "-i", "testsrc=size=96x64:rate=25",
                           "-frames:v", "6", "-c:v", "mpeg4", "-g", "3", "-f", "m4v", es])
    with open(es, "rb") as f:
        write("es_splitter", "ffmpeg-0", bytes([7]) + f.read())
sys.exit(0)
