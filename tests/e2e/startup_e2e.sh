#!/usr/bin/env bash
# Start-up of the real tideway.exe under Wine and Xvfb, one case per run:
#   second_copy         a copy waits at its box (mutex owned); a second copy shows string 220
#   missing_properties  no properties.ini beside the program: string 105
#   no_driver_names     properties.ini without DRIVER_NAMES: string 105
#   no_printer          no installed printer uses a listed driver: string 222 with the series name
#   no_printer_no_series  the same without PRINTER_SERIESNAME: two blanks in the text
#   found_printer       one matching printer: no box, the main dialog opens; its about box
#                       opens, the window-close command is ignored, Exit ends it
# Each box is found by its caption, its text read with wintext.exe, the screen
# saved under $TIDEWAY_ARTIFACTS, and OK pressed with xdotool.
#
# Environment (set by ctest): TIDEWAY_EXE, TIDEWAY_WINTEXT, TIDEWAY_DLGDRIVE, TIDEWAY_ARTIFACTS,
# TIDEWAY_E2E_DIR. Runs in a Wine session of its own (start_own_session: a test
# prefix whose printers come from scripts/lib/make-test-prefix.sh, and a
# virtual screen). Every process it starts is ended by its id.
set -uo pipefail

CASE="${1:?case name}"
HERE="$(cd "$(dirname "$0")" && pwd)"
source "$HERE/../../scripts/lib/env.sh"
source "$ROOT/scripts/lib/make-test-prefix.sh"
source "$HERE/e2e_common.sh"

EXE="${TIDEWAY_EXE:-$WIN/bin/tideway.exe}"
WINTEXT="${TIDEWAY_WINTEXT:-$WIN/bin/wintext.exe}"
DLGDRIVE="${TIDEWAY_DLGDRIVE:-$WIN/bin/dlgdrive.exe}"
ARTIFACTS="${TIDEWAY_ARTIFACTS:-$BUILD/artifacts}"
CASE_DIR="${TIDEWAY_E2E_DIR:-$WIN/e2e}/startup-$CASE"
export WINEPREFIX="$CASE_DIR.prefix"
LOG_FILE="$WINEPREFIX/drive_c/QVTideway.log"
CAPTION='Error'

STARTED_PIDS=()
failures=0

cleanup() { end_case $?; }
trap cleanup EXIT

# Program folder of this case: a copy of the program and the given properties
# text ("-" for none).
prepare_case_dir() {
  rm -rf "$CASE_DIR"
  mkdir -p "$CASE_DIR"
  cp "$EXE" "$CASE_DIR/tideway.exe"
  if [ "$1" != "-" ]; then printf '%s' "$1" >"$CASE_DIR/properties.ini"; fi
}

start_program() {
  (cd "$CASE_DIR" && exec wine "$CASE_DIR/tideway.exe" </dev/null >/dev/null 2>&1) &
  LAST_PID=$!
  STARTED_PIDS+=("$LAST_PID")
}

# Waits for the process to end (seconds); 0 when it did.
wait_exit() {
  local pid="$1" limit="$2" i
  for i in $(seq $((limit * 10))); do
    kill -0 "$pid" 2>/dev/null || { wait "$pid" 2>/dev/null; return 0; }
    sleep 0.1
  done
  return 1
}

# Window ids of visible windows with the caption, one a line.
box_windows() { xdotool search --onlyvisible --name "^${CAPTION}\$" 2>/dev/null | sort; }

# Waits until a box with the caption appears that is not in "$1" (ids); prints it.
wait_new_box() {
  local known="$1" limit="$2" i w
  for i in $(seq $((limit * 10))); do
    for w in $(box_windows); do
      if ! grep -qx "$w" <<<"$known"; then
        echo "$w"
        return 0
      fi
    done
    sleep 0.1
  done
  return 1
}

# The static text of every box with the caption (one a line, \r\n escaped).
box_texts() { (cd "$CASE_DIR" && wine "$WINTEXT" "$CAPTION" 2>/dev/null) | tr -d '\r' | sed -n 's/^child Static 65535: //p'; }

screenshot() {
  mkdir -p "$ARTIFACTS"
  import -display "$DISPLAY" -window root "$ARTIFACTS/$1.png" 2>/dev/null || fail "screenshot $1"
  echo "screenshot: $ARTIFACTS/$1.png"
}

