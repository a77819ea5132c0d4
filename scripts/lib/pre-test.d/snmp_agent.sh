# snmpd for the Windows SNMP tests (tests/win32/snmp_*_test.cpp), which cannot
# start a Unix process themselves: udp 127.20.1.1:161, communities "tarnel"
# (read-write) and "getonly" (read-only), the RFU object served by
# tests/support/snmp/rfu_pass_persist.py. Its pid joins WINE_SESSION_PIDS, so
# stop_wine_session ends it.
# The -100 test needs a Windows version later than 6.1 (receive-all mode is
# refused under Wine's default 6.1): that test executable alone gets "win10".
# Sourced by scripts/test.

start_snmp_test_agent() {
  local dir="$BUILD/snmpd-wine"
  rm -rf "$dir"
  mkdir -p "$dir/persist"
  echo 1 >"$dir/state"
  cat >"$dir/snmpd.conf" <<CONF
agentAddress udp:127.20.1.1:161
rocommunity getonly 127.0.0.0/8
rwcommunity tarnel 127.0.0.0/8
pass_persist .1.3.6.1.4.1.7734.2.3.9.4.2.1.1.20.8 $ROOT/tests/support/snmp/rfu_pass_persist.py $dir/state
CONF
  SNMP_PERSISTENT_DIR="$dir/persist" MIBS= snmpd -C -c "$dir/snmpd.conf" -f -Lo -p "$dir/snmpd.pid" \
    >"$dir/snmpd.log" 2>&1 &
  WINE_SESSION_PIDS+=($!)
  local i
  for i in $(seq 50); do
    if SNMP_PERSISTENT_DIR="$dir/persist" MIBS= snmpget -v2c -c tarnel -t 0.2 -r 0 127.20.1.1 \
         .1.3.6.1.4.1.7734.2.3.9.4.2.1.1.20.8.0 >/dev/null 2>&1; then
      return 0
    fi
    sleep 0.2
  done
  echo "snmpd for the Windows SNMP tests did not start:"; cat "$dir/snmpd.log"
  return 1
}

start_snmp_test_agent &&
  (cd "$WINEPREFIX" && wine reg add 'HKCU\Software\Wine\AppDefaults\win32_snmp_unreachable_test.exe' \
     /v Version /t REG_SZ /d win10 /f >/dev/null 2>&1)
