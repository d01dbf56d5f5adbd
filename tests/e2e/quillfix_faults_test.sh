# quillfix.exe /s under faults injected for real: killed while it stages a large new
# service executable (and the state a kill between the swap's two renames leaves, then
# failing and working runs), repeat and simultaneous runs, an earlier ".bak" held open
# by another program, a read-only ".bak", a target that is running (installed over and
# removed), a full disk, an empty new file. After each, the service executable must be
# whole: the old one or the new one, byte for byte.
source "$(dirname "$0")/quillfix_e2e_lib.sh" || exit 1

# ctest names the helper program that holds a file open (tests/probes/file_holder.cpp).
HOLDER=${QRV_FILE_HOLDER:-}
[ -f "$HOLDER" ] || { log "QRV_FILE_HOLDER does not name the file_holder program"; exit 1; }

make_prefix "$E2E_PREFIX"
TARGET_WIN='C:\Program Files\Common Files\Zarvik\qrv_reg_monitor_svc.exe'
SUCCESS_LINE="$MSG_1160 User select: 7"
STAGED=$COMMON_DIR/$SVC.new
HOLDER_PID=
MOUNTED=
cleanup() {
  [ -n "$HOLDER_PID" ] && kill -9 "$HOLDER_PID" 2>/dev/null
  [ -n "$MOUNTED" ] && { rm -f "$COMMON_DIR"; umount "$MOUNTED"; }
  return 0
}
trap cleanup EXIT

prepare() {
  reset_machine
  set_windows_version winxp
  install_suite
}

# The copy-failure path: old target in place, the 1200 and 1121 lines, no record, no
# staged copy left behind.
check_failed_run() {
  check_file_text "$COMMON_DIR/$SVC" OLD-SERVICE
  check_missing "$STAGED"
  reg_key_exists "$SUITE_KEY\\Patch" && fail "a patch record was written"
  check_bytes "$INSTALL_DIR/patchlog.txt" "patch log" expected_log \
    "$MSG_1200 User select: 1" "Failed to update file $TARGET_WIN"
}

check_patched() {
  check_missing "$STAGED"
  [ "$(reg_value "$SUITE_KEY\\Patch\\8103" updated)" = "$SVC" ] || fail "no patch record"
  [ "$(decode_log "$INSTALL_DIR/patchlog.txt" | tail -n 1)" = "$SUCCESS_LINE" ] ||
    fail "the patch log does not end with the success line"
}

# start_holder <windows path>: file_holder.exe holding that file, in the background
# until stop_holder; start_holder --event <name>: an event of that name held instead;
# start_holder --run <windows path>: that program itself, running. Either way it waits
# until the program has said so.
start_holder() {
  local out=$E2E_SCRATCH/holder.out
  rm -f "$out"
  if [ "${1:-}" = --run ]; then
    (cd "$DRIVE_C" && exec "$WINE" "$2" >"$out" 2>/dev/null) &
  else
    (cd "$DRIVE_C" && exec "$WINE" "$HOLDER" "$@" >"$out" 2>/dev/null) &
  fi
  HOLDER_PID=$!
  for _ in $(seq 1 100); do
    grep -qE 'held|running' "$out" 2>/dev/null && return 0
    sleep 0.1
  done
  fail "the file holder did not start: $(cat "$out" 2>/dev/null)"
}

# runs_alive: the Unix processes of quillfix.exe running in this test's prefix.
runs_alive() {
  local p
  for p in $(pgrep -f 'quillfix\.exe'); do
    tr '\0' '\n' <"/proc/$p/environ" 2>/dev/null | grep -qxF "WINEPREFIX=$WINEPREFIX" && printf '%s ' "$p"
  done
}

stop_holder() {
  kill -9 "$HOLDER_PID" 2>/dev/null
  wait "$HOLDER_PID" 2>/dev/null
  HOLDER_PID=
}

