#!/usr/bin/env bash
# Installs what is missing, builds the daemon and starts it on the bundled
# configuration in etc/. The daemon detaches; stop it with the kill command
# printed at the end.
set -euo pipefail
cd "$(dirname "$0")/.."
top=$PWD
tools/install-deps.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j"$(nproc)" --target vcd >/dev/null

# The daemon takes relative file names from an absolute directory: point the
# bundled configuration at this checkout and keep the log and the store out of etc/.
mkdir -p run
sed -e "s|@ETC_DIR@|$top/etc|" -e "s|^file\.log *=.*|file.log = $top/run/vcd.log|" \
    -e "s|^db\.connection *=.*|db.connection = sqlite:$top/run/vcd.db|" etc/vcd.conf > run/vcd.conf
log="$top/run/vcd.log"
: > "$log"
build/vcd run/vcd.conf
for _ in $(seq 50); do
  grep -q "daemon started\|error:" "$log" && break
  sleep 0.1
done
sleep 0.2
if grep -q "error:" "$log"; then
  echo "vcd did not start:" >&2
  cat "$log" >&2
  exit 1
fi
pid=$(sed -n 's/.*daemon started (pid: \([0-9]*\)).*/\1/p' "$log" | tail -n 1)
echo "vcd (pid $pid) listens on port 1612 (line protocol), 1613 (chat streams) and 1614 (web client), on every local address"
echo "configuration: $top/run/vcd.conf"
echo "log: $log"
echo "reload: kill -HUP $pid    stop: kill $pid"
echo "register: echo PASSWORD | build/vcd -c run/vcd.conf register NICK [RANK]"
webpath=$(sed -n 's/^all\.webpath *= *//p' run/vcd.conf | head -n 1)
www=$(sed -n 's/^all\.www *= *//p' run/vcd.conf | head -n 1)
echo "chat: open http://$www$webpath in a browser"
