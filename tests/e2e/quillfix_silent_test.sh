# quillfix.exe /s under Wine: every gate, the replacement, the record and the patch
# log, the removal (/uninstall) and the exit codes (/exitcode), each scenario from a
# reset machine in one prefix of this test's own.
source "$(dirname "$0")/quillfix_e2e_lib.sh"

make_prefix "$E2E_PREFIX"
SUCCESS_LINE="$MSG_1160 User select: 7"
TARGET_WIN='C:\Program Files\Common Files\Zarvik\qrv_reg_monitor_svc.exe'

# check_fingerprint <key>: the record's fingerprint is the SHA-256 of the target's bytes.
check_fingerprint() {
  local want got
  want="sha256:$(sha256sum <"$COMMON_DIR/$SVC" | cut -d' ' -f1)"
  got=$(reg_value "$1\\Patch\\8103" fingerprint)
  [ "$got" = "$want" ] || fail "fingerprint under $1\\Patch\\8103 is \"$got\", expected \"$want\""
}

check_patched() {
  local key=$1
  check_file_text "$COMMON_DIR/$SVC" NEW-SERVICE
  check_file_text "$COMMON_DIR/$SVC.bak" OLD-SERVICE
  [ "$(reg_value "$key\\Patch\\8103" description)" = "$DESCRIPTION" ] ||
    fail "description under $key\\Patch\\8103 is \"$(reg_value "$key\\Patch\\8103" description)\""
  [ "$(reg_value "$key\\Patch\\8103" updated)" = "$SVC" ] ||
    fail "updated under $key\\Patch\\8103 is \"$(reg_value "$key\\Patch\\8103" updated)\""
  check_fingerprint "$key"
}

# -- silent success on every supported version; the second run appends -------------
for version in winxp win2003 vista; do
  scenario "silent success on $version"
  reset_machine
  set_windows_version "$version"
  install_suite
  run_quillfix /s
  check_patched "$SUITE_KEY"
  check_bytes "$INSTALL_DIR/patchlog.txt" "first patch log" expected_log "$SUCCESS_LINE"
  check_missing "$RUN_DIR/patchlog.txt"

  # Another build of the new program replaces the patch's own: ".bak" keeps the
  # original, the fingerprint follows, and a removal brings the original back.
  scenario "second run with another build on $version"
  printf 'NEWER-SERVICE' >"$RUN_DIR/$SVC"
  run_quillfix -S
  check_file_text "$COMMON_DIR/$SVC" NEWER-SERVICE
  check_file_text "$COMMON_DIR/$SVC.bak" OLD-SERVICE
  check_missing "$COMMON_DIR/$SVC.removed"
  check_fingerprint "$SUITE_KEY"
  check_bytes "$INSTALL_DIR/patchlog.txt" "appended patch log" expected_log "$SUCCESS_LINE" "$SUCCESS_LINE"
  run_quillfix /uninstall /s
  check_file_text "$COMMON_DIR/$SVC" OLD-SERVICE
  check_missing "$COMMON_DIR/$SVC.bak"
  reg_key_exists "$SUITE_KEY\\Patch\\8103" && fail "the record is still there after the removal"
done

# -- the silent switch is a plain substring; the platform's words select it too ------
for args in "/silent" "-Silent" 'C:\data-sets' /quiet /q -PASSIVE; do
  scenario "switch '$args' is silent"
  reset_machine
  set_windows_version winxp
  install_suite
  run_quillfix "$args"
  check_file_text "$COMMON_DIR/$SVC" NEW-SERVICE
  check_bytes "$INSTALL_DIR/patchlog.txt" "patch log" expected_log "$SUCCESS_LINE"
done

# -- unsupported systems: string 1120, nothing changed -------------------------------
for version in win2k win7; do
  scenario "unsupported $version"
  reset_machine
  set_windows_version "$version"
  install_suite
  run_quillfix /s
  check_untouched_machine
  check_bytes "$INSTALL_DIR/patchlog.txt" "patch log" expected_log "$MSG_1120 User select: 1"
done

# -- neither product: 1180 in the log of the current folder --------------------------
scenario "neither product installed"
reset_machine
set_windows_version winxp
run_quillfix /s
check_untouched_machine
check_bytes "$RUN_DIR/patchlog.txt" "patch log" expected_log "$MSG_1180 User select: 1"

