#!/usr/bin/env bash
# scripts/package as a release manager runs it, writing into this test's own folder
# (QUILLFIX_PACKAGE_DIR), for both builds at once:
#   - without a certificate: one line says the zips are unsigned, and they are;
#   - with a throwaway code-signing certificate (openssl): osslsigncode verifies both
#     programs against that certificate and refuses them against another one, and the
#     signed x86_64 program still completes a silent patch run under Wine; both carry a
#     SHA-1 signature with a nested SHA-256 one;
#   - a timestamp server that never answers: the signing gives up at its time limit and
#     leaves no password file and no zip (nor an earlier run's);
#   - both programs, signed or not, keep ASLR and DEP on (objdump -p);
#   - without a service program one line per zip says it holds none; with the x86_64
#     one (the test service's build B) that zip holds it as a third file, and its
#     signed quillfix.exe installs it and refuses any other file beside it (table).
# The build trees' programs stay unsigned (cpack signs its staged copy).
#
# scripts/package builds and packs quillfix in build trees of this test's own
# (build-release/<arch>): the trees the other tests run from are never configured,
# built or bootstrapped from here.
#   quillfix_release_test.sh <source dir> <wine-run> <work dir>
set -uo pipefail
src=$1 wrapper=$2 work=$3
mkdir -p "$work"
work=$(readlink -f "$work")
failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }

declare -A objdump=([x86_64]=x86_64-w64-mingw32-objdump [i686]=i686-w64-mingw32-objdump)
# DllCharacteristics each program must carry: ASLR (and 64-bit ASLR on x86_64), DEP.
declare -A hardening=([x86_64]="DYNAMIC_BASE HIGH_ENTROPY_VA NX_COMPAT" [i686]="DYNAMIC_BASE NX_COMPAT")

# unpack <zip folder> <arch>: the zip's quillfix.exe, extracted beside it; prints its path.
unpack() {
  local dir=$1/$2 zip
  zip=$(ls "$1"/quillfix-*-"$2".zip 2>/dev/null | head -n 1)
  [ -n "$zip" ] || { fail "no $2 zip in $1"; return 1; }
  rm -rf "$dir" && mkdir -p "$dir"
  (cd "$dir" && cmake -E tar xf "$zip")
  printf '%s\n' "$dir/quillfix.exe"
}

check_hardening() {
  local exe=$1 arch=$2 flags flag
  flags=$("${objdump[$arch]}" -p "$exe" |
    awk '/^DllCharacteristics/ { on = 1; next } on && /^[ \t]/ { print $1; next } on { exit }' | sort | tr '\n' ' ')
  echo "$arch $(basename "$(dirname "$(dirname "$exe")")"): DllCharacteristics $flags"
  for flag in ${hardening[$arch]}; do
    [[ " $flags" == *" $flag "* ]] || fail "$arch $exe lacks $flag (has: $flags)"
  done
}

# -- build trees of this test's own ---------------------------------------------------
# build-release/<arch>: a copy of the built tree build/<arch> without what only the
# tests use (prefixes, test programs), its paths moved to the copy's, configured
# without the tests; scripts/package then rebuilds quillfix there and nothing else. The
# trees the other tests run from are never configured, built or bootstrapped from
# here. Every file keeps its time (tar), a rewritten one too (touch -r), so make in the
# copy finds the library's objects up to date; the paths must move before make runs
# there, or CMake's dependency step would work on the original tree.
builds=$src/build-release
# copy_tree <built tree> <copy>
copy_tree() {
  local from=$1 to=$2 file
  rm -rf "$to" && mkdir -p "$to" &&
    tar -C "$from" --exclude=./wineprefix --exclude=./wineslots --exclude='./wineprefix.lock' \
      --exclude=./Testing --exclude=./_CPack_Packages --exclude=./tests --exclude=./examples -cf - . |
    tar -C "$to" -xf - || return 1
  grep -rlIF -- "$from" "$to" | while IFS= read -r file; do
    sed "s|$from|$to|g" "$file" >"$file.moved" && chmod --reference="$file" "$file.moved" &&
      touch -r "$file" "$file.moved" && mv "$file.moved" "$file"
  done
  cmake -S "$src" -B "$to" -DQRV_BUILD_TESTS=OFF
}
copied=$SECONDS
for arch in x86_64 i686; do
  if [ -f "$src/build/$arch/CMakeCache.txt" ]; then
    copy_tree "$(readlink -f "$src/build/$arch")" "$builds/$arch" >"$work/configure-$arch.out" 2>&1
  else
    rm -rf "$builds/$arch" &&
      cmake -S "$src" --preset "$arch" -B "$builds/$arch" -DQRV_BUILD_TESTS=OFF >"$work/configure-$arch.out" 2>&1
  fi || fail "could not make $builds/$arch: $(cat "$work/configure-$arch.out")"
