"""The printer's handling of one ACL command: checks, reply and effect on the state."""

import hashlib
import os
import struct

import acl_wire as w

HEAD_KEEP = w.BIN_FULL_PART_LEAD + 4  # enough to tell a full-part image by its code magic
TAIL_KEEP = 260


class DataSink:
    """Takes a data phase piece by piece: checksum, hash, head and tail, optional file."""

    def __init__(self, expected, checksum_limit, path=None, verify=True):
        self.expected = expected
        self.verify = verify
        self.checksum_limit = checksum_limit  # bytes covered by the checksum (SPI: all but the trailer)
        self.received = 0
        self.checksum = w.AclChecksum()
        self.sha = hashlib.sha256()
        self.head = bytearray()
        self.tail = bytearray()
        self.path = path
        self._file = open(path, "wb") if path else None

    def write(self, data):
        view = memoryview(data)
        if self.verify:
            covered = max(0, min(len(view), self.checksum_limit - self.received))
            if covered:
                self.checksum.update(view[:covered])
            self.sha.update(view)
        if len(self.head) < HEAD_KEEP:
            self.head += view[:HEAD_KEEP - len(self.head)]
        self.tail += view[-TAIL_KEEP:]
        if len(self.tail) > TAIL_KEEP:
            del self.tail[:len(self.tail) - TAIL_KEEP]
        if self._file:
            self._file.write(view)
        self.received += len(view)

    def close(self):
        if self._file:
            self._file.close()
            self._file = None

    def summary(self):
        return {
            "data_length": self.expected,
            "received": self.received,
            "sha256": self.sha.hexdigest() if self.verify else "",
            "verified": self.verify,
            "stored": self.path or "",
        }


class Command:
    """One command record and (for data commands) what arrived after it."""

    def __init__(self, record, seq, store_dir=None, verify=True):
        self.record = record
        self.cmd_id = w.u16(record, 2)
        self.name = w.command_name(self.cmd_id)
        self.seq = seq
        self.data_length = w.data_length_of(record)
        self.sink = None
        if self.cmd_id in w.DATA_COMMANDS:
            limit = self.data_length
            if self.cmd_id == w.ACLCMD_WRITE_SPIMEM:
                limit = max(0, self.data_length - 4)
            path = None
            if store_dir:
                path = os.path.join(store_dir, "%04d-%s.bin" % (seq, self.name.lower()))
            self.sink = DataSink(self.data_length, limit, path, verify)

    def fields(self):
        return {"cmd": self.name, "cmd_id": self.cmd_id, "record": self.record.hex()}


class Verdict:
    """What the printer answers and what the command changes once it is answered."""

    def __init__(self):
        self.status = w.ACLCMD_STATUS_SUCCESS
        self.payload = b""
        self.text = None          # bytes sent after the record (text commands)
        self.fields = {}
        self.restart = False
        self.new_version = None   # staged for the next restart
        self.component = None     # (type, version) staged for the next restart
        self.nvram_mode = None

    def fail(self, reason):
        if self.status == w.ACLCMD_STATUS_SUCCESS:
            self.status = w.ACLCMD_STATUS_FAILURE
            self.fields["reason"] = reason


# Parameter bytes that carry nothing for each command: the host sends them as zero.
_RESERVED = {
    w.ACLCMD_BURN_FLASH: (8, 12),
    w.ACLCMD_WRITE_SPIMEM: (8, 16),
    w.ACLCMD_WRITE_NVRAM: (12, 16),
}


def reserved_bytes(record):
    start, end = _RESERVED.get(w.u16(record, 2), (4, 16))
    return record[start:end]


def evaluate(command, state, strict_image_type=False, strict_reserved=True):
    """Checks a complete command against the printer's rules; does not change the state."""
    v = Verdict()
    cmd_id = command.cmd_id
    reserved_ok = not any(reserved_bytes(command.record))
    v.fields["reserved_ok"] = reserved_ok
    if strict_reserved and not reserved_ok and cmd_id in w.COMMAND_NAMES:
        v.fail("reserved")
    if cmd_id == w.ACLCMD_GET_VERSION:
        if v.status == w.ACLCMD_STATUS_SUCCESS:
            v.payload = state.version_bytes()
    elif cmd_id in w.TEXT_COMMANDS:
        with state.lock:
            if cmd_id == w.ACLCMD_GET_COMP_VERSION:
                v.text = state.components
            elif cmd_id == w.ACLCMD_GET_PRINTER_INFO:
                v.text = state.info_lead + state.printer_info
            else:
                v.text = state.info_lead + state.build_info
        v.payload = struct.pack(">H", len(v.text) & 0xFFFF)
    elif cmd_id == w.ACLCMD_RESET:
        v.restart = True
    elif cmd_id == w.ACLCMD_BURN_FLASH:
        _evaluate_burn(command, state, v, strict_image_type)
    elif cmd_id == w.ACLCMD_WRITE_SPIMEM:
        _evaluate_spi(command, state, v)
    elif cmd_id == w.ACLCMD_WRITE_NVRAM:
        _evaluate_nvram(command, v)
    else:
        v.fail("unknown_command")
    if v.text is not None and v.status != w.ACLCMD_STATUS_SUCCESS:
        v.text = b""
        v.payload = b""
    if command.sink is not None:
        v.fields.update(command.sink.summary())
        v.fields["ok"] = v.status == w.ACLCMD_STATUS_SUCCESS
        v.fields.setdefault("reason", "")
    return v


