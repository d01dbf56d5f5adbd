# Shared helpers of the quillfix end-to-end tests. Sourced, not run; ctest starts each
# *_test.sh as: bash <script> <quillfix.exe> <wine-run wrapper> <scratch folder>.
#
# Each test runs in a Wine prefix of its own inside its scratch folder, not in the
# build's: the scenarios change the Windows version Wine reports. make_prefix copies it
# from the build's prepared template (wine-run --copy-prefix) rather than running
# wineboot, so tests run side by side, each with its own wineserver. Every scenario
# resets the suite's registry keys and files first; the test stops its wineserver when
# done. The restart test makes a further prefix, since a restart ends the prefix's
# session.

set -u

E2E_EXE=$(readlink -f "$1")
E2E_WRAPPER=$2
E2E_SCRATCH=$3
E2E_FAILURES=0
E2E_SCENARIO=""

mkdir -p "$E2E_SCRATCH"
E2E_SCRATCH=$(readlink -f "$E2E_SCRATCH")
E2E_PREFIX=$E2E_SCRATCH/prefix

export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
# The Windows the tests stand in, set by ctest for the build under test: a 64-bit
# prefix through the 64-bit loader (default), or a plain 32-bit Windows (win32). With
# wine32 installed, `wine` is the 32-bit loader and the built-in tools it starts by
# name (reg, cmd, wineboot) see the 32-bit registry view, so a 64-bit prefix is only
# ever made and checked through wine64.
E2E_WINEARCH=${QRV_WINEARCH:-win64}
WINE=${QRV_WINE:-$(command -v /usr/lib/wine/wine64 wine64 wine | head -n 1)}

SVC=qrv_reg_monitor_svc.exe
SUITE_KEY='HKLM\Software\Zarvik\Quellant'
LEGACY_KEY='HKLM\Software\Dextar Solmira\Quellara'
RSX_KEY='HKLM\Software\Zarvik\Restorix'
RSX_LEGACY_KEY='HKLM\Software\Dextar Solmira\Restorix'
WOW_SUITE_KEY='HKLM\Software\Wow6432Node\Zarvik\Quellant'
POLICY_KEY='HKLM\Software\Policies\Zarvik\QRV Common\Quellant'
LOGS_KEY='HKLM\SOFTWARE\Zarvik\Logs'
INSTALL_DIR_WIN='C:\Program Files\Zarvik\Quellant\'
DESCRIPTION='Reduce exporting action to improve the performance of registry monitor service.'

# The English texts of the string table, as the patch log carries them.
MSG_1120='This oprating system does not match requirements.'
MSG_1160='The installation of the patch has completed. Please restart system to enable changes.'
MSG_1180='Quellant - Password Manager is not installed on this computer.'
MSG_1200='An unknown exception occurred, the patch installation failed.'
MSG_1161='The removal of the patch has completed. Please restart system to enable changes.'
MSG_1171='The patch cannot be removed: there is no earlier service program to restore on this computer.'
MSG_1201='An unknown exception occurred, the patch removal failed.'
MSG_1172='The patch cannot be removed: the service program was changed after the patch was installed.'
MSG_1190='Another run of the patch did not finish within ten minutes. Nothing was changed.'

log() { printf '%s\n' "$*" >&2; }

fail() {
  log "FAIL [$E2E_SCENARIO]: $*"
  E2E_FAILURES=$((E2E_FAILURES + 1))
}

scenario() {
  E2E_SCENARIO=$1
  log "---- $1"
}

finish() {
  stop_prefix
  if [ "$E2E_FAILURES" -ne 0 ]; then
    log "$E2E_FAILURES check(s) failed"
    exit 1
  fi
  log "all checks passed"
  exit 0
}

