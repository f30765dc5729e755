#!/usr/bin/env bash
# End-to-end runs of the real SETUP.EXE under Wine, driven by uidriver as a
# user would, against nginx (and tinyproxy) on loopback: the development
# build for plain HTTP, and the one for HTTPS, which trusts only the
# throw-away authority that this script puts beside it as ca.pem. Both
# carry the build's throw-away package key, whose secret half signs every
# package served (unless a case serves signatures of its own).
#   e2e.sh SETUP.EXE UIDRIVER.EXE HTTP-PORT PROXY-PORT WORK-DIR HTTPS-SETUP.EXE HTTPS-PORT
#          HOLD_FILE.EXE PACKAGE-KEY.key
# ZEPHORA_E2E_ONLY, when set, is a pattern (bash's =~) of the case functions
# to run, for instance 'case_keys' while working on those.
set -uo pipefail
setup=$1 driver=$2 port=$3 proxy_port=$4 work=$5 https_setup=$6 https_port=$7 hold_file=$8
package_key=$9
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../../.." && pwd)
wine_run="$root/scripts/wine-run"
. "$here/drive_setup.sh"
server="$root/scripts/package-server"
state="$root/build/wine"
prefix="$state/prefix"
install="$prefix/drive_c/ZEPHORA"
rm -rf "$work"
mkdir -p "$work"
work=$(cd "$work" && pwd)
docroot="$work/docroot"
files="$docroot/zephora/Files"
failures=0 cases=0

