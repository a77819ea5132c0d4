#!/usr/bin/env bash
# Ping of an address that does not answer, under Wine: a network namespace of
# our own whose loopback ignores echo requests, and a whole Wine session (its
# own prefix and wineserver) inside it, because Wine sends ICMP from its
# service process, not from the test program. Runs the disabled test
# WinPing.DISABLED_AddressThatDoesNotAnswer there. The namespace and the
# session's wineserver are removed on every path.
#
# Environment (set by ctest): TIDEWAY_NET_TEST_EXE, TIDEWAY_E2E_DIR, TIDEWAY_BUILD.
set -uo pipefail

HERE="$(cd "$(dirname "$0")" && pwd)"
source "$HERE/../../scripts/lib/env.sh"
source "$ROOT/scripts/lib/make-test-prefix.sh"

TEST_EXE="${TIDEWAY_NET_TEST_EXE:?test program}"
PREFIX="${TIDEWAY_E2E_DIR:-$WIN/e2e}/ping-netns-prefix"
NS="tideway-host-ping-$$"
SILENT_ADDRESS="127.30.0.50"

[ "$(id -u)" = 0 ] || { echo "network namespaces need root"; exit 1; }

cleanup() {
  ip netns exec "$NS" env WINEPREFIX="$PREFIX" wineserver -k >/dev/null 2>&1 || true
  ip netns del "$NS" 2>/dev/null || true
}
trap cleanup EXIT

ip netns add "$NS" || { echo "ip netns add failed"; exit 1; }
ip netns exec "$NS" ip link set lo up || exit 1
ip netns exec "$NS" sysctl -qw net.ipv4.icmp_echo_ignore_all=1 || exit 1
# The ping needs no printers: a bare prefix starts no Wine process, so the
# session starts afresh inside the namespace (a wineserver of this prefix left
# outside by an interrupted run is ended first).
make_bare_prefix "$PREFIX" || exit 1
WINEPREFIX="$PREFIX" wineserver -k >/dev/null 2>&1 || true

ip netns exec "$NS" env WINEPREFIX="$PREFIX" TIDEWAY_SILENT_ADDRESS="$SILENT_ADDRESS" \
  wine "$TEST_EXE" --gtest_also_run_disabled_tests --gtest_filter='WinPing.DISABLED_AddressThatDoesNotAnswer'
