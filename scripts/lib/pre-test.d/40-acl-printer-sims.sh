# Simulated printers for the Windows network transport tests
# (tests/win32/ntwk_winsock_test.cpp): one per test case on <net>.N (N = 1..7),
# control on port 9101 of the same address. <net> is the first of 127.60.200 ..
# 127.60.254 whose addresses are free (test runs of other worktrees may hold
# some); the tests read it from TIDEWAY_ACL_SIM_NET. The printer port is 9100
# when running as root, 19100 otherwise (TIDEWAY_ACL_SIM_PORT). The processes
# are stopped by id with the Wine session (WINE_SESSION_PIDS).

acl_start_wine_printers() {
  local dir="$BUILD/acl-sims"
  local port=19100
  [ "$(id -u)" = 0 ] && port=9100
  local third n pids started
  for third in $(seq 200 254); do
    rm -rf "$dir"
    mkdir -p "$dir"
    pids=()
    for n in 1 2 3 4 5 6 7; do
      python3 "$ROOT/tools/printer-sim/printer_sim.py" --address "127.60.$third.$n" --port "$port" \
        --control-port 9101 --restart-ms 100 --quiet --ready-file "$dir/ready$n" \
        --event-log "$dir/events$n.jsonl" >"$dir/console$n.log" 2>&1 &
      pids+=($!)
    done
    started=1
    for n in 1 2 3 4 5 6 7; do
      local waited=0
      while [ ! -s "$dir/ready$n" ] && [ "$waited" -lt 100 ] && kill -0 "${pids[$((n - 1))]}" 2>/dev/null; do
        sleep 0.1
        waited=$((waited + 1))
      done
      [ -s "$dir/ready$n" ] || started=0
    done
    if [ "$started" = 1 ]; then
      WINE_SESSION_PIDS+=("${pids[@]}")
      export TIDEWAY_ACL_SIM_NET="127.60.$third"
      export TIDEWAY_ACL_SIM_PORT="$port"
      return 0
    fi
    local pid
    end_jobs "${pids[@]}"
    for pid in "${pids[@]}"; do wait "$pid" 2>/dev/null || true; done
  done
  echo "no free address block for the simulated printers: $(cat "$dir"/console*.log)"
  return 1
}

acl_start_wine_printers