done
echo "release trees copied and configured in $((SECONDS - copied)) s"
export QUILLFIX_BUILD_ROOT=$builds

# -- without a certificate ----------------------------------------------------------
unsigned=$work/unsigned
rm -rf "$unsigned"
if ! (env -u QUILLFIX_SIGN_PKCS12 QUILLFIX_PACKAGE_DIR="$unsigned" "$src/scripts/package" \
        >"$work/unsigned.out" 2>"$work/unsigned.err"); then
  cat "$work/unsigned.err" >&2
  fail "scripts/package without a certificate failed"
fi
[ "$(grep -c 'unsigned' "$work/unsigned.err")" = 1 ] ||
  fail "no single line saying the zips are unsigned:"$'\n'"$(cat "$work/unsigned.err")"
[ "$(grep -c 'package holds no service program' "$work/unsigned.err")" = 2 ] ||
  fail "not one line per zip saying it holds no service program:"$'\n'"$(cat "$work/unsigned.err")"
for arch in x86_64 i686; do
  exe=$(unpack "$unsigned" "$arch") || continue
  osslsigncode verify -in "$exe" >/dev/null 2>&1 && fail "the unsigned $arch zip holds a signed program"
  cmp -s "$exe" "$builds/$arch/patch/quillfix.exe" || fail "the unsigned $arch zip holds another program than the build's"
  check_hardening "$exe" "$arch"
done

# -- with a throwaway certificate ---------------------------------------------------
certs=$work/certs
rm -rf "$certs" && mkdir -p "$certs"
for name in release other; do
  openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj "/CN=Quillfix test signing $name" \
    -addext extendedKeyUsage=codeSigning -keyout "$certs/$name.key" -out "$certs/$name.pem" >/dev/null 2>&1 &&
  openssl pkcs12 -export -inkey "$certs/$name.key" -in "$certs/$name.pem" -out "$certs/$name.p12" \
    -passout pass:throwaway-password >/dev/null 2>&1 || fail "openssl could not make the $name certificate"
done

signed=$work/signed
rm -rf "$signed"
if ! (QUILLFIX_PACKAGE_DIR="$signed" QUILLFIX_SIGN_PKCS12="$certs/release.p12" \
      QUILLFIX_SIGN_PASSWORD=throwaway-password "$src/scripts/package" >"$work/signed.out" 2>"$work/signed.err"); then
  cat "$work/signed.err" >&2
  fail "scripts/package with a certificate failed"
