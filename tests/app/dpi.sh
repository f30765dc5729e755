#!/usr/bin/env bash
# The wizard at 96, 144 and 192 dpi: dpi_test runs once per resolution in a
# Wine prefix of its own (with its own Xvfb and wineserver), so that no other
# test ever sees a changed resolution.
#   dpi.sh DPI_TEST.EXE STATE-DIR
set -uo pipefail
test_program=$1
export ZEPHORA_WINE_STATE=$2
wine_run="$(cd "$(dirname "$0")/../.." && pwd)/scripts/wine-run"
trap '"$wine_run" --stop' EXIT
# Windows without a window manager, as in the shared prefix.
"$wine_run" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null
status=0
for dpi in 96 144 192; do
  echo "== $dpi dpi"
  # Each Wine process reads the resolution when it starts.
  "$wine_run" reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d $dpi /f >/dev/null
  ZEPHORA_EXPECT_DPI=$dpi "$wine_run" "$test_program" || status=1
done
exit $status
