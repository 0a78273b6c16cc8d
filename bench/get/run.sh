#!/usr/bin/env bash
# velmora-get side by side with curl and aria2, in one run, against one nginx
# on 127.0.0.1 (its own configuration, a free port, started and stopped here):
#   1. one file of 1 GiB (velmora-get --direct; curl; aria2 with one connection)
#   2. 200 files of 1 MiB, 5 at once (velmora-get scans a page of links;
#      curl --parallel and aria2 read the same addresses from a list)
#   3. 2000 files of 16 KiB, 5 at once (as 2)
# For each: wall time, MB/s (MB = 2^20 bytes), CPU seconds (user + system)
# and peak memory (maximum resident set) from /usr/bin/time, the median run
# of RUNS (default 5), and the ratios against the targets. Every download is
# compared with what was served. Files live under /dev/shm (or TMPDIR when
# /dev/shm is missing) and are deleted at the end.
#
#   bash bench/get/run.sh [path/to/velmora-get]
#
# Without an argument: $VELMORA_GET, else build/src/app/velmora-get.
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
top=$(cd "$here/../.." && pwd)
vg=${1:-${VELMORA_GET:-$top/build/src/app/velmora-get}}
runs=${RUNS:-5}

for tool in "$vg" nginx curl aria2c /usr/bin/time python3; do
  if ! command -v "$tool" >/dev/null 2>&1; then
    echo "run.sh: $tool is missing" >&2
    exit 1
  fi
done
vg=$(cd "$(dirname "$vg")" && pwd)/$(basename "$vg")

base=/dev/shm
[ -d "$base" ] && [ -w "$base" ] || base=${TMPDIR:-/tmp}
work=$(mktemp -d "$base/velmora-bench-get.XXXXXX")
nginx_started=""
cleanup() {
  if [ -n "$nginx_started" ] && [ -f "$work/nginx.pid" ]; then
    local pid
    pid=$(cat "$work/nginx.pid")
    nginx -p "$work" -c "$work/nginx.conf" -s stop 2>/dev/null || kill "$pid" 2>/dev/null || true
    # Bounded: nginx's workers end within a moment of the stop.
    for _ in $(seq 50); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
  fi
  rm -rf "$work"
}
trap cleanup EXIT INT TERM
chmod 755 "$work"  # nginx's workers read as another user

# --- the files -------------------------------------------------------------
www=$work/www
mkdir -p "$www/big" "$www/m1" "$www/k16" "$work/home" "$work/logs"
echo "run.sh: making the files in $work" >&2
head -c $((1024 * 1024 * 1024)) /dev/urandom > "$www/big/one.bin"
for i in $(seq 1 200); do head -c $((1024 * 1024)) /dev/urandom > "$www/m1/f$i.bin"; done
head -c $((2000 * 16384)) /dev/urandom > "$work/k16.all"
split -a 4 -d -b 16384 "$work/k16.all" "$www/k16/f"
rm "$work/k16.all"
for f in "$www/k16"/f*; do mv "$f" "$f.bin"; done
chmod -R a+rX "$www"

port=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
url=http://127.0.0.1:$port

