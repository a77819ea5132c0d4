"""Wire format of the ACL command protocol as the printer sees it.

Written from the protocol description alone (not from the utility's encoder), so the
simulator disagrees with the utility whenever the utility gets a byte wrong.
"""

import struct

PJL_UEL = b"\x1b%-12345X"
PJL_ENTERLANG = b"@PJL ENTER LANGUAGE=ACL\r\n"

ACL_PREFIX = 0x00AC
RECORD_SIZE = 16

ACLCMD_GET_VERSION = 0x0001
ACLCMD_WRITE_SPIMEM = 0x0005
ACLCMD_GET_PRINTER_INFO = 0x0006
ACLCMD_BURN_FLASH = 0x000F
ACLCMD_GET_BUILD_INFO = 0x0013
ACLCMD_GET_COMP_VERSION = 0x0016
ACLCMD_RESET = 0xD1EE
ACLCMD_WRITE_NVRAM = 0xEC1D

ACLCMD_STATUS_SUCCESS = 0x0001
ACLCMD_STATUS_FAILURE = 0x0002

ACL_NO_REBOOT = 0x2000
IMAGE_TYPE_CODE_ONLY = 0x0003
IMAGE_TYPE_FULL_PART = 0x0004
IMAGE_TYPE_NAND_PACKAGE = 0x0101

NVRAM_OFFSET = 0x13F
NVRAM_BLOCK_SIZE = 23

COMMAND_NAMES = {
    ACLCMD_GET_VERSION: "GET_VERSION",
    ACLCMD_GET_COMP_VERSION: "GET_COMP_VERSION",
    ACLCMD_GET_PRINTER_INFO: "GET_PRINTER_INFO",
    ACLCMD_GET_BUILD_INFO: "GET_BUILD_INFO",
    ACLCMD_BURN_FLASH: "BURN_FLASH",
    ACLCMD_WRITE_SPIMEM: "WRITE_SPIMEM",
    ACLCMD_WRITE_NVRAM: "WRITE_NVRAM",
    ACLCMD_RESET: "RESET",
}

# Short names used by fault filters.
COMMAND_SHORT_NAMES = {
    ACLCMD_GET_VERSION: "version",
    ACLCMD_GET_COMP_VERSION: "compver",
    ACLCMD_GET_PRINTER_INFO: "info",
    ACLCMD_GET_BUILD_INFO: "build",
    ACLCMD_BURN_FLASH: "burn",
    ACLCMD_WRITE_SPIMEM: "spi",
    ACLCMD_WRITE_NVRAM: "nvram",
    ACLCMD_RESET: "reset",
}

TEXT_COMMANDS = (ACLCMD_GET_COMP_VERSION, ACLCMD_GET_PRINTER_INFO, ACLCMD_GET_BUILD_INFO)
DATA_COMMANDS = (ACLCMD_BURN_FLASH, ACLCMD_WRITE_SPIMEM, ACLCMD_WRITE_NVRAM)

# Component type codes and the names the printer reports them under.
COMPONENT_NAMES = {2: "NandLDR", 3: "print", 4: "binary", 5: "Kinset", 6: "NandBoot"}

BIN_CODE_MAGIC = bytes.fromhex("AA554154")
BIN_FULL_PART_LEAD = 0x10000


def u16(data, offset):
    return struct.unpack_from(">H", data, offset)[0]


def u32(data, offset):
    return struct.unpack_from(">I", data, offset)[0]


def command_name(cmd_id):
    return COMMAND_NAMES.get(cmd_id, "UNKNOWN")


def data_length_of(record):
    """Bytes of data that follow a command record on the wire (0 for commands without data)."""
    cmd_id = u16(record, 2)
    if cmd_id == ACLCMD_BURN_FLASH:
        return u32(record, 12)
    if cmd_id == ACLCMD_WRITE_SPIMEM:
        return u32(record, 4)
    if cmd_id == ACLCMD_WRITE_NVRAM:
        return u32(record, 8)
    return 0


def response(cmd_id, status, payload=b"", prefix=ACL_PREFIX):
    """A 16-byte response record; payload fills bytes 6..15 (zero-padded, cut at 10)."""
    payload = bytes(payload[:10]).ljust(10, b"\0")
    return struct.pack(">HHH", prefix & 0xFFFF, cmd_id & 0xFFFF, status & 0xFFFF) + payload


def version_payload(version):
    # Eight digits is all the record holds; a larger version keeps its low digits.
    return b"%08d" % (version % 100000000)


