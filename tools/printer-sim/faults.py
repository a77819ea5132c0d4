"""Faults on demand: MODE[:key=value,...] applied to chosen commands."""

import threading

from acl_wire import COMMAND_SHORT_NAMES, DATA_COMMANDS, TEXT_COMMANDS

MODES = {
    # mode: keys it accepts
    "no-reply": (),
    "status": ("value",),
    "wrong-cmdid": ("value",),
    "wrong-prefix": ("value",),
    "close-mid-data": ("at",),
    "stall-mid-data": ("at", "delay_ms"),
    "close-before-reply": (),
    "split-reply": ("at", "delay_ms"),
    "short-reply": ("at",),
    "slow": ("delay_ms",),
    "no-text": (),
    "split-text": ("at", "delay_ms"),
    "text-length": ("value",),
    "keep-old-version": (),
    "no-restart": (),
    "accept-close": (),
    "accept-no-read": (),
    "refuse": (),
}

# Faults that act on connections rather than on commands.
CONNECTION_MODES = ("accept-close", "accept-no-read", "refuse")

GROUPS = {
    "data": [COMMAND_SHORT_NAMES[c] for c in DATA_COMMANDS],
    "query": ["version"] + [COMMAND_SHORT_NAMES[c] for c in TEXT_COMMANDS],
}
SHORT_TO_ID = {name: cmd_id for cmd_id, name in COMMAND_SHORT_NAMES.items()}


class FaultError(ValueError):
    pass


def _number(text):
    try:
        return int(text, 0)
    except ValueError:
        raise FaultError("not a number: %r" % text)


class Fault:
    def __init__(self, desc):
        self.desc = desc
        mode, _, rest = desc.partition(":")
        mode = mode.strip()
        if mode not in MODES:
            raise FaultError("unknown fault mode %r (known: %s)" % (mode, ", ".join(sorted(MODES))))
        self.mode = mode
        self.cmd_ids = None  # None: every command
        self.skip = 0
        self.times = 0
        self.params = {}
        for pair in filter(None, (p.strip() for p in rest.split(","))):
            key, eq, value = pair.partition("=")
            key = key.strip().replace("-", "_")
            value = value.strip()
            if not eq:
                raise FaultError("expected key=value in %r" % pair)
            if key == "cmd":
                self.cmd_ids = set()
                for name in value.split("+"):
                    for short in GROUPS.get(name, [name]):
                        if short not in SHORT_TO_ID:
                            raise FaultError("unknown command name %r" % short)
                        self.cmd_ids.add(SHORT_TO_ID[short])
            elif key == "skip":
                self.skip = _number(value)
            elif key == "times":
                self.times = _number(value)
            elif key in MODES[mode]:
                self.params[key] = _number(value)
            else:
                raise FaultError("fault %s takes no key %r" % (mode, key))
        self.matched = 0

    def param(self, key, default):
        return self.params.get(key, default)

    def take(self, cmd_id):
        """Counts a matching command; True when the fault applies to it."""
        if self.cmd_ids is not None and cmd_id not in self.cmd_ids:
            return False
        self.matched += 1
        if self.matched <= self.skip:
            return False
        return self.times == 0 or self.matched <= self.skip + self.times


class FaultSet:
    """The active faults; thread-safe because connections and the control socket share it."""

    def __init__(self, descs=()):
        self._lock = threading.Lock()
        self._faults = [Fault(s) for s in descs]

    def replace(self, descs):
        faults = [Fault(s) for s in descs]
        with self._lock:
            self._faults = faults

    def descs(self):
        with self._lock:
            return [f.desc for f in self._faults]

    def has(self, mode):
        with self._lock:
            return any(f.mode == mode for f in self._faults)

    def for_command(self, cmd_id):
        """The faults that apply to this command (each matching fault counts it)."""
        with self._lock:
            return {f.mode: f for f in self._faults
                    if f.mode not in CONNECTION_MODES and f.take(cmd_id)}
