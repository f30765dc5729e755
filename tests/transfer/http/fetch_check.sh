#!/usr/bin/env bash
# Runs tools/fetch against the loopback peers: a package through the proxy,
# over HTTP and over TLS, must arrive whole, a missing one must print the
# status line and exit 1, a refused connection its two-line message with the
# system's line ends.
#   fetch_check.sh PEERS_DIR FETCH [EMULATOR]
set -euo pipefail
dir=$1
fetch=$2
emulator=${3:-}
read -r nginx_port proxy_port <"$dir/ports"
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
target() { if [ -n "$emulator" ]; then echo "Z:${1//\//\\}"; else echo "$1"; fi; }

$emulator "$fetch" --proxy "127.0.0.1:$proxy_port" \
  "http://127.0.0.1:$nginx_port/zephora/Files/main.zip" "$(target "$out/main.zip")"
cmp "$out/main.zip" "$dir/www/zephora/Files/main.zip"

read -r tls_port _ <"$dir/tls-ports"
$emulator "$fetch" --cacert "$(target "$dir/certs/ca.pem")" --proxy "127.0.0.1:$proxy_port" \
  "https://localhost:$tls_port/zephora/Files/upgrade.zip" "$(target "$out/upgrade.zip")"
cmp "$out/upgrade.zip" "$dir/www/zephora/Files/upgrade.zip"

status=0
message=$($emulator "$fetch" "http://127.0.0.1:$nginx_port/zephora/Files/none.zip" \
  "$(target "$out/none.zip")" 2>&1) || status=$?
[ "$status" = 1 ] || { echo "exit status $status, expected 1" >&2; exit 1; }
[ "$(printf '%s' "$message" | tr -d '\r')" = "HTTP/1.1 404 Not Found" ] ||
  { echo "unexpected message: $message" >&2; exit 1; }

message=$($emulator "$fetch" --proxy "127.0.0.1:65536" "http://127.0.0.1:$nginx_port/x" \
  "$(target "$out/x")" 2>&1) || status=$?
[ "$(printf '%s' "$message" | tr -d '\r')" = "Invalid proxy port: 65536" ] ||
  { echo "unexpected message: $message" >&2; exit 1; }
# A message of two lines ends each line as the console expects, once.
eol=$'\n'
[ -n "$emulator" ] && eol=$'\r\n'
closed=$(python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
$emulator "$fetch" "http://127.0.0.1:$closed/x" "$(target "$out/x")" 2>"$out/message" || true
printf 'Socket Error # 10061%sConnection refused.%s' "$eol" "$eol" >"$out/expected"
cmp "$out/message" "$out/expected" ||
  { echo "unexpected message bytes:" >&2; od -c "$out/message" >&2; exit 1; }
# The progress line goes to a terminal only: a log gets nothing.
$emulator "$fetch" "http://127.0.0.1:$nginx_port/zephora/Files/main.zip" \
  "$(target "$out/quiet.zip")" 2>"$out/quiet.log"
[ ! -s "$out/quiet.log" ] || { echo "progress written to a log:" >&2; cat "$out/quiet.log" >&2; exit 1; }
if [ -z "$emulator" ]; then
  # Natively only: a Linux terminal and SIGINT do not reach a program under
  # Wine as a console and Ctrl+C would.
  script -qec "$fetch http://127.0.0.1:$nginx_port/zephora/Files/main.zip $out/shown.zip" \
    /dev/null >"$out/terminal.log"
  grep -q 'bytes (100%)' "$out/terminal.log" ||
    { echo "no progress line on a terminal" >&2; exit 1; }
  # A server that sends the head of its reply and then nothing: Ctrl+C
  # stops the download, deletes its file and exits 130.
  silent=$(mktemp "$out/silent.XXXX")
  python3 - "$silent" <<'PY' &
import socket, sys, time
s = socket.socket()
s.bind(("127.0.0.1", 0))
s.listen(1)
open(sys.argv[1], "w").write(str(s.getsockname()[1]))
c, _ = s.accept()
c.recv(65536)
c.sendall(b"HTTP/1.1 200 OK\r\nContent-Length: 1000\r\n\r\n")
c.recv(1)  # until the client goes away
PY
  server=$!
  for _ in $(seq 50); do [ -s "$silent" ] && break; sleep 0.1; done
  "$fetch" "http://127.0.0.1:$(cat "$silent")/zephora/Files/main.zip" "$out/stopped.zip" &
  client=$!
  for _ in $(seq 50); do [ -e "$out/stopped.zip" ] && break; sleep 0.1; done
  sleep 0.5
  kill -INT "$client"
  status=0
  wait "$client" || status=$?
  wait "$server" || true
  [ "$status" = 130 ] || { echo "exit status $status after Ctrl+C, expected 130" >&2; exit 1; }
  [ ! -e "$out/stopped.zip" ] || { echo "the stopped download left its file" >&2; exit 1; }
fi

# With package keys: a package signed by a carried key arrives whole, one
# signed by another key leaves no file and says why. The keys are made here
# and thrown away with $out.
minisign -G -W -p "$out/vendor.pub" -s "$out/vendor.key" >/dev/null
minisign -G -W -p "$out/other.pub" -s "$out/other.key" >/dev/null
files="$dir/www/zephora/Files"
trap 'rm -rf "$out"; rm -f "$files/main.zip.minisig" "$files/upgrade.zip.minisig"' EXIT
sign() {  # sign KEY PACKAGE
  minisign -S -s "$out/$1.key" -m "$files/$2" -x "$files/$2.minisig" \
    -t "$(printf 'timestamp:0\tfile:%s\tsize:%s' "$2" "$(stat -c %s "$files/$2")")" >/dev/null
}
sign vendor main.zip
sign other upgrade.zip
$emulator "$fetch" --package-key "$(target "$out/vendor.pub")" \
  "http://127.0.0.1:$nginx_port/zephora/Files/main.zip" "$(target "$out/signed.zip")"
cmp "$out/signed.zip" "$files/main.zip"
status=0
message=$($emulator "$fetch" --package-key "$(target "$out/vendor.pub")" \
  "http://127.0.0.1:$nginx_port/zephora/Files/upgrade.zip" "$(target "$out/refused.zip")" 2>&1) ||
  status=$?
[ "$status" = 1 ] || { echo "exit status $status, expected 1" >&2; exit 1; }
[ "$(printf '%s' "$message" | tr -d '\r')" = "The package upgrade.zip is signed with an unknown key." ] ||
  { echo "unexpected message: $message" >&2; exit 1; }
[ ! -e "$out/refused.zip" ] || { echo "a refused package was left" >&2; exit 1; }
# Either of two carried keys.
$emulator "$fetch" --package-key "$(target "$out/vendor.pub")" --package-key "$(target "$out/other.pub")" \
  "http://127.0.0.1:$nginx_port/zephora/Files/upgrade.zip" "$(target "$out/either.zip")"
cmp "$out/either.zip" "$files/upgrade.zip"
echo "fetch ok"
