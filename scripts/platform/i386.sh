#!/usr/bin/env bash
# The 32-bit Python 2.7 build, in a Debian 11 i386 userland (made once in
# $TALLOWFIT_CACHE/bullseye-i386, then reused; needs root):
#   - the core, the C++ tests and the py2 module built there from the source
#     tree (mounted read-only), SSE2 arithmetic and no x87 instruction in the
#     objects, a 32-bit interpreter and ELF32 module, and ctest;
#   - the golden record's calls replayed there and compared with the 64-bit
#     replay of build/py2: bit-identical wherever no C-library exp, log or pow
#     takes part, within the bound of bench/golden.py elsewhere.
# The 32-bit build stays in the userland (/var/tmp/tallowfit-build).
#   bash scripts/platform/i386.sh [--inside]   (--inside: the part run in the userland)
set -euo pipefail
build=/var/tmp/tallowfit-build

if [ "${1:-}" = --inside ]; then
    cd /src
    cmake -S . -B $build -DTALLOWFIT_PYTHON3= -DTALLOWFIT_REQUIRE_ALL_PYTHONS=ON >$build.log 2>&1 \
        && cmake --build $build -j2 >>$build.log 2>&1 || { tail -n 60 $build.log; exit 1; }
    python2.7 tests/platform/check_no_x87.py $build
    PYTHONPATH=$build/py2 python2.7 -c 'import sys, tallowfit; assert sys.maxsize == 2**31 - 1
assert open(tallowfit.__file__, "rb").read(5) == b"\x7fELF\x01", "not an ELF32 module"'
    (cd $build && ctest --output-on-failure --no-tests=error)
    PYTHONPATH=$build/py2 python2.7 bench/golden.py dump $build/golden.txt build/golden-calls.pickle
    exit 0
fi

. "$(dirname "$0")/../lib.sh"
. "$TALLOWFIT_SRC/scripts/platform/root.sh"
cd "$TALLOWFIT_SRC"
root=$TALLOWFIT_CACHE/bullseye-i386
make_root bullseye i386 "$root" python2.7 python2.7-dev g++ make cmake libgtest-dev
mkdir -p "$root/src"
rm -f build/golden-calls.pickle
PYTHONPATH=build/py2 /usr/bin/python2.7 bench/golden.py dump build/golden-64.txt build/golden-calls.pickle
in_root "$root" /bin/bash /src/scripts/platform/i386.sh --inside
PYTHONPATH=build/py3 /usr/bin/python3 bench/golden.py compare build/golden-64.txt "$root$build/golden.txt"
