#!/usr/bin/env bash
# Whole updates with the real tideway.exe under Wine and Xvfb, driven through
# the dialogs' controls with dlgdrive.exe, one case per run:
#   network_update  a network printer below the firmware date: updated directly,
#                   Enter, Escape and window-close do not end the dialog meanwhile,
#                   success picture, the printer received the exact file, Enter
#                   presses Exit
#   rfu_gate        a printer above the date with RFU off (snmpd): the question
#                   declined (nothing changes, "canceled"), then enabled, updated,
#                   Exit disables it again
#   burn_refused    the printer refuses the burn: string 238, the program ends
#   usb_no_device   the USB notice: Cancel leaves the dialog as it was; under it
#                   a second press, Exit, Enter, Escape and close are refused; OK
#                   ends in the failure box after one update
#   nand            a NAND package file: only the out-of-date and loader packages,
#                   then the reset
#   killed_during_data
#                   killed at the RFU question, then again while the printer takes
#                   the data: the sequencer's values, the stopped spooler and the
#                   mutex left behind do not stop the next run, which updates
#   killed_during_verification
#                   killed while the restarted printer is not answering yet: the
#                   next run updates the printer
# Screenshots go to $TIDEWAY_ARTIFACTS/dialog-<case>-<state>.png.
#
# Environment (set by ctest): TIDEWAY_EXE, TIDEWAY_WINTEXT, TIDEWAY_DLGDRIVE,
# TIDEWAY_ARTIFACTS, TIDEWAY_E2E_DIR; TIDEWAY_FWGEN (native fwgen). Runs in a
# Wine session of its own (start_own_session).
set -uo pipefail

CASE="${1:?case name}"
HERE="$(cd "$(dirname "$0")" && pwd)"
source "$HERE/../../scripts/lib/env.sh"
source "$ROOT/scripts/lib/make-test-prefix.sh"
source "$ROOT/scripts/lib/update-printer.sh"
source "$HERE/e2e_common.sh"

EXE="${TIDEWAY_EXE:-$WIN/bin/tideway.exe}"
WINTEXT="${TIDEWAY_WINTEXT:-$WIN/bin/wintext.exe}"
DLGDRIVE="${TIDEWAY_DLGDRIVE:-$WIN/bin/dlgdrive.exe}"
ARTIFACTS="${TIDEWAY_ARTIFACTS:-$BUILD/artifacts}"
CASE_DIR="${TIDEWAY_E2E_DIR:-$WIN/e2e}/dialog-$CASE"
export WINEPREFIX="$CASE_DIR.prefix"
LOG_FILE="$WINEPREFIX/drive_c/QVTideway.log"

PRINTER="QV E2E Network"
USB_PRINTER="QV Vestra 5100 USB"
MAIN='QV E2E Firmware Update Utility'
# Controls of the main dialog and the RFU question.
COMBO=1000
PROGRESS=1001
SEND=1008
EXIT=1009
PICTURE=1010
STATUS=1015
RFU_DISABLE=1000
RFU_ENABLE=1001
RFU_OK=1012
STRING_238='QV Printer Update cannot communicate with the product. The product might have changed network settings as a result of the firmware update or it might be restarting.'

STARTED_PIDS=()
failures=0

cleanup() { end_case $?; }
trap cleanup EXIT

drive() {
  local out status
  out=$( (cd "$CASE_DIR" && wine "$DLGDRIVE" "$@" 2>/dev/null) | tr -d '\r')
  status=$?
  # A state read that printed nothing is made once more: on a loaded machine a
  # Wine program now and then dies at start-up. Commands are never repeated.
  if [ -z "$out" ] && [ "${!#}" = state ]; then
    out=$( (cd "$CASE_DIR" && wine "$DLGDRIVE" "$@" 2>/dev/null) | tr -d '\r')
    status=$?
  fi
  [ -z "$out" ] || printf '%s\n' "$out"
  return "$status"
}
box_texts() { (cd "$CASE_DIR" && wine "$WINTEXT" "$1" 2>/dev/null) | tr -d '\r' | sed -n 's/^child Static 65535: //p'; }

