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
echo "fetch ok"
