"""Runs printer_sim.py as a child process and speaks raw bytes to it."""

import itertools
import json
import os
import shutil
import signal
import socket
import struct
import subprocess
import sys
import tempfile
import time
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
SCRIPT = os.path.join(HERE, "..", "printer_sim.py")

UEL = b"\x1b%-12345X"
ENTER = b"@PJL ENTER LANGUAGE=ACL\r\n"

_hosts = itertools.count(10)


def next_address():
    """A fresh address in 127.50.0.0/16 per simulator, so parallel runs never collide."""
    n = next(_hosts) + (os.getpid() % 200) * 256
    return "127.50.%d.%d" % (n // 256 % 256, n % 256 or 1)


def rec(cmd, params=b""):
    return struct.pack(">HH", 0x00AC, cmd) + params.ljust(12, b"\0")


def burn_record(data, image_type, checksum):
    return rec(0x000F, struct.pack(">HHII", image_type, checksum, 0, len(data)))


class Sim:
    def __init__(self, *args, address=None):
        self.dir = tempfile.mkdtemp(prefix="printer-sim-test-")
        self.address = address or next_address()
        self.ready = os.path.join(self.dir, "ready.json")
        self.log_path = os.path.join(self.dir, "events.jsonl")
        self.store = os.path.join(self.dir, "store")
        cmd = [sys.executable, SCRIPT, "--address", self.address, "--port", "0",
               "--ready-file", self.ready, "--event-log", self.log_path, "--store-dir", self.store]
        cmd += list(args)
        self.console = open(os.path.join(self.dir, "console.log"), "wb")
        self.proc = subprocess.Popen(cmd, stdout=self.console, stderr=subprocess.STDOUT)
        deadline = time.monotonic() + 10
        while not os.path.exists(self.ready):
            if self.proc.poll() is not None or time.monotonic() > deadline:
                self.stop()
                raise RuntimeError("simulator did not start: " + self.console_text())
            time.sleep(0.01)
        with open(self.ready) as f:
            info = json.load(f)
        self.port = info["port"]
        self.control_port = info["control_port"]

    def console_text(self):
        with open(os.path.join(self.dir, "console.log"), "rb") as f:
            return f.read().decode("utf-8", "replace")

    def stop(self):
        if self.proc.poll() is None:
            self.proc.send_signal(signal.SIGTERM)
            try:
                self.proc.wait(5)
            except subprocess.TimeoutExpired:
                self.proc.kill()
                self.proc.wait()
        self.console.close()
        shutil.rmtree(self.dir, ignore_errors=True)

    # --- printer port ---------------------------------------------------------------------

    def connect(self, timeout=2.0):
        s = socket.create_connection((self.address, self.port), timeout=timeout)
        s.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
        return s

    def can_connect(self):
        try:
            s = socket.create_connection((self.address, self.port), timeout=1)
        except ConnectionRefusedError:
            return False
        s.close()
        return True

    def job(self, record, data=b"", text=False, close_uel=True, timeout=2.0):
        """One PJL job; returns (16-byte reply or fewer, text bytes)."""
        with self.connect(timeout) as s:
            s.sendall(UEL + ENTER + record + data)
            reply = recv_exact(s, 16)
            body = b""
            if text and len(reply) == 16:
                body = recv_exact(s, struct.unpack(">H", reply[6:8])[0])
            if close_uel:
                try:
                    s.sendall(UEL)
                except OSError:
                    pass
            return reply, body

    # --- control and events -------------------------------------------------------------

    def control(self, **request):
        with socket.create_connection((self.address, self.control_port), timeout=5) as s:
            s.sendall((json.dumps(request) + "\n").encode())
            data = b""
            while not data.endswith(b"\n"):
                chunk = s.recv(4096)
                if not chunk:
                    break
                data += chunk
        return json.loads(data)

    def events(self, name=None):
        with open(self.log_path) as f:
            out = [json.loads(line) for line in f if line.endswith("\n")]
        return [e for e in out if name is None or e["event"] == name]

    def wait_event(self, name, count=1, timeout=5.0, **match):
        deadline = time.monotonic() + timeout
        while True:
            found = [e for e in self.events(name) if all(e.get(k) == v for k, v in match.items())]
            if len(found) >= count or time.monotonic() > deadline:
                return found
            time.sleep(0.01)

    def wait_up(self, timeout=5.0):
        deadline = time.monotonic() + timeout
        while self.control(op="state")["restarting"]:
            if time.monotonic() > deadline:
                return False
            time.sleep(0.01)
        return True


def recv_exact(sock, n, timeout=None):
    """Up to n bytes: stops early at EOF or when the receive times out."""
    if timeout is not None:
        sock.settimeout(timeout)
    data = b""
    while len(data) < n:
        try:
            chunk = sock.recv(n - len(data))
        except (socket.timeout, ConnectionResetError):
            break
        if not chunk:
            break
        data += chunk
    return data


class SimTestCase(unittest.TestCase):
    sim_args = ("--restart-ms", "300")

    def start(self, *args):
        sim = Sim(*(tuple(self.sim_args) + args))
        self.addCleanup(sim.stop)
        return sim

    def command_events(self, sim, count=1, **match):
        found = sim.wait_event("command", count, **match)
        self.assertGreaterEqual(len(found), count, sim.console_text())
        return found