# -- only the backup product: replaced, no record, log in the current folder ----------
scenario "only the backup product"
reset_machine
set_windows_version vista
reg add "$RSX_KEY" /v Version /d 3.0.0.0 /f
reg add "$RSX_KEY" /v InstallPath /d 'C:\Program Files\Zarvik\Restorix\' /f
run_quillfix /s
check_file_text "$COMMON_DIR/$SVC" NEW-SERVICE
check_file_text "$COMMON_DIR/$SVC.bak" OLD-SERVICE
reg_key_exists "$RSX_KEY\\Patch" && fail "a record was written under the backup product"
reg_key_exists "$SUITE_KEY" && fail "the suite key was created"
check_bytes "$RUN_DIR/patchlog.txt" "patch log" expected_log "$SUCCESS_LINE"

# -- the legacy suite location carries the record -------------------------------------
scenario "legacy suite location"
reset_machine
set_windows_version winxp
install_suite "$LEGACY_KEY"
run_quillfix /s
check_patched "$LEGACY_KEY"
reg_key_exists "$SUITE_KEY" && fail "the current suite key was created"
check_bytes "$INSTALL_DIR/patchlog.txt" "patch log" expected_log "$SUCCESS_LINE"

# -- "InstallPath" without the trailing backslash: the log still lands inside ----------
scenario "install path without trailing backslash"
reset_machine
set_windows_version winxp
install_suite
reg add "$SUITE_KEY" /v InstallPath /d 'C:\Program Files\Zarvik\Quellant' /f
run_quillfix /s
check_patched "$SUITE_KEY"
check_bytes "$INSTALL_DIR/patchlog.txt" "patch log" expected_log "$SUCCESS_LINE"
check_missing "$DRIVE_C/Program Files/Zarvik/Quellantpatchlog.txt"

# -- the suite at major 7 needs the QLTInstall policy ---------------------------------
scenario "suite 7 without policy"
reset_machine
set_windows_version winxp
install_suite "$SUITE_KEY" 7.0.1.0
run_quillfix /s
check_untouched_machine
check_bytes "$INSTALL_DIR/patchlog.txt" "patch log" expected_log "$MSG_1180 User select: 1"

scenario "suite 7 with QLTInstall = 1"
reset_machine
set_windows_version winxp
install_suite "$SUITE_KEY" 7.0.1.0
reg add "$POLICY_KEY" /v QLTInstall /t REG_DWORD /d 1 /f
run_quillfix /s
check_patched "$SUITE_KEY"
check_bytes "$INSTALL_DIR/patchlog.txt" "patch log" expected_log "$SUCCESS_LINE"

# -- suite keys only in the 32-bit view ----------------------------------------------
scenario "suite under Wow6432Node"
reset_machine
set_windows_version winxp
install_suite "$WOW_SUITE_KEY"
run_quillfix /s
if [ "$E2E_WINEARCH" = win64 ]; then
  check_file_text "$COMMON_DIR/$SVC" NEW-SERVICE
  check_bytes "$INSTALL_DIR/patchlog.txt" "patch log" expected_log "$SUCCESS_LINE"
  # The record goes to the view the (64-bit) process gets by default: the location is
  # the key path, which the 64-bit view then receives.
  [ "$(reg_value "$SUITE_KEY\\Patch\\8103" updated)" = "$SVC" ] || fail "no record in the default view"
else
  # A 32-bit Windows has one registry view: Wow6432Node is an ordinary key name there,
  # and the second read (KEY_WOW64_64KEY, ignored) sees the same keys. Not installed.
  check_untouched_machine
  check_bytes "$RUN_DIR/patchlog.txt" "patch log" expected_log "$MSG_1180 User select: 1"
fi

# -- copy failure: the old executable stays in place ---------------------------------
scenario "copy failure"
reset_machine
set_windows_version winxp
install_suite
rm -f "$RUN_DIR/$SVC"
run_quillfix /s
check_file_text "$COMMON_DIR/$SVC" OLD-SERVICE
check_missing "$COMMON_DIR/$SVC.bak"
reg_key_exists "$SUITE_KEY\\Patch" && fail "a record was written after a failed copy"
check_bytes "$INSTALL_DIR/patchlog.txt" "patch log" expected_log \
  "$MSG_1200 User select: 1" "Failed to update file $TARGET_WIN"

