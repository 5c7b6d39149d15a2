#!/usr/bin/env python3
# Checks that bench/wan_link.py gives the link it is asked for, on this
# machine and under its present load: round trips, the price of a new
# connection, the rate of one connection and of eight sharing the link.
#
#   wan_link_check.py --rtt-ms 30 --mbit 100 [--mbytes 20]
#
# A server of its own (threads, blocking sockets) sits behind the emulator.
# Each figure must be within 3 % + 10 ms of what the link predicts, else the
# check fails (exit 1): the emulator, not the software measured, would be the
# bottleneck. Prints one line per figure.
import argparse
import os
import socket
import subprocess
import sys
import threading
import time

HERE = os.path.dirname(os.path.abspath(__file__))


def serve(listener):
    # "e\n" -> "e\n" back (as often as asked); "g N\n" -> N bytes, then close.
    block = os.urandom(1 << 16)

    def handle(conn):
        with conn:
            f = conn.makefile('rb')
            for line in f:
                if line == b'e\n':
                    conn.sendall(b'e\n')
                elif line.startswith(b'g '):
                    left = int(line.split()[1])
                    while left > 0:
                        n = min(left, len(block))
                        conn.sendall(block[:n])
                        left -= n
                    return

    while True:
        conn, _ = listener.accept()
        conn.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
        threading.Thread(target=handle, args=(conn,), daemon=True).start()


def connect(port):
    s = socket.create_connection(('127.0.0.1', port))
    s.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
    return s


def recv_exact(s, n):
    got = 0
    while got < n:
        chunk = s.recv(min(1 << 20, n - got))
        if not chunk:
            raise RuntimeError('the connection closed after %d of %d bytes' % (got, n))
        got += len(chunk)


def download(port, nbytes, done, index):
    s = connect(port)
    s.sendall(b'g %d\n' % nbytes)
    recv_exact(s, nbytes)
    s.close()
    done[index] = time.monotonic()


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument('--rtt-ms', type=float, required=True)
    parser.add_argument('--mbit', type=float, required=True)
    parser.add_argument('--mbytes', type=float, default=20, help='bytes of the bulk downloads, MB')
    args = parser.parse_args()
    # The client and the server here are timed as part of the figures: like
    # the emulator, they run real-time when allowed.
    try:
        os.sched_setscheduler(0, os.SCHED_FIFO, os.sched_param(10))
    except (OSError, AttributeError):
        pass
    rtt, rate = args.rtt_ms / 1000, args.mbit * 1e6 / 8
    size = int(args.mbytes * 1e6)

    listener = socket.socket()
    listener.bind(('127.0.0.1', 0))
    listener.listen(64)
    threading.Thread(target=serve, args=(listener,), daemon=True).start()
    probe = socket.socket()
    probe.bind(('127.0.0.1', 0))
    port = probe.getsockname()[1]
    probe.close()
    link = subprocess.Popen([sys.executable, os.path.join(HERE, 'wan_link.py'), '--rtt-ms', str(args.rtt_ms),
                             '--mbit', str(args.mbit), '%d=127.0.0.1:%d' % (port, listener.getsockname()[1])],
                            stdout=subprocess.PIPE, text=True)
    failed = []
    try:
        if link.stdout.readline().strip() != 'ready':
            sys.exit('wan_link_check: the emulator did not start')

        def figure(name, got, want):
            ok = abs(got - want) <= 0.03 * want + 0.010
            print('%-44s %8.3f s  (link: %.3f s) %s' % (name, got, want, 'ok' if ok else 'OFF'))
            if not ok:
                failed.append(name)

        t0 = time.monotonic()
        s = connect(port)
        s.sendall(b'e\n')
        recv_exact(s, 2)
        figure('new connection, first answer', time.monotonic() - t0, 2 * rtt)
        t0 = time.monotonic()
        for _ in range(5):
            s.sendall(b'e\n')
            recv_exact(s, 2)
        figure('5 round trips on it', time.monotonic() - t0, 5 * rtt)
        s.close()

        for conns in (1, 8):
            done = [0.0] * conns
            t0 = time.monotonic()
            threads = [threading.Thread(target=download, args=(port, size // conns, done, i)) for i in range(conns)]
            for t in threads:
                t.start()
            for t in threads:
                t.join()
            name = '%.0f MB over %d connection%s' % (size / 1e6, conns, 's' if conns > 1 else '')
            figure(name, max(done) - t0, 2 * rtt + size // conns * conns / rate)
            if conns > 1:
                # Shared fairly: the first to finish is not far ahead of the last.
                first, last = min(done) - t0, max(done) - t0
                ok = first >= 0.85 * last
                print('%-44s %8.3f s  (the last: %.3f s) %s' % ('  the first of them done', first, last,
                                                                  'ok' if ok else 'UNFAIR'))
                if not ok:
                    failed.append('sharing')
    finally:
        link.terminate()
        link.wait()
    if failed:
        print('wan_link_check: off the link: %s' % ', '.join(failed), file=sys.stderr)
        sys.exit(1)


if __name__ == '__main__':
    main()
