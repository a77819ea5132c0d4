"""Sockets of the simulated printer: the printing port, its restarts, and the control socket."""

import ipaddress
import json
import os
import select
import socket
import threading
import time

from event_log import escape_text, unescape_text
from faults import FaultError, FaultSet
from sim_connection import Connection


def check_loopback(address):
    """The address as an ip_address object; ValueError unless it is a loopback address."""
    ip = ipaddress.ip_address(address)
    if not ip.is_loopback:
        raise ValueError("refusing to listen on %s: only loopback addresses (127.0.0.0/8, ::1)" % address)
    return ip


def write_ready_file(path, info):
    """Written whole by rename, so a reader never sees half of it."""
    tmp = path + ".tmp"
    with open(tmp, "w") as f:
        json.dump(info, f)
    os.replace(tmp, path)


class PrinterSimServer:
    def __init__(self, address, port, state, log, faults=(), control_port=0, store_dir=None,
                 ready_file=None, lifetime_s=None, strict_image_type=False, strict_reserved=True,
                 skip_checksum=False):
        ip = check_loopback(address)
        self.family = socket.AF_INET6 if ip.version == 6 else socket.AF_INET
        self.address = str(ip)
        self.port = port
        self.state = state
        self.log = log
        self.faults = FaultSet(faults)
        self.control_port = control_port
        self.store_dir = store_dir
        self.ready_file = ready_file
        self.strict_image_type = strict_image_type
        self.strict_reserved = strict_reserved
        self.skip_checksum = skip_checksum
        # A simulator whose starter cannot signal it (Wine) must not outlive a crashed test.
        self.end_time = time.monotonic() + lifetime_s if lifetime_s else None
        if store_dir:
            os.makedirs(store_dir, exist_ok=True)
        self._listener = None
        self._control = None
        self._wake_r, self._wake_w = os.pipe()
        os.set_blocking(self._wake_w, False)
        self._stop = threading.Event()
        self._sync = threading.Condition()
        self._sync_requested = 0
        self._sync_done = 0
        self._connections = set()
        self._held = []  # accept-no-read: accepted, never read, closed at shutdown
        self._conn_lock = threading.Lock()
        self._next_conn = 0
        self._threads = []

    # --- sockets -------------------------------------------------------------------------

    def _bind(self, port):
        s = socket.socket(self.family, socket.SOCK_STREAM)
        s.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
        s.bind((self.address, port))
        s.listen(16)
        return s

    def open(self):
        """Binds both sockets; raises OSError when a port is taken.

        The control socket comes first and stays bound while the printer restarts (its listener
        closed): with a fixed control port, a second simulator started on the address meanwhile
        fails there and never holds the printer's port.
        """
        if self.control_port >= 0:
            self._control = self._bind(self.control_port)
            self.control_port = self._control.getsockname()[1]
        self._listener = self._bind(self.port)
        self.port = self._listener.getsockname()[1]
        self.log.emit("listening", address=self.address, port=self.port, control_port=self.control_port)
        self.log.say("printer-sim: listening on %s:%d (control %d)" % (self.address, self.port, self.control_port))
        if self.ready_file:
            write_ready_file(self.ready_file, {"pid": os.getpid(), "address": self.address, "port": self.port,
                                               "control_port": self.control_port})

    def wake(self):
        try:
            os.write(self._wake_w, b"x")
        except OSError:
            pass

    def stop(self):
        self._stop.set()
        self.wake()

    def wait_stopped(self, seconds):
        """Sleeps up to `seconds`; True when the simulator is stopping."""
        return self._stop.wait(seconds)

    def _want_listener(self):
        if self.faults.has("refuse"):
            return False
        with self.state.lock:
            return not (self.state.restarting and self.state.restart_deadline is not None)

    def _sync_listener(self):
        with self._sync:
            requested = self._sync_requested
        want = self._want_listener()
        if want:
            self._listen_again()
        elif self._listener is not None:
            self._listener.close()
            self._listener = None
        with self._sync:
            self._sync_done = requested
            self._sync.notify_all()

    def _listen_again(self):
        if self._listener is None and not self.faults.has("refuse"):
            try:
                self._listener = self._bind(self.port)
            except OSError as e:
                self.log.emit("rebind_failed", port=self.port, error=str(e))

    def _await_sync(self):
        """Returns once the main loop has looked at the state after this call began."""
        with self._sync:
            self._sync_requested += 1
            target = self._sync_requested
            self.wake()
            self._sync.wait_for(lambda: self._sync_done >= target or self._stop.is_set(), timeout=5)

    def begin_restart(self, reason):
        state = self.state
        with state.lock:
            if not state.begin_restart():
                return
            snapshot = state.snapshot()
        self.log.emit("restart_begin", reason=reason, version=snapshot["version"],
                      components=escape_text(snapshot["components"].encode()))
        if threading.current_thread() is not threading.main_thread():
            self._await_sync()

    def _end_restart(self):
        state = self.state
        with state.lock:
            state.end_restart()
            snapshot = state.snapshot()
        self.log.emit("restart_end", version=snapshot["version"],
                      components=escape_text(snapshot["components"].encode()))

    def run(self):
        try:
            while not self._stop.is_set():
                self._sync_listener()
                with self.state.lock:
                    deadline = self.state.restart_deadline if self.state.restarting else None
                timeout = 0.5
                if self.end_time is not None and time.monotonic() >= self.end_time:
                    self.log.emit("lifetime_over")
                    break
                if deadline is not None:
                    left = deadline - time.monotonic()
                    if left <= 0:
                        # Listening again before the state says so: whoever
                        # saw the restart end finds the port open.
                        self._listen_again()
                        self._end_restart()
                        continue
                    timeout = min(timeout, left)
                watched = [self._wake_r] + [s for s in (self._listener, self._control) if s is not None]
                readable, _, _ = select.select(watched, [], [], timeout)
                if self._wake_r in readable:
                    os.read(self._wake_r, 4096)
                if self._listener is not None and self._listener in readable:
                    self._accept_printer()
                if self._control is not None and self._control in readable:
                    self._accept_control()
        finally:
            self._shutdown()

    def _accept_printer(self):
        try:
            sock, peer = self._listener.accept()
        except OSError:
            return
        with self._conn_lock:
            self._next_conn += 1
            conn_id = self._next_conn
        peer_text = "%s:%d" % (peer[0], peer[1])
        state = self.state
        with state.lock:
            dropping = state.restarting and state.restart_drops_left > 0
            if dropping:
                state.restart_drops_left -= 1
                last_drop = state.restart_drops_left == 0
            generation = state.generation
        if dropping:
            self.log.emit("refused_during_restart", conn=conn_id, peer=peer_text)
            sock.close()
            if last_drop:
                self._end_restart()
            return
        if self.faults.has("accept-close"):
            self.log.emit("fault", conn=conn_id, mode="accept-close", cmd="", peer=peer_text)
            sock.close()
            return
        if self.faults.has("accept-no-read"):
            # The sender's data fills the socket buffers, then its sends block.
            self.log.emit("fault", conn=conn_id, mode="accept-no-read", cmd="", peer=peer_text)
            with self._conn_lock:
                self._held.append(sock)
            return
        sock.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
        conn = Connection(self, sock, conn_id, peer_text, generation)
        self.log.emit("connect", conn=conn_id, peer=peer_text)
        with self._conn_lock:
            self._connections.add(conn)
        t = threading.Thread(target=conn.run, name="conn-%d" % conn_id, daemon=True)
        self._threads = [x for x in self._threads if x.is_alive()]
        self._threads.append(t)
        t.start()

    def forget(self, conn):
        with self._conn_lock:
            self._connections.discard(conn)

    def _shutdown(self):
        for s in (self._listener, self._control):
            if s is not None:
                s.close()
        self._listener = self._control = None
        with self._conn_lock:
            live = list(self._connections)
            held, self._held = self._held, []
        for sock in held:
            sock.close()
        for conn in live:
            try:
                conn.sock.shutdown(socket.SHUT_RDWR)
            except OSError:
                pass
        for t in self._threads:
            t.join(timeout=2)
        with self._sync:
            self._sync.notify_all()

    # --- control socket ----------------------------------------------------------------------

    def _accept_control(self):
        try:
            sock, _ = self._control.accept()
        except OSError:
            return
        t = threading.Thread(target=self._serve_control, args=(sock,), name="control", daemon=True)
        self._threads.append(t)
        t.start()

    def _serve_control(self, sock):
        with sock:
            reader = sock.makefile("rb")
            for line in reader:
                if not line.strip():
                    continue
                try:
                    reply = self.control(json.loads(line))
                except (ValueError, FaultError, TypeError, KeyError, AttributeError) as e:
                    reply = {"ok": False, "error": str(e)}
                try:
                    sock.sendall((json.dumps(reply) + "\n").encode())
                except OSError:
                    return
                if reply.get("stopping"):
                    return

    def control(self, request):
        op = request.get("op")
        self.log.emit("control", op=str(op))
        state = self.state
        if op == "state":
            reply = state.snapshot()
            reply.update(ok=True, faults=self.faults.descs(), port=self.port)
            return reply
        if op == "faults":
            self.faults.replace(list(request.get("list", [])))
            self._await_sync()  # "refuse" acts on the listener before the reply
            return {"ok": True, "faults": self.faults.descs()}
        if op == "set":
            self._set(request)
            return {"ok": True}
        if op == "restart":
            self.begin_restart(str(request.get("reason", "control")))
            return {"ok": True}
        if op == "shutdown":
            self.stop()
            return {"ok": True, "stopping": True}
        raise ValueError("unknown op %r" % op)

    def _set(self, request):
        state = self.state
        texts = {"components_text": "components", "printer_info": "printer_info",
                 "build_info": "build_info"}
        known = set(texts) | {"op", "version", "version_raw", "info_lead", "next_version", "restart_ms",
                              "restart_connections"}
        unknown = sorted(set(request) - known)
        if unknown:
            raise ValueError("unknown setting %s" % ", ".join(unknown))
        with state.lock:
            for key, value in request.items():
                if key == "op":
                    continue
                if key == "version":
                    state.version = int(value)
                    state.version_raw = None
                elif key == "version_raw":
                    raw = bytes.fromhex(value) if value is not None else None
                    if raw is not None and len(raw) != 8:
                        raise ValueError("version_raw must be 8 bytes")
                    state.version_raw = raw
                elif key in texts:
                    setattr(state, texts[key], unescape_text(value))
                elif key == "info_lead":
                    state.info_lead = bytes.fromhex(value)
                elif key == "next_version":
                    state.next_version = None if value is None else int(value)
                elif key == "restart_ms":
                    state.restart_ms = int(value)
                elif key == "restart_connections":
                    state.restart_connections = None if value is None else int(value)
                else:
                    raise ValueError("unknown setting %r" % key)
