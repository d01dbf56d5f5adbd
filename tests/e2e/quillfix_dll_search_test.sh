# Planted DLLs: a DLL of the test's own (tests/probes/planted_dll, which records every
# load in C:\planted_dll_loads.txt) copied under system DLL names into the package
# folder, or into another current folder, must never be loaded by quillfix.exe, silent
# or interactive; the run still patches and logs as always. The figures (names
# planted, names loaded) are printed for each run.
#
# Wine cannot show: the KnownDLLs list, which on Windows already keeps some of these
# names (msvcrt, shell32, ole32 ...) to the system folder, nor a name missing from the
# system folder (a DLL of a later Windows that a system DLL asks for): Windows then
# goes on to the current folder, which SetDllDirectoryW(L"") takes out. Wine has every
# name built in and searches the current folder after it, so the current-folder runs
# pass under Wine with or without the program's settings; they guard against a change
# that would put that folder first. A DLL beside the program, though, Wine takes before
# its built-in one for most names outside the core, as Windows does for names outside
# KnownDLLs: the package-folder runs show what the program's settings do.
source "$(dirname "$0")/quillfix_e2e_lib.sh"

PLANTED_DLL=${QRV_PLANTED_DLL:?QRV_PLANTED_DLL names the planted_dll probe}
SUCCESS_LINE="$MSG_1160 User select: 7"

# System DLLs an installer loads or might load, directly or through the system's own
# DLLs (shlwapi through shcore, message boxes through comctl32 and uxtheme, ...).
NAMES=(shcore shlwapi uxtheme dwmapi version cryptbase winmm imm32 comctl32 msvcrt
       userenv profapi propsys cryptsp rsaenh bcrypt secur32 sspicli wintrust crypt32
       netapi32 wtsapi32 iphlpapi dnsapi winhttp wininet urlmon oleaut32 ole32 rpcrt4
       setupapi dbghelp apphelp shell32 gdi32 advapi32 user32 kernelbase sechost combase
       ws2_32 mpr ntmarta powrprof msimg32 textshaping dwrite cfgmgr32 clbcatq
       windowscodecs msctf)

# The interactive runs need a display of their own.
start_display

make_prefix "$E2E_PREFIX"
MARKER=$DRIVE_C/planted_dll_loads.txt
OTHER_DIR=$DRIVE_C/othercwd

# Wine's background programs start with the first program a wineserver runs and
# inherit its current folder: start them from here, where nothing is planted.
"$WINE" cmd /c exit >/dev/null 2>&1

# plant <folder>: the probe under every name.
plant() {
  local name
  mkdir -p "$1"
  for name in "${NAMES[@]}"; do cp "$PLANTED_DLL" "$1/$name.dll"; done
}

# start_run <folder> <silent|interactive>: C:\patchrun\quillfix.exe started by its
# full path from <folder>, in the background; its exit code goes to <scratch>/rc.
start_run() {
  local cwd=$1 args=()
  [ "$2" = silent ] && args=(/s)
  rm -f "$E2E_SCRATCH/rc"
  (cd "$cwd" && "$WINE" 'C:\patchrun\quillfix.exe' "${args[@]}" >/dev/null 2>&1 </dev/null
   echo $? >"$E2E_SCRATCH/rc") >/dev/null 2>&1 &
}

# answer_restart_no: the restart question, answered No.
answer_restart_no() {
  local id
  id=$(wait_box)
  if [ -z "$id" ]; then
    fail "no restart question"
    return
  fi
  xdotool key --window "$id" n 2>/dev/null
}

# wait_run: the run's end; the next run starts with its background programs started
# again from a folder with nothing planted.
wait_run() {
  wait_exit
  "$WINE" cmd /c exit >/dev/null 2>&1
}

# planted_run <folder to plant in> <silent|interactive>
planted_run() {
  local where=$1 mode=$2 cwd loaded
  reset_machine
  rm -rf "$OTHER_DIR" "$MARKER"
  set_windows_version winxp
  install_suite
  cwd=$RUN_DIR
  if [ "$where" = other ]; then
    # The program copies the new service program from its current folder.
    cwd=$OTHER_DIR
    mkdir -p "$cwd" && cp "$RUN_DIR/$SVC" "$cwd/"
  fi
  plant "$cwd"
  start_run "$cwd" "$mode"
  [ "$mode" = interactive ] && answer_restart_no
  wait_run

  loaded=$(cut -f1 "$MARKER" 2>/dev/null | tr -d '\r' | sed 's/.*\\//' | sort -u | tr '\n' ' ')
  log "planted ${#NAMES[@]} names in the $where folder, $mode run: loaded ${loaded:-none}"
  [ -e "$MARKER" ] && fail "planted DLLs were loaded:"$'\n'"$(tr -d '\r' <"$MARKER")"
  check_file_text "$COMMON_DIR/$SVC" NEW-SERVICE
  [ "$(reg_value "$SUITE_KEY\\Patch\\8103" updated)" = "$SVC" ] || fail "no patch record"
  check_bytes "$INSTALL_DIR/patchlog.txt" "patch log" expected_log "$SUCCESS_LINE"
}

for where in package other; do
  for mode in silent interactive; do
    scenario "DLLs planted in the $where folder, $mode run"
    planted_run "$where" "$mode"
  done
done

# The probe itself works: loaded by its full path (rundll32) it records the load, so a
# missing marker above means the DLLs were not loaded, not that the probe is broken.
scenario "the probe records a load"
rm -f "$MARKER"
cp "$PLANTED_DLL" "$OTHER_DIR/probe_self.dll"
(cd "$OTHER_DIR" && "$WINE" rundll32 'C:\othercwd\probe_self.dll,Missing' >/dev/null 2>&1)
grep -q 'probe_self.dll' "$MARKER" 2>/dev/null || fail "the probe did not record its own load"

rm -rf "$OTHER_DIR" "$MARKER"
finish
