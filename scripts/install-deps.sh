#!/usr/bin/env bash
# Installs what the build and the tests need, when it is missing: cmake, g++,
# GoogleTest, the Python 3 headers, and python2.7 + python2.7-dev from Debian 11
# (bullseye), pinned low so that nothing else is ever taken from that suite.
# Idempotent: a machine that has everything is left alone.
# Under CI (CI=true) a missing interpreter is an error; elsewhere the build goes
# on for the interpreters that are present.
set -u
. "$(dirname "$0")/apt-bullseye.sh"

have_pkg() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q 'install ok installed'; }

missing=()
have_pkg cmake || missing+=(cmake)  # Debian's own, whatever else is on PATH
have_pkg g++ || missing+=(g++)
have_pkg libgtest-dev || missing+=(libgtest-dev)
have_pkg python3-dev || missing+=(python3-dev)
need_py2=0
if ! have_pkg python2.7 || ! have_pkg python2.7-dev; then need_py2=1; fi

if [ ${#missing[@]} -eq 0 ] && [ $need_py2 -eq 0 ]; then
    exit 0
fi

can_install=1
if [ "$(id -u)" != 0 ] || ! command -v apt-get >/dev/null 2>&1; then can_install=0; fi

if [ $can_install -eq 0 ]; then
    echo "install-deps: cannot install (needs root and apt-get). Missing:" >&2
    for p in "${missing[@]}"; do echo "  $p" >&2; done
    [ $need_py2 -eq 1 ] && echo "  python2.7 python2.7-dev (Debian 11 bullseye)" >&2
    if [ "${CI:-}" = true ]; then exit 1; fi
    exit 0
fi

export DEBIAN_FRONTEND=noninteractive
if [ $need_py2 -eq 1 ]; then
    use_bullseye_for_python2
fi
apt-get update -qq || true
pkgs=("${missing[@]}")
[ $need_py2 -eq 1 ] && pkgs+=(python2.7 python2.7-dev)
if ! apt-get install -y -qq --no-install-recommends "${pkgs[@]}"; then
    echo "install-deps: apt-get could not install: ${pkgs[*]}" >&2
    if [ "${CI:-}" = true ]; then exit 1; fi
fi
exit 0