for set in m1 k16; do
  {
    echo "<html><body>"
    for f in "$www/$set"/*.bin; do echo "<a href=\"$(basename "$f")\">$(basename "$f")</a>"; done
    echo "</body></html>"
  } > "$www/$set/index.html"
  for f in "$www/$set"/*.bin; do echo "$url/$set/$(basename "$f")"; done > "$work/$set.list"
  sed 's/^/url = /' "$work/$set.list" > "$work/$set.curl"
done

# --- nginx -------------------------------------------------------------------
cat > "$work/nginx.conf" <<EOF
worker_processes 1;
pid $work/nginx.pid;
error_log $work/logs/error.log warn;
daemon on;
events { worker_connections 1024; }
http {
  access_log off;
  sendfile on;
  tcp_nopush on;
  keepalive_requests 100000;
  client_body_temp_path $work/logs/body;
  proxy_temp_path $work/logs/proxy;
  fastcgi_temp_path $work/logs/fastcgi;
  uwsgi_temp_path $work/logs/uwsgi;
  scgi_temp_path $work/logs/scgi;
  default_type application/octet-stream;
  server {
    listen 127.0.0.1:$port;
    root $www;
  }
}
EOF
# As a daemon, nginx returns once its socket listens: no wait is needed.
nginx_started=yes
nginx -p "$work" -c "$work/nginx.conf"
curl -qsf -o /dev/null "$url/m1/f1.bin" || { echo "run.sh: nginx does not answer" >&2; exit 1; }

# --- measuring ---------------------------------------------------------------
# measure NAME DEST COMMAND...: runs COMMAND in a fresh DEST under
# /usr/bin/time; appends "wall cpu peakKiB" to $work/NAME.times.
measure() {
  local name=$1 dest=$2
  shift 2
  rm -rf "$dest"
  mkdir -p "$dest"
  local status=0
  (cd "$dest" && /usr/bin/time -f "%e %U %S %M" -o "$work/time.out" "$@" > "$work/$name.log" 2>&1) || status=$?
  if [ "$status" -ne 0 ]; then
    echo "run.sh: $name failed with status $status:" >&2
    tail -5 "$work/$name.log" >&2
    exit 1
  fi
  awk '{ printf "%s %.2f %s\n", $1, $2 + $3, $4 }' "$work/time.out" >> "$work/$name.times"
}

# same SERVED GOT: the files downloaded are those served, byte for byte.
same() {
  local served=$1 got=$2
  if ! diff -rq --exclude=index.html "$served" "$got" > /dev/null; then
    echo "run.sh: $got differs from $served" >&2
    diff -rq --exclude=index.html "$served" "$got" | head -5 >&2
    exit 1
  fi
}

vg_env=(env VELMORA_HOME="$work/home")
aria=(aria2c --no-conf -q --file-allocation=none --allow-overwrite=true --auto-file-renaming=false
      --summary-interval=0 --console-log-level=error -x 1 -s 1 -k 1M)

for run in $(seq 1 "$runs"); do
  echo "run.sh: round $run of $runs" >&2
  # 1. one file of 1 GiB
  d=$work/got/big
  measure big.velmora-get "$d" "${vg_env[@]}" "$vg" --direct --out "$d" --policy overwrite "$url/big/one.bin"
  cmp -s "$www/big/one.bin" "$d/127.0.0.1_$port/one.bin" || { echo "run.sh: velmora-get's 1 GiB file differs" >&2; exit 1; }
  measure big.curl "$d" curl -q -sS -f -o one.bin "$url/big/one.bin"
  cmp -s "$www/big/one.bin" "$d/one.bin" || { echo "run.sh: curl's 1 GiB file differs" >&2; exit 1; }
  measure big.aria2 "$d" "${aria[@]}" -j 1 -d "$d" "$url/big/one.bin"
  cmp -s "$www/big/one.bin" "$d/one.bin" || { echo "run.sh: aria2's 1 GiB file differs" >&2; exit 1; }
  rm -rf "$d"

  # 2. and 3. many files, five at once
  for set in m1 k16; do
    d=$work/got/$set
    measure $set.velmora-get "$d" "${vg_env[@]}" "$vg" --out "$d" --slots 5 --ext .bin --policy overwrite \
      "$url/$set/index.html"
    same "$www/$set" "$d/127.0.0.1_$port"
    measure $set.curl "$d" curl -q -sS -f --remote-name-all --parallel --parallel-max 5 --parallel-immediate \
      -K "$work/$set.curl"
    same "$www/$set" "$d"
    measure $set.aria2 "$d" "${aria[@]}" -j 5 -d "$d" -i "$work/$set.list"
    same "$www/$set" "$d"
    rm -rf "$d"
  done
done

# --- the table ---------------------------------------------------------------
# The median run by wall time, and the highest peak memory of all runs.
pick() {
  sort -n "$work/$1.times" | awk -v n="$runs" 'NR == int((n + 1) / 2) { print $1, $2 }'
}
peak() {
  sort -n -k3 "$work/$1.times" | tail -1 | awk '{ printf "%.1f", $3 / 1024 }'
}

declare -A wall
printf '\n%-24s %-12s %9s %9s %9s %10s\n' scenario tool "wall s" "MB/s" "CPU s" "peak MiB"
for set in big m1 k16; do
  case $set in
    big) label="1 x 1 GiB"; mib=1024 ;;
    m1) label="200 x 1 MiB, 5 at once"; mib=200 ;;
    k16) label="2000 x 16 KiB, 5 at once"; mib=31.25 ;;
  esac
  for tool in velmora-get curl aria2; do
    read -r w cpu < <(pick "$set.$tool")
    wall[$set.$tool]=$w
    printf '%-24s %-12s %9.2f %9.1f %9.2f %10s\n' "$label" "$tool" "$w" \
      "$(awk -v m="$mib" -v w="$w" 'BEGIN { print (w > 0 ? m / w : 0) }')" "$cpu" "$(peak "$set.$tool")"
  done
done

echo
verdict=0
ratio() {  # ratio LABEL A B LIMIT
  local r
  r=$(awk -v a="${wall[$2]}" -v b="${wall[$3]}" 'BEGIN { printf "%.2f", (b > 0 ? a / b : 0) }')
  local ok=met
  awk -v r="$r" -v l="$4" 'BEGIN { exit !(r <= l) }' || { ok=MISSED; verdict=1; }
  printf '%-48s %6s  (target at most %s)  %s\n' "$1" "$r" "$4" "$ok"
}
ratio "1 GiB: velmora-get / curl" big.velmora-get big.curl 1.0
ratio "200 x 1 MiB: velmora-get / aria2" m1.velmora-get m1.aria2 1.0
ratio "2000 x 16 KiB: velmora-get / aria2" k16.velmora-get k16.aria2 1.5
for set in big m1 k16; do
  p=$(peak "$set.velmora-get")
  ok=met
  awk -v p="$p" 'BEGIN { exit !(p < 64) }' || { ok=MISSED; verdict=1; }
  printf '%-48s %6s  (target under 64 MiB)  %s\n' "velmora-get peak memory, $set (MiB)" "$p" "$ok"
done
echo "(also for reference: curl / aria2 in the many-file scenarios)"
for set in m1 k16; do
  printf '%-48s %6s\n' "$set: curl / aria2" \
    "$(awk -v a="${wall[$set.curl]}" -v b="${wall[$set.aria2]}" 'BEGIN { printf "%.2f", a / b }')"
done
exit $verdict
