import hashlib
import json
import os
import random
import socket
import struct
import subprocess
import sys
import tempfile
import time
import unittest

sys.dont_write_bytecode = True
HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, ".."))
sys.path.insert(0, HERE)

from acl_wire import acl_checksum, acl_checksum32  # noqa: E402
from event_log import EventLog  # noqa: E402
from fixtures import code_only_image, full_part_image, nand_package, nvram_block  # noqa: E402
from sim_process import ENTER, SCRIPT, UEL, SimTestCase, burn_record, next_address, rec, recv_exact  # noqa: E402
from sim_server import PrinterSimServer  # noqa: E402
from sim_state import PrinterState  # noqa: E402


def ok_reply(cmd, payload=b""):
    return struct.pack(">HHH", 0xAC, cmd, 1) + payload.ljust(10, b"\0")


class Queries(SimTestCase):
    def test_each_query_answers_as_configured(self):
        sim = self.start("--version", "12345", "--component", "NandLDR=4", "--component", "print=12",
                         "--printer-info", "MDL:QV-4410 Series;", "--build-info", "PANEL:P-7;",
                         "--info-lead", "4142")
        comp = b"NandLDR = 4\r\nprint = 12\r\n"
        cases = [
            (0x0001, ok_reply(1, b"00012345"), b""),
            (0x0016, ok_reply(0x16, struct.pack(">H", len(comp))), comp),
            (0x0006, ok_reply(6, struct.pack(">H", 21)), b"ABMDL:QV-4410 Series;"),
            (0x0013, ok_reply(0x13, struct.pack(">H", 12)), b"ABPANEL:P-7;"),
            (0x1234, struct.pack(">HHH", 0xAC, 0x1234, 2) + bytes(10), b""),
        ]
        for cmd, reply, text in cases:
            with self.subTest(cmd=hex(cmd)):
                self.assertEqual(sim.job(rec(cmd), text=True), (reply, text))
        names = [e["cmd"] for e in self.command_events(sim, len(cases))]
        self.assertEqual(names, ["GET_VERSION", "GET_COMP_VERSION", "GET_PRINTER_INFO", "GET_BUILD_INFO", "UNKNOWN"])

    def test_unused_parameter_bytes_must_be_zero(self):
        image = code_only_image(5)
        ck = acl_checksum(image)
        nvram = rec(0xEC1D, struct.pack(">III", 0x13F, 23, 1))
        cases = [
            (rec(1, b"\0" * 11 + b"\1"), b""),
            (rec(0x16, b"\1"), b""),
            (rec(0xD1EE, b"\0\0\0\0\0\0\0\x80"), b""),
            (rec(0x000F, struct.pack(">HHII", 3, ck, 1, len(image))), image),
            (rec(0x0005, struct.pack(">IQ", len(image) + 4, 1)), image + struct.pack(">I", acl_checksum32(image))),
            (nvram, nvram_block(1)),
        ]
        strict = self.start()
        lenient = self.start("--lenient-reserved", "--fault", "no-restart")
        for record, data in cases:
            with self.subTest(record=record.hex()):
                reply, text = strict.job(record, data, text=True)
                self.assertEqual(reply, struct.pack(">HHH", 0xAC, struct.unpack(">H", record[2:4])[0], 2) + bytes(10))
                self.assertEqual(text, b"")
                self.assertEqual(lenient.job(record, data)[0][4:6], b"\0\1")
        events = self.command_events(strict, len(cases))
        self.assertEqual({(e["reason"], e["reserved_ok"]) for e in events}, {("reserved", False)})
        self.assertEqual(strict.events("restart_begin"), [])

    def test_raw_version_and_component_text(self):
        sim = self.start("--version-raw", "0000000000000000", "--components-text", "  print  = 12\\r\\n")
        self.assertEqual(sim.job(rec(1))[0], ok_reply(1))
        self.assertEqual(sim.job(rec(0x16), text=True)[1], b"  print  = 12\r\n")

    def test_any_split_of_the_job_gets_the_same_answer(self):
        sim = self.start("--version", "7")
        stream = UEL + ENTER + rec(1)
        rng = random.Random(3)
        splits = [list(range(1, len(stream)))] + \
            [sorted(rng.sample(range(1, len(stream)), 3)) for _ in range(4)]
        for cuts in splits:
            with sim.connect() as s:
                last = 0
                for cut in cuts + [len(stream)]:
                    s.sendall(stream[last:cut])
                    last = cut
                    time.sleep(0.002)
                self.assertEqual(recv_exact(s, 16), ok_reply(1, b"00000007"))

    def test_missing_enter_language_line_is_garbage_and_unanswered(self):
        sim = self.start()
        with sim.connect() as s:
            s.sendall(UEL + rec(1))
            self.assertEqual(recv_exact(s, 16, timeout=0.3), b"")
        garbage = sim.wait_event("garbage")
        self.assertEqual(garbage[0]["hex"], rec(1).hex())
        self.assertEqual(sim.events("command"), [])

    def test_bad_prefix_is_logged_and_unanswered(self):
        sim = self.start()
        with sim.connect() as s:
            s.sendall(UEL + ENTER + b"\xac\x00" + rec(1)[2:])
            self.assertEqual(recv_exact(s, 16, timeout=0.3), b"")
        self.assertEqual(sim.wait_event("bad_prefix")[0]["hex"], "ac00" + rec(1)[2:].hex())