class AclChecksum:
    """Incremental form of the protocol checksum.

    Big-endian 16-bit words are added into a signed 32-bit accumulator that wraps; a last
    odd byte is added unshifted; the sum is folded with arithmetic shifts and complemented.
    Because the accumulator wraps at 2^32, this is not the Internet checksum for long inputs.
    """

    def __init__(self, data=b""):
        self._total = 0
        self._odd = None
        self.length = 0
        if data:
            self.update(data)

    def update(self, data):
        view = memoryview(data).cast("B")
        self.length += len(view)
        if self._odd is not None and len(view):
            self._total += (self._odd << 8) | view[0]
            self._odd = None
            view = view[1:]
        even = len(view) & ~1
        if even:
            block = view[:even]
            self._total += sum(block[0::2]) * 256 + sum(block[1::2])
        if len(view) & 1:
            self._odd = view[-1]

    def value32(self):
        """The whole 32-bit result (high half 0xFFFF)."""
        s = self._total + (self._odd if self._odd is not None else 0)
        s &= 0xFFFFFFFF
        if s & 0x80000000:
            s -= 1 << 32
        while (s >> 16) != 0:  # Python's >> on a negative int is arithmetic, as required
            s = (s & 0xFFFF) + (s >> 16)
        return ~s & 0xFFFFFFFF

    def value16(self):
        return self.value32() & 0xFFFF


def acl_checksum32(data):
    return AclChecksum(data).value32()


def acl_checksum(data):
    return AclChecksum(data).value16()


def _leading_int(text):
    """Leading decimal digits after optional blanks and sign, like the C conversions; 0 if none."""
    text = text.lstrip(b" \t")
    sign = 1
    if text[:1] in (b"+", b"-"):
        sign = -1 if text[:1] == b"-" else 1
        text = text[1:]
    digits = b""
    for ch in text:
        if 0x30 <= ch <= 0x39:
            digits += bytes([ch])
        else:
            break
    return sign * int(digits) if digits else 0


def bin_trailer_version(tail):
    """Version from the trailer of a BIN image, given (at least) its last 128 bytes.

    Last byte N (signed); the last N bytes hold two NUL-terminated strings, the second is
    the version. At most 40 trailer bytes count. Returns None when there is no trailer.
    """
    if not tail:
        return None
    n = tail[-1]
    if n > 127 or n == 0 or n > len(tail):
        return None
    trailer = bytes(tail[-n:])[:40]
    first_end = trailer.find(b"\0")
    if first_end < 0:
        return 0
    second = trailer[first_end + 1:]
    end = second.find(b"\0")
    if end >= 0:
        second = second[:end]
    return _leading_int(second)


def classify_image(head, total_length):
    """Kind of a received image from its first bytes (needs 0x10004 bytes for full part)."""
    if head[:4] == BIN_CODE_MAGIC:
        return "code_only"
    if head[:4] == b"NAND":
        return "nand"
    if total_length >= BIN_FULL_PART_LEAD + 4 and \
            head[BIN_FULL_PART_LEAD:BIN_FULL_PART_LEAD + 4] == BIN_CODE_MAGIC:
        return "full_part"
    return "unknown"


def package_component_type(t1, t2, t3):
    if t1 != 5:
        return t1
    if t2 != 5:
        return 5
    return {2: 3, 5: 4}.get(t3, 5)


def parse_nand_package(head, tail, size):
    """Fields of one NAND package from its first 32 and last (up to) 130 bytes.

    Returns a dict, or None when the package is too short or its trailer points outside it.
    """
    if size < 32 or len(head) < 32:
        return None
    info = {
        "pkg_version_header": u32(head, 4),
        "pkg_enabled": u32(head, 8),
        "comp_type": package_component_type(u32(head, 20), u32(head, 24), u32(head, 28)),
    }
    m = tail[-1]
    if m > 127:
        return None
    start = size - m - 2  # the package trailer text starts M + 2 bytes before the end
    if start < 0:
        return None
    tail_start = size - len(tail)
    if start < tail_start:
        return None
    text = bytes(tail[start - tail_start:])
    target, _, rest = text.partition(b"\0")
    version_text = rest.partition(b"\0")[0]
    info["target_id"] = target.decode("utf-8", "replace")
    info["pkg_version_text"] = version_text.decode("ascii", "replace")
    info["pkg_version"] = _leading_int(version_text)
    return info


def nvram_block_mode(block):
    """0 or 1 for a valid identity block, -1 otherwise."""
    if len(block) != NVRAM_BLOCK_SIZE:
        return -1
    for mode, product, mode_byte in ((0, b"KT481M", 1), (1, b"KT482M", 2)):
        expected = product + bytes(9) + b"\x5d\x17" + bytes(5) + bytes([mode_byte])
        if bytes(block) == expected:
            return mode
    return -1


def components_text(components):
    """Component version text from (name, version) pairs: "NAME = VER" lines ending in CR LF."""
    return "".join("%s = %d\r\n" % (name, version) for name, version in components)