fi
grep -q 'unsigned' "$work/signed.err" && fail "the signed run says the zips are unsigned"
signed_x86_64=""
for arch in x86_64 i686; do
  exe=$(unpack "$signed" "$arch") || continue
  if ! result=$(osslsigncode verify -CAfile "$certs/release.pem" -in "$exe" 2>&1); then
    fail "osslsigncode does not verify the signed $arch program:"$'\n'"$result"
  fi
  grep -q 'Quillfix test signing release' <<<"$result" || fail "the $arch signer is not the release certificate"
  # SHA-1 first (old Windows checks it), the SHA-256 one nested in it; both verify.
  grep -A2 '^Signature Index: 0' <<<"$result" | grep -qE 'digest algorithm +: SHA1 *$' || fail "the $arch primary signature is not SHA-1"
  grep -A2 '^Signature Index: 1' <<<"$result" | grep -qE 'digest algorithm +: SHA256 *$' || fail "the $arch program has no nested SHA-256 signature"
  [ "$(grep -c '^Signature verification: ok' <<<"$result")" = 2 ] || fail "the $arch program's two signatures do not both verify"
  osslsigncode verify -CAfile "$certs/other.pem" -in "$exe" >/dev/null 2>&1 &&
    fail "the signed $arch program verifies against an unrelated certificate"
  check_hardening "$exe" "$arch"
  cmp -s "$builds/$arch/patch/quillfix.exe" "$unsigned/$arch/quillfix.exe" ||
    fail "signing changed the build tree's $arch program"
  [ "$arch" = x86_64 ] && signed_x86_64=$exe
done
# A wrong password writes no zip rather than an unsigned one.
wrong=$work/wrong-password
rm -rf "$wrong"
(QUILLFIX_PACKAGE_DIR="$wrong" QUILLFIX_SIGN_PKCS12="$certs/release.p12" QUILLFIX_SIGN_PASSWORD=wrong \
   "$src/scripts/package" >/dev/null 2>&1) && fail "scripts/package succeeded with a wrong password"