class Burns(SimTestCase):
    def test_image_burns_check_checksum_and_restart_into_the_file_version(self):
        for image, image_type, kind in ((code_only_image(2345), 3, "code_only"),
                                        (full_part_image(2346, 300), 4, "full_part")):
            with self.subTest(kind=kind):
                sim = self.start("--version", "1000", "--restart-ms", "1500")
                record = burn_record(image, image_type, acl_checksum(image))
                reply, _ = sim.job(record, image, close_uel=False)
                self.assertEqual(reply, ok_reply(0xF))
                self.assertFalse(sim.can_connect())  # restarting
                self.assertTrue(sim.wait_up())
                self.assertEqual(sim.job(rec(1))[0], ok_reply(1, b"%08d" % (2345 if kind == "code_only" else 2346)))
                e = self.command_events(sim, cmd="BURN_FLASH")[0]
                self.assertEqual((e["image_type"], e["checksum"], e["checksum_computed"]),
                                 (image_type, acl_checksum(image), acl_checksum(image)))
                self.assertEqual((e["data_length"], e["received"], e["ok"], e["status"]), (len(image), len(image), True, 1))
                self.assertEqual((e["image_kind"], e["no_reboot"], e["kind"]), (kind, False, "image"))
                self.assertEqual(e["sha256"], hashlib.sha256(image).hexdigest())
                with open(e["stored"], "rb") as f:
                    self.assertEqual(f.read(), image)
                self.assertEqual([r["reason"] for r in sim.events("restart_begin")], ["burn"])

    def test_wrong_checksum_or_empty_image_fails_without_restart(self):
        image = code_only_image(2345)
        cases = [
            (burn_record(image, 3, acl_checksum(image) ^ 1), image, "checksum"),
            (burn_record(image, 3, (~acl_checksum(image)) & 0xFFFF), image, "checksum"),
            (burn_record(b"", 3, 0xFFFF), b"", "length"),
            (burn_record(image, 7, acl_checksum(image)), image, "image_type"),
        ]
        sim = self.start("--version", "1000")
        for record, data, reason in cases:
            with self.subTest(reason=reason):
                reply, _ = sim.job(record, data)
                self.assertEqual(reply, struct.pack(">HHH", 0xAC, 0xF, 2) + bytes(10))
        events = self.command_events(sim, len(cases))
        self.assertEqual([e["reason"] for e in events], [c[2] for c in cases])
        self.assertEqual(sim.events("restart_begin"), [])
        self.assertEqual(sim.job(rec(1))[0], ok_reply(1, b"00001000"))

    def test_skip_checksum_counts_without_checking(self):
        sim = self.start("--skip-checksum", "--restart-ms", "0")
        image = code_only_image(77)
        self.assertEqual(sim.job(burn_record(image, 3, 0x1234), image)[0], ok_reply(0xF))
        e = self.command_events(sim)[0]
        self.assertEqual((e["verified"], e["checksum_computed"], e["sha256"], e["received"], e["ok"]),
                         (False, -1, "", len(image), True))

    def test_strict_image_type_refuses_a_mismatch(self):
        sim = self.start("--strict-image-type")
        image = full_part_image(5)
        self.assertEqual(sim.job(burn_record(image, 3, acl_checksum(image)), image)[0][5], 2)
        self.assertEqual(self.command_events(sim)[0]["reason"], "image_type")

    def test_spi_burn_checks_the_whole_32_bit_trailer(self):
        image = code_only_image(3456, 1001)
        good = struct.pack(">I", acl_checksum32(image))
        self.assertEqual(good[:2], b"\xff\xff")
        cases = [(good, 1), (b"\x00\x00" + good[2:], 2), (good[2:] + b"\xff\xff", 2)]
        for trailer, status in cases:
            with self.subTest(trailer=trailer.hex()):
                sim = self.start("--version", "1000", "--restart-ms", "0")
                data = image + trailer
                reply, _ = sim.job(rec(5, struct.pack(">I", len(data))), data)
                self.assertEqual(reply, struct.pack(">HHH", 0xAC, 5, status) + bytes(10))
                e = self.command_events(sim)[0]
                self.assertEqual((e["cmd"], e["trailer"], e["checksum_computed"], e["file_version"]),
                                 ("WRITE_SPIMEM", trailer.hex(), acl_checksum32(image), 3456))
                self.assertTrue(sim.wait_up())
                self.assertEqual(sim.job(rec(1))[0], ok_reply(1, b"00003456" if status == 1 else b"00001000"))

    def test_nand_packages_wait_for_the_reset(self):
        sim = self.start("--component", "NandLDR=3", "--component", "print=100", "--component", "binary=100")
        packages = [nand_package((2, 0, 0), 4, body=b"L" * 33), nand_package((5, 5, 2), 101, body=b"P" * 1000)]
        with sim.connect() as s:
            for pkg in packages:
                s.sendall(UEL + ENTER + burn_record(pkg, 0x2101, acl_checksum(pkg)) + pkg)
                self.assertEqual(recv_exact(s, 16), ok_reply(0xF))
            # the reset comes on its own connection while this one is still open
            self.assertEqual(sim.job(rec(0xD1EE))[0], ok_reply(0xD1EE))
        self.assertTrue(sim.wait_up())
        self.assertEqual(sim.job(rec(0x16), text=True)[1], b"NandLDR = 4\r\nprint = 101\r\nbinary = 100\r\n")
        events = self.command_events(sim, 2, cmd="BURN_FLASH")
        self.assertEqual([(e["kind"], e["no_reboot"], e["comp_type"], e["pkg_version"], e["target_id"])
                          for e in events], [("nand_package", True, 2, 4, "SIM100"),
                                             ("nand_package", True, 3, 101, "SIM100")])
        self.assertEqual([e["reason"] for e in sim.events("restart_begin")], ["reset"])

    def test_package_without_no_reboot_restarts_at_once(self):
        sim = self.start("--restart-ms", "2000")
        pkg1, pkg2 = nand_package((3, 0, 0), 150), nand_package((4, 0, 0), 150)
        with sim.connect() as s:
            s.sendall(UEL + ENTER + burn_record(pkg1, 0x0101, acl_checksum(pkg1)) + pkg1)
            self.assertEqual(recv_exact(s, 16), ok_reply(0xF))
            s.sendall(UEL + ENTER + burn_record(pkg2, 0x2101, acl_checksum(pkg2)) + pkg2)
            self.assertEqual(recv_exact(s, 16, timeout=0.5), b"")
        ignored = self.command_events(sim, 2)[1]
        self.assertEqual(ignored["ignored"], "restarting")

    def test_nvram_write(self):
        cases = [
            (rec(0xEC1D, struct.pack(">II", 0x13F, 23)), nvram_block(1), 1, 1, ""),
            (rec(0xEC1D, struct.pack(">II", 0x13F, 23)), nvram_block(0), 1, 0, ""),
            (rec(0xEC1D, struct.pack(">II", 0x140, 23)), nvram_block(1), 2, 0, "offset"),
            (rec(0xEC1D, struct.pack(">II", 0x13F, 22)), nvram_block(1)[:22], 2, 0, "length"),
            (rec(0xEC1D, struct.pack(">II", 0x13F, 23)), b"KT482M" + bytes(17), 2, 0, "block"),
        ]
        sim = self.start()
        for record, block, status, mode_after, reason in cases:
            with self.subTest(reason=reason or "mode %d" % mode_after):
                with sim.connect() as s:
                    s.sendall(UEL + ENTER + record + block + UEL)
                    self.assertEqual(recv_exact(s, 16), struct.pack(">HHH", 0xAC, 0xEC1D, status) + bytes(10))
                self.assertEqual(sim.control(op="state")["nvram_mode"], mode_after)
        self.assertEqual([e["reason"] for e in self.command_events(sim, len(cases))], [c[4] for c in cases])
        self.assertEqual(sim.events("restart_begin"), [])

    def test_connection_lost_mid_data_is_logged_with_counts(self):
        sim = self.start()
        image = code_only_image(1, 5000)
        with sim.connect() as s:
            s.sendall(UEL + ENTER + burn_record(image, 3, acl_checksum(image)) + image[:1234])
        e = self.command_events(sim)[0]
        self.assertEqual((e["received"], e["data_length"], e["ok"], e["reason"], e["status"]),
                         (1234, len(image), False, "incomplete", 0))
        d = sim.wait_event("disconnect")[0]
        self.assertEqual((d["state"], d["data_received"], d["data_expected"], d["by"]), ("data", 1234, len(image), "peer"))


