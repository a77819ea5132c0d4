#!/usr/bin/env python3
"""pass_persist handler for snmpd: serves the RFU object read-write.

The value lives in the state file named by the first argument, so a test can
set it before an exchange and read it after. Values outside 1..3 are refused
with wrong-value, other types with wrong-type."""
import sys

OID = ".1.3.6.1.4.1.7734.2.3.9.4.2.1.1.20.8.0"
state = sys.argv[1]


def read_value():
    try:
        with open(state) as f:
            return int(f.read().strip() or "0")
    except (OSError, ValueError):
        return 0


def write_value(v):
    with open(state + ".tmp", "w") as f:
        f.write("%d\n" % v)
    import os
    os.replace(state + ".tmp", state)


def out(*lines):
    sys.stdout.write("".join(line + "\n" for line in lines))
    sys.stdout.flush()


def main():
    while True:
        cmd = sys.stdin.readline()
        if not cmd:
            return
        cmd = cmd.strip()
        if cmd == "":
            continue  # snmpd sends an empty line after each set
        if cmd == "PING":
            out("PONG")
        elif cmd == "get":
            oid = sys.stdin.readline().strip()
            if oid == OID:
                out(OID, "integer", str(read_value()))
            else:
                out("NONE")
        elif cmd == "getnext":
            oid = sys.stdin.readline().strip()
            if oid < OID and not oid.startswith(OID):
                out(OID, "integer", str(read_value()))
            else:
                out("NONE")
        elif cmd == "set":
            oid = sys.stdin.readline().strip()
            typed = sys.stdin.readline().split()
            if oid != OID:
                out("not-writable")
            elif len(typed) != 2 or typed[0] != "integer":
                out("wrong-type")
            else:
                try:
                    v = int(typed[1])
                except ValueError:
                    out("wrong-type")
                    continue
                if v < 1 or v > 3:
                    out("wrong-value")
                else:
                    write_value(v)
                    out("DONE")
        else:
            out("NONE")


main()