# --- packages, made by zip ----------------------------------------------
make_packages() {
  local src="$work/src"
  rm -rf "$src" && mkdir -p "$src/main/docs" "$src/upgrade" "$files"
  cp "$here/../../../build/windows/tools/zephora-demo/ZEPHORA.EXE" "$src/main/" 2>/dev/null ||
    printf 'MZ demo' >"$src/main/ZEPHORA.EXE"
  echo "readme of main" >"$src/main/readme.txt"
  echo "data of main" >"$src/main/docs/data.txt"
  printf '[OTHER]\nKEY=kept\n' >"$src/main/SETUP.INI"
  echo "readme of upgrade" >"$src/upgrade/readme.txt"
  (cd "$src/main" && zip -q -r "$work/main.zip" .)
  (cd "$src/upgrade" && zip -q -r "$work/upgrade.zip" .)
}
serve_packages() {
  rm -rf "$files" && mkdir -p "$files"
  cp "$work/main.zip" "$work/upgrade.zip" "$files/"
}
# Signs what is served as it stands, as the vendor would (with the key
# the builds carry beside it, when $next_key is set).
sign_served() {
  local package key=$package_key
  [ -n "${next_key:-}" ] && key=${package_key%.key}-next.key
  for package in "$files"/*.zip; do
    [ -e "$package" ] && "$root/scripts/sign-package" --key "$key" "$package" >/dev/null
  done
}

desktop_link() {
  find "$state/home" "$prefix/drive_c/users" -name ZEPHORA.lnk 2>/dev/null | head -1
}
clean_install() {
  rm -rf "$install" "$work/d-drive/ZEPHORA"
  find "$state/home" "$prefix/drive_c/users" -name ZEPHORA.lnk -delete 2>/dev/null
}

# Runs SETUP.EXE and the driver with the given steps (drive_setup), with
# the packages served signed unless a case serves signatures of its own; in
# language "C" unless $user_locale names the user's locale.
drive() {
  [ -n "${own_signatures:-}" ] || sign_served
  drive_setup "${user_locale:-}" "$@"
}

run_case() {  # run_case NAME FUNCTION
  [[ -z "${ZEPHORA_E2E_ONLY:-}" || $2 =~ $ZEPHORA_E2E_ONLY ]] || return 0
  cases=$((cases + 1))
  echo "== $1"
  clean_install
  serve_packages
  if "$2"; then
    echo "   ok"
  else
    failures=$((failures + 1))
    echo "   FAILED; driver said:"
    sed 's/^/     /' "$work/driver.log"
  fi
}

next_to_proxy_page=(wait-page Start click "Volgende >"
  wait-page Locatie click "Volgende >" wait-page ProxySettings)
abort_state="page=Abort front=Finish cancel=hidden next=disabled"

installed_both() {
  check "main's program" test -f "$install/ZEPHORA.EXE" &&
    check "upgrade replaced readme" grep -qx "readme of upgrade" "$install/readme.txt" &&
    check "stored folders dropped" test -f "$install/data.txt" &&
    check "packages deleted" test ! -e "$install/main.zip" -a ! -e "$install/upgrade.zip" &&
    check "TAAL=N" grep -q "TAAL=N" "$install/SETUP.INI" &&
    check "other sections kept" grep -q "KEY=kept" "$install/SETUP.INI"
}
shortcut_to() {  # shortcut_to TARGET
  local link
  link=$(desktop_link)
  check "shortcut on the desktop" test -n "$link" &&
    check "shortcut target $1" grep -aq "$1" "$link" &&
    check "link header" bash -c "head -c 4 '$link' | od -An -tx1 | grep -q '4c 00 00 00'"
}
nothing_written() {
  check "no TAAL in SETUP.INI" bash -c "! grep -qs TAAL '$install/SETUP.INI'" &&
    check "no shortcut" test -z "$(desktop_link)"
}

case_direct() {
  drive "${next_to_proxy_page[@]}" click "Volgende >" wait-page Einde \
    expect-state "page=Einde front=Finish cancel=hidden next=disabled" \
    click "Voltooien" wait-closed &&
    installed_both && shortcut_to 'C:\\ZEPHORA\\ZEPHORA.EXE'
}
case_again() {
  case_direct && case_direct_over_existing
}
case_direct_over_existing() {
  echo "stale" >"$install/readme.txt"
  drive "${next_to_proxy_page[@]}" click "Volgende >" wait-page Einde \
    click "Voltooien" wait-closed && installed_both
}
case_proxy() {
  : >"$work/server/tinyproxy.log"
  drive "${next_to_proxy_page[@]}" tick "Een proxyserver gebruiken" type "Adres" "127.0.0.1" \
    type "Poort" "$proxy_port" click "Volgende >" wait-page Einde \
    click "Voltooien" wait-closed &&
    installed_both && check "went through the proxy" grep -q "main.zip" "$work/server/tinyproxy.log"
}
case_first_404() {
  rm -f "$files/main.zip"
  drive "${next_to_proxy_page[@]}" click "Volgende >" error "HTTP/1.1 404 Not Found" \
    expect-state "$abort_state" click "Voltooien" wait-closed &&
    nothing_written && check "nothing unpacked" test ! -e "$install/readme.txt"
}
case_second_fails() {
  rm -f "$files/upgrade.zip"
  drive "${next_to_proxy_page[@]}" click "Volgende >" error "HTTP/1.1 404 Not Found" \
    expect-state "$abort_state" click "Voltooien" wait-closed &&
    check "main stays unpacked" grep -qx "readme of main" "$install/readme.txt" && nothing_written
}
case_nothing_listening() {
  "$server" stop "$work/server"
  drive "${next_to_proxy_page[@]}" click "Volgende >" \
    error 'Socket Error # 10061\r\nConnection refused.' expect-state "$abort_state" \
    click "Voltooien" wait-closed
  local rc=$?
  start_server "$certs/localhost"
  [ $rc = 0 ] && nothing_written
}
case_no_such_host() {
  drive "${next_to_proxy_page[@]}" tick "Een proxyserver gebruiken" \
    type "Adres" "nohost.zephora.invalid" type "Poort" "3128" click "Volgende >" \
    error 'Socket Error # 11001\r\nHost not found.' expect-state "$abort_state" &&
    nothing_written
}
case_proxy_port_zero() {
  drive "${next_to_proxy_page[@]}" tick "Een proxyserver gebruiken" type "Adres" "127.0.0.1" \
    type "Poort" "0" click "Volgende >" error "Invalid proxy port: 0" expect-state "$abort_state" &&
    nothing_written
}
# A package whose entries carry names no Windows file may have: the error
# box counts them as the user's language says one file and two files.
case_failing_entries_in_languages() {
  local src="$work/failing" nbsp=$'\xc2\xa0' user_locale count
  local -A expected=(
    [nl_BE:1]='Kan 1 bestand niet uitpakken: CON'
    [nl_BE:2]='Kan 2 bestanden niet uitpakken: CON, nul.txt'
    [fr_BE:1]="Impossible d’extraire 1 fichier${nbsp}: CON"
    [fr_BE:2]="Impossible d’extraire 2 fichiers${nbsp}: CON, nul.txt"
  )
  for count in 1 2; do
    rm -rf "$src" && mkdir -p "$src"
    echo "readme of main" >"$src/readme.txt"
    echo "device" >"$src/CON"
    echo "device" >"$src/nul.txt"
    local entries=(readme.txt CON nul.txt)
    rm -f "$files/main.zip"
    (cd "$src" && zip -q "$files/main.zip" "${entries[@]:0:count+1}")
    for user_locale in nl_BE fr_BE; do
      clean_install
      drive "${next_to_proxy_page[@]}" click "Volgende >" \
        error "${expected[$user_locale:$count]}" expect-state "$abort_state" \
        click "Voltooien" wait-closed || return 1
      check "the good entry unpacked" grep -qx "readme of main" "$install/readme.txt" &&
        check "package kept" test -f "$install/main.zip" && nothing_written || return 1
    done
  done
}
case_https_direct() {
  local setup=$https_setup
  case_direct
}
case_https_proxy() {
  local setup=$https_setup
  : >"$work/server/tinyproxy.log"
  drive "${next_to_proxy_page[@]}" tick "Een proxyserver gebruiken" type "Adres" "127.0.0.1" \
    type "Poort" "$proxy_port" click "Volgende >" wait-page Einde \
    click "Voltooien" wait-closed &&
    installed_both &&
    check "tunnelled by the proxy" grep -q "CONNECT localhost:$https_port" "$work/server/tinyproxy.log"
}
case_https_untrusted() {
  local setup=$https_setup
  start_server "$certs/self-signed"
  drive "${next_to_proxy_page[@]}" click "Volgende >" \
    error "The server's certificate is not trusted. (0x00000020)" expect-state "$abort_state" \
    click "Voltooien" wait-closed
  local rc=$?
  start_server "$certs/localhost"
  [ $rc = 0 ] && nothing_written && check "nothing downloaded" test ! -s "$install/main.zip"
}
case_html_package() {
  printf '<html><body>Not a package</body></html>\n' >"$files/main.zip"
  drive "${next_to_proxy_page[@]}" click "Volgende >" error "Unhandled Archive Type" \
    expect-state "$abort_state" &&
    check "package kept" test -f "$install/main.zip" && nothing_written
}
case_drive_d() {
  drive wait-page Start click "Volgende >" wait-page Locatie \
    drive "D" click "Volgende >" wait-page ProxySettings click "Volgende >" \
    wait-page Einde click "Voltooien" wait-closed
  local rc=$?
  [ $rc = 0 ] && install="$work/d-drive/ZEPHORA" installed_both &&
    shortcut_to 'D:\\ZEPHORA\\ZEPHORA.EXE' && check "nothing on C" test ! -e "$install"
}
case_missing_desktop_value() {
  local key='HKCU\Software\Microsoft\Windows\CurrentVersion\Explorer\Shell Folders'
  "$wine_run" reg delete "$key" /v Desktop /f >/dev/null 2>&1
  case_direct
  local rc=$?
  check "no shortcut at the drive root" test ! -e "$prefix/drive_c/ZEPHORA.lnk" && [ $rc = 0 ]
}
# An earlier program in the install folder, which the package replaces.
old_program() {
  mkdir -p "$install"
  printf 'OLD-VERSION' >"$install/ZEPHORA.EXE"
}
kept_old_program() {
  check "old program kept" grep -qx "OLD-VERSION" "$install/ZEPHORA.EXE" &&
    check "main's other files installed" grep -qx "readme of main" "$install/readme.txt" &&
    check "main.zip kept" cmp -s "$install/main.zip" "$files/main.zip" && nothing_written
}
program_not_replaced=(error "Could not extract 1 file: ZEPHORA.EXE" expect-state "$abort_state"
  click "Voltooien" wait-closed)

case_readonly_program() {
  old_program
  chmod 444 "$install/ZEPHORA.EXE"
  drive "${next_to_proxy_page[@]}" click "Volgende >" "${program_not_replaced[@]}"
  local rc=$?
  [ $rc = 0 ] && kept_old_program
}

# Another program holds the installed program open without sharing its
# deletion (hold_file), and lets go as its arguments say.
hold_program() {  # hold_program RELEASE...
  rm -f "$work/held" "$work/release"
  "$wine_run" "$hold_file" 'C:\ZEPHORA\ZEPHORA.EXE' "$@" ready "Z:$work/held" \
    >"$work/hold.log" 2>&1 &
  hold_pid=$!
  for _ in $(seq 600); do [ -e "$work/held" ] && return 0; sleep 0.1; done
  echo "  the program was not held"
  return 1
}
case_held_program() {
  old_program
  hold_program until "Z:$work/release" || return 1
  drive "${next_to_proxy_page[@]}" click "Volgende >" "${program_not_replaced[@]}"
  local rc=$?
  touch "$work/release"
  wait $hold_pid
  [ $rc = 0 ] && kept_old_program
}
case_held_briefly() {
  old_program
  # A fifth of a second after the new program's data appears beside it,
  # well within the waits.
  hold_program after '~zph*.tmp' 200 || return 1
  case_direct
  local rc=$?
  wait $hold_pid
  [ $rc = 0 ] && check "program replaced" cmp -s "$install/ZEPHORA.EXE" "$work/src/main/ZEPHORA.EXE"
}
# A virus scanner reads the installed program sharing reading, writing and
# deletion: the rename that would replace it is refused all the same, and
# the entry waits for the scanner as for any brief hold.
case_held_by_scanner() {
  old_program
  hold_program share rwd after '~zph*.tmp' 200 || return 1
  case_direct
  local rc=$?
  wait $hold_pid
  [ $rc = 0 ] && check "program replaced" cmp -s "$install/ZEPHORA.EXE" "$work/src/main/ZEPHORA.EXE"
}

# The shell writes "Shell Folders" anew from "User Shell Folders" when a
# program starts (the old key is kept up to date for programs like this
# one), so both name the folder that does not exist, and both are put back.
case_desktop_missing() {
  # No "\n" or "\r" in it, which the driver reads as line breaks.
  local missing='C:\users\missing-desktop'
  "$wine_run" reg add "$user_shell_folders" /v Desktop /t REG_EXPAND_SZ /d "$missing" /f \
    >/dev/null 2>&1
  "$wine_run" reg add "$shell_folders" /v Desktop /d "$missing" /f >/dev/null 2>&1
  # Wine's words for the system's error.
  drive "${next_to_proxy_page[@]}" click "Volgende >" \
    error "Cannot create the shortcut \"$missing\\ZEPHORA.lnk\". Path not found" \
    expect-state "$abort_state" click "Voltooien" wait-closed
  local rc=$?
  put_back_value "$user_shell_folders" REG_EXPAND_SZ "$user_desktop_value"
  put_back_value "$shell_folders" REG_SZ "$desktop_value"
  [ $rc = 0 ] && installed_both && check "no shortcut" test -z "$(desktop_link)" &&
    check "no desktop folder made" test ! -e "$prefix/drive_c/users/missing-desktop"
}
desktop_value_of() {  # desktop_value_of KEY
  "$wine_run" reg query "$1" /v Desktop 2>/dev/null | tr -d '\r' |
    sed -n 's/^ *Desktop *REG_[A-Z_]* *//p'
}
put_back_value() {  # put_back_value KEY TYPE VALUE (none when empty)
  if [ -n "$3" ]; then
    "$wine_run" reg add "$1" /v Desktop /t "$2" /d "$3" /f >/dev/null 2>&1
  else
    "$wine_run" reg delete "$1" /v Desktop /f >/dev/null 2>&1
  fi
}