def _evaluate_burn(command, state, v, strict_image_type):
    rec = command.record
    sink = command.sink
    image_type = w.u16(rec, 4)
    declared = w.u16(rec, 6)
    computed = sink.checksum.value16() if sink.verify else -1
    no_reboot = bool(image_type & w.ACL_NO_REBOOT)
    base = image_type & ~w.ACL_NO_REBOOT
    kind = {w.IMAGE_TYPE_CODE_ONLY: "image", w.IMAGE_TYPE_FULL_PART: "image",
            w.IMAGE_TYPE_NAND_PACKAGE: "nand_package"}.get(base, "unknown")
    image_kind = w.classify_image(bytes(sink.head), sink.received)
    v.fields.update({
        "image_type": image_type, "no_reboot": no_reboot, "kind": kind,
        "checksum": declared, "checksum_computed": computed,
        "param8": w.u32(rec, 8), "image_kind": image_kind,
    })
    file_version = w.bin_trailer_version(bytes(sink.tail)) if sink.received else None
    v.fields["file_version"] = file_version if file_version is not None else -1
    package = None
    if kind == "nand_package":
        package = w.parse_nand_package(bytes(sink.head), bytes(sink.tail), sink.received)
        if package:
            v.fields.update(package)
    if command.data_length == 0:
        v.fail("length")
    elif kind == "unknown":
        v.fail("image_type")
    elif sink.verify and declared != computed:
        v.fail("checksum")
    elif strict_image_type and kind == "image" and image_kind != \
            {w.IMAGE_TYPE_CODE_ONLY: "code_only", w.IMAGE_TYPE_FULL_PART: "full_part"}[base]:
        v.fail("image_type")
    elif kind == "nand_package" and (package is None or package["pkg_version_header"] != 2):
        v.fail("package")
    if v.status != w.ACLCMD_STATUS_SUCCESS:
        return
    if kind == "image":
        v.new_version = _next_version(state, file_version)
    else:
        v.component = (package["comp_type"], package["pkg_version"])
    v.restart = not no_reboot


def _evaluate_spi(command, state, v):
    rec = command.record
    sink = command.sink
    tail = bytes(sink.tail)
    trailer = tail[-4:] if sink.received >= 4 else b""
    computed = sink.checksum.value32() if sink.verify else -1
    file_version = w.bin_trailer_version(tail[:-4]) if sink.received > 4 else None
    v.fields.update({
        "trailer": trailer.hex(), "checksum_computed": computed, "param8": rec[8:16].hex(),
        "file_version": file_version if file_version is not None else -1,
    })
    if command.data_length < 4:
        v.fail("length")
    elif sink.verify and trailer != struct.pack(">I", computed):
        v.fail("checksum")
    if v.status == w.ACLCMD_STATUS_SUCCESS:
        v.new_version = _next_version(state, file_version)
        v.restart = True


def _evaluate_nvram(command, v):
    rec = command.record
    sink = command.sink
    offset = w.u32(rec, 4)
    block = bytes(sink.head[:sink.received])
    mode = w.nvram_block_mode(block)
    v.fields.update({"offset": offset, "param12": w.u32(rec, 12), "block": block.hex(), "mode": mode})
    if offset != w.NVRAM_OFFSET:
        v.fail("offset")
    elif command.data_length != w.NVRAM_BLOCK_SIZE:
        v.fail("length")
    elif mode < 0:
        v.fail("block")
    if v.status == w.ACLCMD_STATUS_SUCCESS:
        v.nvram_mode = mode


def _next_version(state, file_version):
    with state.lock:
        if state.next_version is not None:
            return state.next_version
    if file_version:
        return file_version
    return None
