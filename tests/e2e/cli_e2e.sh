#!/usr/bin/env bash
# Unattended runs of the real tideway.exe under Wine, from a shell as a
# deployment tool starts it: switches in, exit code and JSON report out, against
# three simulated network printers (one refusing the burn, one past the
# firmware date with its RFU setting off behind snmpd). Few program starts:
#   bad switch          usage on the output, code 2
#   check only          after a run that left the spooler stopped: the spooler started,
#                       every supported printer checked, nothing burned, versions
#                       reported; the gated one's RFU setting read: off without /rfu,
#                       code 5 as the run
#   silent update       code 0, the exact image arrived, "updated", no window during
#                       the run; a second copy meanwhile: code 6, no box
#   run again           nothing written, code 3
#   burn refused        code 1
#   no such printer     code 4, the log where /l says
#   gated, no consent   code 5, not burned, RFU still off
#   gated, /rfu:onoff   updated, RFU on for the update and off again afterwards
#   signed firmware     with FIRMWARE_SIGNERS: the printer whose file is signed is
#                       updated, the one whose file changed after signing is not
#                       written; code 1
#
# Environment (set by ctest): TIDEWAY_EXE, TIDEWAY_ARTIFACTS, TIDEWAY_E2E_DIR;
# TIDEWAY_FWGEN (native fwgen). Runs in a Wine session of its own
# (start_own_session), whose screen shows only this case's windows.
set -uo pipefail

HERE="$(cd "$(dirname "$0")" && pwd)"
source "$HERE/../../scripts/lib/env.sh"
source "$ROOT/scripts/lib/make-test-prefix.sh"
source "$ROOT/scripts/lib/update-printer.sh"
source "$ROOT/scripts/lib/sign-firmware.sh"
source "$HERE/e2e_common.sh"

EXE="${TIDEWAY_EXE:-$WIN/bin/tideway.exe}"
ARTIFACTS="${TIDEWAY_ARTIFACTS:-$BUILD/artifacts}"
CASE_DIR="${TIDEWAY_E2E_DIR:-$WIN/e2e}/cli"
export WINEPREFIX="$CASE_DIR.prefix"
# A log of the runs' own (/l).
LOG_FILE="${TIDEWAY_E2E_DIR:-$WIN/e2e}/cli/cli-e2e.log"

NET="QV CLI Network"
REFUSES="QV CLI Refuses"
GATED="QV CLI Gated"
SIGNED="QV CLI Signed"
TAMPERED="QV CLI Tampered"

STARTED_PIDS=()
failures=0

cleanup() { end_case $?; }
trap cleanup EXIT

# Runs tideway.exe with the arguments; OUT holds what it printed, CODE its exit code.
run() {
  local args=("$@")
  [[ " $* " == *" /l:"* ]] || args+=(/l:cli-e2e.txt)
  OUT=$(cd "$CASE_DIR" && wine "$CASE_DIR/tideway.exe" "${args[@]}" </dev/null 2>/dev/null | tr -d '\r')
  CODE=${PIPESTATUS[0]}
  echo "--- tideway.exe $* -> $CODE"
  echo "$OUT" | sed 's/^/    /'
}
expect_code() { [ "$CODE" = "$1" ] && echo "code ok: $1 ($2)" || fail "$2: code $CODE, expected $1"; }

# `field` of the report's printer `name` ("" when there is no such printer).
report_field() {
  python3 - "$1" "$2" "$3" <<'PY'
import json, sys
doc = json.load(open(sys.argv[1], encoding="utf-8"))
if sys.argv[2] == "exitCode":
    print(doc["exitCode"]); sys.exit()
for p in doc["printers"]:
    if p["name"] == sys.argv[2]:
        print(json.dumps(p[sys.argv[3]]))
PY
}
expect_report() {
  local got
  got=$(report_field "$1" "$2" "$3")
  [ "$got" = "$4" ] && echo "report ok: $2 $3 = $4" || fail "report $1: $2 $3 = [$got], expected [$4]"
}

# Burns the printer at `events` received.
burns() { grep -c '"cmd": *"BURN_FLASH"' "$1" 2>/dev/null || true; }

# Visible top-level windows on the display.
visible_windows() { xdotool search --onlyvisible --name '.' 2>/dev/null | wc -l; }

[ -f "$EXE" ] || { echo "tideway.exe missing"; exit 1; }
start_own_session || exit 1
prepare_cli_case "QV CLI" "QV CLI Driver" || exit 1

start_update_printer "$CASE_DIR/net" --version 1000 || exit 1
install_update_printer "$WINEPREFIX" "$NET" "QV CLI Driver"
NET_EVENTS=$UPDATE_SIM_EVENTS NET_ADDRESS=$UPDATE_ADDRESS
start_update_printer "$CASE_DIR/refuses" --version 1000 --fault status:value=2,cmd=burn || exit 1
install_update_printer "$WINEPREFIX" "$REFUSES" "QV CLI Driver"
REFUSES_EVENTS=$UPDATE_SIM_EVENTS
start_update_printer "$CASE_DIR/gated" --version 20150101 || exit 1
start_rfu_agent "$CASE_DIR/gated" 1 || exit 1
install_update_printer "$WINEPREFIX" "$GATED" "QV CLI Driver"
GATED_EVENTS=$UPDATE_SIM_EVENTS GATED_RFU=$UPDATE_RFU_STATE

