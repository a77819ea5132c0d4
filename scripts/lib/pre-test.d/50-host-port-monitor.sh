# Ports for the port address lookup tests under Wine (tests/win32/port_address_wine_test.cpp),
# all on 127.30.x.x:
#   the test-only port monitor "Tideway Test Monitor" (tests/win32/monitor), copied
#   into system32 and registered; its ports answer "IPAddress" with "XcvAnswer"
#   and hold a different "IPAddress" in their key, so a test sees which branch
#   answered:
#     IP_127.30.2.1  answer 127.30.2.1 (valid)        key 127.30.2.201
#     IP_127.30.2.2  answer no-such-host.invalid       key 127.30.2.2
#     IP_127.30.2.3  answer of 300 characters          key 127.30.2.3
#     IP_127.30.2.4  no answer                         key 127.30.2.4
#   IP_127.30.3.1 in the local port list, key under "Local Monitor": 127.30.3.1
# and for the TCP port lookup (GetConfigInfo answer / "Protocol", "PortNumber" in the key):
#     IP_127.30.2.1  raw 9101                          raw 9109
#     IP_127.30.2.2  LPR 515                           raw 9109
#     IP_127.30.2.4  no answer                         raw 9102
#     IP_127.30.3.1  (Local Monitor: status 87)        raw 9103
# shellcheck source=../make-test-prefix.sh
source "$ROOT/scripts/lib/make-test-prefix.sh"

# REGEDIT4 DWORD lines, joined by CR LF: the monitor's answer (XcvProtocol,
# XcvPortNumber) and the key's Protocol and PortNumber; an empty argument: none.
tcp_port() {
  local names=(XcvProtocol XcvPortNumber Protocol PortNumber) values=("$@") lines=() i
  for i in 0 1 2 3; do
    [ -z "${values[i]}" ] || lines+=("$(printf '"%s"=dword:%08x' "${names[i]}" "${values[i]}")")
  done
  local joined
  joined=$(printf '%s\r\n' "${lines[@]}")
  printf '%s' "${joined%$'\r'}"
}

host_port_monitor_reg() {
  local monitors='HKEY_LOCAL_MACHINE\SYSTEM\CurrentControlSet\Control\Print\Monitors'
  local long_answer
  long_answer="$(printf '7%.0s' $(seq 300))"
  printf 'REGEDIT4\r\n\r\n'
  printf '[%s\\Tideway Test Monitor]\r\n"Driver"="tideway_test_monitor.dll"\r\n\r\n' "$monitors"
  printf '[%s\\Tideway Test Monitor\\Ports\\IP_127.30.2.1]\r\n"XcvAnswer"="127.30.2.1"\r\n"IPAddress"="127.30.2.201"\r\n%s\r\n\r\n' "$monitors" "$(tcp_port 1 9101 1 9109)"
  printf '[%s\\Tideway Test Monitor\\Ports\\IP_127.30.2.2]\r\n"XcvAnswer"="no-such-host.invalid"\r\n"IPAddress"="127.30.2.2"\r\n%s\r\n\r\n' "$monitors" "$(tcp_port 2 515 1 9109)"
  printf '[%s\\Tideway Test Monitor\\Ports\\IP_127.30.2.3]\r\n"XcvAnswer"="%s"\r\n"IPAddress"="127.30.2.3"\r\n\r\n' "$monitors" "$long_answer"
  printf '[%s\\Tideway Test Monitor\\Ports\\IP_127.30.2.4]\r\n"IPAddress"="127.30.2.4"\r\n%s\r\n\r\n' "$monitors" "$(tcp_port "" "" 1 9102)"
  printf '[HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows NT\\CurrentVersion\\Ports]\r\n"IP_127.30.3.1"=""\r\n\r\n'
  printf '[%s\\Local Monitor\\Ports\\IP_127.30.3.1]\r\n"IPAddress"="127.30.3.1"\r\n%s\r\n\r\n' "$monitors" "$(tcp_port "" "" 1 9103)"
}

host_prepare_port_monitor() {
  local dll="$WIN/tests/win32/monitor/tideway_test_monitor.dll"
  [ -f "$dll" ] || { echo "test port monitor not built: $dll"; return 1; }
  cp -f "$dll" "$WINEPREFIX/drive_c/windows/system32/tideway_test_monitor.dll" || return 1
  host_port_monitor_reg >"$WINEPREFIX/drive_c/tideway-host-ports.reg"
  _prefix_wine "$WINEPREFIX" regedit /S 'C:\tideway-host-ports.reg' >/dev/null 2>&1 || {
    echo "regedit failed for the host port monitor"
    return 1
  }
}

host_prepare_port_monitor
