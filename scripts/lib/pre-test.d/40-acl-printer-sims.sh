# Simulated printers for the Windows network transport tests
# (tests/win32/ntwk_winsock_test.cpp): one per test case on 127.60.200.N, control
# on port 9101 of the same address. The printer port is 9100 when running as
# root, 19100 otherwise; the tests read it from TIDEWAY_ACL_SIM_PORT. The
# processes are stopped by id with the Wine session (WINE_SESSION_PIDS).

acl_start_wine_printers() {
  local dir="$BUILD/acl-sims"
  local port=19100
  [ "$(id -u)" = 0 ] && port=9100
  rm -rf "$dir"
  mkdir -p "$dir"
  local n
  for n in 1 2 3 4 5 6 7; do
    python3 "$ROOT/tools/printer-sim/printer_sim.py" --address "127.60.200.$n" --port "$port" \
      --control-port 9101 --restart-ms 100 --quiet --ready-file "$dir/ready$n" \
      --event-log "$dir/events$n.jsonl" >"$dir/console$n.log" 2>&1 &
    WINE_SESSION_PIDS+=($!)
  done
  for n in 1 2 3 4 5 6 7; do
    local waited=0
    while [ ! -s "$dir/ready$n" ] && [ "$waited" -lt 100 ]; do
      sleep 0.1
      waited=$((waited + 1))
    done
    [ -s "$dir/ready$n" ] || { echo "printer-sim 127.60.200.$n did not start: $(cat "$dir/console$n.log")"; return 1; }
  done
  export TIDEWAY_ACL_SIM_PORT="$port"
}

acl_start_wine_printers
