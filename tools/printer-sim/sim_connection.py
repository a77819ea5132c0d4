"""One conversation on the printing port: framing in, command handling, replies and faults out."""

import time

import acl_wire as w
from event_log import escape_text
from pjl_stream import StreamParser
from sim_commands import Command, evaluate

RECV_SIZE = 1 << 20
REPLY_HEX_LIMIT = 4096
CLOSE = "close"


class Connection:
    def __init__(self, server, sock, conn_id, peer, generation):
        self.server = server
        self.sock = sock
        self.id = conn_id
        self.peer = peer
        self.generation = generation
        self.parser = StreamParser()
        self.bytes = 0
        self.command = None
        self.faults = {}

    def emit(self, event, **fields):
        return self.server.log.emit(event, conn=self.id, **fields)

    def run(self):
        closed_by = "peer"
        try:
            while True:
                try:
                    data = self.sock.recv(RECV_SIZE)
                except OSError:
                    data = b""
                if not data:
                    break
                self.bytes += len(data)
                if self._feed(data) == CLOSE:
                    closed_by = "sim"
                    break
        except Exception as e:  # a simulator bug must show in the log, not kill the server quietly
            closed_by = "sim"
            self.emit("internal_error", error="%s: %s" % (type(e).__name__, e))
            raise
        finally:
            position = self.parser.position()
            fields = {}
            if self.command is not None and self.command.sink is not None:
                fields = {"data_received": self.command.sink.received,
                          "data_expected": self.command.data_length}
                self._finish_incomplete("incomplete")
            self.emit("disconnect", peer=self.peer, bytes=self.bytes, state=position,
                      by=closed_by, **fields)
            try:
                self.sock.close()
            except OSError:
                pass
            self.server.forget(self)

    def _feed(self, data):
        for item in self.parser.feed(data):
            kind = item[0]
            if kind == "uel":
                self.emit("uel")
            elif kind == "pjl":
                self.emit("pjl", line=escape_text(item[1]), enter_acl=item[2])
            elif kind == "garbage":
                self.emit("garbage", state=self.parser.state, length=len(item[1]),
                          hex=item[1][:64].hex())
            elif kind == "bad_prefix":
                self.emit("bad_prefix", hex=item[1].hex())
            elif kind == "record":
                if self._start(item[1]) == CLOSE:
                    return CLOSE
            elif kind == "data":
                if self._data(item[1]) == CLOSE:
                    return CLOSE
            elif kind == "data_end":
                if self._finish() == CLOSE:
                    return CLOSE
        return None

    def stale(self):
        state = self.server.state
        with state.lock:
            return self.generation != state.generation or state.restarting

    def _start(self, record):
        state = self.server.state
        with state.lock:
            state.commands += 1
            seq = state.commands
        self.command = Command(record, seq, self.server.store_dir, not self.server.skip_checksum)
        self.faults = {} if self.stale() else self.server.faults.for_command(self.command.cmd_id)
        close = self.faults.get("close-mid-data")
        if close is not None:
            at = close.param("at", self.command.data_length // 2)
            if self.command.sink is None or at <= 0:
                self.emit("fault", mode="close-mid-data", cmd=self.command.name, at=0)
                self._finish_incomplete("closed")
                return CLOSE
        if self.command.data_length == 0:
            return self._finish()
        return None

    def _data(self, chunk):
        command = self.command
        close = self.faults.get("close-mid-data")
        if close is not None:
            at = close.param("at", command.data_length // 2)
            room = at - command.sink.received
            if len(chunk) >= room:
                command.sink.write(chunk[:room])
                self.emit("fault", mode="close-mid-data", cmd=command.name, at=at)
                self._finish_incomplete("closed")
                return CLOSE
        stall = self.faults.pop("stall-mid-data", None)
        if stall is not None:
            # Stops reading, so the sender's buffers fill and it blocks in the
            # middle of the data; reading resumes after the delay (or at stop).
            room = max(0, stall.param("at", command.data_length // 2) - command.sink.received)
            if len(chunk) >= room:
                command.sink.write(chunk[:room])
                chunk = chunk[room:]
                self.emit("fault", mode="stall-mid-data", cmd=command.name, at=command.sink.received)
                self.server.wait_stopped(stall.param("delay_ms", 60000) / 1000.0)
            else:
                self.faults["stall-mid-data"] = stall
        command.sink.write(chunk)
        return None

    def _finish_incomplete(self, reason):
        command = self.command
        self.command = None
        if command is None:
            return
        fields = command.fields()
        if command.sink is not None:
            command.sink.close()
            fields.update(command.sink.summary())
            fields.update(ok=False, reason=reason)
        fields["status"] = 0
        self.emit("command", **fields)

    def _finish(self):
        command = self.command
        self.command = None
        if command.sink is not None:
            command.sink.close()
        server = self.server
        verdict = evaluate(command, server.state, server.strict_image_type, server.strict_reserved)
        fields = command.fields()
        fields.update(verdict.fields)
        fields["status"] = verdict.status
        if self.stale():
            self.emit("command", ignored="restarting", **fields)
            return None
        fields["faults"] = ",".join(sorted(self.faults))
        self.emit("command", **fields)
        return self._answer(command, verdict)

    def _answer(self, command, verdict):
        faults = self.faults
        server = self.server
        if "no-reply" in faults:
            self.emit("fault", mode="no-reply", cmd=command.name)
            return None
        if "close-before-reply" in faults:
            self.emit("fault", mode="close-before-reply", cmd=command.name)
            return CLOSE
        applied = []
        status = verdict.status
        prefix = w.ACL_PREFIX
        cmd_id = command.cmd_id
        payload = verdict.payload
        text = verdict.text if verdict.text is not None else b""
        if "status" in faults:
            status = faults["status"].param("value", w.ACLCMD_STATUS_FAILURE)
            applied.append("status")
        if "wrong-cmdid" in faults:
            cmd_id = faults["wrong-cmdid"].param("value", (cmd_id + 1) & 0xFFFF)
            applied.append("wrong-cmdid")
        if "wrong-prefix" in faults:
            prefix = faults["wrong-prefix"].param("value", 0x00AD)
            applied.append("wrong-prefix")
        if verdict.text is not None:
            if "no-text" in faults:
                text = b""
                applied.append("no-text")
            if "text-length" in faults:
                payload = (faults["text-length"].param("value", 0) & 0xFFFF).to_bytes(2, "big")
                applied.append("text-length")
        reply = w.response(cmd_id, status, payload, prefix)
        if "slow" in faults:
            time.sleep(faults["slow"].param("delay_ms", 1000) / 1000.0)
            applied.append("slow")

        # The printer did the work when it reports success; a burn takes effect at its restart.
        if verdict.status == w.ACLCMD_STATUS_SUCCESS and status == w.ACLCMD_STATUS_SUCCESS:
            state = server.state
            if "keep-old-version" not in faults:
                if verdict.new_version is not None:
                    state.stage_version(verdict.new_version)
                if verdict.component is not None:
                    state.stage_component(*verdict.component)
            else:
                applied.append("keep-old-version")
            if verdict.nvram_mode is not None:
                with state.lock:
                    state.nvram_mode = verdict.nvram_mode
            if verdict.restart:
                if "no-restart" in faults:
                    state.apply_pending()
                    applied.append("no-restart")
                else:
                    # Stop listening before the reply leaves, so nothing connects in between.
                    server.begin_restart("reset" if command.cmd_id == w.ACLCMD_RESET else "burn")

        try:
            self._send(reply, text, faults, applied)
        except OSError as e:
            self.emit("reply_failed", cmd_id=command.cmd_id, error=str(e))
            return CLOSE
        return None

    def _send(self, reply, text, faults, applied):
        sent = reply + text
        if "short-reply" in faults:
            at = faults["short-reply"].param("at", 10)
            sent = reply[:at]
            self.sock.sendall(sent)
            applied.append("short-reply")
        elif "split-reply" in faults:
            f = faults["split-reply"]
            at = f.param("at", 8)
            self.sock.sendall(reply[:at])
            time.sleep(f.param("delay_ms", 200) / 1000.0)
            self.sock.sendall(reply[at:] + text)
            applied.append("split-reply")
        elif "split-text" in faults and text:
            f = faults["split-text"]
            at = f.param("at", len(text) // 2)
            self.sock.sendall(reply + text[:at])
            time.sleep(f.param("delay_ms", 200) / 1000.0)
            self.sock.sendall(text[at:])
            applied.append("split-text")
        else:
            self.sock.sendall(sent)
        self.emit("reply", cmd_id=w.u16(reply, 2) if len(reply) >= 4 else -1,
                  hex=sent[:REPLY_HEX_LIMIT].hex(), fault=",".join(applied))
