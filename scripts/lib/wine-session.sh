# Starts and stops what Wine tests need: a display, a persistent wineserver and
# one idle Wine process that keeps explorer.exe from being restarted per test.
# Sourced; every process started here is remembered by id and ended by id.

WINE_SESSION_PIDS=()

# Xvfb picks the first free display number itself (-displayfd): other suites
# or sessions on the machine may hold any fixed set of numbers.
start_display() {
  [ -n "${DISPLAY:-}" ] && return 0
  local file="$BUILD/xvfb-display"
  mkdir -p "$BUILD"
  rm -f "$file"
  Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$file" >/dev/null 2>&1 &
  WINE_SESSION_PIDS+=($!)
  for _ in $(seq 100); do
    if grep -q '^[0-9]' "$file" 2>/dev/null; then
      DISPLAY=":$(head -1 "$file")"
      export DISPLAY
      return 0
    fi
    sleep 0.1
  done
  echo "Xvfb did not start" >&2
  return 1
}

# Creates the test prefix once (no network: Mono and Gecko are skipped) and
# (re)writes its test printers, ports and X11 settings (make-test-prefix.sh).
ensure_wine_prefix() {
  # shellcheck source=make-test-prefix.sh
  source "$ROOT/scripts/lib/make-test-prefix.sh"
  make_test_prefix "$WINEPREFIX"
}

start_wine_session() {
  start_display
  ensure_wine_prefix
  wineserver -p
  # An idle windowless Wine process keeps the desktop process alive between tests.
  setsid wine cmd.exe /c "ping -n 100000 127.0.0.1 >nul" </dev/null >/dev/null 2>&1 &
  WINE_SESSION_PIDS+=($!)
}

stop_wine_session() {
  wineserver -k 2>/dev/null || true
  end_jobs "${WINE_SESSION_PIDS[@]}"
  WINE_SESSION_PIDS=()
}
