#!/usr/bin/env bash
# Makes (once) the Debian 11 i386 userland in which the module is built and tested
# as a 32-bit Python 2.7 extension: python2.7, its headers, g++, make, cmake and
# GoogleTest. The folder lies outside the clone and is reused by later runs:
# default /var/cache/tallowfit/i386-root, or TALLOWFIT_I386_ROOT.
set -eu
here=$(cd "$(dirname "$0")" && pwd)
exec "$here/bullseye-root.sh" i386 "${TALLOWFIT_I386_ROOT:-/var/cache/tallowfit/i386-root}" \
    python2.7 python2.7-dev g++ make cmake libgtest-dev
