#!/usr/bin/env bash
# Starts (or stops) the real HTTP peers of the tests on loopback: nginx
# serving package files with keep-alive, and tinyproxy in front of it.
# Everything lives in DIR: configurations, logs, pid files, the served tree,
# and "ports" with the two port numbers ("NGINX PROXY").
#   peers.sh start DIR [PACKAGE_BYTES]   |   peers.sh stop DIR
set -euo pipefail
action=$1
dir=$2
size=${3:-3000000}

stop() {
  for name in nginx tinyproxy; do
    if [ -f "$dir/$name.pid" ]; then
      pid=$(cat "$dir/$name.pid")
      kill "$pid" 2>/dev/null || true
      for _ in $(seq 50); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
      rm -f "$dir/$name.pid"
    fi
  done
}

if [ "$action" = stop ]; then
  stop
  exit 0
fi

stop
mkdir -p "$dir/www/zephora/Files" "$dir/tmp"
rm -f "$dir"/*.log
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

user_line=""
if [ "$(id -u)" = 0 ]; then user_line="user $(id -un) $(id -gn);"; fi
cat >"$dir/nginx.conf" <<CONF
$user_line
daemon on;
worker_processes 1;
pid $dir/nginx.pid;
error_log $dir/nginx-error.log;
events { worker_connections 64; }
http {
  log_format peer '\$connection \$connection_requests "\$request" "\$http_cookie" \$status';
  access_log $dir/access.log peer;
  client_body_temp_path $dir/tmp/body;
  proxy_temp_path $dir/tmp/proxy;
  keepalive_timeout 60;
  keepalive_requests 1000;
  sendfile on;
  default_type application/octet-stream;
  server {
    listen 127.0.0.1:$nginx_port;
    root $dir/www;
    location /zephora/ { add_header Set-Cookie "session=peer42; Path=/zephora"; }
  }
}
CONF
/usr/sbin/nginx -p "$dir" -e "$dir/nginx-error.log" -c "$dir/nginx.conf"

cat >"$dir/tinyproxy.conf" <<CONF
Port $proxy_port
Listen 127.0.0.1
Timeout 60
PidFile "$dir/tinyproxy.pid"
LogFile "$dir/tinyproxy.log"
LogLevel Info
MaxClients 16
Allow 127.0.0.1
DisableViaHeader Yes
CONF
if [ "$(id -u)" = 0 ]; then printf 'User %s\nGroup %s\n' "$(id -un)" "$(id -gn)" >>"$dir/tinyproxy.conf"; fi
tinyproxy -c "$dir/tinyproxy.conf"

# Ready when both answer.
for _ in $(seq 100); do
  if curl -s -o /dev/null "http://127.0.0.1:$nginx_port/" &&
     curl -s -o /dev/null -x "127.0.0.1:$proxy_port" "http://127.0.0.1:$nginx_port/"; then
    echo "$nginx_port $proxy_port" >"$dir/ports"
    : >"$dir/access.log"
    exit 0
  fi
  sleep 0.1
done
echo "peers did not come up; see $dir" >&2
stop
exit 1