press_ok() {
  local w="$1"
  xdotool mousemove --window "$w" 10 10 key Return 2>/dev/null || fail "xdotool could not press OK on $w"
}

expect_text() {
  local texts="$1" want="$2"
  if grep -qxF -- "$want" <<<"$texts"; then
    echo "box text ok: $want"
  else
    fail "no box with text [$want]; boxes: [$texts]"
  fi
}

expect_no_log() {
  local segment="$1" unwanted="$2"
  if grep -qF -- "$unwanted" <<<"$segment"; then fail "log has [$unwanted]"; fi
}

# One run that ends at a box: checks its text, keeps a screenshot, presses OK,
# waits for the end and returns the log it wrote in LOG_SEGMENT.
run_to_box() {
  local want="$1" shot="$2" offset w texts
  offset=$(log_size)
  start_program
  local pid=$LAST_PID
  if ! w=$(wait_new_box "$(box_windows)" 30); then
    fail "no box with caption $CAPTION appeared"
    LOG_SEGMENT=$(log_since "$offset")
    return
  fi
  sleep 0.3
  texts=$(box_texts)
  expect_text "$texts" "$want"
  screenshot "$shot"
  press_ok "$w"
  wait_exit "$pid" 20 || fail "tideway.exe did not end after OK"
  LOG_SEGMENT=$(log_since "$offset")
}

GOOD_DRIVERS='DRIVER_NAMES = "QV Vestra 5100 Series, QV Orrery Print Driver"'
TABLE='BIN_FILES = "QV Vestra 5100*, vestra5100.bin"'
STRING_105='Missing a configuration file.'
STRING_220='There is already a copy of the firmware update program running.'
STRING_222_VESTRA='Cannot find a QV Vestra printer installed on this system.\r\n'
STRING_222_EMPTY='Cannot find a  printer installed on this system.\r\n'
BANNER='TIDWY('

[ -f "$EXE" ] || { echo "no program at $EXE"; exit 1; }
start_own_session || exit 1

