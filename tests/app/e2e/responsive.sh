#!/usr/bin/env bash
# The real SETUP.EXE under Wine stays answerable while it installs from a
# slow package server and from one that falls silent: a probe polls it all
# the time with SendMessageTimeoutW(WM_NULL, SMTO_ABORTIFHUNG, 1000), which is
# how Windows tells a hung window, and reads the progress bar, which may only
# rise. Cancel and its question work during the run.
# The packages are signed with the build's throw-away package key, as the
# vendor signs them, so that the run takes the verified path.
#   responsive.sh SETUP.EXE UIDRIVER.EXE PORT WORK-DIR PACKAGE-KEY.key
set -uo pipefail
setup=$1 driver=$2 port=$3 work=$4 package_key=$5
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../../.." && pwd)
wine_run="$root/scripts/wine-run"
. "$here/drive_setup.sh"
state="$root/build/wine"
prefix="$state/prefix"
install="$prefix/drive_c/ZEPHORA"
rm -rf "$work"
mkdir -p "$work"
work=$(cd "$work" && pwd)
docroot="$work/docroot"
files="$docroot/zephora/Files"
failures=0 cases=0 server_pid=""

# A 20 MB main.zip whose one large entry is the program, stored, so that
# unpacking it writes every byte; a small upgrade.zip.
make_packages() {
  local src="$work/src"
  mkdir -p "$src/main" "$src/upgrade" "$files"
  head -c $((20 * 1024 * 1024)) /dev/urandom >"$src/main/ZEPHORA.EXE"
  echo "readme of main" >"$src/main/readme.txt"
  echo "readme of upgrade" >"$src/upgrade/readme.txt"
  (cd "$src/main" && zip -q -0 "$files/main.zip" ZEPHORA.EXE readme.txt)
  (cd "$src/upgrade" && zip -q "$files/upgrade.zip" readme.txt)
  "$root/scripts/sign-package" --key "$package_key" "$files/main.zip" "$files/upgrade.zip" >/dev/null
}

