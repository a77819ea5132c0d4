# A network printer that can take a whole update, for the demo and the
# end-to-end tests (sourced): the simulated printer on a loopback address of
# its own, installed in a Wine prefix's spooler, optionally with snmpd serving
# its RFU setting, and a firmware file made by fwgen.
#
#   start_update_printer <work-dir> <sim args...>   sets UPDATE_ADDRESS, UPDATE_PORT_NAME,
#                                                  UPDATE_SIM_PID, UPDATE_SIM_EVENTS, UPDATE_SIM_CONTROL
#   install_update_printer <prefix> <printer-name> <driver>
#   start_rfu_agent <work-dir> <value> [community] sets UPDATE_SNMPD_PID, UPDATE_RFU_STATE
#   make_firmware <out-file> <fwgen-set> <sample>  copies one fwgen sample
#   sim_control <json>                              one control request, prints the reply
#   sim_report                                      what the printer received and reports now
# Processes are recorded in STARTED_PIDS (the caller ends them by id).

# The first <net>.N.1 (N = 1..250) where ports 9100 and 9101 (control) are
# free; the simulator binds them, so the address is claimed by the bind alone
# and starters running side by side (other cases, other build trees) never share
# one. The control socket stays bound while the printer restarts with its
# listener closed, so the address is never free before the simulator ends.
# <net> is UPDATE_NET (a test's own range), 127.41 by default.
start_update_printer() {
  local dir="$1" n net="${UPDATE_NET:-127.41}"
  shift
  mkdir -p "$dir"
  for n in $(seq 1 250); do
    rm -f "$dir/sim.ready" "$dir/sim.ready.error" "$dir/sim-events.jsonl"
    python3 "$ROOT/tools/printer-sim/printer_sim.py" --address "$net.$n.1" --port 9100 --control-port 9101 \
      --ready-file "$dir/sim.ready" --event-log "$dir/sim-events.jsonl" --quiet \
      --console-log "$dir/sim-console.log" "$@" &
    local pid=$!
    local i
    for i in $(seq 100); do
      [ -f "$dir/sim.ready" ] || [ -f "$dir/sim.ready.error" ] || ! kill -0 "$pid" 2>/dev/null || { sleep 0.1; continue; }
      break
    done
    if [ -f "$dir/sim.ready" ]; then
      STARTED_PIDS+=("$pid")
      UPDATE_SIM_PID=$pid
      UPDATE_ADDRESS="$net.$n.1"
      UPDATE_PORT_NAME="IP_$UPDATE_ADDRESS"
      UPDATE_SIM_EVENTS="$dir/sim-events.jsonl"
      UPDATE_SIM_CONTROL=$(sed -E 's/.*"control_port": *([0-9]+).*/\1/' "$dir/sim.ready")
      return 0
    fi
    end_jobs "$pid"
    wait "$pid" 2>/dev/null
  done
  echo "no free address for the simulated printer" >&2
  return 1
}

# The printer, its port and the monitor keys with "IPAddress" in the prefix.
install_update_printer() {
  local prefix="$1" name="$2" driver="$3" monitor reg="$1/drive_c/tideway-update-printer.reg"
  {
    printf 'REGEDIT4\r\n\r\n'
    _reg_printer "$name" "$UPDATE_PORT_NAME" "$driver" "simulated network printer"
    printf '[HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows NT\\CurrentVersion\\Ports]\r\n"%s"=""\r\n\r\n' \
      "$UPDATE_PORT_NAME"
    for monitor in "Standard TCP/IP Port" "Local Monitor"; do
      printf '[HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control\\Print\\Monitors\\%s\\Ports\\%s]\r\n' \
        "$monitor" "$UPDATE_PORT_NAME"
      printf '"IPAddress"="%s"\r\n\r\n' "$UPDATE_ADDRESS"
    done
  } >"$reg"
  _prefix_wine "$prefix" regedit /S 'C:\tideway-update-printer.reg' >/dev/null 2>&1
}