# -- killed while staging -------------------------------------------------------------
# Each run is killed (SIGKILL on the Unix process of quillfix.exe, which ends the
# Windows process at once) when the staged copy has grown to the next twelfth of the
# new file; the last moment is the complete staged copy, so that kill lands during the
# flush, the swap or later. The staged file each kill leaves behind is what the next
# run finds and replaces.
scenario "killed while staging"
prepare
head -c 1M /dev/urandom >"$E2E_SCRATCH/old.bin"
head -c 96M /dev/urandom >"$E2E_SCRATCH/new.bin"
cp "$E2E_SCRATCH/new.bin" "$RUN_DIR/$SVC"
NEW_SIZE=$(stat -c %s "$E2E_SCRATCH/new.bin")
MOMENTS=12
kept_old=0 kept_new=0 broken=0 finished=0 figures=""
for i in $(seq 1 $MOMENTS); do
  if ! cmp -s "$COMMON_DIR/$SVC" "$E2E_SCRATCH/old.bin"; then
    cp "$E2E_SCRATCH/old.bin" "$COMMON_DIR/$SVC"
    rm -f "$COMMON_DIR/$SVC.bak"
  fi
  threshold=$((NEW_SIZE * i / MOMENTS))
  # The previous kill's staged file stays for this run to replace, cut back where its
  # size would pass for this run's progress.
  if [ -e "$STAGED" ] && [ "$(stat -c %s "$STAGED")" -ge "$threshold" ]; then
    : >"$STAGED"
  fi
  (cd "$RUN_DIR" && exec "$WINE" quillfix.exe /s >/dev/null 2>&1) &
  pid=$!
  killed=0
  while kill -0 "$pid" 2>/dev/null; do
    if [ "$(stat -c %s "$STAGED" 2>/dev/null || echo 0)" -ge "$threshold" ]; then
      kill -9 "$pid" 2>/dev/null && killed=1
      break
    fi
  done
  wait "$pid" 2>/dev/null
  # The kill must have ended the run: a run of this prefix still alive would go on
  # changing the files this loop checks and resets.
  for _ in $(seq 1 50); do
    left=$(runs_alive)
    [ -z "$left" ] && break
    sleep 0.1
  done
  [ -z "$left" ] || { fail "moment $i: quillfix.exe still runs after the kill (pids $left)"; kill -9 $left; }
  if [ "$killed" -eq 1 ] && [ -e "$STAGED" ]; then
    figures="$figures $(($(stat -c %s "$STAGED") * 100 / NEW_SIZE))%"
  elif [ "$killed" -eq 1 ]; then
    figures="$figures swapped"
  else
    finished=$((finished + 1))
    figures="$figures done"
  fi
  if cmp -s "$COMMON_DIR/$SVC" "$E2E_SCRATCH/old.bin"; then
    kept_old=$((kept_old + 1))
  elif cmp -s "$COMMON_DIR/$SVC" "$E2E_SCRATCH/new.bin"; then
    kept_new=$((kept_new + 1))
    cmp -s "$COMMON_DIR/$SVC.bak" "$E2E_SCRATCH/old.bin" ||
      fail "moment $i: the new file is in place but the old one is not whole at .bak"
  else
    broken=$((broken + 1))
    fail "moment $i: the target is neither the old nor the new file ($(stat -c %s "$COMMON_DIR/$SVC" 2>/dev/null || echo missing) bytes)"
  fi
done
log "kill moments: $MOMENTS tried, staged copy at kill:$figures"
log "target afterwards: old $kept_old, new $kept_new, broken $broken (runs that ended before the kill: $finished)"
[ $((MOMENTS - finished)) -ge 10 ] || fail "only $((MOMENTS - finished)) runs were killed before they ended"
# A normal run completes the patch over whatever the kills left.
if ! cmp -s "$COMMON_DIR/$SVC" "$E2E_SCRATCH/old.bin"; then
  cp "$E2E_SCRATCH/old.bin" "$COMMON_DIR/$SVC"
fi
run_quillfix /s
cmp -s "$COMMON_DIR/$SVC" "$E2E_SCRATCH/new.bin" || fail "after the kills a normal run did not install the new file"
cmp -s "$COMMON_DIR/$SVC.bak" "$E2E_SCRATCH/old.bin" ||
  fail "after the kills the old file is not at .bak (.bak: $(stat -c %s "$COMMON_DIR/$SVC.bak" 2>/dev/null || echo missing) bytes$(cmp -s "$COMMON_DIR/$SVC.bak" "$E2E_SCRATCH/new.bin" && echo ", the new file"); folder: $(ls "$COMMON_DIR" | tr '\n' ' ')"
check_patched
rm -f "$E2E_SCRATCH/old.bin" "$E2E_SCRATCH/new.bin"

# -- what a run killed between the two renames of the swap leaves: no target, the old --
# file at ".bak", the new one whole at the staging name. A next run that fails (its new
# file missing or empty) puts ".bak" back; one that works completes the swap.
for new_file in missing empty present; do
  scenario "killed between the renames, then a run whose new file is $new_file"
  prepare
  mv "$COMMON_DIR/$SVC" "$COMMON_DIR/$SVC.bak"
  cp "$RUN_DIR/$SVC" "$STAGED"
  case $new_file in
    missing) rm -f "$RUN_DIR/$SVC" ;;
    empty) : >"$RUN_DIR/$SVC" ;;
  esac
  run_quillfix /s
  if [ "$new_file" = present ]; then
    check_file_text "$COMMON_DIR/$SVC" NEW-SERVICE
    check_file_text "$COMMON_DIR/$SVC.bak" OLD-SERVICE
    check_patched
  else
    check_failed_run
    check_missing "$COMMON_DIR/$SVC.bak"
  fi