# The state line of control `id` in the window `caption` ("" when absent).
control_state() { drive "$1" state | grep -E "^[A-Za-z_0-9]+ $2 " | head -1; }

# Waits until the state of `caption` matches the extended regex; 0 when it did.
wait_state() {
  local caption="$1" pattern="$2" limit="$3" i
  for i in $(seq "$limit"); do
    drive "$caption" state | grep -qE -- "$pattern" && return 0
    sleep 1
  done
  return 1
}

screenshot() {
  mkdir -p "$ARTIFACTS"
  import -display "$DISPLAY" -window root "$ARTIFACTS/dialog-$CASE-$1.png" 2>/dev/null || fail "screenshot $1"
  echo "screenshot: $ARTIFACTS/dialog-$CASE-$1.png"
}

alive() { kill -0 "$APP_PID" 2>/dev/null; }
wait_exit() {
  local i
  for i in $(seq $(($1 * 10))); do
    alive || { wait "$APP_PID" 2>/dev/null; return 0; }
    sleep 0.1
  done
  return 1
}

# The program folder: tideway.exe, its properties and the firmware file.
prepare_program() {
  local sample_set="$1" sample="$2"
  rm -rf "$CASE_DIR"
  mkdir -p "$CASE_DIR"
  cp "$EXE" "$CASE_DIR/tideway.exe"
  cat >"$CASE_DIR/properties.ini" <<'INI'
PRINTER_SERIESNAME = "QV E2E"
PRODUCT = "QV7100"
DRIVER_NAMES = "QV E2E Driver, QV Vestra 5100 Series"
BIN_FILES = "Tideway Sim*, update.bin, QV Vestra 5100*, update.bin"
INI
  make_firmware "$CASE_DIR/update.bin" "$sample_set" "$sample" || { echo "fwgen failed"; exit 1; }
}

start_program() {
  LOG_OFFSET=$(log_size)
  (cd "$CASE_DIR" && exec wine "$CASE_DIR/tideway.exe" </dev/null >/dev/null 2>&1) &
  APP_PID=$!
  STARTED_PIDS+=("$APP_PID")
  wait_state "$MAIN" "^ComboBox $COMBO enabled" 40 || { fail "the main dialog did not open"; exit 1; }
}

select_printer() {
  drive "$MAIN" select "$COMBO" "$1" >/dev/null || fail "could not select $1"
  wait_state "$MAIN" "^Button $SEND enabled" 10 || fail "Send Firmware stayed disabled after selecting $1"
}

send_firmware() { drive "$MAIN" click "$SEND" >/dev/null || fail "Send Firmware could not be clicked"; }

# Types keys into the main dialog as a person would: the pointer over the
# window gives it the keyboard (activating it needs a window manager).
press_keys() {
  local window
  window=$(xdotool search --onlyvisible --name "^$MAIN\$" | head -1)
  [ -n "$window" ] && xdotool mousemove --window "$window" 10 10 key "$@" 2>/dev/null
}

# The status line's text now.
status_text() { control_state "$MAIN" "$STATUS" | sed -E 's/.* rect=[-0-9,]+ "(.*)"$/\1/'; }
expect_status() {
  local now
  now=$(status_text)
  [ "$now" = "$1" ] && echo "status line ok ($2): $now" || fail "status line ($2): [$now], not [$1]"
}

# Records each new text of the status line into `file` until the file
# `file.stop` appears (in the background).
record_status() {
  local file="$1" last="" now
  : >"$file"
  while [ ! -e "$file.stop" ]; do
    now=$(status_text)
    [ -n "$now" ] && [ "$now" != "$last" ] && echo "$now" >>"$file" && last="$now"
    sleep 0.2
  done
}

