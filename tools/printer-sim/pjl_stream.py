"""Push parser for what a host sends to the printer: PJL framing, ACL records, data.

Bytes may arrive in any split; feed() returns the items completed so far:
  ("uel",)                    the Universal Exit Language
  ("pjl", line, enter_acl)    a PJL line without its line end; enter_acl when it is exactly
                              the enter-language line (the stream is then in ACL mode)
  ("garbage", bytes)          bytes that fit no framing in the current state
  ("bad_prefix", record)      16 bytes in ACL mode whose prefix is not 00 AC
  ("record", record)          a 16-byte command record
  ("data", bytes)             a piece of the data that follows a record
  ("data_end",)               the last data byte of that record has arrived
"""

from acl_wire import ACL_PREFIX, PJL_ENTERLANG, PJL_UEL, RECORD_SIZE, data_length_of, u16

IDLE, PJL, ACL, DATA = "idle", "pjl", "acl", "data"
MAX_PJL_LINE = 256
ESC = 0x1B


class StreamParser:
    def __init__(self):
        self.state = IDLE
        self._buf = bytearray()
        self.data_expected = 0
        self.data_received = 0
        self._return_state = ACL

    @property
    def pending(self):
        """Bytes held back waiting for the rest of an item."""
        return len(self._buf)

    def position(self):
        """Where the stream stands: idle, pjl, acl, record (mid-record) or data (mid-data)."""
        if self.state == DATA:
            return DATA
        if self.state == ACL and self._buf and self._buf[0] != ESC:
            return "record"
        return self.state

    def feed(self, chunk):
        items = []
        if self.state == DATA and not self._buf:
            chunk = self._take_data(memoryview(chunk), items)
        if chunk:
            self._buf.extend(chunk)
        while self._buf:
            if not self._step(items):
                break
        return _merge_garbage(items)

    def _take_data(self, view, items):
        n = min(len(view), self.data_expected - self.data_received)
        if n:
            items.append(("data", bytes(view[:n])))
            self.data_received += n
        if self.data_received == self.data_expected:
            items.append(("data_end",))
            self.state = self._return_state
        return view[n:]

    def _step(self, items):
        """Consume one item from the buffer; False when more bytes are needed."""
        buf = self._buf
        if self.state == DATA:
            n = min(len(buf), self.data_expected - self.data_received)
            items.append(("data", bytes(buf[:n])))
            del buf[:n]
            self.data_received += n
            if self.data_received == self.data_expected:
                items.append(("data_end",))
                self.state = self._return_state
            return True
        if buf[0] == ESC:
            return self._step_uel(items)
        if self.state == IDLE:
            return self._garbage_to_esc(items)
        if self.state == PJL:
            return self._step_pjl(items)
        return self._step_record(items)

    def _step_uel(self, items):
        buf = self._buf
        n = min(len(buf), len(PJL_UEL))
        if buf[:n] != PJL_UEL[:n]:
            items.append(("garbage", bytes(buf[:1])))
            del buf[:1]
            return self._garbage_to_esc(items) or True
        if n < len(PJL_UEL):
            return False
        del buf[:len(PJL_UEL)]
        items.append(("uel",))
        self.state = PJL
        return True

    def _garbage_to_esc(self, items):
        buf = self._buf
        end = buf.find(bytes([ESC]))
        if end == 0:
            return True
        if end < 0:
            end = len(buf)
        items.append(("garbage", bytes(buf[:end])))
        del buf[:end]
        return True

    def _step_pjl(self, items):
        buf = self._buf
        if buf[0] != ord("@"):
            return self._garbage_to_esc(items)
        end = buf.find(b"\n")
        if end < 0:
            if len(buf) > MAX_PJL_LINE:
                return self._garbage_to_esc(items)
            return False
        raw = bytes(buf[:end + 1])
        del buf[:end + 1]
        enter_acl = raw == PJL_ENTERLANG
        items.append(("pjl", raw.rstrip(b"\r\n"), enter_acl))
        if enter_acl:
            self.state = ACL
        return True

    def _step_record(self, items):
        buf = self._buf
        if len(buf) < RECORD_SIZE:
            return False
        record = bytes(buf[:RECORD_SIZE])
        del buf[:RECORD_SIZE]
        if u16(record, 0) != ACL_PREFIX:
            items.append(("bad_prefix", record))
            return True
        items.append(("record", record))
        length = data_length_of(record)
        if length:
            self.state = DATA
            self._return_state = ACL
            self.data_expected = length
            self.data_received = 0
        return True


def _merge_garbage(items):
    merged = []
    for item in items:
        if item[0] == "garbage" and merged and merged[-1][0] == "garbage":
            merged[-1] = ("garbage", merged[-1][1] + item[1])
        else:
            merged.append(item)
    return merged