case "$CASE" in
  second_copy)
    prepare_case_dir $'PRINTER_SERIESNAME = "QV Vestra"\n'"DRIVER_NAMES = \"QV No Such Driver\""$'\n'"$TABLE"$'\n'
    offset=$(log_size)
    start_program
    first_pid=$LAST_PID
    first_box=$(wait_new_box "" 30) || { fail "the first copy showed no box"; exit 1; }
    second_offset=$(log_size)
    start_program
    second_pid=$LAST_PID
    second_box=$(wait_new_box "$first_box" 30) || fail "the second copy showed no box"
    sleep 0.3
    texts=$(box_texts)
    expect_text "$texts" "$STRING_220"
    expect_text "$texts" "$STRING_222_VESTRA"
    screenshot "startup-second-copy"
    [ -n "${second_box:-}" ] && press_ok "$second_box"
    wait_exit "$second_pid" 20 || fail "the second copy did not end after OK"
    kill -0 "$first_pid" 2>/dev/null || fail "the first copy ended with the second"
    second_log=$(log_since "$second_offset")
    expect_log "$second_log" "There is already a copy of the firmware update program.  Aborting..."
    expect_no_log "$second_log" "ERROR: User does NOT have administrator"
    press_ok "$first_box"
    wait_exit "$first_pid" 20 || fail "the first copy did not end after OK"
    # Once the first copy has gone, a new start owns the mutex again.
    offset=$(log_size)
    start_program
    third_pid=$LAST_PID
    third_box=$(wait_new_box "" 30) || fail "the third copy showed no box"
    third_texts=$(box_texts)
    expect_text "$third_texts" "$STRING_222_VESTRA"
    [ -n "${third_box:-}" ] && press_ok "$third_box"
    wait_exit "$third_pid" 20 || fail "the third copy did not end"
    expect_no_log "$(log_since "$offset")" "Aborting..."
    ;;
  missing_properties)
    prepare_case_dir -
    run_to_box "$STRING_105" "startup-missing-properties"
    expect_log "$LOG_SEGMENT" "InitProperties - retrieve props from file '"
    expect_log "$LOG_SEGMENT" "Could not open ini file"
    expect_log "$LOG_SEGMENT" '-\/\/\/- Properties -\/\/\/-'
    ;;
  no_driver_names)
    prepare_case_dir $'PRINTER_SERIESNAME = "QV Vestra"\n'"$TABLE"$'\n'
    run_to_box "$STRING_105" "startup-no-driver-names"
    expect_log "$LOG_SEGMENT" "ERROR: Property 'DRIVER_NAMES' does NOT exist."
    expect_log "$LOG_SEGMENT" "PRINTER_SERIESNAME = QV Vestra"
    expect_no_log "$LOG_SEGMENT" "FindInstalledPrinters"
    ;;
  no_printer)
    prepare_case_dir $'PRINTER_SERIESNAME = "QV Vestra"\nDRIVER_NAMES = "QV No Such Driver"\n'"$TABLE"$'\n'
    run_to_box "$STRING_222_VESTRA" "startup-no-printer"
    expect_log "$LOG_SEGMENT" "FindInstalledPrinters(driverList 1 elements)"
    expect_log "$LOG_SEGMENT" " Found NO printers with our drivername"
    expect_no_log "$LOG_SEGMENT" "++ Found"
    ;;
  no_printer_no_series)
    prepare_case_dir $'DRIVER_NAMES = "QV No Such Driver"\n'"$TABLE"$'\n'
    run_to_box "$STRING_222_EMPTY" "startup-no-printer-no-series"
    expect_log "$LOG_SEGMENT" " Found NO printers with our drivername"
    ;;
  found_printer)
    prepare_case_dir $'PRINTER_SERIESNAME = "QV Orrery"\nDRIVER_NAMES = "QV Orrery Print Driver"\n'"$TABLE"$'\n'
    offset=$(log_size)
    start_program
    pid=$LAST_PID
    # Start-up ends in the main dialog, titled with the series name.
    main='QV Orrery Firmware Update Utility'
    for _ in $(seq 30); do
      (cd "$CASE_DIR" && wine "$DLGDRIVE" "$main" state 2>/dev/null) | grep -q '^ComboBox 1000 ' && break
      sleep 1
    done
    [ -z "$(box_windows)" ] || fail "a box is open after start-up"
    screenshot "startup-found-printer"
    # The system menu's about command opens the about box; the window-close
    # command leaves the dialog open.
    (cd "$CASE_DIR" && wine "$DLGDRIVE" "$main" syscommand 16 2>/dev/null)
    (cd "$CASE_DIR" && wine "$DLGDRIVE" "$main" syscommand 61536 2>/dev/null)
    for _ in $(seq 20); do xdotool search --onlyvisible --name '^About quillo$' >/dev/null 2>&1 && break; sleep 0.5; done
    if xdotool search --onlyvisible --name '^About quillo$' >/dev/null 2>&1; then
      screenshot "startup-about-box"
      (cd "$CASE_DIR" && wine "$DLGDRIVE" 'About quillo' command 1 2>/dev/null)
    else
      fail "no about box"
    fi
    sleep 1
    kill -0 "$pid" 2>/dev/null || fail "the window-close command ended the program"
    (cd "$CASE_DIR" && wine "$DLGDRIVE" "$main" click 1009 2>/dev/null) || fail "no main dialog with Exit"
    wait_exit "$pid" 30 || fail "tideway.exe did not end after Exit"
    segment=$(log_since "$offset")
    expect_log "$segment" "================= Firmware Update ========================"
    expect_log "$segment" "Version: $(tideway_version)"
    expect_log "$segment" "  Found one of our printers QV Orrery Parallel, count=1"
    expect_log "$segment" "++ Found 1 printers"
    expect_log "$segment" "Adding QV Orrery Parallel to printer list"
    ;;
  *)
    echo "unknown case $CASE"
    exit 2
    ;;
esac

# Every line of this run carries the tag.
if [ -n "${LOG_SEGMENT:-}" ] && ! grep -qF "$BANNER" <<<"$LOG_SEGMENT"; then fail "log lines lack the TIDWY tag"; fi

if [ "$failures" -eq 0 ]; then
  echo "PASS startup $CASE"
  exit 0
fi
echo "FAILED startup $CASE ($failures)"
exit 1
