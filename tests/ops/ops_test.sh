#!/usr/bin/env bash
# The operator's files against the real daemon, in the test command's private network namespace: "vcd
# check", the systemd unit, logrotate on the daemon's log, fail2ban on every refusal the daemon writes.
# Usage: ops_test.sh VCD_BINARY SOURCE_DIR
set -euo pipefail
vcd=$1 etc=$2/etc scratch=$(mktemp -d /tmp/vcd-ops-XXXXXX) pid=""
log=$scratch/vcd.log
trap '{ [ -n "$pid" ] && kill "$pid" 2>/dev/null; } || true; rm -rf "$scratch"' EXIT
fail() { echo "FAIL: $*"; cat "$log"* 2>/dev/null; exit 1; }
run() { output=$("$@" 2>&1) || fail "$*: $output"; }  # must succeed; output and errors in $output
wait_for() {  # up to five seconds for the text $2 in the file $1
  for _ in $(seq 50); do grep -qF -- "$2" "$1" 2>/dev/null && return 0 || sleep 0.1; done
  fail "no \"$2\" in $1"
}
# A visitor on the line protocol whose client says that he was banned: the daemon refuses him.
banned_visitor() {
  exec 3<>/dev/tcp/127.0.0.1/1612
  printf 'LGN "vcp2" "%s" "" "" "10.0.0.3" "OpsTest" "" "" "true"\n' "$1" >&3
  IFS= read -r -t 5 greeting <&3 || fail "no CNT line for $1"
  printf 'AUT "%d"\n' $(($(cut -d'"' -f8 <<<"$greeting") ^ 0x3C96)) >&3
  timeout 5 cat <&3 >/dev/null || true
  exec 3>&-
  wait_for "$log" "refused 127.0.0.1: banned address"
}

# A sanitizer report of the daemon lands in the scratch directory; there must be none.
export ASAN_OPTIONS="${ASAN_OPTIONS:+$ASAN_OPTIONS:}log_path=$scratch/asan"
export UBSAN_OPTIONS="${UBSAN_OPTIONS:+$UBSAN_OPTIONS:}log_path=$scratch/ubsan"
ip link set lo up

# The shipped files with the paths of this run.
sed -e "s|@ETC_DIR@|$etc|" -e "s|^file\.log *=.*|file.log = $log|" \
  -e "s|^db\.connection *=.*|db.connection = sqlite:$scratch/vcd.db|" "$etc/vcd.conf" >"$scratch/vcd.conf"
sed "s|/usr/local/sbin/vcd|$vcd|g" "$etc/systemd/vcd.service" >"$scratch/vcd.service"
sed -e "s|/var/log/vcd/vcd.log|$log|" -e "s|vcd vcd|root root|g" "$etc/logrotate.d/vcd" >"$scratch/logrotate.conf"
chmod 644 "$scratch/logrotate.conf"
cp -r /etc/fail2ban "$scratch/fail2ban"  # the jail alone in a copy of the system's configuration
rm -f "$scratch"/fail2ban/jail.d/*
cp "$etc/fail2ban/filter.d/vcd.conf" "$scratch/fail2ban/filter.d/"
sed "s|/var/log/vcd/vcd.log|$log|" "$etc/fail2ban/jail.d/vcd.conf" >"$scratch/fail2ban/jail.d/vcd.conf"

run "$vcd" check "$scratch/vcd.conf"
[ "$output" = "configuration '$scratch/vcd.conf' and the files it names are valid" ] || fail "vcd check: $output"
[ ! -e "$log" ] || fail "vcd check wrote the log"
grep -q "^ExecReload=$vcd check " "$scratch/vcd.service" || fail "the unit's reload does not check first"
run systemd-analyze verify "$scratch/vcd.service"
[ -z "$output" ] || fail "systemd-analyze verify: $output"

# A running daemon, a refusal, a rotation, a reload, another refusal, a smooth shutdown.
(cd "$scratch" && "$vcd" "$scratch/vcd.conf" >/dev/null)
wait_for "$log" "daemon started (pid: "
pid=$(sed -n 's/.*daemon started (pid: \([0-9]*\)).*/\1/p' "$log")
# The ports open after the store, a moment after the log line.
timeout 5 bash -c 'until (exec 3<>/dev/tcp/127.0.0.1/1612) 2>/dev/null; do sleep 0.1; done' || fail "no port 1612"
banned_visitor anna
run logrotate --force --state "$scratch/logrotate.state" "$scratch/logrotate.conf"
grep -q "daemon started" "$log.1" || fail "logrotate left no $log.1 with the old lines"
kill -HUP "$pid"
wait_for "$log" "configuration reloaded"
banned_visitor bernd
grep -q "configuration reloaded" "$log.1" || [ "$(grep -c refused "$log.1")" -ne 1 ] &&
  fail "the daemon still writes into the rotated log"
kill "$pid"
wait_for "$log" "smooth shutdown"
pid=""
! compgen -G "$scratch/*san.*" >/dev/null || fail "sanitizer report of the daemon: $(cat "$scratch"/*san.*)"

# fail2ban on both refusals of that log, then on every refusal that the daemon writes (the first five
# samples) and on lines that are none.
cat "$log.1" "$log" >"$scratch/all.log"
stamp="[$(LC_ALL=C date '+%a %b %e %H:%M:%S %Y')]"
for sample in "198.51.100.1: banned address" "2001:db8::2: wrong password for anna" \
  "198.51.100.3: too many wrong passwords for Bernd" "198.51.100.4: too many sessions" \
  "198.51.100.5: too many unfinished requests" "198.51.100.6: banned address, says anna" \
  "somebody: too many sessions"; do
  echo "$stamp refused $sample" >>"$scratch/all.log"
done
echo "$stamp error: refused 198.51.100.7: banned address" >>"$scratch/all.log"
run fail2ban-regex -v "$scratch/all.log" "$etc/fail2ban/filter.d/vcd.conf"
hosts=$(sed -n 's/^|      \([0-9a-f.:]*\)  .*/\1/p' <<<"$output" | tr '\n' ' ')
[ "$hosts" = "127.0.0.1 127.0.0.1 198.51.100.1 2001:db8::2 198.51.100.3 198.51.100.4 198.51.100.5 " ] ||
  fail "fail2ban-regex found the hosts $hosts"
lines=$(wc -l <"$scratch/all.log")
grep -q "^Lines: $lines lines, 0 ignored, 7 matched, $((lines - 7)) missed" <<<"$output" ||
  fail "fail2ban-regex matched other lines: $output"
run fail2ban-client -c "$scratch/fail2ban" -t  # the jail, with the log in place
echo PASS
