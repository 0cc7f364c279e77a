#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need, when missing.
set -euo pipefail
# libwslay-dev and nettle-dev: the WebSocket frame codec and SHA-1 with base64
# for its handshake; libsqlite3-dev and libsodium-dev: the store of registered
# nicknames and its password hashes; chromium, chromium-driver and
# python3-selenium: the test that drives the web client in a real browser;
# nginx-light and openssl: the same over HTTPS; systemd, logrotate, fail2ban:
# the test of the operator's files; iproute2: that test and the browser tests; wrk:
# bench/file_bench.sh.
packages=(g++ make cmake pkgconf libboost-regex-dev libgtest-dev util-linux libwslay-dev nettle-dev
          libsqlite3-dev libsodium-dev
          chromium chromium-driver python3-selenium nginx-light openssl systemd logrotate fail2ban iproute2 wrk)
missing=()
for package in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" || missing+=("$package")
done
[ ${#missing[@]} -eq 0 ] && exit 0
sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
echo "installing: ${missing[*]}"
$sudo apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "${missing[@]}"
