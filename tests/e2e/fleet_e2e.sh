#!/usr/bin/env bash
# A fleet run of the real tideway.exe under Wine: four simulated network
# printers on 127.71.x, one of them refusing the burn, updated in one run.
#   whole run     three updated and verified with the exact image, one failed,
#                 code 1, the report lists all four, the spooler stopped once and
#                 started once, the waits overlapped; a second queue on the first
#                 printer's port rides along: one burn, "same printer as ..."
#   records       what a deployment tool reads after it: each queue's values
#                 in the registry, and /history with /report listing the run
#   Ctrl+C        the program started in a console (a pseudo-terminal, through
#                 start /wait) gets SIGINT while the printers restart, which Wine
#                 hands to the handlers of a process with a console as Ctrl+C:
#                 it ends soon, code 1, the unfinished printers reported failed,
#                 the spooler running again
#
# Environment (set by ctest): TIDEWAY_EXE, TIDEWAY_E2E_DIR; TIDEWAY_FWGEN (native
# fwgen). Runs in a Wine session of its own (start_own_session).
set -uo pipefail

HERE="$(cd "$(dirname "$0")" && pwd)"
source "$HERE/../../scripts/lib/env.sh"
source "$ROOT/scripts/lib/make-test-prefix.sh"
source "$ROOT/scripts/lib/update-printer.sh"
source "$HERE/e2e_common.sh"

EXE="${TIDEWAY_EXE:-$WIN/bin/tideway.exe}"
CASE_DIR="${TIDEWAY_E2E_DIR:-$WIN/e2e}/fleet"
export WINEPREFIX="$CASE_DIR.prefix"
LOG_FILE="$CASE_DIR/fleet-e2e.log"
UPDATE_NET=127.71
NAMES=("QV Fleet 1" "QV Fleet 2" "QV Fleet 3" "QV Fleet Refuses")
REFUSES=3
# A second queue of the first printer (a print server's PCL and PostScript queues).
DUPLEX="QV Fleet 1 (Duplex)"
# Three updates one after another wait at least 3 x 35 s; overlapped, about one.
OVERLAP_LIMIT_S=75
# From Ctrl+C to the end of the process: the updates stop at their next wait slice.
INTERRUPT_LIMIT_S=20
# No run may take longer than this; it is then ended and counted as a hang.
RUN_LIMIT_S=150

STARTED_PIDS=()
failures=0

cleanup() { end_case $?; }
trap cleanup EXIT

# `field` of the report's printer `name`, "exitCode", or "names" (sorted).
report_field() {
  python3 - "$1" "$2" "${3:-}" <<'PY'
import json, sys
doc = json.load(open(sys.argv[1], encoding="utf-8"))
if sys.argv[2] == "exitCode":
    print(doc["exitCode"]); sys.exit()
if sys.argv[2] == "names":
    print("|".join(sorted(p["name"] for p in doc["printers"]))); sys.exit()
for p in doc["printers"]:
    if p["name"] == sys.argv[2]:
        print(json.dumps(p[sys.argv[3]]))
PY
}
expect_report() {
  local got
  got=$(report_field "$1" "$2" "$3")
  [ "$got" = "$4" ] && echo "report ok: $2 $3 = $4" || fail "report: $2 $3 = [$got], expected [$4]"
}
burns() { grep -c '"cmd": *"BURN_FLASH"' "$1" 2>/dev/null || true; }
count_in() { grep -cF -- "$2" <<<"$1" || true; }
# The log from the hold's stop on (the start-up starts a stopped spooler first).
held_part() { sed -n "/Unattended: the spooler is stopped for the run's downloads/,\$p" <<<"$1"; }

# Starts the run in the background: APP_PID, the output in $CASE_DIR/$1.out.
start_run() {
  local out="$1"
  shift
  (cd "$CASE_DIR" && exec wine "$CASE_DIR/tideway.exe" "$@" /l:fleet-e2e.txt </dev/null >"$CASE_DIR/$out.out" 2>/dev/null) &
  APP_PID=$!
  STARTED_PIDS+=("$APP_PID")
  RUN_START=$(date +%s)
}

# The same in a console of its own: Wine gives a process Ctrl+C only when it
# has one, and a windowed program gets one only from a console parent.
start_console_run() {
  local out="$1" command
  shift
  command="wine start /wait /b /unix $(printf '%q ' "$CASE_DIR/tideway.exe" "$@" /l:fleet-e2e.txt)"
  (cd "$CASE_DIR" && exec script -qec "$command" /dev/null </dev/null >"$CASE_DIR/$out.out" 2>&1) &
  APP_PID=$!
  STARTED_PIDS+=("$APP_PID")
  RUN_START=$(date +%s)
}

# The program's own process in the console session of start_console_run.
program_pid() {
  local sid
  sid=$(ps -o sid= --ppid "$APP_PID" | head -1 | tr -d ' ')
  [ -n "$sid" ] && ps -o pid=,args= -s "$sid" | awk '$2 ~ /^Z:.*tideway\.exe$/ {print $1; exit}'
}

