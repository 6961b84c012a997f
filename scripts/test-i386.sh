#!/usr/bin/env bash
# Builds and tests the module as a 32-bit Python 2.7 extension: inside the
# Debian 11 i386 userland of scripts/i386-env.sh (made on first use, then
# reused), with the current source tree mounted read-only. Builds the core, the
# C++ tests and the py2 module (SSE2 arithmetic, checked in the compile
# commands), checks sys.maxint == 2**31-1 and the module's ELF class, and runs
# ctest there: the C++ tests and the Python suite under the 32-bit python2.7.
# The build folder lives inside the userland (/var/tmp/tallowfit-build), so a
# second run rebuilds only what changed. Needs root.
set -euo pipefail
src=$(cd "$(dirname "$0")/.." && pwd)
root=${TALLOWFIT_I386_ROOT:-/var/cache/tallowfit/i386-root}

"$src/scripts/i386-env.sh"
echo "== 32-bit build and tests in $root"
exec "$src/scripts/chroot-run.sh" "$root" "$src" \
    /bin/bash /src/scripts/build-in-root.sh /var/tmp/tallowfit-build /usr/bin/python2.7 "" 32
