#!/usr/bin/env bash
# Installs, when missing, what the build and the tests need: make, cmake, g++,
# GoogleTest, the Python 3 headers and venv, and python2.7 with its headers from
# Debian 11 (bullseye, pinned so that nothing else comes from there). Options add
# what the longer checks need: --hardening (valgrind, the debug interpreters),
# --platform (debootstrap, mingw-w64, dpkg-dev), --dist (patchelf).
# Idempotent. Without root, a missing package ends it with one line naming it.
set -u
. "$(dirname "$0")/lib.sh"
install_deps "$@"
