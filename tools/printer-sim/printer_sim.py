#!/usr/bin/env python3
"""Simulated network printer speaking the ACL command protocol on a loopback address.

See README.md beside this file for the options, faults, event log and control socket.
"""

import argparse
import os
import signal
import sys

sys.dont_write_bytecode = True  # keep the source tree clean
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

from event_log import EventLog, unescape_text  # noqa: E402
from faults import Fault, FaultError  # noqa: E402
from sim_server import PrinterSimServer, check_loopback, write_ready_file  # noqa: E402
from sim_state import (DEFAULT_BUILD_INFO, DEFAULT_INFO_LEAD, DEFAULT_PRINTER_INFO,  # noqa: E402
                       PrinterState)


def _component(text):
    name, eq, version = text.partition("=")
    name = name.strip()
    if not eq or not name or " " in name:
        raise argparse.ArgumentTypeError("expected NAME=VERSION, got %r" % text)
    try:
        return name, int(version.strip())
    except ValueError:
        raise argparse.ArgumentTypeError("version of %r is not a number" % text)


def _fault(text):
    try:
        Fault(text)
    except FaultError as e:
        raise argparse.ArgumentTypeError(str(e))
    return text


def _hex_bytes(length=None):
    def parse(text):
        try:
            data = bytes.fromhex(text)
        except ValueError:
            raise argparse.ArgumentTypeError("not hex: %r" % text)
        if length is not None and len(data) != length:
            raise argparse.ArgumentTypeError("need %d bytes, got %d" % (length, len(data)))
        return data
    return parse


def _version(text):
    value = int(text, 0)
    if not 0 <= value <= 99999999:
        raise argparse.ArgumentTypeError("version must fit 8 decimal digits")
    return value


def build_parser():
    p = argparse.ArgumentParser(description="Simulated printer for the ACL protocol over TCP (loopback only).")
    p.add_argument("--address", default="127.0.0.1")
    p.add_argument("--port", type=int, default=9100)
    p.add_argument("--version", type=_version, default=1000)
    p.add_argument("--version-raw", type=_hex_bytes(8))
    p.add_argument("--component", type=_component, action="append", dest="components")
    p.add_argument("--components-text")
    p.add_argument("--printer-info", default=DEFAULT_PRINTER_INFO.decode())
    p.add_argument("--build-info", default=DEFAULT_BUILD_INFO.decode())
    p.add_argument("--info-lead", type=_hex_bytes(), default=DEFAULT_INFO_LEAD)
    p.add_argument("--next-version", type=_version)
    p.add_argument("--restart-ms", type=int, default=3000)
    p.add_argument("--restart-connections", type=int)
    p.add_argument("--fault", type=_fault, action="append", dest="faults", default=[])
    p.add_argument("--strict-image-type", action="store_true")
    p.add_argument("--lenient-reserved", action="store_true")
    p.add_argument("--skip-checksum", action="store_true")
    p.add_argument("--event-log")
    p.add_argument("--store-dir")
    p.add_argument("--ready-file")
    p.add_argument("--control-port", type=int, default=0)
    p.add_argument("--quiet", action="store_true")
    p.add_argument("--console-log")
    p.add_argument("--lifetime-s", type=float)
    return p


def fail(args, code, message):
    """Reports a failed start on stderr and, for starters that wait for the ready file, beside it.

    The ready file itself only ever means "listening".
    """
    print("printer-sim: %s" % message, file=sys.stderr)
    if args.ready_file:
        write_ready_file(args.ready_file + ".error", {"pid": os.getpid(), "error": message})
    return code


def main(argv=None):
    args = build_parser().parse_args(argv)
    if args.console_log:
        # Whoever started us may have no way to read our stdio (a Windows test under Wine).
        fd = os.open(args.console_log, os.O_WRONLY | os.O_CREAT | os.O_TRUNC, 0o644)
        sys.stdout.flush()
        sys.stderr.flush()
        os.dup2(fd, 1)
        os.dup2(fd, 2)
        os.close(fd)
    try:
        check_loopback(args.address)
    except ValueError as e:
        return fail(args, 2, str(e))
    state = PrinterState(
        version=args.version,
        version_raw=args.version_raw,
        components=args.components,
        components_raw=unescape_text(args.components_text) if args.components_text is not None else None,
        printer_info=unescape_text(args.printer_info),
        build_info=unescape_text(args.build_info),
        info_lead=args.info_lead,
        next_version=args.next_version,
        restart_ms=args.restart_ms,
        restart_connections=args.restart_connections,
    )
    log = EventLog(args.event_log, console=not args.quiet)
    server = PrinterSimServer(args.address, args.port, state, log, faults=args.faults,
                              control_port=args.control_port, store_dir=args.store_dir,
                              ready_file=args.ready_file, lifetime_s=args.lifetime_s,
                              strict_image_type=args.strict_image_type,
                              strict_reserved=not args.lenient_reserved,
                              skip_checksum=args.skip_checksum)
    try:
        server.open()
    except OSError as e:
        return fail(args, 1, "cannot listen on %s:%d (control %d): %s"
                    % (args.address, args.port, args.control_port, e))

    def on_signal(signum, frame):
        server.stop()

    signal.signal(signal.SIGTERM, on_signal)
    signal.signal(signal.SIGINT, on_signal)
    server.run()
    log.emit("stopped")
    log.close()
    return 0


if __name__ == "__main__":
    sys.exit(main())
