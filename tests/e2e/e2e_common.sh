# Pieces the end-to-end scripts share (sourced). They keep STARTED_PIDS (ended
# by id by the script's own cleanup), `failures`, and LOG_FILE.

fail() {
  echo "FAIL: $*"
  failures=$((failures + 1))
}

# A virtual screen on the first free display of the numbers given, unless
# DISPLAY is set.
ensure_display() {
  [ -n "${DISPLAY:-}" ] && return 0
  local n
  for n in "$@"; do
    if [ ! -e "/tmp/.X11-unix/X$n" ] && [ ! -e "/tmp/.X$n-lock" ]; then
      Xvfb ":$n" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
      STARTED_PIDS+=($!)
      export DISPLAY=":$n"
      for _ in $(seq 50); do [ -e "/tmp/.X11-unix/X$n" ] && return 0; sleep 0.1; done
    fi
  done
  echo "no display for the test" >&2
  return 1
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

# A fresh CASE_DIR for a command-line run of EXE: the program, a
# "properties.ini" naming series $1 and driver $2, and the firmware file
# update.bin (its sha256 in SHA); the test prefix made first.
prepare_cli_case() {
  make_test_prefix "$WINEPREFIX" || { echo "test prefix could not be prepared"; return 1; }
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