# The packages' signatures: each failure leaves the installed program as it
# was, no package file and nothing written.
signature_refused() {  # signature_refused MESSAGE
  drive "${next_to_proxy_page[@]}" click "Volgende >" error "$1" \
    expect-state "$abort_state" click "Voltooien" wait-closed &&
    check "old program kept" grep -qx "OLD-VERSION" "$install/ZEPHORA.EXE" &&
    check "nothing unpacked" test ! -e "$install/readme.txt" &&
    check "no package left" test ! -e "$install/main.zip" -a ! -e "$install/upgrade.zip" &&
    nothing_written
}
case_signed_with_next_key() {
  local next_key=1
  case_direct
}
case_package_altered() {
  local own_signatures=1
  old_program
  sign_served
  # One byte of the signed package changed on the server.
  printf 'X' | dd of="$files/main.zip" bs=1 seek=100 conv=notrunc status=none
  signature_refused "The package main.zip was changed after it was signed."
}
case_package_altered_in_dutch() {
  local own_signatures=1 user_locale=nl_BE
  old_program
  sign_served
  printf 'X' | dd of="$files/main.zip" bs=1 seek=100 conv=notrunc status=none
  signature_refused "Het pakket main.zip werd gewijzigd nadat het ondertekend werd."
}
case_signature_missing() {
  local own_signatures=1
  old_program
  sign_served
  rm -f "$files/main.zip.minisig"
  : >"$work/server/access.log"
  signature_refused "HTTP/1.1 404 Not Found" &&
    check "package not asked for" bash -c "! grep -q 'GET /zephora/Files/main.zip HTTP' '$work/server/access.log'"
}
case_signatures_swapped() {
  local own_signatures=1
  old_program
  sign_served
  mv "$files/main.zip.minisig" "$work/swap" && mv "$files/upgrade.zip.minisig" "$files/main.zip.minisig" &&
    mv "$work/swap" "$files/upgrade.zip.minisig"
  signature_refused "The signature of the package main.zip is for another file."
}
case_second_signature_swapped() {
  # upgrade.zip carries main.zip's signature: main.zip is installed, the
  # run stops before upgrade.zip touches anything.
  local own_signatures=1
  sign_served
  cp "$files/main.zip.minisig" "$files/upgrade.zip.minisig"
  drive "${next_to_proxy_page[@]}" click "Volgende >" \
    error "The signature of the package upgrade.zip is for another file." \
    expect-state "$abort_state" click "Voltooien" wait-closed &&
    check "main installed" grep -qx "readme of main" "$install/readme.txt" &&
    check "no package left" test ! -e "$install/main.zip" -a ! -e "$install/upgrade.zip" &&
    nothing_written
}