done

# -- repeat runs: the original stays at ".bak" ------------------------------------------
# A second run finds the new program in place and does not swap; runs started at once
# wait for each other (the run mutex), and each logs its line.
scenario "two runs in a row"
prepare
run_quillfix /s
run_quillfix /s
check_file_text "$COMMON_DIR/$SVC" NEW-SERVICE
check_file_text "$COMMON_DIR/$SVC.bak" OLD-SERVICE
check_patched
check_bytes "$INSTALL_DIR/patchlog.txt" "patch log" expected_log "$SUCCESS_LINE" "$SUCCESS_LINE"

for pair in 1 2 3; do
  scenario "two runs started at once ($pair of 3)"
  prepare
  (cd "$RUN_DIR" && exec "$WINE" quillfix.exe /s >/dev/null 2>&1) &
  first=$!
  (cd "$RUN_DIR" && exec "$WINE" quillfix.exe /s >/dev/null 2>&1) &
  second=$!
  wait "$first" "$second"
  check_file_text "$COMMON_DIR/$SVC" NEW-SERVICE
  check_file_text "$COMMON_DIR/$SVC.bak" OLD-SERVICE
  check_patched
  check_bytes "$INSTALL_DIR/patchlog.txt" "patch log" expected_log "$SUCCESS_LINE" "$SUCCESS_LINE"
done

# -- runs that fail a gate at once both log: five pairs without the suite -------------
scenario "five pairs of runs failing the suite gate at once"
reset_machine
set_windows_version winxp
for pair in 1 2 3 4 5; do
  (cd "$RUN_DIR" && exec "$WINE" quillfix.exe /s >/dev/null 2>&1) &
  first=$!
  (cd "$RUN_DIR" && exec "$WINE" quillfix.exe /s >/dev/null 2>&1) &
  second=$!
  wait "$first" "$second"
done
lines=()
for run in 1 2 3 4 5 6 7 8 9 10; do lines+=("$MSG_1180 User select: 1"); done
check_bytes "$RUN_DIR/patchlog.txt" "patch log" expected_log "${lines[@]}"

# -- the run mutex's name taken by an object of another type: every run ends at once --
# (1618) with its own line and touches nothing. Wine lets any process open a mutex
# whatever its DACL, so a same-named event stands in for a name another user squats.
for args in "/s" "/uninstall /s"; do
  scenario "mutex name squatted, quillfix.exe $args"
  prepare
  start_holder --event 'Global\Zarvik-qrv_reg_monitor_svc-Update'
  # shellcheck disable=SC2086 # the arguments are words
  run_expecting 1618 $args /exitcode
  stop_holder
  check_untouched_machine
  check_bytes "$INSTALL_DIR/patchlog.txt" "patch log" expected_log "$MSG_1190 User select: 1"
done

# -- a repeat run with another build while a program an earlier run set aside is still --
# held (no delete sharing, as Windows treats a running program): that one is left for
# the restart to delete, the next free name takes the replaced patched program, which
# goes; ".bak" keeps the original.
scenario "another build over the patch's own program, an earlier one still held"
prepare
run_quillfix /s
printf 'EARLIER-PATCHED' >"$COMMON_DIR/$SVC.removed"
start_holder "$TARGET_WIN.removed"
printf 'NEWER-SERVICE' >"$RUN_DIR/$SVC"
run_quillfix /s
stop_holder
check_file_text "$COMMON_DIR/$SVC" NEWER-SERVICE
check_file_text "$COMMON_DIR/$SVC.bak" OLD-SERVICE
check_missing "$COMMON_DIR/$SVC.removed1"
pending=$("$WINE" reg query 'HKLM\System\CurrentControlSet\Control\Session Manager' /v PendingFileRenameOperations 2>/dev/null)
case $pending in
  *"$SVC.removed"*) ;;
  *) fail "the held program is not scheduled for deletion at the restart" ;;
esac
"$WINE" reg delete 'HKLM\System\CurrentControlSet\Control\Session Manager' /v PendingFileRenameOperations /f >/dev/null 2>&1
check_patched