class Restarts(SimTestCase):
    def test_reset_refuses_connections_for_the_restart_time(self):
        sim = self.start("--restart-ms", "1500")
        start = time.monotonic()
        self.assertEqual(sim.job(rec(0xD1EE))[0], ok_reply(0xD1EE))
        self.assertFalse(sim.can_connect())
        while not sim.can_connect():
            time.sleep(0.02)
        self.assertGreaterEqual(time.monotonic() - start, 1.45)
        self.assertEqual(len(sim.wait_event("restart_end")), 1)

    def test_restart_by_connection_count(self):
        sim = self.start("--restart-connections", "2", "--version", "9")
        self.assertEqual(sim.job(rec(0xD1EE))[0], ok_reply(0xD1EE))
        for _ in range(2):
            with sim.connect() as s:
                self.assertEqual(recv_exact(s, 16), b"")
        self.assertEqual(sim.job(rec(1))[0], ok_reply(1, b"00000009"))
        self.assertEqual(len(sim.events("refused_during_restart")), 2)

    def test_the_port_is_open_when_the_restart_ends(self):
        # Whoever sees the restart end (event log, state) connects at once;
        # run in this process so the check is made the moment it is logged.
        refused = []

        class Log(EventLog):
            def emit(self, event, **fields):
                if event == "restart_end":
                    with socket.socket() as s:
                        refused.append(s.connect_ex((server.address, server.port)))
                    server.stop()
                return super().emit(event, **fields)

        server = PrinterSimServer(next_address(), 0, PrinterState(restart_ms=50), Log(console=False),
                                  control_port=-1, lifetime_s=5)
        server.open()
        server.begin_restart("test")
        server.run()
        self.assertEqual(refused, [0])


