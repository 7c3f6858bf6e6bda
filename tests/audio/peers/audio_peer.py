#!/usr/bin/env python3
"""Loopback peers of the audio transport tests, independent of our code.

  udp-send  --port P --file F --sizes 320[,1,...] [--interval-ms N]
            sends F to 127.0.0.1:P in datagrams whose sizes cycle through --sizes
  tcp-recv  --out F [--stop-reading]
            listens on a free port, takes one connection, writes the payload of
            every "V77A" frame to F (or stops reading after the first frame)
  tcp-send  --file F --chunk N [--bad-length] [--close-mid]
            listens on a free port, takes one connection, sends F as "V77A"
            frames of N payload bytes (optionally ending with a corrupt header
            or a frame cut in the middle)

Every mode writes its pid to --pidfile first and, where it listens, the port
to --ready. It ends by itself after --timeout seconds at the latest.
"""
import argparse, os, signal, socket, struct, sys, time

HEADER = struct.Struct('<4sIIIqq')
MAGIC = b'V77A'


def write_atomic(path, text):
    tmp = path + '.tmp'
    with open(tmp, 'w') as f:
        f.write(text)
    os.replace(tmp, path)


def listen_one(args):
    s = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    s.bind(('127.0.0.1', 0))
    s.listen(1)
    write_atomic(args.ready, str(s.getsockname()[1]))
    conn, _ = s.accept()
    s.close()
    return conn


def recv_exact(conn, n):
    data = b''
    while len(data) < n:
        chunk = conn.recv(n - len(data))
        if not chunk:
            return None
        data += chunk
    return data


def udp_send(args):
    data = open(args.file, 'rb').read()
    sizes = [int(x) for x in args.sizes.split(',')]
    s = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    offset, i, sent = 0, 0, 0
    while offset < len(data):
        n = sizes[i % len(sizes)]
        s.sendto(data[offset:offset + n], ('127.0.0.1', args.port))
        offset += n
        i += 1
        sent += 1
        if args.interval_ms:
            time.sleep(args.interval_ms / 1000.0)
    write_atomic(args.done, str(sent))


def tcp_recv(args):
    conn = listen_one(args)
    frames, total = 0, 0
    with open(args.out, 'wb') as out:
        while True:
            head = recv_exact(conn, HEADER.size)
            if head is None:
                break
            magic, length, flags, reserved, start, stop = HEADER.unpack(head)
            if magic != MAGIC or reserved != 0:
                print('bad frame header', file=sys.stderr)
                break
            payload = recv_exact(conn, length) if length else b''
            if payload is None:
                break
            out.write(payload)
            out.flush()
            frames += 1
            total += length
            write_atomic(args.done, '%d %d' % (frames, total))
            if args.stop_reading:
                time.sleep(args.timeout)   # holds the connection open, reading nothing
    write_atomic(args.done, '%d %d end' % (frames, total))


def tcp_send(args):
    data = open(args.file, 'rb').read()
    conn = listen_one(args)
    t = 0
    for offset in range(0, len(data), args.chunk):
        payload = data[offset:offset + args.chunk]
        duration = len(payload) * 10000000 // 16000
        conn.sendall(HEADER.pack(MAGIC, len(payload), 3, 0, t, t + duration) + payload)
        t += duration
        if args.interval_ms:
            time.sleep(args.interval_ms / 1000.0)
    if args.bad_length:
        conn.sendall(HEADER.pack(MAGIC, 0x7FFFFFFF, 0, 0, 0, 0))
    if args.close_mid:
        conn.sendall(HEADER.pack(MAGIC, 1000, 0, 0, 0, 0) + b'\x01' * 10)
    write_atomic(args.done, 'sent')
    time.sleep(0.5)
    conn.close()


def main():
    p = argparse.ArgumentParser()
    p.add_argument('mode')
    p.add_argument('--pidfile', required=True)
    p.add_argument('--ready', default='')
    p.add_argument('--done', required=True)
    p.add_argument('--timeout', type=int, default=30)
    p.add_argument('--port', type=int, default=0)
    p.add_argument('--file', default='')
    p.add_argument('--out', default='')
    p.add_argument('--sizes', default='320')
    p.add_argument('--chunk', type=int, default=320)
    p.add_argument('--interval-ms', type=float, default=0)
    p.add_argument('--stop-reading', action='store_true')
    p.add_argument('--bad-length', action='store_true')
    p.add_argument('--close-mid', action='store_true')
    args = p.parse_args()
    write_atomic(args.pidfile, str(os.getpid()))
    signal.alarm(args.timeout)
    {'udp-send': udp_send, 'tcp-recv': tcp_recv, 'tcp-send': tcp_send}[args.mode](args)


if __name__ == '__main__':
    main()