# A bad switch: the usage, code 2, before anything else happens.
run /s /bogus
expect_code 2 "bad switch"
grep -qF '"/bogus": unknown switch' <<<"$OUT" && grep -qF '/rfu:on|onoff' <<<"$OUT" &&
  grep -qE '^  8  the configuration file is missing or incomplete$' <<<"$OUT" && echo "usage ok" ||
  fail "no usage with every switch and exit code"

# A run cut off in the middle of its downloads left the spooler stopped. A
# check changes nothing: it says so and leaves it stopped (code 1); the next
# run starts it (Wine lists printers without it; Windows does not).
(cd "$CASE_DIR" && wine sc stop Spooler >/dev/null 2>&1)
for _ in $(seq 50); do [ "$(spooler_state)" = STOPPED ] && break; sleep 0.1; done
[ "$(spooler_state)" = STOPPED ] || fail "the spooler could not be stopped for the test: $(spooler_state)"
run /s /c
expect_code 1 "check with the spooler stopped"
grep -qF 'a check (/c) does not start it' <<<"$OUT" && [ "$(spooler_state)" = STOPPED ] &&
  echo "the check left the stopped spooler stopped" || fail "check: spooler $(spooler_state), or not said"
run /s "/printer:$GATED"
expect_code 5 "run after a cut-off one"
[ "$(spooler_state)" = RUNNING ] && echo "the run started the spooler it found stopped" ||
  fail "spooler $(spooler_state) after the run"

# Check only, every supported printer: nothing written anywhere.
run /s /c "/report:C:\\cli-check.json"
CHECK_REPORT="$WINEPREFIX/drive_c/cli-check.json"
expect_code 5 "check only"
expect_report "$CHECK_REPORT" exitCode "" 5
for p in "$NET" "$REFUSES"; do expect_report "$CHECK_REPORT" "$p" outcome '"would-update"'; done
expect_report "$CHECK_REPORT" "$GATED" outcome '"not-applicable"'
[ "$(cat "$GATED_RFU")" = 1 ] && echo "check only left RFU off" || fail "check only changed RFU: $(cat "$GATED_RFU")"
expect_report "$CHECK_REPORT" "$NET" versionBefore 1000
expect_report "$CHECK_REPORT" "$GATED" versionBefore 20150101
expect_report "$CHECK_REPORT" "$NET" fileVersion 20230115
expect_report "$CHECK_REPORT" "$NET" kind '"network"'
expect_report "$CHECK_REPORT" "$NET" address "\"$NET_ADDRESS\""
expect_report "$CHECK_REPORT" "$NET" versionAfter null
total=$(( $(burns "$NET_EVENTS") + $(burns "$REFUSES_EVENTS") + $(burns "$GATED_EVENTS") ))
[ "$total" = 0 ] && echo "check only burned nothing" || fail "check only burned $total times"

# A silent update; meanwhile no window, and a second copy ends with code 6.
before=$(visible_windows)
LOG_OFFSET=$(log_size)
(cd "$CASE_DIR" && exec wine "$CASE_DIR/tideway.exe" /s "/printer:$NET" "/report:C:\\cli-update.json" /l:cli-e2e.txt \
   </dev/null >"$CASE_DIR/update.out" 2>/dev/null) &
APP_PID=$!
STARTED_PIDS+=("$APP_PID")
windows_seen=0
second_done=0
for i in $(seq 300); do
  kill -0 "$APP_PID" 2>/dev/null || break
  now=$(visible_windows)
  [ "$now" -gt "$before" ] && windows_seen=$((windows_seen + 1))
  if [ "$second_done" = 0 ] && grep -q 'writing' "$CASE_DIR/update.out" 2>/dev/null; then
    run /s /c
    expect_code 6 "second copy"
    [ "$(visible_windows)" -gt "$before" ] && fail "the second copy showed a window"
    second_done=1
  fi
  sleep 0.5
done
wait "$APP_PID"
CODE=$?
echo "--- silent update -> $CODE"; tr -d '\r' <"$CASE_DIR/update.out" | sed 's/^/    /'
expect_code 0 "silent update"
[ "$second_done" = 1 ] || fail "the second copy was not started while the update ran"
[ "$windows_seen" = 0 ] && echo "no window during the silent update" || fail "a window was visible $windows_seen times"
grep -q "\"sha256\": *\"$SHA\"" "$NET_EVENTS" && echo "the printer received the exact file" || fail "the image did not arrive"
expect_report "$WINEPREFIX/drive_c/cli-update.json" "$NET" outcome '"updated"'
expect_report "$WINEPREFIX/drive_c/cli-update.json" "$NET" versionAfter 20230115
segment=$(log_since "$LOG_OFFSET")
expect_log "$segment" "No box (silent): There is already a copy of the firmware update program running."