# make_prefix <folder>: a fresh prefix, its wineserver kept running for the test. A
# copy of the build's template where that is the kind of Windows the test stands in;
# otherwise (the WOW64 test of the i686 build) a wineboot of its own.
make_prefix() {
  [ -d "$1" ] && WINEPREFIX=$1 wineserver -k >/dev/null 2>&1
  export WINEPREFIX=$1
  if [ "$E2E_WINEARCH" != "${QRV_WINEARCH:-win64}" ] || ! "$E2E_WRAPPER" --copy-prefix "$WINEPREFIX"; then
    rm -rf "$WINEPREFIX"
    mkdir -p "$(dirname "$WINEPREFIX")"
    WINEARCH=$E2E_WINEARCH "$WINE" wineboot -i >/dev/null 2>&1 || { log "wineboot failed for $WINEPREFIX"; exit 1; }
    wineserver -w
  fi
  wineserver -p >/dev/null 2>&1 || true
  DRIVE_C=$WINEPREFIX/drive_c
  COMMON_DIR=$DRIVE_C/Program\ Files/Common\ Files/Zarvik
  INSTALL_DIR=$DRIVE_C/Program\ Files/Zarvik/Quellant
  RUN_DIR=$DRIVE_C/patchrun
}

stop_prefix() {
  [ -n "${WINEPREFIX:-}" ] && wineserver -k 2>/dev/null
  return 0
}

reg() { "$WINE" reg "$@" >/dev/null 2>&1; }

# reg_value <key> <name>: the data of a REG_SZ/REG_DWORD value, empty when missing.
reg_value() {
  "$WINE" reg query "$1" /v "$2" 2>/dev/null | tr -d '\r' |
    sed -n "s/^ *$2 *REG_[A-Z_]* *//p" | head -n 1
}

reg_key_exists() { "$WINE" reg query "$1" >/dev/null 2>&1; }

set_windows_version() {
  reg add 'HKCU\Software\Wine\AppDefaults\quillfix.exe' /v Version /d "$1" /f
}

