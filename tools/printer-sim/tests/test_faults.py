import os
import socket
import struct
import sys
import time
import unittest

sys.dont_write_bytecode = True
HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, ".."))
sys.path.insert(0, HERE)

from acl_wire import acl_checksum  # noqa: E402
from fixtures import code_only_image, nand_package  # noqa: E402
from sim_process import ENTER, UEL, SimTestCase, burn_record, rec, recv_exact  # noqa: E402

VERSION_OK = struct.pack(">HHH", 0xAC, 1, 1) + b"00001000" + bytes(2)


def reply(cmd, status=1, payload=b"", prefix=0xAC):
    return struct.pack(">HHH", prefix, cmd, status) + payload.ljust(10, b"\0")


def timed_recv(sock, n, timeout):
    start = time.monotonic()
    data = recv_exact(sock, n, timeout)
    return data, time.monotonic() - start


class ReplyFaults(SimTestCase):
    def test_reply_shape_faults_on_the_version_query(self):
        cases = [
            ("status", VERSION_OK[:5] + b"\x02" + VERSION_OK[6:]),
            ("status:value=0x8001", VERSION_OK[:4] + b"\x80\x01" + VERSION_OK[6:]),
            ("wrong-cmdid", VERSION_OK[:2] + b"\x00\x02" + VERSION_OK[4:]),
            ("wrong-cmdid:value=0xd1ee", VERSION_OK[:2] + b"\xd1\xee" + VERSION_OK[4:]),
            ("wrong-prefix", b"\x00\xad" + VERSION_OK[2:]),
            ("wrong-prefix:value=0xac00", b"\xac\x00" + VERSION_OK[2:]),
        ]
        sim = self.start()
        for desc, expected in cases:
            with self.subTest(desc=desc):
                self.assertTrue(sim.control(op="faults", list=[desc])["ok"])
                self.assertEqual(sim.job(rec(1))[0], expected)
        self.assertEqual([e["fault"] for e in sim.wait_event("reply", len(cases))],
                         ["status", "status", "wrong-cmdid", "wrong-cmdid", "wrong-prefix", "wrong-prefix"])

    def test_no_reply_keeps_the_connection_open(self):
        sim = self.start("--fault", "no-reply")
        with sim.connect() as s:
            s.sendall(UEL + ENTER + rec(1))
            with self.assertRaises(socket.timeout):
                s.settimeout(0.5)
                s.recv(16)
        self.assertEqual(sim.wait_event("fault")[0]["mode"], "no-reply")

    def test_close_before_reply(self):
        sim = self.start("--fault", "close-before-reply:cmd=reset")
        with sim.connect() as s:
            s.sendall(UEL + ENTER + rec(0xD1EE))
            self.assertEqual(recv_exact(s, 16), b"")
        self.assertEqual(sim.wait_event("disconnect")[0]["by"], "sim")
        self.assertEqual(sim.events("restart_begin"), [])

    def test_split_and_short_replies(self):
        sim = self.start("--fault", "split-reply:delay_ms=300")
        with sim.connect() as s:
            s.sendall(UEL + ENTER + rec(1))
            first = s.recv(16)
            self.assertEqual(first, VERSION_OK[:8])
            rest, waited = timed_recv(s, 8, 2)
            self.assertEqual(rest, VERSION_OK[8:])
            self.assertGreater(waited, 0.15)
        sim.control(op="faults", list=["short-reply:at=10"])
        with sim.connect() as s:
            s.sendall(UEL + ENTER + rec(1))
            self.assertEqual(recv_exact(s, 16, timeout=0.5), VERSION_OK[:10])

    def test_slow_reply(self):
        sim = self.start("--fault", "slow:delay_ms=400")
        with sim.connect() as s:
            s.sendall(UEL + ENTER + rec(1))
            data, waited = timed_recv(s, 16, 3)
        self.assertEqual(data, VERSION_OK)
        self.assertGreater(waited, 0.35)

    def test_text_faults(self):
        text = b"\r\nMDL:M;"
        header = reply(6, payload=struct.pack(">H", len(text)))
        sim = self.start("--printer-info", "MDL:M;", "--fault", "no-text:cmd=info")
        with sim.connect() as s:
            s.sendall(UEL + ENTER + rec(6))
            self.assertEqual(recv_exact(s, 16), header)
            self.assertEqual(recv_exact(s, 100, timeout=0.4), b"")
        sim.control(op="faults", list=["split-text:at=3,delay_ms=300"])
        with sim.connect() as s:
            s.sendall(UEL + ENTER + rec(6))
            self.assertEqual(recv_exact(s, 16), header)
            self.assertEqual(s.recv(1023), text[:3])
            self.assertEqual(recv_exact(s, len(text) - 3, timeout=2), text[3:])
        sim.control(op="faults", list=["text-length:value=2000"])
        self.assertEqual(sim.job(rec(6))[0], reply(6, payload=struct.pack(">H", 2000)))


