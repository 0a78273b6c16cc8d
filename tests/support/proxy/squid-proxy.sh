#!/bin/bash
# Starts or stops a private squid for the proxy test.
#   squid-proxy.sh start DIR PORT USER PASSWORD   (waits until it listens)
#   squid-proxy.sh stop DIR
# Everything it writes stays in DIR. Fails when squid, htpasswd or the Basic
# helper are missing.
set -eu
here=$(cd "$(dirname "$0")" && pwd)
cmd=$1
dir=$2

case "$cmd" in
start)
  port=$3 user=$4 password=$5
  for tool in squid htpasswd /usr/lib/squid/basic_ncsa_auth; do
    command -v "$tool" >/dev/null 2>&1 || { echo "missing: $tool" >&2; exit 2; }
  done
  # squid drops root to its own user, which must reach the folder.
  runas=$(id -un)
  if [ "$(id -u)" = 0 ]; then
    runas=proxy
    id proxy >/dev/null 2>&1 || runas=nobody
  fi
  chmod 0755 "$dir"
  htpasswd -b -c "$dir/passwd" "$user" "$password" >/dev/null 2>&1
  chmod 0644 "$dir/passwd"
  sed -e "s|@DIR@|$dir|g" -e "s|@PORT@|$port|g" -e "s|@USER@|$runas|g" "$here/squid.conf.in" > "$dir/squid.conf"
  if [ "$(id -u)" = 0 ]; then chown "$runas" "$dir"; fi
  squid -f "$dir/squid.conf" -N >"$dir/squid.out" 2>&1 &
  echo $! > "$dir/squid.launcher.pid"
  i=0
  while [ $i -lt 200 ]; do
    if (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null; then exit 0; fi
    if ! kill -0 "$(cat "$dir/squid.launcher.pid")" 2>/dev/null; then
      echo "squid ended:" >&2; cat "$dir/squid.out" "$dir/cache.log" >&2 2>/dev/null || true; exit 1
    fi
    sleep 0.1
    i=$((i + 1))
  done
  echo "squid does not listen on $port" >&2
  exit 1
  ;;
stop)
  if [ -f "$dir/squid.launcher.pid" ]; then
    pid=$(cat "$dir/squid.launcher.pid")
    kill -TERM "$pid" 2>/dev/null || true
    i=0
    while kill -0 "$pid" 2>/dev/null && [ $i -lt 100 ]; do sleep 0.1; i=$((i + 1)); done
    kill -KILL "$pid" 2>/dev/null || true
  fi
  ;;
*)
  echo "usage: $0 start DIR PORT USER PASSWORD | stop DIR" >&2
  exit 2
  ;;
esac
