#!/usr/bin/env bash
# Whole updates with the real tideway.exe under Wine and Xvfb, driven through
# the dialogs' controls with dlgdrive.exe, one case per run:
#   network_update  a network printer below the firmware date: updated directly,
#                   Enter, Escape and window-close do not end the dialog meanwhile,
#                   success picture, the printer received the exact file
#   rfu_gate        a printer above the date with RFU off (snmpd): enabled, updated,
#                   Exit disables it again
#   burn_refused    the printer refuses the burn: string 238, the program ends
#   usb_no_device   the USB notice: Cancel leaves the dialog as it was; under it
#                   a second press, Exit, Enter, Escape and close are refused; OK
#                   ends in the failure box after one update
#   nand            a NAND package file: only the out-of-date and loader packages,
#                   then the reset
# Screenshots go to $TIDEWAY_ARTIFACTS/dialog-<case>-<state>.png.
#
# Environment (set by ctest): TIDEWAY_EXE, TIDEWAY_WINTEXT, TIDEWAY_DLGDRIVE,
# TIDEWAY_ARTIFACTS, TIDEWAY_E2E_DIR, WINEPREFIX; TIDEWAY_FWGEN (native fwgen).
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
RFU_DISABLE=1000
RFU_ENABLE=1001
RFU_OK=1012
STRING_238='QV Printer Update cannot communicate with the product. The product might have changed network settings as a result of the firmware update or it might be restarting.'

STARTED_PIDS=()
failures=0

cleanup() {
  local pid
  for pid in "${STARTED_PIDS[@]}"; do kill "$pid" 2>/dev/null || true; done
  remove_update_printer "$WINEPREFIX" "$PRINTER"
}
trap cleanup EXIT

drive() { (cd "$CASE_DIR" && wine "$DLGDRIVE" "$@" 2>/dev/null) | tr -d '\r'; }
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
}

# The failure box (the dialog's caption, string 238 first), OK, the end.
expect_failure_box() {
  local limit="$1" texts
  wait_state "$MAIN" "^Button 1 " "$limit" || { fail "no failure box"; return; }
  sleep 0.5
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

ensure_display 99 98 97 96 95 || exit 1
[ -f "$EXE" ] && [ -f "$DLGDRIVE" ] || { echo "tideway.exe or dlgdrive.exe missing"; exit 1; }
make_test_prefix "$WINEPREFIX" || { echo "test prefix could not be prepared"; exit 1; }
mkdir -p "$CASE_DIR"

case "$CASE" in
  network_update)
    prepare_program bin code-only.bin
    start_update_printer "$CASE_DIR/sim" --version 1000 || exit 1
    install_update_printer "$WINEPREFIX" "$PRINTER" "QV E2E Driver"
    start_program
    screenshot start
    select_printer "$PRINTER"
    send_firmware
    wait_state "$MAIN" "^msctls_progress32 $PROGRESS [a-z]+ pos=([1-9]|[1-9][0-9])\b" 40 || fail "the bar did not move"
    expect_controls disabled disabled disabled "while updating"
    # A killed process mid-burn can leave the printer without firmware: the
    # dialog stays while the worker runs.
    timeout 10 xdotool search --name "^$MAIN\$" windowactivate --sync key Return key Escape 2>/dev/null
    drive "$MAIN" command 1 >/dev/null
    drive "$MAIN" command 2 >/dev/null
    drive "$MAIN" syscommand 61536 >/dev/null  # SC_CLOSE
    sleep 2
    alive || fail "Enter, Escape or close ended the program during the update"
    screenshot updating
    # While the printer programs its flash the bar keeps creeping.
    pos_of() { control_state "$MAIN" "$PROGRESS" | sed -E 's/.* pos=([0-9]+).*/\1/'; }
    wait_state "$MAIN" "^msctls_progress32 $PROGRESS [a-z]+ pos=(5[0-9]|[6-8][0-9])\b" 60 || fail "the bar did not pass 50"
    first=$(pos_of)
    sleep 3
    second=$(pos_of)
    [ "${second:-0}" -gt "${first:-0}" ] && echo "the bar moved from $first to $second while the printer was busy" ||
      fail "the bar stood at $first while the printer was busy"
    expect_success 150
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
    drive "$MAIN" click "$EXIT" >/dev/null
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
