# quillfix.exe with its boxes on a virtual X display, answered with xdotool: the
# caption and buttons of each box, the answers in the patch log, screenshots of the
# restart question after an installation and after a removal (/uninstall) in English,
# German and Japanese (kept under <scratch>/screenshots),
# and a Yes that starts the restart (in a prefix of its own: Wine ends the prefix's
# session when asked to restart).
source "$(dirname "$0")/quillfix_e2e_lib.sh"

MSG_1161_DE='Die Deinstallation des Patches ist abgeschlossen. Starten Sie das System neu, damit die Änderungen wirksam werden.'
MSG_1161_JA='パッチのアンインストールが完了しました。変更を有効にするには、システムを再起動してください。'
SHOTS=$E2E_SCRATCH/screenshots
mkdir -p "$SHOTS"
rm -f "$SHOTS"/*.png

# A display of our own; Wine's desktop process must see it from the start.
start_display

make_prefix "$E2E_PREFIX"

# start_quillfix <LC_ALL value> <desktop|plain> [arguments]: runs in the background.
# The desktop form draws the caption bar, which the screenshots need.
DESKTOP_RUNS=0
start_quillfix() {
  local locale=$1 mode=$2
  shift 2
  rm -f "$E2E_SCRATCH/rc"
  if [ "$mode" = desktop ]; then
    # A desktop of its own per run (the installation and the removal in one language
    # too): a desktop that is still closing is not reused.
    DESKTOP_RUNS=$((DESKTOP_RUNS + 1))
    (cd "$RUN_DIR" && LC_ALL=$locale "$WINE" explorer "/desktop=quillfix-$DESKTOP_RUNS,640x480" quillfix.exe "$@" \
       >/dev/null 2>&1 </dev/null; echo $? >"$E2E_SCRATCH/rc") >/dev/null 2>&1 &
  else
    (cd "$RUN_DIR" && LC_ALL=$locale "$WINE" quillfix.exe "$@" \
       >/dev/null 2>&1 </dev/null; echo $? >"$E2E_SCRATCH/rc") >/dev/null 2>&1 &
  fi
}

box_open() { [ -n "$(xdotool search --name "^$CAPTION\$" 2>/dev/null)" ]; }

# press <window> <key>: the key, then a wait (0.7 s at most) for the box to close; a key
# that does not close it has had that long to act.
press() {
  xdotool key --window "$1" "$2" 2>/dev/null
  for _ in $(seq 1 14); do
    xdotool getwindowname "$1" >/dev/null 2>&1 || return 0
    sleep 0.05
  done
}

# An OK box: the letters of Yes and No do nothing, Return presses OK.
answer_ok_box() {
  local id
  id=$(wait_box)
  if [ -z "$id" ]; then
    fail "no box captioned \"$CAPTION\""
    return
  fi
  press "$id" y
  press "$id" n
  box_open || fail "the box closed on Y or N: it has more than an OK button"
  press "$id" Return
}

# restart_question <LC_ALL> <screenshot name> <expected log line> [remove]: answered
# No. With "remove" the patch is first installed silently and the run removes it
# (/uninstall): its question is the removal's.
restart_question() {
  local locale=$1 shot=$2 line=$3 mode=${4:-install} id
  local earlier=()
  reset_machine
  set_windows_version winxp
  install_suite
  if [ "$mode" = remove ]; then
    run_quillfix /s
    earlier=("$MSG_1160 User select: 7")
    start_quillfix "$locale" desktop /uninstall
  else
    start_quillfix "$locale" desktop
  fi
  id=$(wait_box)
  if [ -z "$id" ]; then
    fail "no restart question; windows: $(xdotool search --name . getwindowname %@ 2>/dev/null | sort -u | tr '\n' '|')"
  else
    sleep 1
    import -window root "$SHOTS/$shot" 2>/dev/null || fail "screenshot $shot failed"
    press "$id" n
  fi
  wait_exit
  if [ "$mode" = remove ]; then
    check_file_text "$COMMON_DIR/$SVC" OLD-SERVICE
    check_missing "$COMMON_DIR/$SVC.bak"
    reg_key_exists "$SUITE_KEY\\Patch\\8103" && fail "the record is still there after the removal"
  else
    check_file_text "$COMMON_DIR/$SVC" NEW-SERVICE
    [ "$(reg_value "$SUITE_KEY\\Patch\\8103" updated)" = "$SVC" ] || fail "no patch record"
  fi
  check_bytes "$INSTALL_DIR/patchlog.txt" "patch log" expected_log "${earlier[@]}" "$line"
}

scenario "restart question in English, answered No"
restart_question en_US.UTF-8 restart_en.png "$MSG_1160 User select: 7"
scenario "removal question in English, answered No"
restart_question en_US.UTF-8 removal_en.png "$MSG_1161 User select: 7" remove

scenario "restart question in German, answered No"
restart_question de_DE.UTF-8 restart_de.png \
  "Die Installation des Patches ist abgeschlossen. Starten Sie das System neu, damit die Änderungen wirksam werden. User select: 7"
scenario "removal question in German, answered No"
restart_question de_DE.UTF-8 removal_de.png "$MSG_1161_DE User select: 7" remove

scenario "restart question in Japanese, answered No"
# Wine's dialog fonts have no Japanese glyphs; the CJK font of the host stands in.
for font in "Tahoma" "MS Shell Dlg" "MS Shell Dlg 2" "MS UI Gothic"; do
  reg add 'HKCU\Software\Wine\Fonts\Replacements' /v "$font" /d "Noto Sans CJK JP" /f
done
restart_question ja_JP.UTF-8 restart_ja.png \
  "パッチのインストールが完了しました。変更を有効にするには、システムを再起動してください。 User select: 7"
scenario "removal question in Japanese, answered No"
restart_question ja_JP.UTF-8 removal_ja.png "$MSG_1161_JA User select: 7" remove
reg delete 'HKCU\Software\Wine\Fonts\Replacements' /f

scenario "unsupported system: OK box"
reset_machine
set_windows_version win7
install_suite
start_quillfix en_US.UTF-8 plain
answer_ok_box
wait_exit
check_untouched_machine
check_bytes "$INSTALL_DIR/patchlog.txt" "patch log" expected_log "$MSG_1120 User select: 1"

scenario "suite not installed: OK box"
reset_machine
set_windows_version vista
start_quillfix en_US.UTF-8 plain
answer_ok_box
wait_exit
check_untouched_machine
check_bytes "$RUN_DIR/patchlog.txt" "patch log" expected_log "$MSG_1180 User select: 1"

scenario "copy failure: OK box, no restart question"
reset_machine
set_windows_version winxp
install_suite
rm -f "$RUN_DIR/$SVC"
start_quillfix en_US.UTF-8 plain
answer_ok_box
wait_exit
check_file_text "$COMMON_DIR/$SVC" OLD-SERVICE
check_bytes "$INSTALL_DIR/patchlog.txt" "patch log" expected_log \
  "$MSG_1200 User select: 1" 'Failed to update file C:\Program Files\Common Files\Zarvik\qrv_reg_monitor_svc.exe'

# -- a run that meets one waiting at its restart question: the files and the record ---
# are final by then, so the second run does not wait for the answer.
scenario "silent run while another waits at its restart question"
reset_machine
set_windows_version winxp
install_suite
start_quillfix en_US.UTF-8 plain
id=$(wait_box)
if [ -z "$id" ]; then
  fail "no restart question"
else
  got=$(cd "$RUN_DIR" && timeout 60 "$WINE" "${QRV_EXIT_CODE_PROBE:?}" quillfix.exe /s /exitcode 2>/dev/null | tr -d '\r')
  [ "$got" = 3010 ] || fail "the silent run gave ${got:-nothing within a minute}, expected 3010"
  press "$id" n
fi
wait_exit
check_file_text "$COMMON_DIR/$SVC" NEW-SERVICE
check_file_text "$COMMON_DIR/$SVC.bak" OLD-SERVICE
check_bytes "$INSTALL_DIR/patchlog.txt" "patch log" expected_log "$MSG_1160 User select: 7" "$MSG_1160 User select: 7"

scenario "/norestart: the completion text with an OK button, logged as No"
reset_machine
set_windows_version winxp
install_suite
start_quillfix en_US.UTF-8 plain /norestart
answer_ok_box
wait_exit
check_file_text "$COMMON_DIR/$SVC" NEW-SERVICE
check_bytes "$INSTALL_DIR/patchlog.txt" "patch log" expected_log "$MSG_1160 User select: 7"

for shot in restart_en.png restart_de.png restart_ja.png removal_en.png removal_de.png removal_ja.png; do
  [ -s "$SHOTS/$shot" ] || fail "screenshot $shot missing"
done

# -- Yes restarts: its own prefix, traced so the restart request can be seen ----------
scenario "restart question answered Yes"
stop_prefix
make_prefix "$E2E_SCRATCH/reboot-prefix"
reset_machine
set_windows_version winxp
install_suite
enable_tracing
start_quillfix en_US.UTF-8 plain
id=$(wait_box)
if [ -z "$id" ]; then
  fail "no restart question"
else
  press "$id" y
fi
wait_exit
check_bytes "$INSTALL_DIR/patchlog.txt" "patch log" expected_log "$MSG_1160 User select: 6"
trace=$(decode_log "$DRIVE_C/qrvtrace.log" 2>/dev/null)
printf '%s\n' "$trace" | grep -q '<EXIT> <quillfix> <CQRVWinReboot::doReboot> <Passed>' ||
  fail "doReboot did not report a started restart"
[ "$(printf '%s\n' "$trace" | grep -c '<EXIT> <quillfix> <CQRVWinReboot::setShutdownPrivilege> <Passed>')" -eq 2 ] ||
  fail "the privilege was not enabled and disabled again"
# Wine restarts the prefix's session rather than the host; a fresh wineboot clears it.
stop_prefix
wineserver -w
rm -rf "$E2E_SCRATCH/reboot-prefix"

log "screenshots: $SHOTS"
finish
