#!/usr/bin/env bash
# Starts (or stops) the real HTTP peers of the tests on loopback, on free
# ports: the package server (nginx with keep-alive, tinyproxy in front), its
# TLS servers with certificates of a throw-away authority, and the TLS peer
# that cuts bodies short. Everything lives in DIR: configurations, logs,
# certs/ (ca.pem is the authority to trust), the served tree below www/,
# "ports" with "NGINX PROXY" and "tls-ports" with the TLS servers' ports:
# "GOOD OTHER-HOST EXPIRED SELF-SIGNED TLS1.0 CUT-OFF ASKS-CLIENT LISTED
# REVOKED UNLISTED" (tinyproxy tunnels to GOOD only; ASKS-CLIENT asks for a
# client certificate and does without one; the certificates of the last
# three name a revocation list: the authority's, served by nginx at
# /crl/ca.crl, which names REVOKED's, or for UNLISTED one at a port where
# nothing answers).
#   peers.sh start DIR [PACKAGE_BYTES]   |   peers.sh stop DIR
set -euo pipefail
action=$1
dir=$2
size=${3:-3000000}
scripts="$(cd "$(dirname "$0")/../../.." && pwd)/scripts"
here=$(cd "$(dirname "$0")" && pwd)

stop_tls_peer() {
  if [ -f "$dir/tls-peer.pid" ]; then
    kill "$(cat "$dir/tls-peer.pid")" 2>/dev/null || true
    rm -f "$dir/tls-peer.pid"
  fi
}

if [ "$action" = stop ]; then
  "$scripts/package-server" stop "$dir"
  stop_tls_peer
  exit 0
fi

mkdir -p "$dir/www/zephora/Files"
if [ ! -f "$dir/www/zephora/Files/main.zip" ] || [ "$(stat -c %s "$dir/www/zephora/Files/main.zip")" != "$size" ]; then
  head -c "$size" /dev/urandom >"$dir/www/zephora/Files/main.zip"
fi
head -c 70001 /dev/urandom >"$dir/www/zephora/Files/upgrade.zip"

# Free loopback ports, chosen by the kernel; nothing listens on the last.
read -r nginx_port proxy_port good other expired self_signed old asks_client listed revoked \
  unlisted silent < <(python3 -c '
import socket
s = [socket.socket() for _ in range(12)]
for x in s: x.bind(("127.0.0.1", 0))
print(*[x.getsockname()[1] for x in s])')

rm -rf "$dir/certs"
"$scripts/throwaway-ca" "$dir/certs" "http://127.0.0.1:$nginx_port/crl/ca.crl" \
  "http://127.0.0.1:$silent/crl/ca.crl"
mkdir -p "$dir/www/crl"
cp "$dir/certs/ca.crl" "$dir/www/crl/ca.crl"

tls() { echo "$1:$dir/certs/$2.pem:$dir/certs/$2.key${3+:$3}${4:+:$4}"; }
"$scripts/package-server" start "$dir" "$dir/www" "$nginx_port" "$proxy_port" \
  "$(tls "$good" localhost)" "$(tls "$other" other-host)" "$(tls "$expired" expired)" \
  "$(tls "$self_signed" self-signed)" "$(tls "$old" localhost TLSv1)" \
  "$(tls "$asks_client" localhost "" "$dir/certs/ca.pem")" "$(tls "$listed" listed)" \
  "$(tls "$revoked" revoked)" "$(tls "$unlisted" unlisted)"

stop_tls_peer
rm -f "$dir/tls-peer.port"
python3 "$here/tls_peer.py" "$dir/tls-peer.port" "$dir/certs/localhost.pem" \
  "$dir/certs/localhost.key" </dev/null >/dev/null 2>&1 &
echo $! >"$dir/tls-peer.pid"
for _ in $(seq 100); do [ -s "$dir/tls-peer.port" ] && break; sleep 0.1; done
[ -s "$dir/tls-peer.port" ] || { echo "peers.sh: the TLS peer did not come up" >&2; exit 1; }

echo "$nginx_port $proxy_port" >"$dir/ports"
echo "$good $other $expired $self_signed $old $(cat "$dir/tls-peer.port") $asks_client" \
  "$listed $revoked $unlisted" >"$dir/tls-ports"
