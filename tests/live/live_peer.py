#!/usr/bin/env python3
"""Loopback peers of the live graph tests, independent of our code.

  tcp-es --file F [--cut N | --stall N | --loop]
        listens on a free port and serves every connection the elementary
        stream F ffmpeg wrote: whole then close, or only its first N bytes
        then close (--cut), or its first N bytes then silence with the
        connection kept open (--stall), or F over and over (--loop)
  rtp --file F --sdp S
        runs ffmpeg sending F's video (stream copy, looped, at four times its pace)
        as RTP to a free loopback port, with its SDP written to S

Every mode writes its pid to --pidfile first and, once a receiver can come,
the port to --ready. SIGTERM (or --timeout seconds) ends it, and ends the
ffmpeg it started, by that process's pid.
"""
import argparse, os, signal, socket, subprocess, sys, threading, time


def write_atomic(path, text):
    tmp = path + '.tmp'
    with open(tmp, 'w') as f:
        f.write(text)
    os.replace(tmp, path)


def serve(conn, data, args, stop):
    try:
        if args.loop:
            while not stop.is_set():
                conn.sendall(data)
        elif args.cut is not None:
            conn.sendall(data[:args.cut])
        elif args.stall is not None:
            conn.sendall(data[:args.stall])
            conn.settimeout(0.2)
            while not stop.is_set():
                try:
                    if not conn.recv(4096):
                        break
                except socket.timeout:
                    pass
        else:
            conn.sendall(data)
    except OSError:
        pass  # the receiver went away
    finally:
        conn.close()


def tcp_es(args, stop):
    data = open(args.file, 'rb').read()
    s = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    s.bind(('127.0.0.1', 0))
    s.listen(8)
    s.settimeout(0.2)
    write_atomic(args.ready, str(s.getsockname()[1]))
    while not stop.is_set():
        try:
            conn, _ = s.accept()
        except socket.timeout:
            continue
        threading.Thread(target=serve, args=(conn, data, args, stop), daemon=True).start()


def rtp(args, stop):
    probe = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    probe.bind(('127.0.0.1', 0))
    port = probe.getsockname()[1]
    probe.close()
    if os.path.exists(args.sdp):
        os.remove(args.sdp)
    ffmpeg = subprocess.Popen(['ffmpeg', '-v', 'error', '-y', '-readrate', '4', '-stream_loop', '-1', '-i', args.file,
                               '-map', '0:v:0', '-c', 'copy', '-f', 'rtp', '-sdp_file', args.sdp,
                               'rtp://127.0.0.1:%d?pkt_size=700' % port])
    try:
        while not stop.is_set() and not (os.path.exists(args.sdp) and os.path.getsize(args.sdp) > 0):
            time.sleep(0.05)
        time.sleep(0.1)  # the SDP is written in one go, but not atomically
        write_atomic(args.ready, str(port))
        while not stop.is_set() and ffmpeg.poll() is None:
            time.sleep(0.1)
    finally:
        if ffmpeg.poll() is None:
            os.kill(ffmpeg.pid, signal.SIGTERM)
            try:
                ffmpeg.wait(5)
            except subprocess.TimeoutExpired:
                os.kill(ffmpeg.pid, signal.SIGKILL)
                ffmpeg.wait()


def main():
    p = argparse.ArgumentParser()
    p.add_argument('mode', choices=['tcp-es', 'rtp'])
    p.add_argument('--file', required=True)
    p.add_argument('--sdp')
    p.add_argument('--cut', type=int)
    p.add_argument('--stall', type=int)
    p.add_argument('--loop', action='store_true')
    p.add_argument('--pidfile', required=True)
    p.add_argument('--ready', required=True)
    p.add_argument('--done', required=True)
    p.add_argument('--timeout', type=float, default=300)
    args = p.parse_args()
    write_atomic(args.pidfile, str(os.getpid()))
    stop = threading.Event()
    signal.signal(signal.SIGTERM, lambda *_: stop.set())
    threading.Timer(args.timeout, stop.set).start()
    (tcp_es if args.mode == 'tcp-es' else rtp)(args, stop)
    write_atomic(args.done, 'ok')
    os._exit(0)  # the time-out timer must not keep the process


if __name__ == '__main__':
    main()
