import os
import sys
import unittest

sys.dont_write_bytecode = True
HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, ".."))
sys.path.insert(0, HERE)

import acl_wire as w  # noqa: E402
from fixtures import nand_package  # noqa: E402
from faults import Fault, FaultError  # noqa: E402
from sim_state import set_component_version  # noqa: E402


class WireFields(unittest.TestCase):
    def test_bin_trailer_versions(self):
        cases = [
            (b"xxxxABC\x001234\x00\x0a", 1234),
            (b"\x00 +77z\x00\x08", 77),       # blanks, sign, stops at the first non-digit
            (b"A\x00\x00\x03", 0),             # empty second string
            (b"A" * 50 + b"\x00" + b"9" + b"\x00" + bytes([53]), 0),  # first string beyond 40 bytes
            (b"ABC\x001234\x00\x00", None),    # N = 0: no trailer
            (b"ABC\x001234\x00\x80", None),    # N = 128 is negative as a signed byte
            (b"ABC\x001234\x00\xff", None),
        ]
        for tail, expected in cases:
            with self.subTest(tail=tail):
                self.assertEqual(w.bin_trailer_version(tail), expected)

    def test_image_kinds(self):
        code = bytes.fromhex("AA554154") + bytes(100)
        full = bytes(0x10000) + bytes.fromhex("AA554154") + bytes(8)
        cases = [
            (code, "code_only"),
            (full, "full_part"),
            (b"NAND" + bytes(10), "nand"),
            (bytes(0x10003), "unknown"),
            (bytes.fromhex("C0DEED0C") + bytes(10), "unknown"),
        ]
        for data, kind in cases:
            with self.subTest(kind=kind):
                self.assertEqual(w.classify_image(data[:0x10004], len(data)), kind)

    def test_package_component_types(self):
        cases = [((3, 0, 0), 3), ((2, 9, 9), 2), ((6, 0, 0), 6), ((5, 1, 2), 5),
                 ((5, 5, 2), 3), ((5, 5, 5), 4), ((5, 5, 7), 5)]
        for (t1, t2, t3), expected in cases:
            self.assertEqual(w.package_component_type(t1, t2, t3), expected, (t1, t2, t3))

    def test_nand_package_fields(self):
        pkg = nand_package(comp=(5, 5, 2), version=215, target="QV4410", body=b"z" * 40)
        info = w.parse_nand_package(pkg[:32], pkg[-130:], len(pkg))
        self.assertEqual(info["pkg_version_header"], 2)
        self.assertEqual(info["pkg_enabled"], 1)
        self.assertEqual(info["comp_type"], 3)
        self.assertEqual(info["target_id"], "QV4410")
        self.assertEqual(info["pkg_version"], 215)
        # a trailer length that points before the package start
        small = nand_package()
        self.assertLess(len(small), 127)
        bad = small[:-1] + bytes([127])
        self.assertIsNone(w.parse_nand_package(bad[:32], bad[-130:], len(bad)))
        self.assertIsNone(w.parse_nand_package(pkg[:20], pkg[-20:], 20))

    def test_nvram_blocks(self):
        mode0 = b"KT481M" + bytes(9) + b"\x5d\x17" + bytes(5) + b"\x01"
        mode1 = b"KT482M" + bytes(9) + b"\x5d\x17" + bytes(5) + b"\x02"
        cases = [(mode0, 0), (mode1, 1), (mode1[:-1] + b"\x01", -1), (mode0[:22], -1),
                 (b"KT482M" + bytes(9) + b"\x17\x5d" + bytes(5) + b"\x02", -1)]
        for block, mode in cases:
            self.assertEqual(w.nvram_block_mode(block), mode, block)

    def test_response_records(self):
        self.assertEqual(w.response(0x000F, 1), bytes.fromhex("00ac000f0001") + bytes(10))
        self.assertEqual(w.response(0x0001, 1, w.version_payload(12345)),
                         bytes.fromhex("00ac00010001") + b"00012345" + bytes(2))
        self.assertEqual(w.response(0xD1EE, 2, prefix=0xAD)[:6], bytes.fromhex("00add1ee0002"))

    def test_component_text_update(self):
        text = b"NandLDR = 3\r\n  print  = 12\r\nPRINT = 1\r\n"
        self.assertEqual(set_component_version(text, 3, 99), b"NandLDR = 3\r\n  print  = 99\r\nPRINT = 1\r\n")
        self.assertEqual(set_component_version(text, 4, 7), text + b"binary = 7\r\n")
        self.assertEqual(set_component_version(text, 999, 7), text)


class FaultTexts(unittest.TestCase):
    def test_scoping(self):
        f = Fault("status:value=3,cmd=burn+reset,skip=1,times=2")
        hits = [f.take(c) for c in (0x000F, 0x0001, 0x000F, 0xD1EE, 0x000F, 0x000F)]
        self.assertEqual(hits, [False, False, True, True, False, False])
        self.assertEqual(f.param("value", 2), 3)
        g = Fault("no-reply:cmd=query")
        self.assertEqual([g.take(c) for c in (0x0001, 0x0016, 0x0006, 0x0013, 0x000F)],
                         [True, True, True, True, False])
        self.assertTrue(Fault("split-reply:at=0x4,delay-ms=10").param("delay_ms", 0) == 10)

    def test_bad_texts_are_refused(self):
        for desc in ("bogus", "status:value", "status:at=3", "status:cmd=print", "slow:delay_ms=x"):
            with self.subTest(desc=desc):
                with self.assertRaises(FaultError):
                    Fault(desc)


if __name__ == "__main__":
    unittest.main()
