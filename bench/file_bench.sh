#!/bin/sh
# Requests per second for the client's script on the web port, beside nginx
# serving the same file from the same directory, once with "Connection: close"
# and once over kept-alive connections; prints both rates and their ratio.
# Runs itself in a private network namespace so that no port outside is taken.
#
#   bench/file_bench.sh [path-to-vcd]   (default: build/vcd)
# Environment: SECONDS_PER_RUN (10), CONNECTIONS (50), NGINX_WORKERS (1: one
# process, as the daemon is one thread), PERF_OUT (a profile of the daemon
# per mode goes to PERF_OUT.close and PERF_OUT.keep-alive).
set -eu

here=$(cd "$(dirname "$0")/.." && pwd)
vcd=$(realpath "${1:-$here/build/vcd}")
if [ -z "${FILE_BENCH_INSIDE:-}" ]; then
    FILE_BENCH_INSIDE=1 exec unshare -rn "$0" "$vcd"
fi
ip link set lo up

seconds=${SECONDS_PER_RUN:-10}
connections=${CONNECTIONS:-50}
workers=${NGINX_WORKERS:-1}
dir=$(mktemp -d)
trap 'kill $(cat "$dir/vcd.pid" 2>/dev/null) 2>/dev/null; nginx -p "$dir" -c "$dir/nginx.conf" -s stop 2>/dev/null; rm -rf "$dir"' EXIT

mkdir -p "$dir/www/js" "$dir/logs"
cp "$here/etc/www/js/chat.js" "$dir/www/js/chat.js"
for f in permissions.conf rooms.conf security.conf replace.conf welcome.html; do cp "$here/etc/$f" "$dir/$f"; done
sed -e "s|@ETC_DIR@|$dir|" -e 's|^limit.pending = .*|limit.pending = 0|' "$here/etc/vcd.conf" >"$dir/vcd.conf"
cat >"$dir/nginx.conf" <<CONF
worker_processes $workers;
user root root;
pid $dir/nginx.pid;
error_log $dir/logs/error.log;
events { worker_connections 1024; }
http {
    access_log off;
    types { text/javascript js; }
    server {
        listen 127.0.0.1:8080;
        location /chat/ { alias $dir/www/; }
    }
}
CONF

(cd "$dir" && "$vcd" "$dir/vcd.conf" >/dev/null)
for _ in $(seq 50); do grep -q "daemon started (pid: " "$dir/vcd.log" 2>/dev/null && break; sleep 0.1; done
sed -n 's/.*daemon started (pid: \([0-9]*\).*/\1/p' "$dir/vcd.log" | head -n 1 >"$dir/vcd.pid"
nginx -p "$dir" -c "$dir/nginx.conf"
sleep 0.5

rate() {  # url [header]
    if [ $# -gt 1 ]; then set -- "$1" -H "$2"; fi
    wrk -c "$connections" -t 2 -d "${seconds}s" "$@" | sed -n 's/^Requests\/sec: *//p'
}

echo "$(nproc) processors, load average $(cut -d' ' -f1-3 /proc/loadavg), $connections connections, ${seconds} s per run, nginx workers: $workers"
for mode in close keep-alive; do
    header=""
    [ "$mode" = close ] && header="Connection: close"
    if [ -n "${PERF_OUT:-}" ]; then
        perf record -g -o "$PERF_OUT.$mode" -p "$(cat "$dir/vcd.pid")" -- sleep "$seconds" >/dev/null 2>&1 &
    fi
    vcd_rate=$(rate http://127.0.0.1:1614/chat/js/chat.js ${header:+"$header"})
    wait
    nginx_rate=$(rate http://127.0.0.1:8080/chat/js/chat.js ${header:+"$header"})
    ratio=$(echo "$vcd_rate $nginx_rate" | awk '{ printf "%.2f", $1 / $2 }')
    echo "$mode: vcd $vcd_rate requests/s, nginx $nginx_rate requests/s, ratio $ratio"
done