# Waits for the run to end within RUN_LIMIT_S: CODE, RUN_END (0 after a hang).
finish_run() {
  local out="$1" i
  for i in $(seq $((RUN_LIMIT_S * 5))); do
    kill -0 "$APP_PID" 2>/dev/null || break
    sleep 0.2
  done
  if kill -0 "$APP_PID" 2>/dev/null; then
    fail "the run did not end within $RUN_LIMIT_S s"
    [ -n "${PROGRAM_PID:-}" ] && kill -KILL "$PROGRAM_PID" 2>/dev/null
    kill -KILL "$APP_PID" 2>/dev/null
  fi
  wait "$APP_PID"
  CODE=$?
  RUN_END=$(date +%s)
  echo "--- $out -> $CODE after $((RUN_END - RUN_START)) s"
  tr -d '\r' <"$CASE_DIR/$out.out" | awk '{ print "    " $0 }'
}

# The spooler's state as the service manager reports it (RUNNING, STOPPED).
[ -f "$EXE" ] || { echo "tideway.exe missing"; exit 1; }
start_own_session || exit 1
prepare_cli_case "QV Fleet" "QV Fleet Driver" || exit 1

EVENTS=() ADDRESSES=() CONTROLS=()
for i in "${!NAMES[@]}"; do
  fault=()
  [ "$i" = "$REFUSES" ] && fault=(--fault status:value=2,cmd=burn)
  start_update_printer "$CASE_DIR/p$i" --version 1000 "${fault[@]}" || exit 1
  install_update_printer "$WINEPREFIX" "${NAMES[$i]}" "QV Fleet Driver"
  [ "$i" = 0 ] && install_update_printer "$WINEPREFIX" "$DUPLEX" "QV Fleet Driver"
  EVENTS+=("$UPDATE_SIM_EVENTS") ADDRESSES+=("$UPDATE_ADDRESS") CONTROLS+=("$UPDATE_SIM_CONTROL")
done
ALL_NAMES=$(printf '%s\n' "${NAMES[@]}" "$DUPLEX" | sort | paste -sd'|')

# The whole run.
REPORT="$WINEPREFIX/drive_c/fleet.json"
rm -f "$REPORT"
LOG_OFFSET=$(log_size)
start_run whole /s /all "/report:C:\\fleet.json"
finish_run whole
[ "$CODE" = 1 ] && echo "code ok: 1 (one printer failed)" || fail "whole run: code $CODE, expected 1"
expect_report "$REPORT" names "" "$ALL_NAMES"
for i in "${!NAMES[@]}"; do
  if [ "$i" = "$REFUSES" ]; then
    expect_report "$REPORT" "${NAMES[$i]}" outcome '"failed"'
    continue
  fi
  expect_report "$REPORT" "${NAMES[$i]}" outcome '"updated"'
  expect_report "$REPORT" "${NAMES[$i]}" versionAfter 20230115
  expect_report "$REPORT" "${NAMES[$i]}" address "\"${ADDRESSES[$i]}\""
  grep -q "\"sha256\": *\"$SHA\"" "${EVENTS[$i]}" && echo "${NAMES[$i]} received the exact file" ||
    fail "${NAMES[$i]}: the image did not arrive"
done
for i in "${!NAMES[@]}"; do
  [ "$(burns "${EVENTS[$i]}")" = 1 ] || fail "${NAMES[$i]}: $(burns "${EVENTS[$i]}") burns, expected 1"
done
# The spooler's order decides which of the two queues carries the update.
expect_report "$REPORT" "$DUPLEX" outcome '"updated"'
details="$(report_field "$REPORT" "$DUPLEX" detail)|$(report_field "$REPORT" "${NAMES[0]}" detail)"
[[ "$details" == *"\"$DUPLEX: same printer as ${NAMES[0]}\""* || "$details" == *"\"${NAMES[0]}: same printer as $DUPLEX\""* ]] &&
  echo "the second queue rode along: one burn" || fail "no queue reported as the same printer: $details"
segment=$(log_since "$LOG_OFFSET")
stops=$(count_in "$(held_part "$segment")" "StopAService(Spooler)")
starts=$(count_in "$(held_part "$segment")" "StartAService(Spooler)")
[ "$stops/$starts" = 1/1 ] && echo "spooler stopped once and started once" ||
  fail "spooler stopped $stops and started $starts times, expected once each"
[ $((RUN_END - RUN_START)) -le "$OVERLAP_LIMIT_S" ] && echo "the waits overlapped" ||
  fail "the run took $((RUN_END - RUN_START)) s: the updates did not overlap"

