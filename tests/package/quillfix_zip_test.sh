#!/usr/bin/env bash
# Checks the release zips that scripts/package wrote: for each architecture the zip
# holds exactly quillfix.exe and README-ADMIN.txt, the program is the one this tree
# built for that architecture and carries the CMake version in its version block,
# and the readme has Windows line ends. Skips (77) when scripts/package has not run.
#   quillfix_zip_test.sh <package dir> <version> <patch number> <build root>
#                        <version_probe.exe> <wine-run> <work dir>
set -euo pipefail
packages=$1 version=$2 patch=$3 build_root=$4 probe=$5 wine_run=$6 work=$7
fail() { echo "FAIL: $*" >&2; exit 1; }

# PE machine field of each architecture's program.
declare -A machine=([x86_64]=8664 [i686]=014c)

for arch in x86_64 i686; do
  zip=$packages/quillfix-$patch-$version-$arch.zip
  if [ ! -f "$zip" ]; then
    echo "SKIP: $zip is missing: run scripts/package first (scripts/test does)"
    exit 77
  fi
  echo "checking $zip"
  listing=$(cmake -E tar tf "$zip" | sort)
  [ "$listing" = "$(printf 'README-ADMIN.txt\nquillfix.exe')" ] ||
    fail "$arch zip lists:"$'\n'"$listing"

  dir=$work/$arch
  rm -rf "$dir" && mkdir -p "$dir"
  (cd "$dir" && cmake -E tar xf "$zip")
  exe=$dir/quillfix.exe

  built=$build_root/$arch/patch/quillfix.exe
  if [ -f "$built" ]; then
    cmp -s "$exe" "$built" || fail "$arch zip holds another quillfix.exe than $built: run scripts/package"
  fi
  offset=$(od -An -tu4 -j60 -N4 "$exe" | tr -d ' ')
  got_machine=$(od -An -tx2 -j$((offset + 4)) -N2 "$exe" | tr -d ' ')
  [ "$got_machine" = "${machine[$arch]}" ] || fail "$arch zip holds a program for machine $got_machine"

  got=$("$wine_run" "$probe" "Z:${exe//\//\\}" | tr -d '\r') || fail "version_probe found no version block"
  want="FixedFileVersion=$version
FixedProductVersion=$version
FileVersion=$version
ProductVersion=$version"
  [ "$got" = "$want" ] || fail "$arch quillfix.exe version block:"$'\n'"$got"$'\n'"expected:"$'\n'"$want"

  readme=$dir/README-ADMIN.txt
  lf=$(tr -cd '\n' <"$readme" | wc -c)
  crlf=$(grep -c $'\r$' "$readme" || true)
  [ "$lf" -gt 0 ] && [ "$lf" = "$crlf" ] || fail "$arch readme: $crlf of $lf lines end in CR LF"
  grep -q "Quillfix $version - patch $patch" "$readme" || fail "$arch readme does not name version $version"
done
echo "PASS: both zips hold quillfix.exe $version and README-ADMIN.txt"