scenario "copy failure over an earlier .bak"
reset_machine
set_windows_version winxp
install_suite
printf 'EARLIER-BACKUP' >"$COMMON_DIR/$SVC.bak"
rm -f "$RUN_DIR/$SVC"
run_quillfix /s
check_file_text "$COMMON_DIR/$SVC" OLD-SERVICE
# The copy fails before anything is set aside: target and earlier backup stay as
# they were.
check_file_text "$COMMON_DIR/$SVC.bak" EARLIER-BACKUP
check_missing "$COMMON_DIR/$SVC.new"

scenario "copy failure with no old file"
reset_machine
set_windows_version winxp
install_suite
rm -f "$RUN_DIR/$SVC" "$COMMON_DIR/$SVC"
run_quillfix /s
check_missing "$COMMON_DIR/$SVC"
check_missing "$COMMON_DIR/$SVC.bak"
check_bytes "$INSTALL_DIR/patchlog.txt" "patch log" expected_log \
  "$MSG_1200 User select: 1" "Failed to update file $TARGET_WIN"

# -- a German interface: same behaviour, the log in German ----------------------------
scenario "German interface"
reset_machine
set_windows_version winxp
install_suite
(cd "$RUN_DIR" && LC_ALL=de_DE.UTF-8 "$WINE" quillfix.exe /s >/dev/null 2>&1) || fail "exit code not 0"
check_patched "$SUITE_KEY"
check_bytes "$INSTALL_DIR/patchlog.txt" "German patch log" expected_log \
  "Die Installation des Patches ist abgeschlossen. Starten Sie das System neu, damit die Änderungen wirksam werden. User select: 7"

# -- removal: /uninstall puts the original back and deletes the record ---------------
scenario "install, remove, install again"
reset_machine
set_windows_version winxp
install_suite
run_quillfix /s
run_quillfix /uninstall /s
check_file_text "$COMMON_DIR/$SVC" OLD-SERVICE
check_missing "$COMMON_DIR/$SVC.bak"
check_missing "$COMMON_DIR/$SVC.removed"
reg_key_exists "$SUITE_KEY\\Patch\\8103" && fail "the record is still there after the removal"
[ "$(reg_value "$SUITE_KEY" Version)" = 6.1.0.0 ] || fail "the removal touched the suite's key"
check_bytes "$INSTALL_DIR/patchlog.txt" "patch log" expected_log "$SUCCESS_LINE" "$MSG_1161 User select: 7"
run_quillfix /s
check_patched "$SUITE_KEY"
check_bytes "$INSTALL_DIR/patchlog.txt" "patch log" expected_log "$SUCCESS_LINE" "$MSG_1161 User select: 7" \
  "$SUCCESS_LINE"

scenario "removal with nothing to restore"
reset_machine
set_windows_version winxp
install_suite
run_quillfix -UNINSTALL /s
check_untouched_machine
check_bytes "$INSTALL_DIR/patchlog.txt" "patch log" expected_log "$MSG_1171 User select: 1"

scenario "removal without the suite"
reset_machine
set_windows_version winxp
printf 'OLD-SERVICE' >"$COMMON_DIR/$SVC.bak"
run_quillfix /Uninstall /s
check_file_text "$COMMON_DIR/$SVC" OLD-SERVICE
check_file_text "$COMMON_DIR/$SVC.bak" OLD-SERVICE
check_bytes "$RUN_DIR/patchlog.txt" "patch log" expected_log "$MSG_1180 User select: 1"