# The registry and files of a machine without the suite; the program beside a new
# service executable in C:\patchrun.
reset_machine() {
  local key
  # One regedit run deletes every key (a "-" before the key's name), where one reg
  # run per key would start Wine seven times.
  {
    printf 'REGEDIT4\r\n'
    for key in "$SUITE_KEY" 'HKLM\Software\Dextar Solmira' "$RSX_KEY" 'HKLM\Software\Wow6432Node\Zarvik' \
               'HKLM\Software\Policies\Zarvik' "$LOGS_KEY" 'HKCU\Software\Wine\AppDefaults\quillfix.exe'; do
      key=${key/#HKLM/HKEY_LOCAL_MACHINE}
      printf '\r\n[-%s]\r\n' "${key/#HKCU/HKEY_CURRENT_USER}"
    done
  } >"$DRIVE_C/e2e_reset.reg"
  "$WINE" regedit /s 'C:\e2e_reset.reg' >/dev/null 2>&1
  rm -f "$DRIVE_C/e2e_reset.reg"
  rm -rf "$COMMON_DIR" "$INSTALL_DIR" "$RUN_DIR" "$DRIVE_C/qrvtrace.log"
  mkdir -p "$COMMON_DIR" "$RUN_DIR"
  printf 'OLD-SERVICE' >"$COMMON_DIR/$SVC"
  printf 'NEW-SERVICE' >"$RUN_DIR/$SVC"
  cp "$E2E_EXE" "$RUN_DIR/quillfix.exe"
}

# install_suite [key] [version]: the suite's registry values and install folder.
install_suite() {
  local key=${1:-$SUITE_KEY} version=${2:-6.1.0.0}
  reg add "$key" /v Version /d "$version" /f
  reg add "$key" /v InstallPath /d "$INSTALL_DIR_WIN" /f
  mkdir -p "$INSTALL_DIR"
}

# enable_tracing: every record of every class, ENTRY and EXIT included, to C:\qrvtrace.log.
enable_tracing() {
  reg add "$LOGS_KEY" /v Logging /t REG_DWORD /d 1 /f
  reg add "$LOGS_KEY" /v DynamicLogging /t REG_DWORD /d 1 /f
  reg add "$LOGS_KEY" /v LogDetail /t REG_DWORD /d 0x0FFF /f
  reg add "$LOGS_KEY" /v TextOutput /d 'C:\qrvtrace.log' /f
}

# run_quillfix <arguments...>: started from C:\patchrun like a deployment script does.
run_quillfix() {
  local rc
  (cd "$RUN_DIR" && "$WINE" quillfix.exe "$@" >/dev/null 2>&1)
  rc=$?
  [ "$rc" -eq 0 ] || fail "quillfix.exe exited with $rc, expected 0"
}

# run_expecting <code> <arguments...>: the same run; its whole Windows exit code (a
# Unix shell sees only the low eight bits) read through the exit-code probe.
run_expecting() {
  local want=$1 got
  shift
  got=$(cd "$RUN_DIR" && "$WINE" "${QRV_EXIT_CODE_PROBE:?}" quillfix.exe "$@" 2>/dev/null | tr -d '\r')
  [ "$got" = "$want" ] || fail "quillfix.exe $* exited with ${got:-nothing}, expected $want"
}

# expected_log <entry>...: the bytes a fresh patch log holds after these entries
# (FF FE, then each entry in UTF-16LE with CR LF and one zero unit).
expected_log() {
  printf '\377\376'
  expected_entries "$@"
}

expected_entries() {
  local entry
  for entry in "$@"; do
    printf '%s\r\n' "$entry" | iconv -f UTF-8 -t UTF-16LE
    printf '\0\0'
  done
}

# check_bytes <file> <description> <producer...>: the file equals the producer's output.
check_bytes() {
  local file=$1 what=$2
  shift 2
  if [ ! -f "$file" ]; then
    fail "$what: $file is missing"
    return
  fi
  if ! cmp -s "$file" <("$@"); then
    fail "$what: bytes differ"
    log "  got:      $(od -An -c "$file" | tr -s ' ' | head -c 600)"
    log "  expected: $("$@" | od -An -c | tr -s ' ' | head -c 600)"
  fi
}

check_file_text() {
  local file=$1 expected=$2
  if [ ! -f "$file" ]; then
    fail "$file is missing, expected \"$expected\""
  elif [ "$(cat "$file")" != "$expected" ]; then
    fail "$file holds \"$(cat "$file")\", expected \"$expected\""
  fi
}

check_missing() { [ ! -e "$1" ] || fail "$1 exists but should not"; }

check_untouched_machine() {
  check_file_text "$COMMON_DIR/$SVC" OLD-SERVICE
  check_missing "$COMMON_DIR/$SVC.bak"
  reg_key_exists "$SUITE_KEY\\Patch" && fail "a patch record was written"
  return 0
}

# decode_log <file>: the UTF-16 patch log as UTF-8 lines (zero units and CR dropped).
decode_log() { iconv -f UTF-16LE -t UTF-8 "$1" | tr -d '\000\r' | sed '1s/^\xEF\xBB\xBF//'; }

# -- interactive runs (a display of the test's own) -------------------------------------
CAPTION='Quellant - Password Manager'

# start_display: an Xvfb display of this test's own (DISPLAY exported), stopped with the
# prefix's wineserver when the script exits. Call it before the prefix is used.
start_display() {
  Xvfb -displayfd 3 -screen 0 800x600x24 3>"$E2E_SCRATCH/display" >/dev/null 2>&1 &
  XVFB_PID=$!
  trap 'stop_prefix; kill "$XVFB_PID" 2>/dev/null' EXIT
  for _ in $(seq 1 50); do [ -s "$E2E_SCRATCH/display" ] && break; sleep 0.1; done
  [ -s "$E2E_SCRATCH/display" ] || { log "Xvfb did not start"; exit 1; }
  export DISPLAY=:$(head -n 1 "$E2E_SCRATCH/display")
}

# wait_box: the window id of the box with the product's caption, empty after 20 s.
wait_box() {
  local id="" i
  for i in $(seq 1 100); do
    id=$(xdotool search --name "^$CAPTION\$" 2>/dev/null | head -n 1)
    [ -n "$id" ] && break
    sleep 0.2
  done
  printf '%s' "$id"
}

# wait_exit: waits (30 s at most) for the exit code that a run started in the background
# wrote to <scratch>/rc, which must be 0.
wait_exit() {
  local i
  for i in $(seq 1 150); do
    [ -s "$E2E_SCRATCH/rc" ] && break
    sleep 0.2
  done
  if [ ! -s "$E2E_SCRATCH/rc" ]; then
    fail "quillfix.exe did not end"
    wineserver -k
  elif [ "$(cat "$E2E_SCRATCH/rc")" != 0 ]; then
    fail "quillfix.exe exited with $(cat "$E2E_SCRATCH/rc")"
  fi
  # A key sent to a box can outlive it in Wine's input state and answer the next
  # box at once: every run starts with a fresh wineserver.
  wineserver -k >/dev/null 2>&1
  wineserver -w >/dev/null 2>&1
  wineserver -p >/dev/null 2>&1
}