serve() {  # serve slow|silent [RATE]
  stop_server
  python3 "$here/slow_server.py" "$port" "$docroot" "$@" &
  server_pid=$!
  for _ in $(seq 50); do
    (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null && return 0
    sleep 0.1
  done
  echo "server did not start"
  return 1
}
stop_server() {
  if [ -n "$server_pid" ]; then
    kill "$server_pid" 2>/dev/null
    wait "$server_pid" 2>/dev/null
    server_pid=""
  fi
}
trap stop_server EXIT

desktop_link() {
  find "$state/home" "$prefix/drive_c/users" -name ZEPHORA.lnk 2>/dev/null | head -1
}
clean_install() {
  rm -rf "$install"
  find "$state/home" "$prefix/drive_c/users" -name ZEPHORA.lnk -delete 2>/dev/null
}

run_case() {  # run_case NAME FUNCTION
  cases=$((cases + 1))
  echo "== $1"
  if "$2"; then
    echo "   ok"
    grep '^probe' "$work/driver.log" | sed 's/^/     /'
  else
    failures=$((failures + 1))
    echo "   FAILED; driver said:"
    sed 's/^/     /' "$work/driver.log"
  fi
}

start_run=(wait-page Start click "Volgende >" wait-page Locatie click "Volgende >"
  wait-page ProxySettings click "Volgende >" wait-page InstallMain)
abort_state="page=Abort front=Finish cancel=hidden next=disabled"
no_leftovers() {
  check "no package file" test ! -e "$install/main.zip" -a ! -e "$install/upgrade.zip" &&
    check "no SETUP.INI" test ! -e "$install/SETUP.INI" &&
    check "no shortcut" test -z "$(desktop_link)" &&
    check "no temporary file" bash -c "[ -z \"\$(ls -A '$install' | grep -v -e '^ZEPHORA.EXE\$' -e '^readme.txt\$')\" ]"
}

# About 1 MB/s: the whole run answers, the bar rises to full, and a Cancel
# answered No on the way changes nothing.
case_slow_with_cancel_no() {
  clean_install
  serve slow $((1024 * 1024)) &&
    drive_setup "" "${start_run[@]}" probe bar=100 click-now "&Annuleer" \
      confirm no probe for=1000 expect-state "page=InstallMain front=Next cancel=visible next=disabled" \
      probe Einde 120000 \
      expect-state "page=Einde front=Finish cancel=hidden next=disabled" \
      click "Voltooien" wait-closed &&
    check "bar full at the end" grep -q 'probe Einde:.* bar 1000' "$work/driver.log" &&
    check "program installed" cmp -s "$work/src/main/ZEPHORA.EXE" "$install/ZEPHORA.EXE" &&
    check "upgrade installed" grep -qx "readme of upgrade" "$install/readme.txt" &&
    check "TAAL=N" grep -q "TAAL=N" "$install/SETUP.INI" &&
    check "shortcut" test -n "$(desktop_link)"
}

# Headers, then nothing: the window answers all the time, and Cancel, Yes
# reaches Abort within a second, leaving nothing behind.
case_silent_cancel_yes() {
  clean_install
  serve silent &&
    drive_setup "" "${start_run[@]}" probe for=3000 click-now "&Annuleer" confirm yes probe Abort 1000 \
      expect-state "$abort_state" click "Voltooien" wait-closed &&
    check "nothing installed" test -z "$(ls -A "$install" 2>/dev/null)" &&
    no_leftovers
}

# The close box during the run asks the same question; Yes is Cancel's Yes.
case_silent_close_box_yes() {
  clean_install
  serve silent &&
    drive_setup "" "${start_run[@]}" probe for=1000 close-box \
      expect-dialog "WAARSCHUWING" "De installatie is niet voltooid.\rBent u zeker ?" "&Yes|&No" \
      confirm yes probe Abort 1000 expect-state "$abort_state" click "Voltooien" wait-closed &&
    check "nothing installed" test -z "$(ls -A "$install" 2>/dev/null)" &&
    no_leftovers
}

# A log-off during the run is asked to wait; when it goes on all the same,
# the run stops as on Cancel's Yes.
case_silent_log_off() {
  clean_install
  serve silent &&
    drive_setup "" "${start_run[@]}" probe for=1000 end-session probe Abort 1000 \
      expect-state "$abort_state" click "Voltooien" wait-closed &&
    check "asked to wait" grep -q '^may end: no' "$work/driver.log" &&
    check "nothing installed" test -z "$(ls -A "$install" 2>/dev/null)" &&
    no_leftovers
}

# Cancel, Yes while the large entry replaces an installed program: the old
# program stays whole and no temporary file is left.
case_cancel_yes_while_unpacking() {
  clean_install
  mkdir -p "$install"
  head -c 3000000 /dev/urandom >"$work/old.exe"
  cp "$work/old.exe" "$install/ZEPHORA.EXE"
  serve slow $((1024 * 1024 * 1024)) &&
    drive_setup "" "${start_run[@]}" probe bar=285 click-now "&Annuleer" confirm yes probe Abort 5000 \
      expect-state "$abort_state" click "Voltooien" wait-closed &&
    check "old program whole" cmp -s "$work/old.exe" "$install/ZEPHORA.EXE" &&
    no_leftovers
}

make_packages
run_case "slow server, Cancel and No, then Einde" case_slow_with_cancel_no
run_case "silent server, Cancel and Yes" case_silent_cancel_yes
run_case "silent server, close box and Yes" case_silent_close_box_yes
run_case "silent server, log-off" case_silent_log_off
run_case "Cancel and Yes while unpacking over an installed program" case_cancel_yes_while_unpacking
stop_server
echo "$((cases - failures)) of $cases cases passed"
[ "$failures" -eq 0 ]