# -- removal of a patched machine that changed since: only the patch's own program ---
# is replaced, only by a non-empty ".bak"; the record goes as a tree, also when a
# killed removal left it behind. Columns: case, /exitcode result, target and ".bak"
# afterwards ("-" missing, "empty"), whether the record stays, the message logged.
file_state() {
  if [ ! -e "$1" ]; then echo -; elif [ ! -s "$1" ]; then echo empty; else cat "$1"; fi
}
while read -r case code target bak record message; do
  scenario "removal: $case"
  reset_machine
  set_windows_version winxp
  install_suite
  run_quillfix /s
  fingerprint=$(reg_value "$SUITE_KEY\\Patch\\8103" fingerprint)
  case $case in
    suite-update) printf 'SUITE-V2' >"$COMMON_DIR/$SVC" ;;
    record-with-subkey) reg add "$SUITE_KEY\\Patch\\8103\\Inventory" /v Seen /d 1 /f ;;
    record-of-earlier-build) reg delete "$SUITE_KEY\\Patch\\8103" /v fingerprint /f ;;
    killed-after-swap) mv -f "$COMMON_DIR/$SVC.bak" "$COMMON_DIR/$SVC" ;;
    killed-between-renames) mv -f "$COMMON_DIR/$SVC" "$COMMON_DIR/$SVC.removed" ;;
    empty-bak) : >"$COMMON_DIR/$SVC.bak" ;;
  esac
  run_expecting "$code" /uninstall /s /exitcode
  [ "$(file_state "$COMMON_DIR/$SVC")" = "$target" ] || fail "target holds $(file_state "$COMMON_DIR/$SVC"), expected $target"
  [ "$(file_state "$COMMON_DIR/$SVC.bak")" = "$bak" ] || fail ".bak holds $(file_state "$COMMON_DIR/$SVC.bak"), expected $bak"
  if [ "$record" = kept ]; then
    [ "$(reg_value "$SUITE_KEY\\Patch\\8103" fingerprint)" = "$fingerprint" ] || fail "the record was changed"
  else
    reg_key_exists "$SUITE_KEY\\Patch\\8103" && fail "the record is still there"
  fi
  case $message in
    1161) lines=("$MSG_1161 User select: 7") ;;
    1172) lines=("$MSG_1172 User select: 1") ;;
    1201) lines=("$MSG_1201 User select: 1" "Failed to restore file $TARGET_WIN") ;;
  esac
  check_bytes "$INSTALL_DIR/patchlog.txt" "patch log" expected_log "$SUCCESS_LINE" "${lines[@]}"
done <<'ROWS'
suite-update            1642 SUITE-V2    OLD-SERVICE kept 1172
record-with-subkey      3010 OLD-SERVICE -           gone 1161
record-of-earlier-build 3010 OLD-SERVICE -           gone 1161
killed-after-swap       3010 OLD-SERVICE -           gone 1161
killed-between-renames  3010 OLD-SERVICE -           gone 1161
empty-bak               1603 NEW-SERVICE empty       kept 1201
ROWS

# -- /exitcode: Windows Installer's result codes; without it, 0 on the same paths -----
# prepare_path <path>: the machine for one row of the table below.
prepare_path() {
  reset_machine
  set_windows_version winxp
  install_suite
  case $1 in
    removed) run_quillfix /s ;;
    os-refused) set_windows_version win7 ;;
    not-installed) reg delete "$SUITE_KEY" /f ;;
    copy-failure) rm -f "$RUN_DIR/$SVC" ;;
  esac
}
# -- the command line is checked first: a word it does not know, or "/?", changes
# nothing and is answered with the switch list; words without "/" or "-" stay ignored --
SWITCHES='/s, /quiet, /q, /passive | /uninstall | /exitcode | /norestart | /restartservice | /log <file>, /log:<file>, /l*v <file> | /?, /help'
MSG_1151="Installs patch 8103 of Quellant - Password Manager from the folder that holds the new service program, or removes it with /uninstall. The switches are: $SWITCHES"
while read -r code word args; do
  scenario "command line: $args"
  prepare_path fresh
  # shellcheck disable=SC2086 # the arguments are words of the row
  run_expecting "$code" $args
  case $word in
    -) check_patched "$SUITE_KEY"
       check_bytes "$INSTALL_DIR/patchlog.txt" "patch log" expected_log "$SUCCESS_LINE" ;;
    \?) check_untouched_machine
       check_bytes "$INSTALL_DIR/patchlog.txt" "patch log" expected_log "$MSG_1151 User select: 1" ;;
    *) check_untouched_machine
       check_bytes "$INSTALL_DIR/patchlog.txt" "patch log" expected_log \
         "The switch $word is not known or lacks its value, so nothing was changed. The switches are: $SWITCHES User select: 1" ;;
  esac
