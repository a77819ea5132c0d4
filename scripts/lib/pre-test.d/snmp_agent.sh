# snmpd for the Windows SNMP tests (tests/win32/snmp_*_test.cpp), which cannot
# start a Unix process themselves: udp 127.20.1.N:161 (the first N whose port
# is free, so that runs side by side do not meet), communities "tarnel"
# (read-write) and "getonly" (read-only), the RFU object served by
# tests/support/snmp/rfu_pass_persist.py. The tests find the agent in
# TIDEWAY_SNMP_AGENT and an address where nothing listens in
# TIDEWAY_SNMP_SILENT. The pid joins WINE_SESSION_PIDS, so stop_wine_session
# ends it.
# The -100 test needs a Windows version later than 6.1 (receive-all mode is
# refused under Wine's default 6.1): that test executable alone gets "win10".
# Sourced by scripts/test.

start_snmp_test_agent() {
  local dir="$BUILD/snmpd-wine" n pid i
  for n in $(seq 1 40); do
    rm -rf "$dir"
    mkdir -p "$dir/persist"
    echo 1 >"$dir/state"
    cat >"$dir/snmpd.conf" <<CONF
agentAddress udp:127.20.1.$n:161
rocommunity getonly 127.0.0.0/8
rwcommunity tarnel 127.0.0.0/8
pass_persist .1.3.6.1.4.1.7734.2.3.9.4.2.1.1.20.8 $ROOT/tests/support/snmp/rfu_pass_persist.py $dir/state
CONF
    SNMP_PERSISTENT_DIR="$dir/persist" MIBS= snmpd -C -c "$dir/snmpd.conf" -f -Lo -p "$dir/snmpd.pid" \
      >"$dir/snmpd.log" 2>&1 &
    pid=$!
    for i in $(seq 40); do
      kill -0 "$pid" 2>/dev/null || break  # the address was taken
      if SNMP_PERSISTENT_DIR="$dir/persist" MIBS= snmpget -v2c -c tarnel -t 0.2 -r 0 "127.20.1.$n" \
           .1.3.6.1.4.1.7734.2.3.9.4.2.1.1.20.8.0 >/dev/null 2>&1; then
        # An agent of another run may hold the address and answer for ours,
        # which then exits at once ("Error opening specified endpoint").
        sleep 0.5
        kill -0 "$pid" 2>/dev/null || break
        WINE_SESSION_PIDS+=("$pid")
        export TIDEWAY_SNMP_AGENT="127.20.1.$n" TIDEWAY_SNMP_SILENT="127.20.3.$n"
        return 0
      fi
      sleep 0.2
    done
    end_jobs "$pid"
    wait "$pid" 2>/dev/null
  done
  echo "snmpd for the Windows SNMP tests did not start:"
  cat "$dir/snmpd.log"
  return 1
}

start_snmp_test_agent &&
  (cd "$WINEPREFIX" && wine reg add 'HKCU\Software\Wine\AppDefaults\win32_snmp_unreachable_test.exe' \
     /v Version /t REG_SZ /d win10 /f >/dev/null 2>&1)
