#!/usr/bin/env python3
"""Servers for the network line's tests, on 127.0.0.1 at the given port, one client at a time:
rfc2217 PORT DEVICE  an RFC 2217 server independent of ser2net, Python's own, in front of DEVICE;
echo PORT            a plain TCP server that sends back what it gets and negotiates nothing."""
import socket
import sys
import threading

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


def main():
    mode, port = sys.argv[1], int(sys.argv[2])
    listener = socket.create_server(("127.0.0.1", port))
    print("listening", flush=True)
    while True:
        client, _ = listener.accept()
        client.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
        if mode == "rfc2217":
            serve(client, sys.argv[3])
        else:
            while data := client.recv(4096):
                client.sendall(data)
        client.close()


main()
