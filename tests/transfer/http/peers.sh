#!/usr/bin/env bash
# Starts (or stops) the real HTTP peers of the tests on loopback: the package
# server (nginx with keep-alive and tinyproxy in front) on two free ports.
# Everything lives in DIR: configurations, logs, the served tree below www/,
# and "ports" with the two port numbers ("NGINX PROXY").
#   peers.sh start DIR [PACKAGE_BYTES]   |   peers.sh stop DIR
set -euo pipefail
action=$1
dir=$2
size=${3:-3000000}
server="$(cd "$(dirname "$0")/../../.." && pwd)/scripts/package-server"

if [ "$action" = stop ]; then
  "$server" stop "$dir"
  exit 0
fi

mkdir -p "$dir/www/zephora/Files"
if [ ! -f "$dir/www/zephora/Files/main.zip" ] || [ "$(stat -c %s "$dir/www/zephora/Files/main.zip")" != "$size" ]; then
  head -c "$size" /dev/urandom >"$dir/www/zephora/Files/main.zip"
fi
head -c 70001 /dev/urandom >"$dir/www/zephora/Files/upgrade.zip"

# Two free loopback ports, chosen by the kernel.
read -r nginx_port proxy_port < <(python3 -c '
import socket
s = [socket.socket() for _ in range(2)]
for x in s: x.bind(("127.0.0.1", 0))
print(*[x.getsockname()[1] for x in s])')

"$server" start "$dir" "$dir/www" "$nginx_port" "$proxy_port"
echo "$nginx_port $proxy_port" >"$dir/ports"
