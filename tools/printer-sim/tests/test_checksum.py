import array
import os
import random
import sys
import unittest

sys.dont_write_bytecode = True
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), ".."))

from acl_wire import AclChecksum, acl_checksum, acl_checksum32  # noqa: E402


def reference_checksum32(data):
    """The stated steps one by one, with a 32-bit signed accumulator emulated explicitly."""
    def wrap(v):
        v &= 0xFFFFFFFF
        return v - (1 << 32) if v & 0x80000000 else v

    s = 0
    words = array.array("H")
    words.frombytes(bytes(data[:len(data) & ~1]))
    if sys.byteorder == "little":
        words.byteswap()
    for chunk_start in range(0, len(words), 1 << 16):
        s = wrap(s + sum(words[chunk_start:chunk_start + (1 << 16)]))
    if len(data) & 1:
        s = wrap(s + data[-1])
    while (s >> 16) != 0:
        s = wrap((s & 0xFFFF) + (s >> 16))
    return ~s & 0xFFFFFFFF


class ChecksumVectors(unittest.TestCase):
    def test_stated_examples_and_derived_edges(self):
        cases = [
            (b"", 0xFFFF),
            (b"abc", 0x9E3A),          # 0x6162 + 0x63 (the odd byte is not shifted)
            (b"\x01", 0xFFFE),
            (b"\x00\x01", 0xFFFE),
            (b"\x01\x00", 0xFEFF),
            (b"\xff", 0xFF00),
            (b"\xff\xff", 0x0000),
            (b"\x12\x34\x56\x78", 0x9753),
            (b"\xff\xff\x00\x01", 0xFFFE),   # 0x10000 folds to 1
            # 32768 words 0xFFFF: 0x7FFF8000, still positive, folds to 0xFFFF
            (b"\xff" * 65536, 0x0000),
            # one word more: 0x80007FFF is negative; arithmetic shifts fold it to 0xFFFE
            (b"\xff" * 65538, 0x0001),
            # 65537 words 0xFFFF: exactly 2^32 - 1, i.e. -1
            (b"\xff" * 131074, 0x0001),
            # 65538 words: wraps past 2^32 to 0xFFFE
            (b"\xff" * 131076, 0x0001),
            # 131072 words and an odd 0xFF: 0xFFFE00FF -> 0xFF - 2
            (b"\xff" * 262145, 0xFF02),
        ]
        for data, expected in cases:
            with self.subTest(length=len(data), head=data[:4].hex()):
                self.assertEqual(acl_checksum(data), expected)
                self.assertEqual(acl_checksum32(data), 0xFFFF0000 | expected)
                self.assertEqual(reference_checksum32(data), 0xFFFF0000 | expected)

    def test_wrapping_differs_from_a_plain_ones_complement_sum(self):
        data = b"\xff" * 65538
        total = sum(int.from_bytes(data[i:i + 2], "big") for i in range(0, len(data), 2))
        while total >> 16:
            total = (total & 0xFFFF) + (total >> 16)
        self.assertEqual(~total & 0xFFFF, 0x0000)
        self.assertEqual(acl_checksum(data), 0x0001)

    def test_incremental_matches_one_shot_for_any_split(self):
        rng = random.Random(7)
        data = bytes(rng.getrandbits(8) for _ in range(5001))
        whole = acl_checksum32(data)
        for _ in range(50):
            cuts = sorted(rng.sample(range(1, len(data)), rng.randint(1, 12)))
            c = AclChecksum()
            last = 0
            for cut in cuts + [len(data)]:
                c.update(data[last:cut])
                last = cut
            self.assertEqual(c.value32(), whole, cuts)
        c = AclChecksum()
        for b in data:
            c.update(bytes([b]))
        self.assertEqual(c.value32(), whole)

    def test_long_random_buffers_against_the_reference(self):
        rng = random.Random(11)
        for length in (1 << 20, (1 << 22) + 1, 3 * (1 << 20) + 7):
            data = rng.randbytes(length)
            with self.subTest(length=length):
                self.assertEqual(acl_checksum32(data), reference_checksum32(data))

    def test_many_high_words_wrap_more_than_once(self):
        # 16 MiB of 0xFF: 2^23 words of 0xFFFF wrap the accumulator 127 times.
        data = b"\xff" * (1 << 24)
        self.assertEqual(acl_checksum32(data), reference_checksum32(data))
        s = (len(data) // 2 * 0xFFFF) & 0xFFFFFFFF   # 0xFF800000: negative
        self.assertEqual(s, 0xFF800000)
        # (0x0000) + (-128) = -128; then (0xFF80) + (-1) = 0xFF7F; complement 0x0080
        self.assertEqual(acl_checksum(data), 0x0080)


if __name__ == "__main__":
    unittest.main()
