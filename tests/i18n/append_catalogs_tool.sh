#!/usr/bin/env bash
# append-catalogs appends one block to an executable and refuses a second,
# which the reader would never see behind the first.
#   append_catalogs_tool.sh APPEND-CATALOGS CATALOG.mo WORK-DIR
set -uo pipefail
tool=$1 catalog=$2 work=$3
rm -rf "$work" && mkdir -p "$work"
exe="$work/SETUP.EXE"
head -c 5000 /dev/zero | tr '\0' 'M' >"$exe"
entry='locale\nl\LC_MESSAGES\default.mo'
failures=0
expect() {  # expect DESCRIPTION COMMAND...
  if ! "${@:2}"; then
    echo "not as expected: $1"
    failures=$((failures + 1))
  fi
}

"$tool" "$exe" "$entry=$catalog"
expect "first block appended" [ $? = 0 ]
size=$(stat -c %s "$exe")
expect "catalog's bytes in the block" [ "$size" -gt $((5000 + $(stat -c %s "$catalog"))) ]
expect "the path of its entry in the block" grep -aqF "$entry" "$exe"

"$tool" "$exe" "$entry=$catalog" 2>"$work/stderr"
expect "second block refused" [ $? = 1 ]
expect "the refusal says why" grep -q "already holds a catalog marker" "$work/stderr"
expect "file unchanged by the refusal" [ "$(stat -c %s "$exe")" = "$size" ]

"$tool" "$exe" "no-equals-sign" 2>/dev/null
expect "an argument without = is a usage error" [ $? = 2 ]
"$tool" "$work/other.exe" "$entry=$work/missing.mo" 2>/dev/null
expect "a missing catalog fails" [ $? = 1 ]
[ $failures = 0 ]