case_cancel_everywhere() {
  local page steps=()
  for page in 1 2 3; do
    steps=(wait-page Start)
    [ $page -ge 2 ] && steps+=(click "Volgende >" wait-page Locatie)
    [ $page -ge 3 ] && steps+=(click "Volgende >" wait-page ProxySettings)
    drive "${steps[@]}" click "&Annuleer" confirm escape state click "&Annuleer" confirm no \
      click "&Annuleer" confirm yes \
      expect-state "page=Abort front=Finish cancel=hidden next=enabled" \
      click "Volgende >" \
      expect-state "page=Abort front=Finish cancel=hidden next=enabled" \
      click "Voltooien" wait-closed || return 1
    grep -q 'confirm \[WAARSCHUWING\]: De installatie is niet voltooid.\\rBent u zeker ?' \
      "$work/driver.log" || return 1
  done
  nothing_written
}

# A whole installation with the keyboard alone: each page puts the focus on
# its first control (or on the front button), Enter presses Next, then
# Finish; Space ticks the proxy check box and Tab runs through the fields.
case_keys_only() {
  : >"$work/server/tinyproxy.log"
  drive wait-page Start expect-focus "Volgende >" key Enter \
    wait-page Locatie key Enter \
    wait-page ProxySettings expect-focus "Een proxyserver gebruiken" key Space \
    key Tab key 127.0.0.1 key Tab key "$proxy_port" key Enter \
    wait-page Einde expect-state "page=Einde front=Finish cancel=hidden next=disabled" \
    expect-focus Voltooien key Enter wait-closed &&
    installed_both && check "went through the proxy" grep -q "main.zip" "$work/server/tinyproxy.log"
}
# Esc asks Cancel's question; in it Esc answers No, Enter Yes.
case_keys_cancel() {
  drive wait-page Start key Tab expect-focus "&Annuleer" key Tab expect-focus "Volgende >" \
    key Esc expect-dialog WAARSCHUWING 'De installatie is niet voltooid.\rBent u zeker ?' '&Yes|&No' \
    key Esc expect-state "page=Start front=Next cancel=visible next=enabled" \
    key Enter wait-page Locatie key Esc expect-dialog WAARSCHUWING \
    'De installatie is niet voltooid.\rBent u zeker ?' '&Yes|&No' key Enter \
    expect-state "page=Abort front=Finish cancel=hidden next=enabled" key Esc \
    expect-state "page=Abort front=Finish cancel=hidden next=enabled" \
    expect-focus Voltooien key Enter wait-closed && nothing_written
}