# The recorded texts follow the phases in `order` (one a line) forwards, some
# perhaps too short to be seen, and include the given ones.
expect_status_order() {
  local file="$1" order="$2" rank=0 line i
  shift 2
  while IFS= read -r line; do
    i=$(grep -nxF -- "$line" <<<"$order" | cut -d: -f1 | awk -v r="$rank" '$1 > r { print; exit }')
    if [ -z "$i" ]; then fail "status line out of order or unexpected: [$line]"; continue; fi
    rank=$i
  done <"$file"
  for line in "$@"; do grep -qxF -- "$line" "$file" || fail "status line never showed [$line]"; done
  echo "status line phases: $(tr '\n' '|' <"$file")"
}

# The combo box, "Send Firmware" and "Exit": enabled or disabled each.
expect_controls() {
  local state
  state=$(drive "$MAIN" state)
  grep -qE "^ComboBox $COMBO $1 " <<<"$state" && grep -qE "^Button $SEND $2 " <<<"$state" &&
    grep -qE "^Button $EXIT $3 " <<<"$state" || fail "controls not $1/$2/$3 ($4): $state"
}

# Success: bar at 100, Exit alone enabled, the bitmap in the picture.
expect_success() {
  wait_state "$MAIN" "^msctls_progress32 $PROGRESS [a-z]+ pos=100" "$1" || { fail "no success (bar not at 100)"; return; }
  control_state "$MAIN" "$PICTURE" | grep -q "image=bitmap" || fail "no success picture"
  expect_controls disabled disabled enabled "after success"
  expect_status "The firmware was updated successfully." "after success"
  # Exit is all that is left: Enter presses it.
  control_state "$MAIN" "$EXIT" | grep -q " default " || fail "Exit is not the default button after success"
}

# The failure box (the dialog's caption, string 238 first), OK, the end.
expect_failure_box() {
  local limit="$1" texts
  wait_state "$MAIN" "^Button 1 " "$limit" || { fail "no failure box"; return; }
  sleep 0.5
  expect_status "The firmware update failed." "behind the failure box"
  texts=$(box_texts "$MAIN")
  if grep -qF -- "$STRING_238" <<<"$texts"; then echo "box text ok: string 238"; else fail "box lacks string 238: [$texts]"; fi
  [ -n "${2:-}" ] && { grep -qF -- "$2" <<<"$texts" && echo "box detail ok: $2" || fail "box lacks [$2]"; }
  screenshot failure-box
  drive "$MAIN" command 1 >/dev/null || fail "could not press OK"
  wait_exit 20 || fail "tideway.exe did not end after the failure box"
}

# Answers the RFU question (captioned like the main dialog) with the radio
# button `choice`.
answer_rfu_question() {
  wait_state "$MAIN" "^Button $RFU_OK " 60 || { fail "no RFU question"; return 1; }
  drive "$MAIN" "@$RFU_OK" check "$1" >/dev/null
  sleep 0.5
  screenshot "rfu-question-$2"
  drive "$MAIN" "@$RFU_OK" click "$RFU_OK" >/dev/null || fail "could not press OK in the RFU question"
}

# What a killed run leaves behind: the sequencer's values.
SEQ_KEY='HKLM\SOFTWARE\Local AppWizard-Generated Applications\tideway'
sequencer_values() {
  (cd "$CASE_DIR" && wine reg query "$SEQ_KEY" 2>/dev/null) | tr -d '\r' | grep -oE '(SeqStack|InstallCrashed)' | sort | tr '\n' ' '
}

# The user ends the program from the task manager: no clean-up of its own.
kill_program() {
  kill -KILL "$APP_PID" 2>/dev/null
  wait_exit 20 || fail "tideway.exe did not end when killed"
  echo "killed $1: spooler $(spooler_state), sequencer values [$(sequencer_values)], RFU $(cat "${UPDATE_RFU_STATE:-/dev/null}" 2>/dev/null)"
}

wait_sim_event() {
  local pattern="$1" limit="$2" i
  for i in $(seq $((limit * 10))); do
    grep -qE -- "$pattern" "$UPDATE_SIM_EVENTS" 2>/dev/null && return 0
    sleep 0.1
  done
  return 1
}

