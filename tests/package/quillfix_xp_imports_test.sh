# quillfix.exe must start on Windows XP. It is built with Vista's headers and Wine
# exports every later function, so a call XP lacks would pass every other test and
# only fail on an XP machine, where the loader refuses the whole program. This compares
# the program's imports (objdump -p) with quillfix_xp_imports.txt, the reviewed list of
# functions XP has.
# Usage: bash quillfix_xp_imports_test.sh <quillfix.exe> <list> <objdump>
set -u
EXE=$1 LIST=$2 OBJDUMP=$3

# "<dll in lower case> <function>" for every import by name; imports by ordinal show
# as "<none>" and are listed the same way.
imports=$("$OBJDUMP" -p "$EXE" | awk '
  /^The Import Tables/ { inside = 1; next }
  /^The |^PE File/ { inside = 0 }
  inside && /^\tDLL Name:/ { dll = tolower($3); next }
  inside && dll != "" && /^\t[0-9a-f]+\t +[0-9]+ +[^ ]/ { print dll, $3 }' | sort -u)
if [ -z "$imports" ]; then
  echo "FAIL: no imports read from $EXE"
  exit 1
fi
reviewed=$(grep -v '^#' "$LIST" | awk 'NF { print tolower($1), $2 }' | sort -u)

missing=$(comm -23 <(printf '%s\n' "$imports") <(printf '%s\n' "$reviewed"))
if [ -n "$missing" ]; then
  echo "FAIL: $EXE imports functions that are not on the reviewed list of what Windows XP has:"
  printf '%s\n' "$missing" | sed 's/^/  /'
  echo "Check each against XP SP2 (and XP x64 for the 64-bit build); look it up at run time"
  echo "(GetProcAddress) if XP lacks it, otherwise add it to $LIST."
  exit 1
fi
echo "$(printf '%s\n' "$imports" | wc -l) imports of $(basename "$EXE"), all on the reviewed list"
