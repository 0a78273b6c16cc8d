#!/bin/bash
# The transfer benchmark: a private nginx on a free 127.0.0.1 port serves a
# 1 GiB file; it is fetched into /dev/shm through THttpTransport and with
# "curl -o" (ROUNDS times each, default 3, the fastest counting), and MB/s,
# CPU seconds and the ratios are printed. Every file it
# makes is removed at the end.
#   bench/http/run.sh [BUILD-DIR]     (default: build)
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=${1:-$here/../../build}
bench=$build/bench/http/velmora_http_bench
[ -x "$bench" ] || { echo "build velmora_http_bench first ($bench)" >&2; exit 2; }
command -v nginx >/dev/null || { echo "nginx missing" >&2; exit 2; }
command -v curl >/dev/null || { echo "curl missing" >&2; exit 2; }

work=$(mktemp -d /dev/shm/velmora-bench-XXXXXX)
nginx_pid=
cleanup() {
  if [ -n "$nginx_pid" ]; then kill -QUIT "$nginx_pid" 2>/dev/null || true; sleep 0.3; kill -KILL "$nginx_pid" 2>/dev/null || true; fi
  rm -rf "$work"
}
trap cleanup EXIT

port=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1]); s.close()')
mkdir -p "$work/www" "$work/logs"
head -c 1073741824 /dev/zero > "$work/www/big.bin"
cat > "$work/nginx.conf" <<CONF
daemon off;
master_process off;
worker_processes 1;
pid $work/nginx.pid;
error_log $work/logs/error.log;
events { worker_connections 64; }
http {
  access_log off;
  sendfile on;
  tcp_nopush on;
  client_body_temp_path $work/tmp-body;
  proxy_temp_path $work/tmp-proxy;
  fastcgi_temp_path $work/tmp-fastcgi;
  uwsgi_temp_path $work/tmp-uwsgi;
  scgi_temp_path $work/tmp-scgi;
  server {
    listen 127.0.0.1:$port;
    root $work/www;
  }
}
CONF
nginx -c "$work/nginx.conf" -p "$work" &
nginx_pid=$!
for _ in $(seq 100); do
  if (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null; then break; fi
  sleep 0.1
done
url="http://127.0.0.1:$port/big.bin"

# CPU seconds of a child command: user + system.
cpu_of() {
  /usr/bin/time -f '%U %S %e' -o "$work/time.txt" "$@" >/dev/null
  awk '{ printf "%.3f %.3f\n", $1 + $2, $3 }' "$work/time.txt"
}

# The machine is shared: each side runs ROUNDS times, alternating, and the
# fastest run of each counts.
rounds=${ROUNDS:-3}
v_sec=999999 v_cpu=0 c_sec=999999 c_cpu=0 v_size=0 c_size=0
for _ in $(seq "$rounds"); do
  read -r cpu sec < <(cpu_of "$bench" "$url" "$work/out-velmora.bin")
  v_size=$(stat -c %s "$work/out-velmora.bin")
  rm -f "$work/out-velmora.bin"
  if awk -v a="$sec" -v b="$v_sec" 'BEGIN { exit !(a < b) }'; then v_sec=$sec v_cpu=$cpu; fi
  read -r cpu sec < <(cpu_of curl -s -o "$work/out-curl.bin" "$url")
  c_size=$(stat -c %s "$work/out-curl.bin")
  rm -f "$work/out-curl.bin"
  if awk -v a="$sec" -v b="$c_sec" 'BEGIN { exit !(a < b) }'; then c_sec=$sec c_cpu=$cpu; fi
done

[ "$v_size" = 1073741824 ] && [ "$c_size" = 1073741824 ] || { echo "short transfer: $v_size / $c_size" >&2; exit 1; }
awk -v vs="$v_sec" -v vc="$v_cpu" -v cs="$c_sec" -v cc="$c_cpu" 'BEGIN {
  mb = 1024;
  printf "THttpTransport: %8.1f MB/s  %6.3f s  CPU %6.3f s\n", mb / vs, vs, vc;
  printf "curl -o:        %8.1f MB/s  %6.3f s  CPU %6.3f s\n", mb / cs, cs, cc;
  printf "ratio (THttpTransport / curl): speed %.2f  CPU %.2f\n", (mb / vs) / (mb / cs), (cc > 0 ? vc / cc : 0);
}'
