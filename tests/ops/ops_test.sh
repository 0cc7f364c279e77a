#!/usr/bin/env bash
# The operator's files against the real daemon, in the private network
# namespace that the test command gives it: "vcd check" on the bundled
# configuration, systemd-analyze on the unit, the shipped logrotate snippet on
# the log of a running daemon (which keeps logging into the new file), and
# fail2ban-regex with the shipped filter on that log, which must find exactly
# the refusals the test provoked, and on a sample of every refusal the daemon
# writes, and fail2ban's own test of the jail example.
#
# Usage: ops_test.sh VCD_BINARY SOURCE_DIR
set -euo pipefail
vcd=$1
source_dir=$2
scratch=$(mktemp -d /tmp/vcd-ops-XXXXXX)
pid=""

fail() {
  echo "FAIL: $*"
  if [ -f "$scratch/vcd.log" ]; then echo "--- daemon log ---"; cat "$scratch"/vcd.log*; fi
  exit 1
}

finish() {
  [ -n "$pid" ] && kill "$pid" 2>/dev/null || true
  rm -rf "$scratch"
}
trap finish EXIT

# Waits up to five seconds for `text` in `file`.
wait_for() {
  local file=$1 text=$2
  for _ in $(seq 50); do
    grep -qF -- "$text" "$file" 2>/dev/null && return 0
    sleep 0.1
  done
  fail "no \"$text\" in $file"
}

# Logs a visitor in on the line protocol who says that he was banned, as the
# client of a banned visitor does: the daemon refuses him.
banned_visitor() {
  exec 3<>/dev/tcp/127.0.0.1/1612
  printf 'LGN "vcp2" "%s" "" "" "10.0.0.3" "OpsTest" "" "" "true"\n' "$1" >&3
  local greeting
  IFS= read -r -t 5 greeting <&3 || fail "no CNT line for $1"
  local challenge
  challenge=$(sed 's/^CNT "[^"]*" "[^"]*" "[^"]*" "\([0-9]*\)".*/\1/' <<<"$greeting")
  printf 'AUT "%d"\n' $((challenge ^ 0x3C96)) >&3
  timeout 5 cat <&3 >/dev/null || true
  exec 3>&-
}

# A sanitizer report of the daemon lands in the scratch directory; there must be none.
export ASAN_OPTIONS="${ASAN_OPTIONS:+$ASAN_OPTIONS:}log_path=$scratch/asan"
export UBSAN_OPTIONS="${UBSAN_OPTIONS:+$UBSAN_OPTIONS:}log_path=$scratch/ubsan"

for tool in systemd-analyze logrotate fail2ban-regex fail2ban-client ip; do
  command -v "$tool" >/dev/null || fail "$tool is missing; tools/install-deps.sh installs it"
done
ip link set lo up

# The bundled configuration, pointed at the checkout, its log and its store in
# the scratch directory.
etc="$source_dir/etc"
log="$scratch/vcd.log"
sed -e "s|@ETC_DIR@|$etc|" -e "s|^file\.log *=.*|file.log = $log|" \
  -e "s|^db\.connection *=.*|db.connection = sqlite:$scratch/vcd.db|" "$etc/vcd.conf" >"$scratch/vcd.conf"

# -- vcd check ------------------------------------------------------------------
output=$("$vcd" check "$scratch/vcd.conf" 2>&1) || fail "vcd check on the bundled configuration: $output"
[ "$output" = "configuration '$scratch/vcd.conf' and the files it names are valid" ] || fail "vcd check said: $output"
[ ! -e "$log" ] || fail "vcd check wrote the log"

# -- the systemd unit, with the binary where the unit expects it ----------------
sed "s|/usr/local/sbin/vcd|$vcd|g" "$etc/systemd/vcd.service" >"$scratch/vcd.service"
grep -q "^ExecReload=$vcd check " "$scratch/vcd.service" || fail "the unit's reload does not check first"
output=$(systemd-analyze verify "$scratch/vcd.service" 2>&1) || fail "systemd-analyze verify: $output"
[ -z "$output" ] || fail "systemd-analyze verify: $output"

# -- a running daemon, a refusal, a rotation, another refusal -------------------
(cd "$scratch" && "$vcd" "$scratch/vcd.conf" >/dev/null)
wait_for "$log" "daemon started (pid: "
pid=$(sed -n 's/.*daemon started (pid: \([0-9]*\)).*/\1/p' "$log")
# The ports open after the store, a moment after the log line.
for _ in $(seq 50); do
  (exec 3<>/dev/tcp/127.0.0.1/1612) 2>/dev/null && break
  sleep 0.1