# Drive D: is a folder of ours. Wine's mount manager reads the drives when
# it starts, so Wine starts afresh after the link is made.
mkdir -p "$work/d-drive"
ln -sfn "$work/d-drive" "$prefix/dosdevices/d:"
"$wine_run" --stop

# The HTTPS server's certificate comes from a throw-away authority, which
# the HTTPS build trusts through the ca.pem beside it.
certs="$work/certs"
"$root/scripts/throwaway-ca" "$certs" || exit 1
cp "$certs/ca.pem" "$(dirname "$https_setup")/ca.pem"
start_server() {  # start_server CERT-BASE
  "$server" start "$work/server" "$docroot" "$port" "$proxy_port" "$https_port:$1.pem:$1.key"
}

make_packages
serve_packages
start_server "$certs/localhost" || exit 1
explorer='HKCU\Software\Microsoft\Windows\CurrentVersion\Explorer'
shell_folders="$explorer\Shell Folders" user_shell_folders="$explorer\User Shell Folders"
desktop_value=$(desktop_value_of "$shell_folders")
user_desktop_value=$(desktop_value_of "$user_shell_folders")
trap '"$server" stop "$work/server"; rm -f "$prefix/dosdevices/d:"' EXIT

run_case "success, direct" case_direct
run_case "a second installation over the first" case_again
run_case "success through the proxy" case_proxy
run_case "success over HTTPS" case_https_direct
run_case "success over HTTPS through the proxy" case_https_proxy
run_case "HTTPS server's certificate not trusted" case_https_untrusted
run_case "first download answered 404" case_first_404
run_case "second download fails after main.zip unpacked" case_second_fails
run_case "nothing listening" case_nothing_listening
run_case "host does not resolve" case_no_such_host
run_case "proxy port 0" case_proxy_port_zero
run_case "package is an HTML page" case_html_package
run_case "entries that cannot be unpacked, in Dutch and French" case_failing_entries_in_languages
run_case "drive D" case_drive_d
run_case "installed program is read-only" case_readonly_program
run_case "installed program held by another program" case_held_program
run_case "installed program held for a moment" case_held_briefly
run_case "installed program read by a scanner for a moment" case_held_by_scanner
run_case "Desktop value names a folder that does not exist" case_desktop_missing
run_case "missing Desktop value" case_missing_desktop_value
run_case "Cancel on every page that shows it" case_cancel_everywhere
run_case "a whole installation with the keyboard alone" case_keys_only
run_case "Esc asks Cancel's question, which the keyboard answers" case_keys_cancel
run_case "packages signed with the second key the build carries" case_signed_with_next_key
run_case "main.zip altered on the server" case_package_altered
run_case "main.zip altered on the server, in Dutch" case_package_altered_in_dutch
run_case "main.zip's signature missing" case_signature_missing
run_case "the two signatures swapped" case_signatures_swapped
run_case "upgrade.zip served with main.zip's signature" case_second_signature_swapped

echo "$((cases - failures)) passed, $failures failed"
[ $failures = 0 ]