# The same command again writes nothing.
run /s "/printer:$NET"
expect_code 3 "second run"
[ "$(burns "$NET_EVENTS")" = 1 ] && echo "the second run wrote nothing" || fail "the second run burned again"

run /s "/printer:$REFUSES"
expect_code 1 "burn refused"

run /s "/printer:QV No Such Printer" /l:cli-own.txt
expect_code 4 "no such printer"
grep -qF 'Command line: /s /printer:QV No Such Printer /l:cli-own.txt' "$CASE_DIR/cli-own.log" &&
  echo "the log went to the file /l named" || fail "no log in $CASE_DIR/cli-own.log"

# Past the firmware date with RFU off: without consent nothing is written.
run /s "/printer:$GATED" "/report:C:\\cli-gated.json"
expect_code 5 "gated without consent"
expect_report "$WINEPREFIX/drive_c/cli-gated.json" "$GATED" outcome '"not-applicable"'
[ "$(burns "$GATED_EVENTS")" = 0 ] && echo "not burned without consent" || fail "burned without consent"
[ "$(cat "$GATED_RFU")" = 1 ] && echo "RFU left off" || fail "RFU changed without consent: $(cat "$GATED_RFU")"

# With consent: switched on for the update, off again afterwards.
LOG_OFFSET=$(log_size)
run /s "/printer:$GATED" /rfu:onoff /getcommunity:tarnel /setcommunity:tarnel "/report:C:\\cli-gated.json"
expect_code 0 "gated with /rfu:onoff"
expect_report "$WINEPREFIX/drive_c/cli-gated.json" "$GATED" outcome '"updated"'
[ "$(burns "$GATED_EVENTS")" = 1 ] && echo "burned with consent" || fail "not burned with consent"
[ "$(cat "$GATED_RFU")" = 1 ] && echo "RFU off again" || fail "RFU not restored: $(cat "$GATED_RFU")"
segment=$(log_since "$LOG_OFFSET")
expect_log "$segment" "snmpSetStep() success, snmp Status is 2..."
expect_log "$segment" "snmpSetStep() success, snmp Status is 1..."

# Signed firmware: one run, a signed file for one printer and, for the other,
# the same file changed after it was signed (its signature beside it).
make_signer "$CASE_DIR/keys" "QV CLI Signer" || exit 1
cp "$CASE_DIR/update.bin" "$CASE_DIR/signed.bin"
sign_firmware "$CASE_DIR/signed.bin" "$CASE_DIR/keys/QV CLI Signer" || exit 1
cp "$CASE_DIR/signed.bin" "$CASE_DIR/tampered.bin"
cp "$CASE_DIR/signed.bin.p7s" "$CASE_DIR/tampered.bin.p7s"
printf '\x5a' | dd of="$CASE_DIR/tampered.bin" bs=1 seek=32768 conv=notrunc 2>/dev/null
cat >>"$CASE_DIR/properties.ini" <<INI
BIN_FILES = "Tideway Sim Signed*, signed.bin, Tideway Sim Tampered*, tampered.bin"
FIRMWARE_SIGNERS = "$SIGNER_THUMBPRINT"
INI
start_update_printer "$CASE_DIR/signed" --version 1000 --printer-info "MDL:Tideway Sim Signed;CMD:ACL,PJL;" || exit 1
install_update_printer "$WINEPREFIX" "$SIGNED" "QV CLI Driver"
SIGNED_EVENTS=$UPDATE_SIM_EVENTS
start_update_printer "$CASE_DIR/tampered" --version 1000 --printer-info "MDL:Tideway Sim Tampered;CMD:ACL,PJL;" ||
  exit 1
install_update_printer "$WINEPREFIX" "$TAMPERED" "QV CLI Driver"
TAMPERED_EVENTS=$UPDATE_SIM_EVENTS
LOG_OFFSET=$(log_size)
run /s "/printer:$SIGNED" "/printer:$TAMPERED" "/report:C:\\cli-signed.json"
expect_code 1 "a signed and a tampered file"
expect_report "$WINEPREFIX/drive_c/cli-signed.json" "$SIGNED" outcome '"updated"'
expect_report "$WINEPREFIX/drive_c/cli-signed.json" "$TAMPERED" outcome '"failed"'
expect_report "$WINEPREFIX/drive_c/cli-signed.json" "$TAMPERED" detail \
  "\"$TAMPERED: The firmware file is not signed by a trusted signer.\""
grep -q "\"sha256\": *\"$SHA\"" "$SIGNED_EVENTS" && echo "the signed file arrived" || fail "the signed file did not arrive"
[ "$(burns "$TAMPERED_EVENTS")" = 0 ] && echo "the tampered file was not sent" || fail "the tampered file was sent"
segment=$(log_since "$LOG_OFFSET")
signer=$(tr -d : <<<"$SIGNER_THUMBPRINT")
expect_log "$segment" "Signature: the firmware file is signed by the trusted signer $signer."
expect_log "$segment" "ERROR: the signature does not match the firmware file (signer $signer), nothing is sent."

if [ "$failures" -eq 0 ]; then
  echo "PASS cli"
  exit 0
fi
echo "FAILED cli ($failures)"
exit 1
