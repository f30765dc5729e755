#!/usr/bin/env bash
# SETUP.EXE and the support tools import only KnownDLLs; scripts/check-imports
# says so, and refuses programs that import anything else, which two probes
# built here do: comctl32 among them, manifest or not, since the DLLs it
# imports are searched for beside the program.
#   imports.sh CC OBJDUMP WORK-DIR EXE...
set -uo pipefail
cc=$1 objdump=$2 work=$3
shift 3
check="$(cd "$(dirname "$0")/../.." && pwd)/scripts/check-imports"
rm -rf "$work" && mkdir -p "$work"
status=0

echo "== the executables"
"$check" "$@" --objdump "$objdump" || status=1

# Subsystem version 6.0: with an older one Windows gives the window the frame
# metrics of old Windows versions, which do not follow a change of resolution.
echo "== subsystem version"
for exe in "$@"; do
  version=$("$objdump" -p "$exe" |
    awk '$1 == "MajorSubsystemVersion" { major = $2 } $1 == "MinorSubsystemVersion" { minor = $2 }
         END { print major "." minor }')
  echo "  $exe: $version"
  [ "$version" = "6.0" ] || { echo "  expected 6.0"; status=1; }
done

expect_refused() {
  local name=$1 source=$2 library=$3
  printf '%s\n' "$source" >"$work/$name.c"
  "$cc" -o "$work/$name.exe" "$work/$name.c" "-l$library" || { status=1; return; }
  echo "== $name: refused"
  if "$check" "$work/$name.exe" --objdump "$objdump" >"$work/$name.log" 2>&1; then
    echo "   check-imports passed it:"
    sed 's/^/   /' "$work/$name.log"
    status=1
  else
    grep -F "imports DLLs that Windows looks for beside it first" "$work/$name.log" ||
      status=1
  fi
}
expect_refused version '#include <windows.h>
int main(void) { return (int)GetFileVersionInfoSizeW(L"x", NULL); }' version
expect_refused comctl32 '#include <windows.h>
#include <commctrl.h>
int main(void) { InitCommonControls(); return 0; }' comctl32
exit $status
