# Starts and stops what Wine tests need: a display, a persistent wineserver and
# one idle Wine process that keeps explorer.exe from being restarted per test.
# Sourced; every process started here is remembered by id and ended by id.

WINE_SESSION_PIDS=()

start_display() {
  if [ -z "${DISPLAY:-}" ]; then
    local n
    for n in 99 98 97 96 95; do
      if [ ! -e "/tmp/.X11-unix/X$n" ] && [ ! -e "/tmp/.X$n-lock" ]; then
        Xvfb ":$n" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
        WINE_SESSION_PIDS+=($!)
        export DISPLAY=":$n"
        for _ in $(seq 50); do [ -e "/tmp/.X11-unix/X$n" ] && break; sleep 0.1; done
        return 0
      fi
    done
    echo "no free X display number" >&2
    return 1
  fi
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
