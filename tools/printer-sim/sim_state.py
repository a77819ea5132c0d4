"""What the simulated printer knows: its firmware, texts, NVRAM, and its restarts."""

import re
import threading
import time

from acl_wire import COMPONENT_NAMES, components_text, version_payload

DEFAULT_COMPONENTS = [("NandLDR", 3), ("NandBoot", 3), ("print", 100), ("binary", 100), ("Kinset", 100)]
DEFAULT_PRINTER_INFO = b"MDL:Tideway Sim 100;CMD:ACL,PJL;"
DEFAULT_BUILD_INFO = b"PANEL:SIM-PANEL-1.0;"
DEFAULT_INFO_LEAD = b"\r\n"

_COMPONENT_LINE = re.compile(rb"^([ \t]*)(\S+)([ \t]+=[ \t]*)(-?\d+)(\r\n)")


def set_component_version(text, comp_type, version):
    """The component text with the first line naming comp_type set to version (appended if absent)."""
    name = COMPONENT_NAMES.get(comp_type)
    if name is None:
        return text
    lines = text.splitlines(keepends=True)
    for i, line in enumerate(lines):
        m = _COMPONENT_LINE.match(line)
        if m and m.group(2).lower() == name.lower().encode():
            lines[i] = m.group(1) + m.group(2) + m.group(3) + b"%d" % version + m.group(5)
            return b"".join(lines)
    return text + ("%s = %d\r\n" % (name, version)).encode()


class PrinterState:
    def __init__(self, version=1000, version_raw=None, components=None, components_raw=None,
                 printer_info=DEFAULT_PRINTER_INFO, build_info=DEFAULT_BUILD_INFO,
                 info_lead=DEFAULT_INFO_LEAD, next_version=None, restart_ms=3000,
                 restart_connections=None):
        self.lock = threading.RLock()
        self.version = version
        self.version_raw = version_raw
        if components_raw is not None:
            self.components = components_raw
        else:
            self.components = components_text(components or DEFAULT_COMPONENTS).encode()
        self.printer_info = printer_info
        self.build_info = build_info
        self.info_lead = info_lead
        self.next_version = next_version
        self.restart_ms = restart_ms
        self.restart_connections = restart_connections
        self.nvram_mode = None
        self.commands = 0
        # A restart ends every conversation begun before it: connections remember the
        # generation they were opened in.
        self.generation = 0
        self.restarting = False
        self.restart_deadline = None
        self.restart_drops_left = 0
        self.pending_version = None
        self.pending_components = None

    def version_bytes(self):
        with self.lock:
            if self.version_raw is not None:
                return self.version_raw
            return version_payload(self.version)

    def stage_version(self, version):
        """A burned image takes effect at the next restart."""
        with self.lock:
            self.pending_version = version

    def stage_component(self, comp_type, version):
        with self.lock:
            base = self.pending_components if self.pending_components is not None else self.components
            self.pending_components = set_component_version(base, comp_type, version)

    def apply_pending(self):
        with self.lock:
            if self.pending_version is not None:
                self.version = self.pending_version
                self.version_raw = None
            if self.pending_components is not None:
                self.components = self.pending_components
            self.pending_version = None
            self.pending_components = None

    def discard_pending(self):
        with self.lock:
            self.pending_version = None
            self.pending_components = None

    def begin_restart(self):
        """Marks the restart; returns False when one is already running."""
        with self.lock:
            self.generation += 1
            if self.restarting:
                return False
            self.restarting = True
            if self.restart_connections:
                self.restart_deadline = None
                self.restart_drops_left = self.restart_connections
            else:
                self.restart_deadline = time.monotonic() + self.restart_ms / 1000.0
            return True

    def end_restart(self):
        with self.lock:
            self.apply_pending()
            self.restarting = False
            self.restart_deadline = None
            self.restart_drops_left = 0

    def snapshot(self):
        with self.lock:
            return {
                "version": self.version,
                "version_raw": self.version_raw.hex() if self.version_raw is not None else None,
                "components": self.components.decode("utf-8", "replace"),
                "printer_info": self.printer_info.decode("utf-8", "replace"),
                "build_info": self.build_info.decode("utf-8", "replace"),
                "restarting": self.restarting,
                "generation": self.generation,
                "commands": self.commands,
                "nvram_mode": self.nvram_mode,
                "next_version": self.next_version,
                "restart_ms": self.restart_ms,
                "restart_connections": self.restart_connections,
            }