done <<'ROWS'
1639 /unistall      /unistall /s /exitcode
1639 /u             /u /s /exitcode
1639 /remove        /remove /s /exitcode
1639 /x             /x /s /exitcode
1639 /uninstall:yes /uninstall:yes /s /exitcode
1639 /log           /s /exitcode /log
0    ?              /? /s /exitcode
0    ?              /s /bogus -HELP /exitcode
3010 -              remove patch now /s /exitcode
ROWS

# -- /log <file>: the run's steps beside the patch log, whose bytes stay as they were --
# check_detail_log <file> <piece>...: FF FE once at the start, every line with its time,
# process id, kind and the program's name, and each piece on some line.
check_detail_log() {
  local file=$1 piece bad
  shift
  [ "$(head -c 2 "$file" 2>/dev/null | od -An -tx1 | tr -d ' ')" = fffe ] || fail "$file does not start with FF FE"
  bad=$(decode_log "$file" | grep -cvE '^<[A-Z][a-z]{2} [A-Z][a-z]{2} [0-9]{2} [0-9:]{8} [0-9]{4}>: <pid [0-9]+> <[A-Z_]+> <quillfix> ')
  [ "$bad" = 0 ] || fail "$bad line(s) of $file are not whole log lines: $(decode_log "$file" | head -n 3)"
  for piece in "$@"; do
    decode_log "$file" | grep -qF -- "$piece" || fail "$file lacks \"$piece\""
  done
}
scenario "/log on an installation and a removal"
prepare_path fresh
run_expecting 3010 /s /exitcode /log detail.log
check_patched "$SUITE_KEY"
check_bytes "$INSTALL_DIR/patchlog.txt" "patch log" expected_log "$SUCCESS_LINE"
run_quillfix /uninstall /s /log:"C:\patchrun\detail.log"
check_detail_log "$RUN_DIR/detail.log" 'Command line: /s /exitcode /log detail.log' 'Account ' 'Windows version 5.1' \
  'Operating-system check: kind 2' 'Suite found under HKLM\Software\Zarvik\Quellant' 'Run lock taken after' \
  "CopyFileW \"$SVC\" (11 bytes)" 'ReplaceFileW' 'Record HKLM\Software\Zarvik\Quellant\Patch\8103: written' \
  'Message 1160 logged (silent), answer 7' 'Run result 3010, exit code 3010' \
  'SHDeleteKeyW HKLM "Software\Zarvik\Quellant\Patch\8103": done' 'Message 1161 logged (silent), answer 7' \
  'Run result 3010, exit code 0'

scenario "/log: two runs at once share one file"
prepare_path fresh
for _ in 1 2; do
  (cd "$RUN_DIR" && "$WINE" quillfix.exe /s /log shared.log >/dev/null 2>&1) &
done
wait
check_detail_log "$RUN_DIR/shared.log" 'Run result 3010'
[ "$(decode_log "$RUN_DIR/shared.log" | grep -c 'Run result 3010, exit code 0')" = 2 ] || fail "not both runs' last lines"
[ "$(decode_log "$RUN_DIR/shared.log" | grep -oE '<pid [0-9]+>' | sort -u | wc -l)" = 2 ] || fail "not two runs' lines"
ls "$RUN_DIR"/shared.log?* >/dev/null 2>&1 && fail "a run's own copy of the new log was left: $(ls "$RUN_DIR")"

scenario "/log: a file that cannot be opened"
prepare_path fresh
run_quillfix /s /log 'C:\no such folder\x.log'
check_patched "$SUITE_KEY"
check_bytes "$INSTALL_DIR/patchlog.txt" "patch log" expected_log \
  'The detailed log C:\no such folder\x.log could not be opened; the run went on without it.' "$SUCCESS_LINE"

while read -r path code args; do
  for switch in /exitcode ""; do
    scenario "exit code: $path${switch:+ with $switch}"
    prepare_path "$path"
    want=0
    [ -n "$switch" ] && want=$code
    # shellcheck disable=SC2086 # the arguments are words of the row
    run_expecting "$want" $args $switch
  done
done <<'ROWS'
installed          3010 /s
removed            3010 /uninstall /s
nothing-to-restore 1642 /uninstall /s
os-refused         1633 /s
not-installed      1642 /s
copy-failure       1603 /s
ROWS

finish