# -- an earlier ".bak" held open without delete sharing: the old file cannot be set ----
# aside, so the new one is not installed.
scenario "earlier .bak held open"
prepare
printf 'EARLIER-BACKUP' >"$COMMON_DIR/$SVC.bak"
start_holder "$TARGET_WIN.bak"
run_quillfix /s
stop_holder
check_failed_run
check_file_text "$COMMON_DIR/$SVC.bak" EARLIER-BACKUP

# -- an earlier ".bak" marked read-only is replaced -------------------------------------
# Windows refuses to replace a read-only file (the run clears the attribute first);
# Wine replaces it regardless, so this shows the outcome, not that the clearing is
# needed.
scenario "earlier .bak read-only"
prepare
printf 'EARLIER-BACKUP' >"$COMMON_DIR/$SVC.bak"
chmod a-w "$COMMON_DIR/$SVC.bak"
run_quillfix /s
check_file_text "$COMMON_DIR/$SVC" NEW-SERVICE
check_file_text "$COMMON_DIR/$SVC.bak" OLD-SERVICE
check_patched

# -- the target is a running program ----------------------------------------------------
# Windows lets a running program be renamed but neither overwritten nor deleted; Wine
# allows all three, so this shows that the swap works while the program runs, not
# that renames alone were used.
scenario "running target"
prepare
cp "$HOLDER" "$COMMON_DIR/$SVC"
start_holder --run "$TARGET_WIN"
run_quillfix /s
stop_holder
check_file_text "$COMMON_DIR/$SVC" NEW-SERVICE
cmp -s "$COMMON_DIR/$SVC.bak" "$HOLDER" || fail "the running program is not whole at .bak"
check_patched

# -- removal while the service program runs ---------------------------------------------
# The patched program (the holder) is running: it is renamed aside and deleted, or
# scheduled for deletion at the restart; Wine deletes a running program's file at once,
# Windows would leave it aside until the restart.
scenario "removal while the service program runs"
prepare
cp "$HOLDER" "$RUN_DIR/$SVC"
run_quillfix /s
start_holder --run "$TARGET_WIN"
run_quillfix /uninstall /s
stop_holder
check_file_text "$COMMON_DIR/$SVC" OLD-SERVICE
check_missing "$COMMON_DIR/$SVC.bak"
for aside in "$COMMON_DIR/$SVC".removed*; do
  [ -e "$aside" ] && { cmp -s "$aside" "$HOLDER" || fail "$aside is not the patched program"; }
done
reg_key_exists "$SUITE_KEY\\Patch\\8103" && fail "the record is still there after the removal"
[ "$(decode_log "$INSTALL_DIR/patchlog.txt" | tail -n 1)" = "$MSG_1161 User select: 7" ] ||
  fail "the patch log does not end with the removal line"

# -- disk full while staging ------------------------------------------------------------
scenario "disk full while staging"
prepare
mnt=$E2E_SCRATCH/full
mkdir -p "$mnt"
if mount -t tmpfs -o size=4m tmpfs "$mnt" 2>/dev/null; then
  MOUNTED=$mnt
  rm -rf "$COMMON_DIR"
  ln -s "$mnt" "$COMMON_DIR"
  printf 'OLD-SERVICE' >"$COMMON_DIR/$SVC"
  head -c 8M /dev/urandom >"$RUN_DIR/$SVC"
  run_quillfix /s
  check_failed_run
  check_missing "$COMMON_DIR/$SVC.bak"
  rm -f "$COMMON_DIR"
  umount "$mnt"
  MOUNTED=
else
  log "SKIP disk full: mounting a 4 MB tmpfs was refused here (needs root)"
fi

# -- a new file of zero bytes is refused ------------------------------------------------
# The new file held by a program that shares nothing: the copy fails with a sharing
# violation, and the detailed log (/log) says which call failed, with which code.
scenario "new file held without sharing, with /log"
prepare
start_holder 'C:\patchrun\qrv_reg_monitor_svc.exe' none
run_expecting 1603 /s /exitcode /log fault.log
stop_holder
check_failed_run
for piece in "CopyFileW \"$SVC\" (11 bytes) \"$TARGET_WIN.new\" (absent): failed\" <Error: 0x00000020 = 32: " \
             'Message 1200 logged (silent), answer 1' 'Run result 1603, exit code 1603'; do
  decode_log "$RUN_DIR/fault.log" | grep -qF -- "$piece" || fail "the detailed log lacks \"$piece\""
done
decode_log "$RUN_DIR/fault.log" | grep -E 'ERROR|Run result' | sed 's/^/  /' >&2

scenario "zero-byte new file"
prepare
: >"$RUN_DIR/$SVC"
run_quillfix /s
check_failed_run
check_missing "$COMMON_DIR/$SVC.bak"

finish