# What the run left for a deployment tool: each queue's values in the
# registry, and its updates in the history.
reg_value() {
  (cd "$CASE_DIR" && wine reg query "HKLM\\SOFTWARE\\Local AppWizard-Generated Applications\\tideway\\Printers\\$1" \
    /v "$2" 2>/dev/null) | tr -d '\r' | sed -nE "s/^ *$2 +REG_SZ +(.*)$/\1/p"
}
for queue in "${NAMES[@]}" "$DUPLEX"; do
  outcome=updated version=20230115
  [ "$queue" = "${NAMES[$REFUSES]}" ] && outcome=failed version=1000
  got="$(reg_value "$queue" LastOutcome) $(reg_value "$queue" FirmwareVersion)"
  [ "$got" = "$outcome $version" ] && echo "registry ok: $queue $got" ||
    fail "registry: $queue [$got], expected [$outcome $version]"
  [[ "$(reg_value "$queue" LastUpdate)" =~ ^[0-9]{4}-[0-9]{2}-[0-9]{2}T[0-9]{2}:[0-9]{2}:[0-9]{2}Z$ ]] ||
    fail "registry: $queue LastUpdate [$(reg_value "$queue" LastUpdate)]"
  [[ "$(reg_value "$queue" FirmwareFile)" == *'\update.bin' ]] ||
    fail "registry: $queue FirmwareFile [$(reg_value "$queue" FirmwareFile)]"
done
HISTORY="$WINEPREFIX/drive_c/fleet-history.json"
rm -f "$HISTORY"
SINCE=$(date -u -d "@$RUN_START" +%Y-%m-%dT%H:%M:%SZ)
start_run history /history:8 "/report:C:\\fleet-history.json"
finish_run history
listed=$(python3 - "$HISTORY" "$SHA" "$SINCE" <<'PY'
import json, sys
entries = json.load(open(sys.argv[1], encoding="utf-8"))["history"]
print("|".join(sorted(e["name"] for e in entries if e["time"] >= sys.argv[3] and (e["fileSha256"] or "").lower() == sys.argv[2])))
PY
)
[ "$CODE/$listed" = "0/$ALL_NAMES" ] && echo "history lists the run's updates with the file's SHA-256" ||
  fail "history: code $CODE, listed [$listed], expected [$ALL_NAMES]"

# Interrupted while the printers restart: every printer back at the old version.
for i in "${!NAMES[@]}"; do
  UPDATE_ADDRESS=${ADDRESSES[$i]} UPDATE_SIM_CONTROL=${CONTROLS[$i]} sim_control '{"op":"set","version":1000}' >/dev/null
  : >"${EVENTS[$i]}"
done
REPORT="$WINEPREFIX/drive_c/fleet-interrupted.json"
rm -f "$REPORT"
LOG_OFFSET=$(log_size)
start_console_run interrupted /s /all "/report:C:\\fleet-interrupted.json"
burned=0
for _ in $(seq $((RUN_LIMIT_S * 5))); do
  kill -0 "$APP_PID" 2>/dev/null || break
  burned=0
  for i in "${!NAMES[@]}"; do [ "$i" = "$REFUSES" ] || burned=$((burned + $(burns "${EVENTS[$i]}"))); done
  [ "$burned" -ge 1 ] && break
  sleep 0.2
done
PROGRAM_PID=$(program_pid)
if [ "$burned" -ge 1 ] && [ -n "$PROGRAM_PID" ]; then
  kill -INT "$PROGRAM_PID"
  SIGNALLED=$(date +%s)
  finish_run interrupted
  [ $((RUN_END - SIGNALLED)) -le "$INTERRUPT_LIMIT_S" ] && echo "ended $((RUN_END - SIGNALLED)) s after Ctrl+C" ||
    fail "ended $((RUN_END - SIGNALLED)) s after Ctrl+C, limit $INTERRUPT_LIMIT_S s"
  [ "$CODE" = 1 ] && echo "code ok: 1 (interrupted)" || fail "interrupted run: code $CODE, expected 1"
  expect_report "$REPORT" names "" "$ALL_NAMES"
  # No printer can finish: 35 s of waits follow its burn.
  for p in "${NAMES[@]}" "$DUPLEX"; do expect_report "$REPORT" "$p" outcome '"failed"'; done
  segment=$(log_since "$LOG_OFFSET")
  expect_log "$segment" "Run interrupted (Ctrl+C): no further update starts"
  stops=$(count_in "$(held_part "$segment")" "StopAService(Spooler)")
  starts=$(count_in "$(held_part "$segment")" "StartAService(Spooler)")
  [ "$stops/$starts" = 1/1 ] && echo "spooler stopped once and started again once" ||
    fail "spooler stopped $stops and started $starts times, expected once each"
  state=$(spooler_state)
  [ "$state" = RUNNING ] && echo "the spooler runs after the interrupted run" || fail "spooler is [$state] after Ctrl+C"
else
  finish_run interrupted
  fail "nothing to interrupt: $burned burns, program process [$PROGRAM_PID]"
fi

if [ "$failures" -eq 0 ]; then
  echo "PASS fleet"
  exit 0
fi
echo "FAILED fleet ($failures)"
exit 1