class DataFaults(SimTestCase):
    def test_close_mid_data(self):
        image = code_only_image(5, 200000)
        sim = self.start("--fault", "close-mid-data:at=1000")
        with sim.connect() as s:
            with self.assertRaises(OSError):
                s.sendall(UEL + ENTER + burn_record(image, 3, acl_checksum(image)) + image)
                for _ in range(50):  # the reset may only show on a later send
                    s.sendall(image)
        e = self.command_events(sim)[0]
        self.assertEqual((e["received"], e["reason"], e["ok"]), (1000, "closed", False))
        self.assertEqual(sim.wait_event("fault")[0]["at"], 1000)

    def test_close_mid_data_defaults_to_half_and_closes_queries_at_once(self):
        image = code_only_image(5, 20000)
        sim = self.start("--fault", "close-mid-data")
        with sim.connect() as s:
            try:
                s.sendall(UEL + ENTER + burn_record(image, 3, acl_checksum(image)) + image)
            except OSError:
                pass
        self.assertEqual(self.command_events(sim)[0]["received"], len(image) // 2)
        with sim.connect() as s:
            s.sendall(UEL + ENTER + rec(1))
            self.assertEqual(recv_exact(s, 16), b"")

    def test_stall_mid_data_blocks_the_sender_then_takes_the_rest(self):
        image = code_only_image(5, 4 << 20)  # more than the sockets buffer
        sim = self.start("--fault", "stall-mid-data:at=1000,delay_ms=1500")
        with sim.connect() as s:
            s.settimeout(0.5)
            job = UEL + ENTER + burn_record(image, 3, acl_checksum(image)) + image
            sent = 0
            with self.assertRaises(socket.timeout):
                while sent < len(job):
                    sent += s.send(job[sent:])
            self.assertEqual(sim.wait_event("fault")[0]["at"], 1000)
            self.assertEqual(sim.events("command"), [])
            s.settimeout(5)
            s.sendall(job[sent:])
            self.assertEqual(recv_exact(s, 16, timeout=5), reply(0xF))
        e = self.command_events(sim)[0]
        self.assertEqual((e["received"], e["ok"]), (len(image), True))

    def test_status_on_the_second_package_only(self):
        sim = self.start("--fault", "status:cmd=burn,skip=1,times=1")
        statuses = []
        with sim.connect() as s:
            for version in (101, 102, 103):
                pkg = nand_package((3, 0, 0), version)
                s.sendall(UEL + ENTER + burn_record(pkg, 0x2101, acl_checksum(pkg)) + pkg)
                statuses.append(recv_exact(s, 16)[5])
        self.assertEqual(statuses, [1, 2, 1])

    def test_failed_burn_keeps_the_version(self):
        image = code_only_image(2000)
        for desc in ("status", "no-reply", "close-before-reply"):
            with self.subTest(desc=desc):
                sim = self.start("--restart-ms", "0", "--fault", desc + ":cmd=burn")
                with sim.connect() as s:
                    s.sendall(UEL + ENTER + burn_record(image, 3, acl_checksum(image)) + image)
                    recv_exact(s, 16, timeout=0.3)
                self.assertEqual(sim.job(rec(1))[0], VERSION_OK)
                self.assertEqual(sim.events("restart_begin"), [])


class VersionAndRestartFaults(SimTestCase):
    def test_keep_old_version_after_a_successful_burn(self):
        image = code_only_image(2000)
        sim = self.start("--restart-ms", "200", "--fault", "keep-old-version")
        self.assertEqual(sim.job(burn_record(image, 3, acl_checksum(image)), image)[0], reply(0xF))
        self.assertTrue(sim.wait_up())
        self.assertEqual(sim.job(rec(1))[0], VERSION_OK)
        self.assertEqual(len(sim.events("restart_end")), 1)

    def test_no_restart_applies_the_version_at_once(self):
        image = code_only_image(2000)
        sim = self.start("--restart-ms", "5000", "--fault", "no-restart")
        self.assertEqual(sim.job(burn_record(image, 3, acl_checksum(image)), image)[0], reply(0xF))
        self.assertEqual(sim.job(rec(1))[0], reply(1, payload=b"00002000"))
        self.assertEqual(sim.events("restart_begin"), [])

    def test_next_version_overrides_the_trailer(self):
        image = code_only_image(2000)
        sim = self.start("--restart-ms", "0", "--next-version", "3000")
        sim.job(burn_record(image, 3, acl_checksum(image)), image)
        self.assertTrue(sim.wait_up())
        self.assertEqual(sim.job(rec(1))[0], reply(1, payload=b"00003000"))


class ConnectionFaults(SimTestCase):
    def test_accept_close_and_refuse(self):
        sim = self.start("--fault", "accept-close")
        with sim.connect() as s:
            self.assertEqual(recv_exact(s, 16), b"")
        sim.control(op="faults", list=["refuse"])
        self.assertFalse(sim.can_connect())
        sim.control(op="faults", list=[])
        deadline = time.monotonic() + 2
        while not sim.can_connect() and time.monotonic() < deadline:
            time.sleep(0.02)
        self.assertEqual(sim.job(rec(1))[0], VERSION_OK)

    def test_accept_no_read_blocks_the_sender(self):
        sim = self.start("--fault", "accept-no-read")
        with sim.connect() as s:
            s.settimeout(0.5)
            chunk = bytes(1 << 20)
            sent = 0
            with self.assertRaises(socket.timeout):
                while sent < 64 << 20:
                    sent += s.send(chunk)
            self.assertLess(sent, 64 << 20)
            self.assertEqual(sim.wait_event("fault")[0]["mode"], "accept-no-read")
        self.assertEqual(sim.events("connect"), [])
        sim.control(op="faults", list=[])
        self.assertEqual(sim.job(rec(1))[0], VERSION_OK)


if __name__ == "__main__":
    unittest.main()
