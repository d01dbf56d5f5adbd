# quillfix.exe /restartservice with a real Win32 service whose program is the target
# (tests/probes/service_probe.cpp: build A is the program before the patch, build B the
# patch's, a third ignores the stop request; each appends "started <build>" and
# "stopped" to a marker file). Installation and removal restart it (and a dependent, in
# order); a service that ignores the stop, a stopped service and a run without the
# switch end with today's completion.
#
# Wine ends its services with the last ordinary process of the prefix: the wineserver
# is kept up (make_prefix) and warmed by an uncaptured program before any service runs.
# Wine cannot show: short (8.3) names of the binary path, a 32-bit run's view of the
# Common Files folder, a program another service holds open. Wine's QueryServiceConfigW
# lists no dependencies (the run then reads the service's DependOnService value, which
# is what the dependent scenario exercises), and Wine's manager stops a service whose
# dependents still run, so the marker's order is the run's own.
source "$(dirname "$0")/quillfix_e2e_lib.sh" || exit 1

# ctest names the folder of the service builds (tests/probes).
PROBES=${QRV_SERVICE_PROBES:-}
[ -f "$PROBES/service_probe_a.exe" ] || { log "QRV_SERVICE_PROBES does not name the service probes' folder"; exit 1; }

make_prefix "$E2E_PREFIX"
"$WINE" cmd /c exit >/dev/null 2>&1
TARGET_WIN='C:\Program Files\Common Files\Zarvik\qrv_reg_monitor_svc.exe'
MARKER=$DRIVE_C/service_marker.txt
SERVICE=QuillfixTestService
DEPENDENT=QuillfixTestDependent
MSG_1162='The installation of the patch has completed and the service was restarted. No restart of the system is needed.'
MSG_1163='The removal of the patch has completed and the service was restarted. No restart of the system is needed.'

state_of() { "$WINE" sc query "$1" 2>/dev/null | tr -d '\r' | sed -n 's/^ *STATE *: *[0-9]* *//p'; }

# wait_state <service> <state>: 20 s at most.
wait_state() {
  for _ in $(seq 1 100); do
    [ "$(state_of "$1")" = "$2" ] && return 0
    sleep 0.2
  done
  fail "$1 is $(state_of "$1"), expected $2"
}

# Stops and deletes the test's services. One that ignores the stop goes with the
# wineserver, restarted for the next scenario (warmed again), so none is left for
# another test's runs.
remove_services() {
  local service
  for service in "$DEPENDENT" "$SERVICE"; do
    [ -n "$(state_of "$service")" ] || continue
    "$WINE" sc stop "$service" >/dev/null 2>&1
    for _ in $(seq 1 10); do [ "$(state_of "$service")" = STOPPED ] && break; sleep 0.1; done
    if [ "$(state_of "$service")" != STOPPED ]; then
      wineserver -k >/dev/null 2>&1
      wineserver -w >/dev/null 2>&1
      wineserver -p >/dev/null 2>&1
      "$WINE" cmd /c exit >/dev/null 2>&1
    fi
    "$WINE" sc delete "$service" >/dev/null 2>&1
  done
}
trap remove_services EXIT

# prepare <old build> [dependent]: the suite patched by nothing, the old build running
# as the service from the target (binary path unquoted with spaces, then its marker
# argument), build B beside quillfix.exe; with "dependent", a second service (quoted
# path, its own program) that depends on it, running too.
prepare() {
  remove_services
  reset_machine
  set_windows_version winxp
  install_suite
  enable_tracing
  rm -f "$MARKER" "$DRIVE_C/qrvtrace.log"
  reg delete 'HKLM\System\CurrentControlSet\Control\Session Manager' /v PendingFileRenameOperations /f
  cp "$PROBES/service_probe_$1.exe" "$COMMON_DIR/$SVC"
  cp "$PROBES/service_probe_b.exe" "$RUN_DIR/$SVC"
  "$WINE" sc create "$SERVICE" binPath= "$TARGET_WIN C:\\service_marker.txt" >/dev/null 2>&1
  if [ "${2:-}" = dependent ]; then
    mkdir -p "$DRIVE_C/dependent"
    cp "$PROBES/service_probe_a.exe" "$DRIVE_C/dependent/dependent_svc.exe"
    "$WINE" sc create "$DEPENDENT" binPath= '"C:\dependent\dependent_svc.exe" C:\service_marker.txt dependent' \
      depend= "$SERVICE" >/dev/null 2>&1
  fi
  "$WINE" sc start "$SERVICE" >/dev/null 2>&1
  wait_state "$SERVICE" RUNNING
  # Wine's service manager does not start a dependency for its dependent: in turn.
  if [ "${2:-}" = dependent ]; then
    "$WINE" sc start "$DEPENDENT" >/dev/null 2>&1
    wait_state "$DEPENDENT" RUNNING
  fi
}

check_marker() { check_file_text "$MARKER" "$(printf '%s\n' "$@")"; }

