#!/usr/bin/env python3
"""Servers for the network line's tests, on 127.0.0.1 at the given port, one client at a time:
rfc2217 PORT DEVICE       an RFC 2217 server independent of ser2net, Python's own, in front of DEVICE;
echo PORT                 a plain TCP server that sends back what it gets and negotiates nothing;
delay PORT TO MS [nagle]  a proxy to port TO that holds each piece MS milliseconds in each direction, as a
                          remote bench would; with nagle, Nagle's algorithm is left on, as many proxies
                          leave it."""
import queue
import socket
import sys
import threading
import time

import serial
import serial.rfc2217


class Line(serial.Serial):
    """A pseudo-terminal has no modem lines: setting them changes nothing, and they read as off."""

    cts = dsr = ri = cd = property(lambda self: False)

    def _update_dtr_state(self):
        try:
            super()._update_dtr_state()
        except OSError:
            pass

    def _update_rts_state(self):
        try:
            super()._update_rts_state()
        except OSError:
            pass


class Connection:
    """What the port manager writes its answers to."""

    def __init__(self, client):
        self.write = client.sendall


def serve(client, device):
    line = Line(device, 19200, timeout=0.05)
    manager = serial.rfc2217.PortManager(line, Connection(client))
    done = threading.Event()

    def to_client():
        while not done.is_set():
            data = line.read(line.in_waiting or 1)
            if data:
                client.sendall(b"".join(manager.escape(data)))

    reader = threading.Thread(target=to_client, daemon=True)
    reader.start()
    try:
        while True:
            data = client.recv(4096)
            if not data:
                break
            line.write(b"".join(manager.filter(data)))
    except OSError as error:
        print(error, flush=True)
    done.set()
    reader.join()
    line.close()


def forward(source, sink, delay):
    """Each piece leaves `delay` seconds after it came, in its order, as on a link with that latency."""
    pieces = queue.Queue()

    def send():
        while (piece := pieces.get()) is not None:
            due, data = piece
            time.sleep(max(0.0, due - time.monotonic()))
            try:
                sink.sendall(data)
            except OSError:
                return
        sink.shutdown(socket.SHUT_WR)

    sender = threading.Thread(target=send, daemon=True)
    sender.start()
    try:
        while data := source.recv(4096):
            pieces.put((time.monotonic() + delay, data))
    except OSError:
        pass
    pieces.put(None)
    sender.join()


def relay(client, to, delay, nagle):
    server = socket.create_connection(("127.0.0.1", to))
    if not nagle:
        server.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
    back = threading.Thread(target=forward, args=(server, client, delay), daemon=True)
    back.start()
    forward(client, server, delay)
    back.join()
    server.close()


def main():
    mode, port = sys.argv[1], int(sys.argv[2])
    listener = socket.create_server(("127.0.0.1", port))
    print("listening", flush=True)
    while True:
        client, _ = listener.accept()
        nagle = sys.argv[-1] == "nagle"
        if not nagle:
            client.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
        if mode == "rfc2217":
            serve(client, sys.argv[3])
        elif mode == "delay":
            relay(client, int(sys.argv[3]), int(sys.argv[4]) / 1000, nagle)
        else:
            while data := client.recv(4096):
                client.sendall(data)
        client.close()


main()
