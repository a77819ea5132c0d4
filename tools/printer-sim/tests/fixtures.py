"""Test inputs built from the byte layouts: images, NAND packages, identity blocks."""

import struct

CODE_MAGIC = bytes.fromhex("AA554154")


def trailer(version, first=b"SIMFW"):
    """BIN version trailer: two NUL-terminated strings and the length byte."""
    text = first + b"\0" + str(version).encode() + b"\0"
    return text + bytes([len(text) + 1])


def code_only_image(version, size=4096):
    body = CODE_MAGIC + bytes((i * 7) & 0xFF for i in range(size))
    return body + trailer(version)


def full_part_image(version, size=4096):
    lead = bytes((i * 13) & 0xFF for i in range(0x10000))
    return lead + code_only_image(version, size)


def nand_package(comp=(3, 0, 0), version=200, target="SIM100", body=b"", header_version=2, enabled=1):
    head = struct.pack(">IIIQIII", 0x504B4721, header_version, enabled, 0, *comp)
    text = target.encode() + b"\0" + str(version).encode() + b"\0"
    return head + body + text + bytes([len(text) - 1])


def nvram_block(mode):
    return (b"KT481M" if mode == 0 else b"KT482M") + bytes(9) + b"\x5d\x17" + bytes(5) + bytes([mode + 1])
