# Pieces the end-to-end scripts share (sourced). They keep STARTED_PIDS (ended
# by id by end_case, from the script's cleanup), `failures`, and LOG_FILE.

fail() {
  echo "FAIL: $*"
  failures=$((failures + 1))
}

# A Wine session of the case's own, so that cases run side by side: the test
# prefix made afresh at WINEPREFIX (printers, ports and X11 settings as
# make-test-prefix.sh writes them), its own wineserver kept by one idle
# process (program starts then skip Wine's desktop start-up), and a virtual
# screen of its own. The program's mutex, C:\QVTideway.log, the spooler's
# state and every window a case looks for are then the case's alone. The
# script's cleanup calls end_own_session last; it ends all of it by id (the
# wineserver through its prefix) and removes the prefix after a pass.
OWN_SESSION_PIDS=()
start_own_session() {
  local prefix="$WINEPREFIX"
  OWN_SESSION_PREFIX="$prefix"
  # A wineserver an interrupted run left for this prefix would serve the new one.
  [ -d "$prefix" ] && { wineserver -k 2>/dev/null; wineserver -w 2>/dev/null; }
  rm -rf "$prefix"
  mkdir -p "$(dirname "$prefix")"
  start_own_display "$prefix.display" || return 1
  make_test_prefix "$prefix" || { echo "test prefix could not be prepared"; return 1; }
  (cd "$prefix" && exec setsid wine cmd.exe /c "ping -n 100000 127.0.0.1 >nul" </dev/null >/dev/null 2>&1) &
  OWN_SESSION_PIDS+=($!)
}

# Xvfb picks the first free display number itself (-displayfd), so cases that
# start together never race for one.
start_own_display() {
  local file="$1" pid
  rm -f "$file"
  Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$file" >/dev/null 2>&1 &
  pid=$!
  OWN_SESSION_PIDS+=("$pid")
  for _ in $(seq 100); do
    if grep -q '^[0-9]' "$file" 2>/dev/null; then
      DISPLAY=":$(head -1 "$file")"
      export DISPLAY
      return 0
    fi
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.1
  done
  echo "no display for the test" >&2
  return 1
}

# `status`: the script's exit status; the prefix is kept after a failure.
end_own_session() {
  local status="${1:-1}"
  if [ -n "${OWN_SESSION_PREFIX:-}" ]; then
    WINEPREFIX="$OWN_SESSION_PREFIX" wineserver -k 2>/dev/null
    WINEPREFIX="$OWN_SESSION_PREFIX" wineserver -w 2>/dev/null
  fi
  end_jobs "${OWN_SESSION_PIDS[@]}"
  OWN_SESSION_PIDS=()
  if [ -n "${OWN_SESSION_PREFIX:-}" ] && [ "$status" = 0 ] && [ "${failures:-0}" = 0 ]; then
    rm -rf "$OWN_SESSION_PREFIX" "$OWN_SESSION_PREFIX.display"
  fi
  OWN_SESSION_PREFIX=
}

log_size() { stat -c %s "$LOG_FILE" 2>/dev/null || echo 0; }

# The log written since `offset` (from the start when the file was rotated).
log_since() {
  local offset="$1" size
  size=$(log_size)
  if [ "$size" -lt "$offset" ]; then offset=0; fi
  tail -c "+$((offset + 1))" "$LOG_FILE" 2>/dev/null | tr -d '\r'
}

# The state of the prefix's spooler service: RUNNING, STOPPED...
spooler_state() {
  (cd "$CASE_DIR" && wine sc query Spooler 2>/dev/null) | tr -d '\r' | sed -nE 's/.*STATE *: *[0-9]+ +([A-Z_]+).*/\1/p'
}

expect_log() {
  local segment="$1" want="$2"
  if grep -qF -- "$want" <<<"$segment"; then echo "log ok: $want"; else fail "log lacks [$want]"; fi
}

# What the script started (STARTED_PIDS) and its Wine session: the end of
# every script's cleanup.
end_case() {
  end_jobs "${STARTED_PIDS[@]}"
  end_own_session "$1"
}

# A fresh CASE_DIR for a command-line run of EXE: the program, a
# "properties.ini" naming series $1 and driver $2, and the firmware file
# update.bin (its sha256 in SHA).
prepare_cli_case() {
  rm -rf "$CASE_DIR"
  mkdir -p "$CASE_DIR"
  cp "$EXE" "$CASE_DIR/tideway.exe"
  cat >"$CASE_DIR/properties.ini" <<INI
PRINTER_SERIESNAME = "$1"
PRODUCT = "QV7100"
DRIVER_NAMES = "$2"
BIN_FILES = "Tideway Sim*, update.bin, *, update.bin"
INI
  make_firmware "$CASE_DIR/update.bin" bin full-part.bin || { echo "fwgen failed"; return 1; }
  SHA=$(sha256sum "$CASE_DIR/update.bin" | cut -d' ' -f1)
}