ls "$wrong"/*.zip >/dev/null 2>&1 && fail "a wrong password still wrote a zip: $(ls "$wrong")"

# A signing that cannot finish: the timestamp server (this test's own listener on a
# loopback port) accepts and never answers. The run fails within the time limit, keeps
# no password file, writes no zip, and leaves none of an earlier run either.
hang=$work/hanging-timestamp
rm -rf "$hang" && mkdir -p "$hang/tmp"
: >"$hang/quillfix-8103-0.9.8103.0-i686.zip"
(exec python3 -c 'import socket
s = socket.socket(); s.bind(("127.0.0.1", 0)); s.listen(8); print(s.getsockname()[1], flush=True)
held = []
while True: held.append(s.accept()[0])' >"$hang/port") &
listener=$!
for _ in $(seq 1 100); do [ -s "$hang/port" ] && break; sleep 0.2; done
started=$SECONDS
(QUILLFIX_PACKAGE_DIR="$hang" QUILLFIX_SIGN_PKCS12="$certs/release.p12" QUILLFIX_SIGN_PASSWORD=throwaway-password \
   QUILLFIX_SIGN_TIMESTAMP_URL="http://127.0.0.1:$(head -n 1 "$hang/port")/" QUILLFIX_SIGN_TIMEOUT=5 TMPDIR="$hang/tmp" \
   "$src/scripts/package" >/dev/null 2>"$hang/err") && fail "scripts/package succeeded against a timestamp server that never answers"
took=$((SECONDS - started))
kill "$listener" 2>/dev/null
echo "hanging timestamp server: scripts/package gave up after ${took} s"
grep -q 'within 5 s' "$hang/err" || fail "the signing did not stop at its time limit:"$'\n'"$(tail -n 5 "$hang/err")"
[ "$took" -lt 200 ] || fail "scripts/package took ${took} s against a 5 s signing limit"
ls "$hang"/*.zip >/dev/null 2>&1 && fail "zips left after a failed signing: $(ls "$hang")"
[ -z "$(ls -A "$hang/tmp")" ] || fail "the password folder was left behind: $(ls -A "$hang/tmp")"
[ -z "$(find "$src/build" "$builds" -path '*_CPack_Packages*' -name password 2>/dev/null)" ] || fail "a password file was left in a build tree"

# -- a complete x86_64 package: the service program inside, its fingerprint pinned ---
# The test service's x86_64 build B is the new program; its i686 build (compiled here,
# since the i686 tree may be built without its tests) is the other architecture's.
program=${QRV_SERVICE_PROBES:?the service probes folder}/service_probe_b.exe
other=$work/service_probe_b-i686.exe
i686-w64-mingw32-g++-posix -O2 -static -municode '-DSERVICE_PROBE_BUILD="B"' "$src/tests/probes/service_probe.cpp" \
  -o "$other" -ladvapi32 || fail "could not build the i686 test service"
pinned=$work/pinned
rm -rf "$pinned"
started=$SECONDS
(QUILLFIX_PACKAGE_DIR="$pinned" QUILLFIX_SIGN_PKCS12="$certs/release.p12" QUILLFIX_SIGN_PASSWORD=throwaway-password \
   QUILLFIX_SERVICE_PROGRAM_X86_64="$program" "$src/scripts/package" >/dev/null 2>"$work/pinned.err") ||
  fail "scripts/package with a service program failed: $(cat "$work/pinned.err")"
echo "pinned package: scripts/package took $((SECONDS - started)) s"
grep -q 'the i686 package holds no service program' "$work/pinned.err" &&
  ! grep -q 'x86_64 package holds no service program' "$work/pinned.err" ||
  fail "not just the i686 zip said to hold no service program: $(cat "$work/pinned.err")"
pinned_exe=$(unpack "$pinned" x86_64)
listing=$(cmake -E tar tf "$pinned"/quillfix-*-x86_64.zip | sort)
[ "$listing" = "$(printf 'README-ADMIN.txt\nqrv_reg_monitor_svc.exe\nquillfix.exe')" ] || fail "the pinned zip lists: $listing"
cmp -s "$pinned/x86_64/qrv_reg_monitor_svc.exe" "$program" || fail "the zip's service program is not the one given"
sha256=$(sha256sum "$program" | cut -d' ' -f1)
grep -q "SHA-256  $sha256"$'\r' "$pinned/x86_64/README-ADMIN.txt" || fail "the readme does not name the program's SHA-256"
[ "$(grep -c $'\r$' "$pinned/x86_64/README-ADMIN.txt")" = "$(wc -l <"$pinned/x86_64/README-ADMIN.txt")" ] ||
  fail "the pinned readme has lines without CR LF"
osslsigncode verify -CAfile "$certs/release.pem" -in "$pinned_exe" >/dev/null 2>&1 || fail "the pinned program is not signed"

# -- the signed program still patches: a silent run in an end-to-end prefix ----------
[ "$failures" -eq 0 ] || { echo "$failures check(s) failed" >&2; exit 1; }
[ -n "$signed_x86_64" ] || exit 1
# This test's folder is the scratch folder; the prefix is made inside it.
set -- "$signed_x86_64" "$wrapper" "$work"
source "$src/tests/e2e/quillfix_e2e_lib.sh"
make_prefix "$E2E_PREFIX"
scenario "the signed program, silent run"
reset_machine
set_windows_version winxp
install_suite
run_quillfix /s
check_file_text "$COMMON_DIR/$SVC" NEW-SERVICE
check_file_text "$COMMON_DIR/$SVC.bak" OLD-SERVICE
[ "$(reg_value "$SUITE_KEY\\Patch\\8103" updated)" = "$SVC" ] || fail "no patch record"
check_bytes "$INSTALL_DIR/patchlog.txt" "patch log" expected_log "$MSG_1160 User select: 7"

# -- the pinned program: the package's service program only ---------------------------
E2E_EXE=$pinned_exe
size=$(stat -c %s "$program")
# pinned_machine [patched]: a fresh machine (with the library's log on), or one the
# pinned program has already patched; the package's service program beside it.
pinned_machine() {
  reset_machine && set_windows_version winxp && install_suite
  cp "$program" "$RUN_DIR/$SVC"
  [ -z "${1:-}" ] || run_expecting 3010 /s /exitcode
  enable_tracing
}
scenario "the pinned program installs the package's service program; /? shows the pin"
pinned_machine
run_expecting 3010 /s /exitcode
cmp -s "$COMMON_DIR/$SVC" "$program" || fail "the target is not the package's service program"
check_file_text "$COMMON_DIR/$SVC.bak" OLD-SERVICE
[ "$(reg_value "$SUITE_KEY\\Patch\\8103" fingerprint)" = "sha256:$sha256" ] || fail "the record's fingerprint"
run_quillfix /s /?
pin="$SVC sha256:$sha256, sha1:$(sha1sum "$program" | cut -d' ' -f1), $size bytes"
decode_log "$INSTALL_DIR/patchlog.txt" | grep -F "| Service program: $pin User select: 1" >/dev/null ||
  fail "the usage does not show the pin: $(decode_log "$INSTALL_DIR/patchlog.txt" | tail -n 1)"

# Another file beside the pinned program, on a fresh or an already patched machine:
# nothing changes (target, .bak, record), the copy-failure lines, 1603, and both logs
# give the expected and the found fingerprint and size.
failed_log() {
  cat "$work/log.before"
  expected_entries "$MSG_1200 User select: 1" "Failed to update file C:\\Program Files\\Common Files\\Zarvik\\$SVC"
}
head -c $((size / 2)) "$program" >"$work/truncated.exe"
cp "$program" "$work/changed.exe" && printf 'X' | dd of="$work/changed.exe" bs=1 seek=$((size / 3)) conv=notrunc 2>/dev/null
# With /log the library's records go to the detailed log instead of its own.
#     the file beside it   machine  log      what it is
rows=("$work/changed.exe   fresh    detailed one byte changed"
      "$work/truncated.exe fresh    detailed a truncated copy"
      "$other              fresh    detailed the i686 build"
      "$work/changed.exe   patched  library  one byte changed, a repeat run")
for row in "${rows[@]}"; do
  read -r file state logged label <<<"$row"
  scenario "pinned, beside it: $label ($state machine)"
  pinned_machine "$([ "$state" = patched ] && echo yes)"
  cp "$COMMON_DIR/$SVC" "$work/target.before"
  record=$(reg_value "$SUITE_KEY\\Patch\\8103" fingerprint)
  cp "$INSTALL_DIR/patchlog.txt" "$work/log.before" 2>/dev/null || printf '\377\376' >"$work/log.before"
  cp "$file" "$RUN_DIR/$SVC"
  log_file=$DRIVE_C/qrvtrace.log log_args=()
  [ "$logged" = detailed ] && log_file=$RUN_DIR/detail.log log_args=(/log detail.log)
  run_expecting 1603 /s /exitcode "${log_args[@]}"
  cmp -s "$COMMON_DIR/$SVC" "$work/target.before" || fail "the target changed"
  if [ "$state" = fresh ]; then check_untouched_machine; else check_file_text "$COMMON_DIR/$SVC.bak" OLD-SERVICE; fi
  [ "$(reg_value "$SUITE_KEY\\Patch\\8103" fingerprint)" = "$record" ] || fail "the record changed"
  check_missing "$COMMON_DIR/$SVC.new"
  check_bytes "$INSTALL_DIR/patchlog.txt" "patch log" failed_log
  line="expected sha256:$sha256, $size bytes; found sha256:$(sha256sum "$file" | cut -d' ' -f1), $(stat -c %s "$file") bytes: not the pinned program"
  [ "$logged" = library ] || decode_log "$log_file" | grep -F "Service program pin: $pin" >/dev/null ||
    fail "the detailed log does not show the pin"
  decode_log "$log_file" | grep -F "$line" >/dev/null || fail "the $logged log lacks \"$line\""
done
finish
