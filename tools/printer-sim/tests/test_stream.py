import os
import random
import struct
import sys
import unittest

sys.dont_write_bytecode = True
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), ".."))

from pjl_stream import StreamParser  # noqa: E402

UEL = b"\x1b%-12345X"
ENTER = b"@PJL ENTER LANGUAGE=ACL\r\n"


def rec(cmd, params=b""):
    return struct.pack(">HH", 0x00AC, cmd) + params.ljust(12, b"\0")


def burn(data, image_type=3):
    return rec(0x000F, struct.pack(">HHII", image_type, 0, 0, len(data))) + data


def parse(stream, splits=None):
    """Items from feeding `stream` in the given pieces, with data pieces joined."""
    p = StreamParser()
    items = []
    if splits is None:
        items += p.feed(stream)
    else:
        last = 0
        for cut in list(splits) + [len(stream)]:
            items += p.feed(stream[last:cut])
            last = cut
    joined = []
    for item in items:
        if item[0] in ("data", "garbage") and joined and joined[-1][0] == item[0]:
            joined[-1] = (item[0], joined[-1][1] + item[1])
        else:
            joined.append(item)
    return joined, p


class StreamFraming(unittest.TestCase):
    def test_jobs_parse_to_the_expected_items(self):
        payload = b"\x1b%-12345X\x00\xac" * 3 + b"\x1b"  # data may look like framing
        nvram = b"KT482M" + bytes(9) + b"\x5d\x17" + bytes(5) + b"\x02"
        cases = [
            ("version query",
             UEL + ENTER + rec(1) + UEL,
             [("uel",), ("pjl", b"@PJL ENTER LANGUAGE=ACL", True), ("record", rec(1)), ("uel",)]),
            ("burn with framing-like data",
             UEL + ENTER + burn(payload),
             [("uel",), ("pjl", b"@PJL ENTER LANGUAGE=ACL", True),
              ("record", burn(payload)[:16]), ("data", payload), ("data_end",)]),
            ("two package jobs on one connection",
             UEL + ENTER + burn(b"ab", 0x2101) + UEL + ENTER + burn(b"c", 0x2101),
             [("uel",), ("pjl", b"@PJL ENTER LANGUAGE=ACL", True),
              ("record", burn(b"ab", 0x2101)[:16]), ("data", b"ab"), ("data_end",),
              ("uel",), ("pjl", b"@PJL ENTER LANGUAGE=ACL", True),
              ("record", burn(b"c", 0x2101)[:16]), ("data", b"c"), ("data_end",)]),
            ("SPI length at offset 4, NVRAM length at offset 8",
             UEL + ENTER + rec(5, struct.pack(">I", 3)) + b"xyz"
             + rec(0xEC1D, struct.pack(">II", 0x13F, 23)) + nvram,
             [("uel",), ("pjl", b"@PJL ENTER LANGUAGE=ACL", True),
              ("record", rec(5, struct.pack(">I", 3))), ("data", b"xyz"), ("data_end",),
              ("record", rec(0xEC1D, struct.pack(">II", 0x13F, 23))), ("data", nvram), ("data_end",)]),
            ("missing enter-language line: the record is garbage",
             UEL + rec(1) + UEL,
             [("uel",), ("garbage", rec(1)), ("uel",)]),
            ("other language",
             UEL + b"@PJL ENTER LANGUAGE=PCL\r\n" + rec(1),
             [("uel",), ("pjl", b"@PJL ENTER LANGUAGE=PCL", False), ("garbage", rec(1))]),
            ("enter-language line without CR",
             UEL + b"@PJL ENTER LANGUAGE=ACL\n" + rec(1),
             [("uel",), ("pjl", b"@PJL ENTER LANGUAGE=ACL", False), ("garbage", rec(1))]),
            ("bytes before the UEL",
             b"hello" + UEL + ENTER + rec(1),
             [("garbage", b"hello"), ("uel",), ("pjl", b"@PJL ENTER LANGUAGE=ACL", True), ("record", rec(1))]),
            ("wrong prefix",
             UEL + ENTER + b"\x00\xad" + rec(1)[2:] + rec(6),
             [("uel",), ("pjl", b"@PJL ENTER LANGUAGE=ACL", True),
              ("bad_prefix", b"\x00\xad" + rec(1)[2:]), ("record", rec(6))]),
            ("broken UEL",
             b"\x1b%-12346X" + UEL,
             [("garbage", b"\x1b%-12346X"), ("uel",)]),
        ]
        for name, stream, expected in cases:
            with self.subTest(name):
                items, _ = parse(stream)
                self.assertEqual(items, expected)
                items, _ = parse(stream, range(1, len(stream)))  # one byte at a time
                self.assertEqual(items, expected)
                rng = random.Random(len(stream))
                for _ in range(20):
                    cuts = sorted(rng.sample(range(1, len(stream)), min(len(stream) - 1, 4)))
                    items, _ = parse(stream, cuts)
                    self.assertEqual(items, expected, cuts)

    def test_position_tells_where_a_cut_stream_stopped(self):
        cases = [
            (b"", "idle"),
            (UEL, "pjl"),
            (UEL + b"@PJL ENT", "pjl"),
            (UEL + ENTER, "acl"),
            (UEL + ENTER + rec(1)[:7], "record"),
            (UEL + ENTER + burn(b"abcdef")[:19], "data"),
            (UEL + ENTER + burn(b"abcdef"), "acl"),
            (UEL + ENTER + rec(1) + UEL, "pjl"),
        ]
        for stream, position in cases:
            with self.subTest(stream=stream):
                _, p = parse(stream)
                self.assertEqual(p.position(), position)

    def test_data_progress_is_counted(self):
        _, p = parse(UEL + ENTER + burn(b"x" * 100)[:16 + 40])
        self.assertEqual((p.data_received, p.data_expected), (40, 100))

    def test_endless_line_becomes_garbage(self):
        items, _ = parse(UEL + b"@" + b"A" * 300)
        self.assertEqual(items[0], ("uel",))
        self.assertEqual(items[1][0], "garbage")


if __name__ == "__main__":
    unittest.main()
