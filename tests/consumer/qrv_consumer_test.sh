#!/usr/bin/env bash
# Installs this build's library into a scratch prefix, checks that exactly the
# package's files were installed, builds tests/consumer against it with the same
# toolchain, and runs the consumer under Wine.
#   qrv_consumer_test.sh <build dir> <source dir> <toolchain file> <wine-run> <work dir>
set -euo pipefail
build=$1 source=$2 toolchain=$3 wine_run=$4 work=$5
fail() { echo "FAIL: $*" >&2; exit 1; }

rm -rf "$work"
prefix=$work/prefix
cmake --install "$build" --prefix "$prefix" >/dev/null

# Public headers, the one internal header the templates need, the archive and the
# package files: no test program, no GoogleTest, no quillfix.exe, no other internal.
expected=$(
  cd "$source/qrv/include"
  for h in *.h; do echo "include/qrv/$h"; done
  echo include/qrv/internal/qrv_release.h
  echo lib/libqrv.a
  for f in qrvConfig.cmake qrvConfigVersion.cmake qrvTargets.cmake qrvTargets-CONFIG.cmake; do
    echo "lib/cmake/qrv/$f"
  done
)
# (the targets file of the build type, qrvTargets-release.cmake for the presets' Release)
installed=$(cd "$prefix" && find . -type f | sed -e 's|^\./||' -e 's|qrvTargets-[a-z]*\.cmake$|qrvTargets-CONFIG.cmake|')
diff <(sort <<<"$expected") <(sort <<<"$installed") >&2 ||
  fail "installed files differ from the package's (< expected, > installed)"

# The toolchain searches packages only below its find-root path, so name the
# package's folder, as a cross-building consumer does.
cmake -S "$source/tests/consumer" -B "$work/build" -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
      -DCMAKE_BUILD_TYPE=Release -Dqrv_DIR="$prefix/lib/cmake/qrv" >/dev/null ||
  fail "configuring the consumer against the installed package"
cmake --build "$work/build" -j 2 >"$work/build.log" 2>&1 ||
  { cat "$work/build.log" >&2; fail "building the consumer"; }

"$wine_run" "$work/build/qrv_consumer.exe" || fail "qrv_consumer.exe exited with $?"
echo "PASS: consumer built against the installed package and ran"
