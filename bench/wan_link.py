#!/usr/bin/env python3
# A wide-area link on loopback, for benchmarks only: a TCP proxy that gives
# every connection through it the round trip and the bandwidth of one shared
# link (tc netem is not available where we measure).
#
#   wan_link.py --rtt-ms 30 --mbit 100 LISTEN_PORT=HOST:PORT [LISTEN_PORT=HOST:PORT ...]
#
# Each direction of the link is one bottleneck that all connections share: a
# byte queues behind every byte that reached it before, leaves at the link's
# rate, then travels half the round trip. So data a side sends at t on an idle
# link arrives at t + RTT/2, and eight connections together get no more than
# the link. A new connection pays for its handshake: the client's first bytes
# leave no earlier than one round trip after it connected (its connect would
# only then have returned), and the server's no earlier than one and a half.
#
# What it leaves out: loss, and TCP's own slow start over the long round trip
# (the proxy's sockets are on loopback), so a fresh connection reaches the full
# rate at once. A reader that falls behind the link still holds bytes back:
# the proxy stops reading a side while the bytes it took from it are more than
# a few milliseconds of link time from leaving, and while the other side's
# socket is full.
#
# It asks for real-time scheduling (SCHED_FIFO, when allowed; else a lower nice
# value): on a loaded machine a timer of an ordinary process fires up to tens
# of milliseconds late, and a link does not slow down with the CPU's load.
# It needs little CPU: 100 Mbit/s takes about a tenth of one core.
#
# Prints "ready" on stdout once every port listens; runs until killed.
import argparse
import asyncio
import collections
import os
import sys

CHUNK = 16 * 1024  # the unit the bottleneck interleaves connections by


class Bottleneck:
    """One direction of the link: a queue served at a fixed rate."""

    def __init__(self, rate, delay):
        self.rate = rate  # bytes per second
        self.delay = delay  # seconds, one way
        self.free_at = 0.0  # when it has sent everything queued so far
        # A reader stays at most this far ahead of the link, in link time.
        self.ahead = max(0.004, 2.0 * CHUNK / rate)

    def send(self, nbytes, at):
        """Queues nbytes offered at time `at`; returns when they have left."""
        self.free_at = max(at, self.free_at) + nbytes / self.rate
        return self.free_at


class Half:
    """One direction of one connection: from a source transport to a sink."""

    def __init__(self, loop, link, not_before, on_done):
        self.loop = loop
        self.link = link
        self.not_before = not_before  # handshake: nothing leaves earlier
        self.on_done = on_done
        self.source = None
        self.sink = None
        self.pending = collections.deque()  # (arrival, bytes or None for EOF)
        self.timer = None
        self.last_arrival = 0.0
        self.held_until = 0.0  # reading paused for the link until then
        self.sink_full = False
        self.reading = True
        self.done = False

    def offer(self, data, eof=False):
        now = self.loop.time()
        at = max(now, self.not_before)
        if eof:
            # A FIN travels behind the data sent before it.
            arrival = max(at + self.link.delay, self.last_arrival)
        else:
            left = self.link.send(len(data), at)
            arrival = left + self.link.delay
            if left - now > self.link.ahead:
                self.held_until = left - self.link.ahead
                self.loop.call_at(self.held_until, self.update_reading)
        self.last_arrival = arrival
        self.pending.append((arrival, data))
        if self.timer is None:
            self.timer = self.loop.call_at(arrival, self.deliver)
        self.update_reading()

    def deliver(self):
        self.timer = None
        first = True
        while self.pending and (first or self.pending[0][0] <= self.loop.time()):
            first = False
            _, data = self.pending.popleft()
            if self.sink is None or self.sink.is_closing():
                continue
            if data is None:
                if self.sink.can_write_eof():
                    self.sink.write_eof()
                self.done = True
                self.on_done()
            else:
                self.sink.write(data)
        if self.pending:
            self.timer = self.loop.call_at(self.pending[0][0], self.deliver)

    def update_reading(self):
        if self.source is None or self.source.is_closing():
            return
        want = not self.sink_full and self.loop.time() >= self.held_until - 1e-4 and self.sink is not None
        if want and not self.reading:
            self.source.resume_reading()
        elif not want and self.reading:
            self.source.pause_reading()
        self.reading = want


