# A silent patch run with method tracing on writes well-formed trace lines for the
# whole run to the "TextOutput" file.
source "$(dirname "$0")/quillfix_e2e_lib.sh"

make_prefix "$E2E_PREFIX"

scenario "traced silent run"
reset_machine
set_windows_version winxp
install_suite
enable_tracing
run_quillfix /s
reg delete "$LOGS_KEY" /f

TRACE=$DRIVE_C/qrvtrace.log
if [ ! -s "$TRACE" ]; then
  fail "no trace file was written"
  finish
fi
[ "$(head -c 2 "$TRACE" | od -An -tx1 | tr -d ' ')" = "fffe" ] || fail "the trace file has no FF FE"
check_file_text "$COMMON_DIR/$SVC" NEW-SERVICE

lines=$(decode_log "$TRACE")
stamp='<[A-Z][a-z]{2} [A-Z][a-z]{2} [0-9]{2} [0-9]{2}:[0-9]{2}:[0-9]{2} [0-9]{4}>: '
kind='<(CRITICAL|EXCEPTION_BAD|EXCEPTION_OK|ERROR|WARNING|DEBUG|INFORMATION|NOTIFICATION|ENTRY|EXIT|SUCCESS|FAILURE)> '
bad=$(printf '%s\n' "$lines" | grep -Ev "^$stamp$kind<quillfix> " || true)
[ -z "$bad" ] || fail "lines that are not trace lines: $(printf '%s' "$bad" | head -n 3)"

entries=$(printf '%s\n' "$lines" | grep -c '<ENTRY> <' || true)
exits=$(printf '%s\n' "$lines" | grep -c '<EXIT> <' || true)
[ "$entries" -gt 20 ] || fail "only $entries ENTRY lines"
[ "$entries" -eq "$exits" ] || fail "$entries ENTRY lines but $exits EXIT lines"

# Every stage of the run shows up: the OS gate, the product gate, the target path and the
# record's location.
for piece in '<CQRVWindowsOSInfo::isXP>' '<CQRVProduct_QLT::isInstalled>' \
             '<CQRVProduct_QLT::getRegistryLocation>' '<CQRVWCharString::expand>' '<CQRVProduct_QLT::getInstallDirectory>'; do
  printf '%s\n' "$lines" | grep -qF "$piece" || fail "no trace line with $piece"
done
# Source pieces name the file and line, never the build machine's folders.
printf '%s\n' "$lines" | grep -F '<ENTRY> <' | grep -Evq '<[a-z_]+\.cpp, [0-9]+> $' &&
  fail "an ENTRY line without a plain source piece"

finish