# A run after a killed one: the dialog opens (no "already running"), the update
# ends in success and the printer took the whole file (the number of whole
# burns it then holds: $1); Exit answers the RFU question with $2.
update_after_kill() {
  local offset
  start_program
  offset=$LOG_OFFSET
  [ "$(spooler_state)" = RUNNING ] && echo "the next run found the spooler running" ||
    fail "spooler $(spooler_state) when the next run opened"
  select_printer "$PRINTER"
  send_firmware
  expect_success 200
  local report sha
  report=$(sim_report)
  sha=$(sha256sum "$CASE_DIR/update.bin" | cut -d' ' -f1)
  [ "$(grep -c "received: BURN_FLASH .* sha256=$sha answer=1\$" <<<"$report")" = "$1" ] &&
    echo "the next run burned the whole file" || fail "the next run did not burn the file: $report"
  [ "$(spooler_state)" = RUNNING ] && echo "spooler running again" || fail "spooler $(spooler_state) after the update"
  drive "$MAIN" click "$EXIT" >/dev/null
  answer_rfu_question "$2" after-update
  wait_exit 30 || fail "tideway.exe did not end after Exit"
  segment=$(log_since "$offset")
  grep -qF "There is already a copy" <<<"$segment" && fail "the next run met the mutex"
  expect_log "$segment" "---Firmware download Fininsh Success---"
  echo "$report"
}

[ -f "$EXE" ] && [ -f "$DLGDRIVE" ] || { echo "tideway.exe or dlgdrive.exe missing"; exit 1; }
start_own_session || exit 1
mkdir -p "$CASE_DIR"

case "$CASE" in
  network_update)
    prepare_program bin code-only.bin
    # The restarted printer lets two connections go unanswered: the check of
    # the new version lasts long enough to be seen.
    start_update_printer "$CASE_DIR/sim" --version 1000 --restart-connections 3 || exit 1
    install_update_printer "$WINEPREFIX" "$PRINTER" "QV E2E Driver"
    start_program
    screenshot start
    select_printer "$PRINTER"
    record_status "$CASE_DIR/status.txt" &
    RECORDER=$!
    send_firmware
    wait_state "$MAIN" "^msctls_progress32 $PROGRESS [a-z]+ pos=([1-9]|[1-9][0-9])\b" 40 || fail "the bar did not move"
    expect_controls disabled disabled disabled "while updating"
    # A killed process mid-burn can leave the printer without firmware: the
    # dialog stays while the worker runs. Typed the same way after the
    # update, Enter presses Exit (below): the keys do reach the dialog.
    press_keys Return Escape || fail "Enter and Escape could not be typed into the dialog"
    drive "$MAIN" command 1 >/dev/null
    drive "$MAIN" command 2 >/dev/null
    drive "$MAIN" syscommand 61536 >/dev/null  # SC_CLOSE
    sleep 2
    alive || fail "Enter, Escape or close ended the program during the update"
    screenshot updating
    # While the printer programs its flash the bar keeps creeping.
    pos_of() { control_state "$MAIN" "$PROGRESS" | sed -E 's/.* pos=([0-9]+).*/\1/'; }
    wait_state "$MAIN" "^msctls_progress32 $PROGRESS [a-z]+ pos=(5[0-9]|[6-8][0-9])\b" 60 || fail "the bar did not pass 50"
    # The printer programs its flash: the line counts the seconds.
    sleep 3
    now=$(status_text)
    [[ "$now" =~ ^"The printer is writing the firmware and restarting ("[0-9]+" s)..."$ ]] &&
      echo "status line ok (past 50): $now" || fail "status line (past 50): [$now]"
    first=$(pos_of)
    sleep 3
    second=$(pos_of)
    [ "${second:-0}" -gt "${first:-0}" ] && echo "the bar moved from $first to $second while the printer was busy" ||
      fail "the bar stood at $first while the printer was busy"
    expect_success 150
    touch "$CASE_DIR/status.txt.stop"
    wait "$RECORDER"
    # Amounts and seconds as N; the data goes out too fast to be seen always.
    sed -E 's/[0-9]+(\/[0-9]+)?/N/g' "$CASE_DIR/status.txt" | uniq >"$CASE_DIR/status-phases.txt"
    expect_status_order "$CASE_DIR/status-phases.txt" "Reading the printer's firmware version...