class Side(asyncio.BufferedProtocol):
    """A socket of the proxy: reads into `out`, is written by `into`."""

    def __init__(self, pair, out, into):
        self.pair = pair
        self.out = out  # the Half this side's bytes go into
        self.into = into  # the Half that writes to this side
        self.buffer = bytearray(CHUNK)
        self.transport = None

    def connection_made(self, transport):
        self.transport = transport
        self.out.source = transport
        self.into.sink = transport
        self.out.reading = True
        self.out.update_reading()
        self.into.update_reading()

    def get_buffer(self, sizehint):
        return self.buffer

    def buffer_updated(self, nbytes):
        self.out.offer(bytes(self.buffer[:nbytes]))

    def eof_received(self):
        self.out.offer(None, eof=True)
        return True  # keep the other direction open

    def pause_writing(self):
        self.into.sink_full = True
        self.into.update_reading()

    def resume_writing(self):
        self.into.sink_full = False
        self.into.update_reading()

    def connection_lost(self, exc):
        self.out.source = None
        self.pair.lost(self, exc)


class Pair:
    """One proxied connection: the client's socket and the server's."""

    def __init__(self, loop, up, down, rtt):
        now = loop.time()
        self.up = Half(loop, up, now + rtt, self.check_done)
        self.down = Half(loop, down, now + 1.5 * rtt, self.check_done)
        self.client = Side(self, self.up, self.down)
        self.server = Side(self, self.down, self.up)

    def check_done(self):
        if self.up.done and self.down.done:
            for side in (self.client, self.server):
                if side.transport and not side.transport.is_closing():
                    side.transport.close()

    def lost(self, side, exc):
        other = self.server if side is self.client else self.client
        if side.out.done or other.transport is None or other.transport.is_closing():
            return  # its EOF went through, or the other side is gone too
        # What the lost side sent still arrives; then the other side closes,
        # or is reset if this one was.
        loop = asyncio.get_running_loop()
        end = other.transport.abort if exc is not None else other.transport.close
        loop.call_at(max(side.out.last_arrival, loop.time()) + 1e-6, end)


async def serve(listen_port, host, port, up, down, rtt):
    loop = asyncio.get_running_loop()

    def accept():
        pair = Pair(loop, up, down, rtt)

        async def connect_server():
            try:
                await loop.create_connection(lambda: pair.server, host, port)
            except OSError as e:
                print('wan_link: cannot reach %s:%d: %s' % (host, port, e), file=sys.stderr)
                if pair.client.transport:
                    pair.client.transport.abort()

        loop.create_task(connect_server())
        return pair.client

    return await loop.create_server(accept, '127.0.0.1', listen_port, reuse_address=True)


def ask_for_priority():
    try:
        os.sched_setscheduler(0, os.SCHED_FIFO, os.sched_param(10))
        return 'real-time'
    except (OSError, AttributeError):
        pass
    try:
        os.nice(-10)
        return 'nice -10'
    except OSError:
        return 'ordinary (timers may fire late under load)'


async def main():
    parser = argparse.ArgumentParser(description='TCP proxy with the delay and bandwidth of one shared link')
    parser.add_argument('--rtt-ms', type=float, required=True, help='round trip time, ms')
    parser.add_argument('--mbit', type=float, required=True, help='bandwidth of each direction, Mbit/s')
    parser.add_argument('routes', nargs='+', metavar='LISTEN_PORT=HOST:PORT')
    args = parser.parse_args()
    if args.rtt_ms < 0 or args.mbit <= 0:
        sys.exit('wan_link: the round trip must be >= 0 and the bandwidth > 0')
    print('wan_link: scheduling: %s' % ask_for_priority(), file=sys.stderr)
    rtt = args.rtt_ms / 1000.0
    rate = args.mbit * 1e6 / 8
    up, down = Bottleneck(rate, rtt / 2), Bottleneck(rate, rtt / 2)
    servers = []
    for route in args.routes:
        try:
            listen, target = route.split('=')
            host, port = target.rsplit(':', 1)
            servers.append(await serve(int(listen), host, int(port), up, down, rtt))
        except ValueError:
            sys.exit('wan_link: a route is LISTEN_PORT=HOST:PORT, not %r' % route)
        except OSError as e:
            sys.exit('wan_link: cannot listen for %r: %s' % (route, e))
    print('ready', flush=True)
    await asyncio.Event().wait()


if __name__ == '__main__':
    try:
        asyncio.run(main())
    except KeyboardInterrupt:
        pass