done
banned_visitor anna
wait_for "$log" "refused 127.0.0.1: banned address"

# The snippet as shipped, for this log and this (only) user.
sed -e "s|/var/log/vcd/vcd.log|$log|" -e "s|vcd vcd|root root|g" "$etc/logrotate.d/vcd" >"$scratch/logrotate.conf"
chmod 644 "$scratch/logrotate.conf"
output=$(logrotate --force --state "$scratch/logrotate.state" "$scratch/logrotate.conf" 2>&1) || fail "logrotate: $output"
[ -f "$log.1" ] || fail "logrotate left no $log.1"
grep -q "daemon started" "$log.1" || fail "the rotated log lacks the old lines"

kill -HUP "$pid"
wait_for "$log" "configuration reloaded"
banned_visitor bernd
wait_for "$log" "refused 127.0.0.1: banned address"
grep -q "configuration reloaded" "$log.1" || [ "$(grep -c refused "$log.1")" -ne 1 ] &&
  fail "the daemon still writes into the rotated log"

# -- fail2ban: exactly the two refusals, with the visitor's address -------------
cat "$log.1" "$log" >"$scratch/all.log"
output=$(fail2ban-regex -v "$scratch/all.log" "$etc/fail2ban/filter.d/vcd.conf" 2>&1) || fail "fail2ban-regex: $output"
lines=$(wc -l <"$scratch/all.log")
grep -q "^Lines: $lines lines, 0 ignored, 2 matched, $((lines - 2)) missed" <<<"$output" ||
  fail "fail2ban-regex did not match exactly the two refusals: $output"
[ "$(grep -c '^|      127\.0\.0\.1  ' <<<"$output")" -eq 2 ] || fail "fail2ban-regex found other hosts: $output"

# Every refusal that the daemon writes, and lines that are none: "1 " marks
# a line that counts against its address.
samples=(
  "1 refused 198.51.100.1: banned address"
  "1 refused 2001:db8::2: wrong password for anna"
  "1 refused 198.51.100.3: too many wrong passwords for Bernd"
  "1 refused 198.51.100.4: too many sessions"
  "1 refused 198.51.100.5: too many unfinished requests"
  "0 refused 198.51.100.6: banned address, says anna"
  "0 error: refused 198.51.100.7: banned address"
  "0 refused somebody: too many sessions"
  "0 configuration reloaded"
)
: >"$scratch/samples.log"
expected=""
for sample in "${samples[@]}"; do
  echo "[$(LC_ALL=C date '+%a %b %e %H:%M:%S %Y')] ${sample#? }" >>"$scratch/samples.log"
  host=$(cut -d' ' -f3 <<<"$sample")
  [ "${sample%% *}" = 1 ] && expected+="${host%:}"$'\n'
done
output=$(fail2ban-regex -v "$scratch/samples.log" "$etc/fail2ban/filter.d/vcd.conf" 2>&1) || fail "fail2ban-regex: $output"
found=$(sed -n 's/^|      \([0-9a-f.:]*\)  .*/\1/p' <<<"$output")
[ "$found"$'\n' = "$expected" ] || fail "fail2ban-regex found the hosts"$'\n'"$found"$'\n'"instead of"$'\n'"$expected$output"

# The jail example, in a copy of the system's fail2ban configuration with no other jail.
cp -r /etc/fail2ban "$scratch/fail2ban"
rm -f "$scratch"/fail2ban/jail.d/*
cp "$etc/fail2ban/filter.d/vcd.conf" "$scratch/fail2ban/filter.d/"
sed "s|/var/log/vcd/vcd.log|$log|" "$etc/fail2ban/jail.d/vcd.conf" >"$scratch/fail2ban/jail.d/vcd.conf"
output=$(fail2ban-client -c "$scratch/fail2ban" -t 2>&1) || fail "fail2ban-client -t: $output"

kill "$pid"
wait_for "$log" "smooth shutdown"
pid=""
for report in "$scratch"/asan* "$scratch"/ubsan*; do
  [ -e "$report" ] && fail "sanitizer report of the daemon: $(cat "$report")"
done
echo PASS
