"""Events as flat JSON lines (for tests) and a readable console log (for people)."""

import json
import sys
import threading
import time


def escape_text(data):
    """Printable rendering of bytes: CR LF TAB backslash and non-ASCII as escapes."""
    out = []
    for b in data:
        if b == 0x5C:
            out.append("\\\\")
        elif b == 0x0D:
            out.append("\\r")
        elif b == 0x0A:
            out.append("\\n")
        elif b == 0x09:
            out.append("\\t")
        elif 0x20 <= b < 0x7F:
            out.append(chr(b))
        else:
            out.append("\\x%02x" % b)
    return "".join(out)


def unescape_text(text):
    """Inverse of escape_text for command-line texts: \\r \\n \\t \\\\ \\xNN; result is bytes."""
    out = bytearray()
    raw = text.encode("utf-8")
    i = 0
    while i < len(raw):
        ch = raw[i]
        if ch == 0x5C and i + 1 < len(raw):
            nxt = chr(raw[i + 1])
            if nxt in "rnt\\":
                out.append({"r": 13, "n": 10, "t": 9, "\\": 92}[nxt])
                i += 2
                continue
            if nxt == "x" and i + 3 < len(raw):
                try:
                    out.append(int(raw[i + 2:i + 4].decode("ascii"), 16))
                    i += 4
                    continue
                except ValueError:
                    pass
        out.append(ch)
        i += 1
    return bytes(out)


class EventLog:
    def __init__(self, path=None, console=True, stream=None):
        self._lock = threading.Lock()
        self._file = open(path, "a", encoding="utf-8") if path else None
        self._console = console
        self._stream = stream or sys.stdout
        self._seq = 0
        self._start = time.monotonic()

    def emit(self, event, **fields):
        with self._lock:
            self._seq += 1
            record = {"seq": self._seq, "t": round(time.monotonic() - self._start, 4), "event": event}
            record.update(fields)
            if self._file:
                self._file.write(json.dumps(record, separators=(",", ":")) + "\n")
                self._file.flush()
            if self._console:
                self._stream.write(_console_line(record) + "\n")
                self._stream.flush()
            return record

    def say(self, text):
        if self._console:
            with self._lock:
                self._stream.write(text + "\n")
                self._stream.flush()

    def close(self):
        with self._lock:
            if self._file:
                self._file.close()
                self._file = None


# Left out of the console (they stay in the event log): the raw record repeats the decoded fields.
_QUIET_FIELDS = ("record",)
_HEX_FIELDS = ("cmd_id", "image_type", "checksum", "checksum_computed", "offset", "param8", "param12")


def _console_line(record):
    head = "[%9.3f]" % record["t"]
    conn = record.get("conn")
    if conn is not None:
        head += " #%d" % conn
    parts = [head, record["event"]]
    for key, value in record.items():
        if key in ("seq", "t", "event", "conn"):
            continue
        if key in _QUIET_FIELDS or value == "":
            continue
        if key in _HEX_FIELDS and isinstance(value, int) and not isinstance(value, bool):
            value = "%#06x" % value
        elif key == "sha256":
            value = value[:16]
        elif isinstance(value, str) and len(value) > 96:
            value = value[:96] + "..."
        parts.append("%s=%s" % (key, value))
    return " ".join(str(p) for p in parts)