# check_fallback <old build>: today's completion (3010 checked by the caller), the
# installation itself as for any run.
check_fallback() {
  check_bytes "$INSTALL_DIR/patchlog.txt" "patch log" expected_log "$MSG_1160 User select: 7"
  cmp -s "$COMMON_DIR/$SVC" "$PROBES/service_probe_b.exe" || fail "build B is not at the target"
  cmp -s "$COMMON_DIR/$SVC.bak" "$PROBES/service_probe_$1.exe" || fail "the old build is not at .bak"
}

# library_log_has <text>: a record of the library's log (UTF-16) holds the text.
library_log_has() {
  decode_log "$DRIVE_C/qrvtrace.log" 2>/dev/null | grep -qF "$1" || fail "the library log lacks \"$1\""
}

scenario "installation restarts the service"
prepare a
started=$(date +%s%N)
run_expecting 0 /restartservice /s /exitcode
log "installation with the restart took $((($(date +%s%N) - started) / 1000000)) ms"
check_marker "started A" "stopped" "started B"
[ "$(state_of "$SERVICE")" = RUNNING ] || fail "the service is $(state_of "$SERVICE") after the installation"
check_bytes "$INSTALL_DIR/patchlog.txt" "patch log" expected_log "$MSG_1162 User select: 7"
cmp -s "$COMMON_DIR/$SVC" "$PROBES/service_probe_b.exe" || fail "build B is not at the target"
cmp -s "$COMMON_DIR/$SVC.bak" "$PROBES/service_probe_a.exe" || fail "build A is not at .bak"
[ "$(reg_value "$SUITE_KEY\\Patch\\8103" updated)" = "$SVC" ] || fail "no patch record"
log "marker after the installation: $(tr '\n' '|' <"$MARKER")"

# A repeat run changes no file and restarts nothing.
scenario "repeat installation restarts nothing"
run_expecting 3010 /restartservice /s /exitcode
check_marker "started A" "stopped" "started B"

scenario "removal restarts the service"
started=$(date +%s%N)
run_expecting 0 /uninstall /restartservice /s /exitcode
log "removal with the restart took $((($(date +%s%N) - started) / 1000000)) ms"
check_marker "started A" "stopped" "started B" "stopped" "started A"
[ "$(state_of "$SERVICE")" = RUNNING ] || fail "the service is $(state_of "$SERVICE") after the removal"
[ "$(decode_log "$INSTALL_DIR/patchlog.txt" | tail -n 1)" = "$MSG_1163 User select: 7" ] ||
  fail "the patch log does not end with the removal's restarted line"
cmp -s "$COMMON_DIR/$SVC" "$PROBES/service_probe_a.exe" || fail "build A is not back at the target"
check_missing "$COMMON_DIR/$SVC.bak"
check_missing "$COMMON_DIR/$SVC.removed"
reg_key_exists "$SUITE_KEY\\Patch\\8103" && fail "the patch record is still there"
"$WINE" reg query 'HKLM\System\CurrentControlSet\Control\Session Manager' /v PendingFileRenameOperations \
  >/dev/null 2>&1 && fail "a rename waits for the next restart"
log "marker after the removal: $(tr '\n' '|' <"$MARKER")"

scenario "a dependent service is stopped first and started after"
prepare a dependent
run_expecting 0 /restartservice /s /exitcode
check_marker "started A" "dependent started A" "dependent stopped" "stopped" "started B" "dependent started A"
[ "$(state_of "$DEPENDENT")" = RUNNING ] || fail "the dependent service is $(state_of "$DEPENDENT")"

# The stop is answered but ignored: the run gives up when the service makes no progress
# within its wait hint (5 s at least), and ends as without the switch.
scenario "a service that ignores the stop"
prepare ignores_stop dependent
started=$(date +%s)
run_expecting 3010 /restartservice /s /exitcode
took=$(($(date +%s) - started))
log "gave up on the ignored stop after $took s"
[ "$took" -lt 60 ] || fail "the run took $took s, the bound is 60 s per service"
check_fallback ignores_stop
[ "$(state_of "$SERVICE")" = RUNNING ] || fail "the service is $(state_of "$SERVICE")"
[ "$(state_of "$DEPENDENT")" = RUNNING ] || fail "the dependent service is $(state_of "$DEPENDENT")"
check_marker "started A" "dependent started A" "dependent stopped" "dependent started A"
library_log_has "Service restart: stop $SERVICE failed with error 1053 (state RUNNING)"

scenario "a stopped service is left stopped"
prepare a
"$WINE" sc stop "$SERVICE" >/dev/null 2>&1
wait_state "$SERVICE" STOPPED
run_expecting 3010 /restartservice /s /exitcode
check_fallback a
[ "$(state_of "$SERVICE")" = STOPPED ] || fail "the stopped service is $(state_of "$SERVICE")"
check_marker "started A" "stopped"
library_log_has "Service restart: no running service runs $TARGET_WIN"

scenario "without the switch nothing is stopped"
prepare a
run_expecting 3010 /s /exitcode
check_fallback a
check_marker "started A"
[ "$(state_of "$SERVICE")" = RUNNING ] || fail "the service is $(state_of "$SERVICE")"

finish
