# The i686 quillfix.exe /s on 64-bit Windows, where it runs as a WOW64 process: its
# HKLM\Software is Software\Wow6432Node and its %commonprogramfiles% is
# "C:\Program Files (x86)\Common Files". Registered for the i686 build only; a 64-bit
# prefix of this test's own, set up and checked in the 64-bit view through wine64.
source "$(dirname "$0")/quillfix_e2e_lib.sh"

E2E_WINEARCH=win64
WINE=$(command -v /usr/lib/wine/wine64 wine64 | head -n 1)
make_prefix "$E2E_PREFIX"
COMMON32_DIR=$DRIVE_C/Program\ Files\ \(x86\)/Common\ Files/Zarvik
TARGET32_WIN='C:\Program Files (x86)\Common Files\Zarvik\qrv_reg_monitor_svc.exe'
SUCCESS_LINE="$MSG_1160 User select: 7"

# reset_wow64: reset_machine (the 64-bit suite folder holds an old service), plus a
# 32-bit suite's service folder holding one when given "with-x86-service".
reset_wow64() {
  reset_machine
  rm -rf "$COMMON32_DIR"
  if [ "${1:-}" = with-x86-service ]; then
    mkdir -p "$COMMON32_DIR"
    printf 'OLD-SERVICE-32' >"$COMMON32_DIR/$SVC"
  fi
  set_windows_version winxp
}

check_record() {
  local key=$1
  [ "$(reg_value "$key\\Patch\\8103" description)" = "$DESCRIPTION" ] ||
    fail "description under $key\\Patch\\8103 is \"$(reg_value "$key\\Patch\\8103" description)\""
  [ "$(reg_value "$key\\Patch\\8103" updated)" = "$SVC" ] ||
    fail "updated under $key\\Patch\\8103 is \"$(reg_value "$key\\Patch\\8103" updated)\""
}

check_64bit_service_untouched() {
  check_file_text "$COMMON_DIR/$SVC" OLD-SERVICE
  check_missing "$COMMON_DIR/$SVC.bak"
}

# -- a 32-bit suite: keys in the 32-bit view, service in the (x86) folder --------------
scenario "32-bit suite patched"
reset_wow64 with-x86-service
install_suite "$WOW_SUITE_KEY"
run_quillfix /s
check_file_text "$COMMON32_DIR/$SVC" NEW-SERVICE
check_file_text "$COMMON32_DIR/$SVC.bak" OLD-SERVICE-32
check_64bit_service_untouched
check_record "$WOW_SUITE_KEY"
reg_key_exists "$SUITE_KEY" && fail "the 64-bit view got a suite key"
check_bytes "$INSTALL_DIR/patchlog.txt" "patch log" expected_log "$SUCCESS_LINE"

scenario "32-bit suite, copy failure"
reset_wow64 with-x86-service
install_suite "$WOW_SUITE_KEY"
rm -f "$RUN_DIR/$SVC"
run_quillfix /s
check_file_text "$COMMON32_DIR/$SVC" OLD-SERVICE-32
check_missing "$COMMON32_DIR/$SVC.bak"
reg_key_exists "$WOW_SUITE_KEY\\Patch" && fail "a record was written after a failed copy"
check_bytes "$INSTALL_DIR/patchlog.txt" "patch log" expected_log \
  "$MSG_1200 User select: 1" "Failed to update file $TARGET32_WIN"

# -- the suite's keys only in the 64-bit view ----------------------------------------
# The 32-bit process misses them in its own view; its second read, with
# KEY_WOW64_64KEY, finds them (without that read: string 1180, log in C:\patchrun).
# The install path is the 64-bit suite's, so the log lands there. The target is still
# the process's own %commonprogramfiles%: the (x86) folder, not the 64-bit suite's
# service. With no such folder the copy fails and nothing is changed but the log.
scenario "64-bit suite: found, target in the (x86) folder missing"
reset_wow64
install_suite "$SUITE_KEY"
run_quillfix /s
check_64bit_service_untouched
check_missing "$COMMON32_DIR"
reg_key_exists "$SUITE_KEY\\Patch" && fail "a record was written in the 64-bit view"
reg_key_exists "$WOW_SUITE_KEY" && fail "a record was written in the 32-bit view"
check_missing "$RUN_DIR/patchlog.txt"
check_bytes "$INSTALL_DIR/patchlog.txt" "patch log" expected_log \
  "$MSG_1200 User select: 1" "Failed to update file $TARGET32_WIN"

# Where the (x86) folder holds a service, that file is replaced, and the record (the
# 64-bit key path, written without a view flag) lands in the process's own view:
# Software\Wow6432Node\Zarvik\Quellant\Patch\8103, beside no suite key of its own.
scenario "64-bit suite: found, (x86) service replaced, record in Wow6432Node"
reset_wow64 with-x86-service
install_suite "$SUITE_KEY"
run_quillfix /s
check_file_text "$COMMON32_DIR/$SVC" NEW-SERVICE
check_file_text "$COMMON32_DIR/$SVC.bak" OLD-SERVICE-32
check_64bit_service_untouched
check_record "$WOW_SUITE_KEY"
[ -z "$(reg_value "$WOW_SUITE_KEY" Version)" ] || fail "the 32-bit view got the suite's values"
reg_key_exists "$SUITE_KEY\\Patch" && fail "a record was written in the 64-bit view"
check_bytes "$INSTALL_DIR/patchlog.txt" "patch log" expected_log "$SUCCESS_LINE"

finish
