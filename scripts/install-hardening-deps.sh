#!/usr/bin/env bash
# Installs what the hardening checks need beyond scripts/install-deps.sh, when
# it is missing: the debug interpreters (python2.7-dbg from Debian 11 bullseye,
# through the same pin that install-deps.sh sets, and python3-dbg from the
# machine's own release) and valgrind. The sanitizer runtimes come with g++.
# Idempotent; without root or apt-get it only lists what is missing.
set -u
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh

have_pkg() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q 'install ok installed'; }

missing=()
for p in python2.7-dbg python3-dbg valgrind; do
    have_pkg "$p" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

if [ "$(id -u)" != 0 ] || ! command -v apt-get >/dev/null 2>&1; then
    echo "install-hardening-deps: cannot install (needs root and apt-get). Missing: ${missing[*]}" >&2
    exit 1
fi
# python2.7-dbg comes through the bullseye pin; a machine that already had
# python2.7 may not have it yet.
. scripts/apt-bullseye.sh
use_bullseye_for_python2
export DEBIAN_FRONTEND=noninteractive
apt-get update -qq || true
apt-get install -y -qq --no-install-recommends "${missing[@]}"