Choosing the firmware file...
Reading the printer's firmware version...
Sending the firmware to the printer...
Sending the firmware to the printer: N KB...
The printer is writing the firmware and restarting...
The printer is writing the firmware and restarting (N s)...
Checking the printer's new firmware version...
The firmware was updated successfully." "The printer is writing the firmware and restarting (N s)..." \
      "Checking the printer's new firmware version..." "The firmware was updated successfully."
    # The seconds count up through the flash pause and the restart wait.
    seconds=$(sed -nE 's/^The printer is writing the firmware and restarting \(([0-9]+) s\)\.\.\.$/\1/p' "$CASE_DIR/status.txt")
    sort -n -c <<<"$seconds" 2>/dev/null && [ "$(tail -1 <<<"$seconds")" -ge 30 ] &&
      echo "restart seconds counted up to $(tail -1 <<<"$seconds")" || fail "restart seconds: $(tr '\n' ' ' <<<"$seconds")"
    screenshot success
    # The outcome line shows as the picture's tooltip.
    rect=$(control_state "$MAIN" "$PICTURE" | sed -E 's/.* rect=([-0-9,]+) .*/\1/')
    IFS=, read -r left top right bottom <<<"$rect"
    xdotool mousemove $(((left + right) / 2)) $(((top + bottom) / 2)) sleep 0.3 mousemove_relative 1 1 2>/dev/null
    sleep 2
    screenshot success-tooltip
    sha=$(sha256sum "$CASE_DIR/update.bin" | cut -d' ' -f1)
    report=$(sim_report)
    grep -q "received: BURN_FLASH .* sha256=$sha answer=1\$" <<<"$report" && echo "the printer received the exact file" ||
      fail "the printer did not take the file: $report"
    # Enter now presses Exit, the default button.
    press_keys Return || fail "Enter could not be typed into the dialog"
    answer_rfu_question "$RFU_ENABLE" enable
    wait_exit 20 || fail "tideway.exe did not end after Exit"
    segment=$(log_since "$LOG_OFFSET")
    expect_log "$segment" "This product fwversion is not securilty firmware version,download directly"
    expect_log "$segment" "---Firmware download Fininsh Success---"
    echo "$report"
    ;;
  rfu_gate)
    prepare_program bin full-part.bin
    start_update_printer "$CASE_DIR/sim" --version 20150101 || exit 1
    start_rfu_agent "$CASE_DIR" 1 || exit 1
    install_update_printer "$WINEPREFIX" "$PRINTER" "QV E2E Driver"
    start_program
    select_printer "$PRINTER"
    send_firmware
    wait_state "$MAIN" "^Button $RFU_OK " 60 && expect_status "Changing the printer's Remote Firmware Update setting..." "RFU question"
    # Declined: nothing changes, the line says so, and the printer can be sent again.
    answer_rfu_question "$RFU_DISABLE" declined
    wait_state "$MAIN" "^Button $SEND enabled" 20 || fail "Send Firmware stayed disabled after the declined question"
    expect_status "The update was canceled." "after the declined question"
    [ "$(cat "$UPDATE_RFU_STATE")" = 1 ] || fail "the declined question changed the RFU setting"
    send_firmware
    answer_rfu_question "$RFU_ENABLE" before-update
    expect_success 200
    [ "$(cat "$UPDATE_RFU_STATE")" = 2 ] && echo "RFU on during the update" || fail "RFU not switched on"
    screenshot success
    drive "$MAIN" click "$EXIT" >/dev/null
    answer_rfu_question "$RFU_DISABLE" after-update
    wait_exit 30 || fail "tideway.exe did not end after Exit"
    [ "$(cat "$UPDATE_RFU_STATE")" = 1 ] && echo "RFU off again" || fail "RFU not switched off: $(cat "$UPDATE_RFU_STATE")"
    segment=$(log_since "$LOG_OFFSET")
    expect_log "$segment" "--- This product fwversion is securilty firmware version---"
    expect_log "$segment" "securilty firmware version start date= 20111210, firmware version=20150101"
    sim_report
    ;;
  burn_refused)
    prepare_program bin code-only.bin
    start_update_printer "$CASE_DIR/sim" --version 1000 --fault status:value=2,cmd=burn || exit 1
    install_update_printer "$WINEPREFIX" "$PRINTER" "QV E2E Driver"
    start_program
    select_printer "$PRINTER"
    send_firmware
    expect_failure_box 150 "$PRINTER: !!Failed to update firmware!!"
    segment=$(log_since "$LOG_OFFSET")
    expect_log "$segment" "---Firmware download Fininsh Not Success---"
    sim_report
    ;;
  usb_no_device)
    prepare_program bin code-only.bin
    start_program
    select_printer "$USB_PRINTER"
    before=$(drive "$MAIN" state | grep -v '^window')
    send_firmware
    wait_state Error "^Button 2 " 20 || fail "no notice box"
    notice=$(box_texts Error)
    grep -qF 'Make sure the RFU setting on the control panel is set to ON.' <<<"$notice" &&
      grep -qF '       1. Click OK to proceed with the firmware update' <<<"$notice" &&
      grep -qF '       2. Click Cancel to select a different product' <<<"$notice" &&
      echo "notice text ok" || fail "notice text: [$notice]"
    screenshot notice
    drive Error command 2 >/dev/null
    sleep 1
    after=$(drive "$MAIN" state | grep -v '^window')
    [ "$before" = "$after" ] && echo "Cancel left the dialog as it was" || fail "dialog changed after Cancel: [$before] [$after]"
    send_firmware
    wait_state Error "^Button 2 " 20 || fail "no notice box the second time"
    # The notice has no owner, so the dialog stays enabled under it: a second
    # press (a double click), Exit, Enter, Escape and close are refused.
    expect_controls disabled disabled disabled "under the notice"
    drive "$MAIN" command "$SEND" >/dev/null
    drive "$MAIN" command "$EXIT" >/dev/null
    drive "$MAIN" command 1 >/dev/null
    drive "$MAIN" command 2 >/dev/null
    drive "$MAIN" syscommand 61536 >/dev/null  # SC_CLOSE
    sleep 2
    alive && wait_state "$MAIN" "^ComboBox $COMBO " 1 || fail "the dialog ended under the notice"
    [ "$(drive Error state | grep -c '^window')" = 1 ] || fail "not exactly one notice open"
    drive Error command 1 >/dev/null
    expect_failure_box 120 "$USB_PRINTER:  is not connected to a USB port."
    segment=$(log_since "$LOG_OFFSET")
    workers=$(grep -c -- "---Create firmware download Thread---" <<<"$segment")
    [ "$workers" = 1 ] && echo "one update started" || fail "$workers updates started"
    ;;
  nand)
    prepare_program nand nand-3.bin
    start_update_printer "$CASE_DIR/sim" --version 1000 || exit 1
    install_update_printer "$WINEPREFIX" "$PRINTER" "QV E2E Driver"
    start_program
    select_printer "$PRINTER"
    send_firmware
    expect_success 200
    screenshot success
    report=$(sim_report)
    echo "$report"
    burns=$(grep -c 'received: BURN_FLASH' <<<"$report")
    grep -q 'received: BURN_FLASH .*comp_type=3 pkg_version=120' <<<"$report" || fail "print package not sent"
    grep -q 'received: BURN_FLASH .*comp_type=2' <<<"$report" || fail "loader package not sent"
    grep -q 'received: BURN_FLASH .*comp_type=4' <<<"$report" && fail "up-to-date package sent"
    [ "$burns" = 2 ] || fail "$burns packages sent"
    grep -q 'received: RESET' <<<"$report" || fail "no reset after the packages"
    drive "$MAIN" click "$EXIT" >/dev/null
    answer_rfu_question "$RFU_ENABLE" enable
    wait_exit 20 || fail "tideway.exe did not end after Exit"
    ;;
  killed_during_data)
    prepare_program bin code-only.bin
    # Larger than the sockets buffer, so the program is still sending when killed.
    python3 -c 'import sys; t = b"QV\0" b"1300\0"; sys.stdout.buffer.write(
      b"\xaa\x55\x41\x54" + bytes(16 << 20) + t + bytes([len(t) + 1]))' >"$CASE_DIR/update.bin"
    start_update_printer "$CASE_DIR/sim" --version 20150101 --restart-ms 0 \
      --fault stall-mid-data:at=4096,delay_ms=5000 || exit 1
    start_rfu_agent "$CASE_DIR" 1 || exit 1
    install_update_printer "$WINEPREFIX" "$PRINTER" "QV E2E Driver"
    # Killed while the RFU question is open: the sequence is half way.
    start_program
    select_printer "$PRINTER"
    send_firmware
    wait_state "$MAIN" "^Button $RFU_OK " 60 || fail "no RFU question"
    kill_program "at the RFU question"
    [ "$(sequencer_values)" = "InstallCrashed SeqStack " ] || fail "no sequencer values left: [$(sequencer_values)]"
    # Killed while the printer takes the data.
    start_program
    select_printer "$PRINTER"
    send_firmware
    answer_rfu_question "$RFU_ENABLE" before-update
    wait_sim_event '"mode": *"stall-mid-data"' 60 || fail "the data did not start"
    kill_program "during the data"
    [ "$(spooler_state)" = STOPPED ] || fail "spooler $(spooler_state) after the kill"
    wait_sim_event '"reason": *"incomplete"' 20 && echo "the printer kept its firmware (data incomplete)" ||
      fail "the printer did not see the data end early"
    sim_control '{"op":"faults","list":[]}' >/dev/null
    update_after_kill 1 "$RFU_DISABLE"
    [ "$(cat "$UPDATE_RFU_STATE")" = 1 ] && echo "RFU off again" || fail "RFU $(cat "$UPDATE_RFU_STATE")"
    [ -z "$(sequencer_values)" ] && echo "sequencer values gone" || fail "sequencer values left: $(sequencer_values)"
    ;;
  killed_during_verification)
    prepare_program bin code-only.bin
    # The restarting printer takes connections and closes them until the test
    # ends its restart. Its listener stays open: a printer of another test run
    # could take the address of a closed one.
    start_update_printer "$CASE_DIR/sim" --version 1000 --restart-connections 300 || exit 1
    install_update_printer "$WINEPREFIX" "$PRINTER" "QV E2E Driver"
    start_program
    select_printer "$PRINTER"
    send_firmware
    verifying=0
    for _ in $(seq 900); do
      log_since "$LOG_OFFSET" | grep -qF "check firmwareVersion idx 1" && { verifying=1; break; }
      sleep 0.1
    done
    [ "$verifying" = 1 ] || fail "the verification did not start"
    kill_program "during the verification"
    log_since "$LOG_OFFSET" | grep -qF -- "---Firmware download Fininsh" && fail "the update ended before the kill"
    sim_control '{"op":"set","restart_connections":null,"restart_ms":0}' >/dev/null
    # Takes the connections the restart still closes, until one stays open.
    python3 - "$UPDATE_ADDRESS" <<'PY' || fail "the printer did not come back"
import socket, sys
for _ in range(400):
    s = socket.create_connection((sys.argv[1], 9100), timeout=5)
    s.settimeout(0.5)
    try:
        closed = s.recv(1) == b""
    except socket.timeout:
        closed = False
    s.close()
    if not closed:
        sys.exit(0)
sys.exit(1)
PY
    update_after_kill 2 "$RFU_ENABLE"
    ;;
  *)
    echo "unknown case $CASE"
    exit 2
    ;;
esac

if [ "$failures" -eq 0 ]; then
  echo "PASS dialog $CASE"
  exit 0
fi
echo "FAILED dialog $CASE ($failures)"
exit 1