class Robustness(SimTestCase):
    def test_random_streams_never_break_the_server(self):
        sim = self.start("--fault", "no-restart")
        rng = random.Random(5)
        pieces = [UEL, ENTER, rec(1), rec(0x16), rec(6), rec(0xD1EE), b"\x00\xac", b"@PJL X\r\n",
                  rec(0x000F, struct.pack(">HHII", 0x2101, 0, 0, 40)),
                  rec(0x0005, struct.pack(">I", 3)), rec(0xEC1D, struct.pack(">II", 0x13F, 2))]
        for _ in range(40):
            stream = b"".join(rng.choice(pieces) if rng.random() < 0.7 else rng.randbytes(rng.randint(1, 40))
                              for _ in range(rng.randint(1, 12)))
            with sim.connect() as s:
                s.sendall(stream)
                recv_exact(s, 4096, timeout=0.02)
        self.assertEqual(sim.job(rec(1))[0], ok_reply(1, b"00001000"))
        self.assertEqual(sim.events("internal_error"), [])


class ControlAndCli(SimTestCase):
    def test_control_changes_state_between_connections(self):
        sim = self.start()
        self.assertTrue(sim.control(op="set", version=42, printer_info="MDL:X;", info_lead="00")["ok"])
        self.assertEqual(sim.job(rec(1))[0], ok_reply(1, b"00000042"))
        self.assertEqual(sim.job(rec(6), text=True)[1], b"\0MDL:X;")
        self.assertFalse(sim.control(op="faults", list=["nope"])["ok"])
        self.assertFalse(sim.control(op="bogus")["ok"])
        with socket.create_connection((sim.address, sim.control_port), timeout=5) as s:
            s.sendall(b"[1, 2]\n{nope\n")
            lines = s.makefile("rb")
            self.assertEqual([json.loads(lines.readline())["ok"] for _ in range(2)], [False, False])
        self.assertFalse(sim.control(op="set", colour="red")["ok"])
        self.assertEqual(sim.control(op="faults", list=["slow:delay_ms=5"])["faults"], ["slow:delay_ms=5"])
        self.assertEqual(sim.control(op="state")["faults"], ["slow:delay_ms=5"])
        self.assertTrue(sim.control(op="shutdown")["ok"])
        self.assertEqual(sim.proc.wait(5), 0)

    def test_lifetime_and_console_log(self):
        console = tempfile.NamedTemporaryFile(suffix=".log", delete=False)
        console.close()
        self.addCleanup(os.unlink, console.name)
        sim = self.start("--lifetime-s", "0.5", "--console-log", console.name)
        self.assertEqual(sim.proc.wait(5), 0)
        self.assertEqual([e["event"] for e in sim.events()][-2:], ["lifetime_over", "stopped"])
        self.assertEqual(sim.console_text(), "")
        with open(console.name) as f:
            self.assertIn("printer-sim: listening on", f.read())
        ready = os.path.join(sim.dir, "refused.json")
        r = subprocess.run([sys.executable, SCRIPT, "--address", "10.0.0.1", "--ready-file", ready,
                            "--console-log", os.path.join(sim.dir, "refused.log")],
                           capture_output=True, text=True, timeout=10)
        self.assertEqual((r.returncode, r.stdout, r.stderr), (2, "", ""))
        with open(os.path.join(sim.dir, "refused.log")) as f:
            self.assertIn("only loopback", f.read())
        self.assertFalse(os.path.exists(ready))
        with open(ready + ".error") as f:
            self.assertIn("only loopback", json.load(f)["error"])

    def test_only_loopback_addresses(self):
        for address in ("0.0.0.0", "192.0.2.1", "::", "localhost-ish"):
            with self.subTest(address=address):
                r = subprocess.run([sys.executable, SCRIPT, "--address", address, "--port", "0"],
                                   capture_output=True, text=True, timeout=10)
                self.assertNotEqual(r.returncode, 0)

    def test_a_taken_port_is_refused(self):
        # The starters find a free address by binding it: a second simulator
        # on a running one's port must fail, not share it.
        sim = self.start()
        r = subprocess.run([sys.executable, SCRIPT, "--address", sim.address, "--port", str(sim.port),
                            "--control-port", "0", "--lifetime-s", "0.5", "--quiet"],
                           capture_output=True, text=True, timeout=10)
        self.assertEqual(r.returncode, 1)
        self.assertEqual(sim.job(rec(1))[0], ok_reply(1, b"00001000"))

    def test_ipv6_loopback(self):
        if not socket.has_ipv6:
            self.skipTest("no IPv6")
        try:
            probe = socket.socket(socket.AF_INET6)
            probe.bind(("::1", 0))
            probe.close()
        except OSError:
            self.skipTest("::1 not available")
        from sim_process import Sim
        sim = Sim("--version", "5", address="::1")
        self.addCleanup(sim.stop)
        self.assertEqual(sim.job(rec(1))[0], ok_reply(1, b"00000005"))


if __name__ == "__main__":
    unittest.main()