# snmpd on the printer's address, serving its RFU setting from a state file
# (1 off, 2 on, 3 off and locked) with the communities "tarnel" (read-write).
# The address is the printer's own; an agent a killed run left there would
# still answer for ours, which then ends at once: it must be alive after the
# first answer.
start_rfu_agent() {
  local dir="$1/snmpd" value="$2" community="${3:-tarnel}" i
  rm -rf "$dir"
  mkdir -p "$dir/persist"
  echo "$value" >"$dir/state"
  cat >"$dir/snmpd.conf" <<CONF
agentAddress udp:$UPDATE_ADDRESS:161
rwcommunity $community 127.0.0.0/8
pass_persist .1.3.6.1.4.1.7734.2.3.9.4.2.1.1.20.8 $ROOT/tests/support/snmp/rfu_pass_persist.py $dir/state
CONF
  SNMP_PERSISTENT_DIR="$dir/persist" MIBS= snmpd -C -c "$dir/snmpd.conf" -f -Lo >"$dir/snmpd.log" 2>&1 &
  UPDATE_SNMPD_PID=$!
  STARTED_PIDS+=("$UPDATE_SNMPD_PID")
  UPDATE_RFU_STATE="$dir/state"
  for i in $(seq 50); do
    if SNMP_PERSISTENT_DIR="$dir/persist" MIBS= snmpget -v1 -c "$community" -t 0.2 -r 0 "$UPDATE_ADDRESS" \
         .1.3.6.1.4.1.7734.2.3.9.4.2.1.1.20.8.0 >/dev/null 2>&1; then
      sleep 0.5
      kill -0 "$UPDATE_SNMPD_PID" 2>/dev/null && return 0
      break
    fi
    kill -0 "$UPDATE_SNMPD_PID" 2>/dev/null || break
    sleep 0.2
  done
  echo "snmpd did not start on $UPDATE_ADDRESS:" >&2
  cat "$dir/snmpd.log" >&2
  return 1
}

# One sample of `fwgen <set>` as <out-file>. fwgen is a native tool: built in
# the native tree when it is missing there.
make_firmware() {
  local out="$1" set="$2" sample="$3" fwgen="${TIDEWAY_FWGEN:-$NATIVE/tools/fwgen/fwgen}"
  if [ ! -x "$fwgen" ]; then
    [ -f "$NATIVE/build.ninja" ] || cmake -S "$ROOT" -B "$NATIVE" -G Ninja -DCMAKE_BUILD_TYPE=Debug \
      -DTIDEWAY_WIN_BUILD_DIR="$WIN" >/dev/null || return 1
    cmake --build "$NATIVE" --target fwgen >/dev/null || return 1
  fi
  local tmp
  tmp=$(mktemp -d)
  "$fwgen" "$set" "$tmp" && cp "$tmp/$sample" "$out"
  local rc=$?
  rm -rf "$tmp"
  return $rc
}

sim_control() {
  python3 - "$UPDATE_ADDRESS" "$UPDATE_SIM_CONTROL" "$1" <<'PY'
import socket, sys
s = socket.create_connection((sys.argv[1], int(sys.argv[2])), timeout=5)
s.sendall(sys.argv[3].encode() + b"\n")
data = b""
while not data.endswith(b"\n"):
    chunk = s.recv(65536)
    if not chunk:
        break
    data += chunk
print(data.decode().strip())
PY
}

# One line per data command the printer took, then the version it reports.
sim_report() {
  python3 - "$UPDATE_SIM_EVENTS" "$(sim_control '{"op":"state"}')" <<'PY'
import json, sys
for line in open(sys.argv[1]):
    e = json.loads(line)
    if e.get("event") != "command" or e.get("cmd") in ("GET_VERSION", "GET_COMP_VERSION", "GET_PRINTER_INFO",
                                                        "GET_BUILD_INFO"):
        continue
    parts = ["%s" % e["cmd"]]
    if "data_length" in e:
        parts.append("%d bytes" % e.get("received", 0))
    for key in ("kind", "comp_type", "pkg_version", "file_version"):
        if key in e and e[key] not in ("", None):
            parts.append("%s=%s" % (key, e[key]))
    if "sha256" in e and e["sha256"]:
        parts.append("sha256=%s" % e["sha256"])
    parts.append("answer=%s" % e.get("status"))
    if e.get("faults"):
        parts.append("(overridden by the fault %s)" % e["faults"])
    print("received: " + " ".join(parts))
state = json.loads(sys.argv[2]) if sys.argv[2] else {}
print("reports now: version %s" % state.get("version"))
comps = state.get("components", "")
if comps:
    print("reports now: components " + comps.replace("\r\n", "; ").strip("; "))
PY
}
