#!/usr/bin/env bash
# The tests. Without an option: builds build/ (preset "default") for Debian's
# python2.7 and python3 and every other CPython 3.7 or later on the machine, and
# runs ctest last: the C++ tests, and the Python suite and the golden record
# under each interpreter (the label summary names each by version). Before it,
# as root with the tools there and always under CI, the platform checks
# (--platform), and under CI the fresh-machine check (--fresh).
# Under CI=true warnings are errors and python2.7 is required.
#   bash scripts/test.sh [--platform | --hardening [--quick] | --dist | --fresh]
set -euo pipefail
. "$(dirname "$0")/lib.sh"
cd "$TALLOWFIT_SRC"

case "${1:-}" in
    --hardening) exec bash scripts/test-hardening.sh "${@:2}" ;;
    --dist) exec bash scripts/test-dist.sh ;;
    --fresh) exec bash scripts/test-fresh.sh ;;
    --platform | "") ;;
    *) echo "usage: bash scripts/test.sh [--platform | --hardening [--quick] | --dist | --fresh]" >&2; exit 2 ;;
esac

platform=${1:-}
if [ "$(id -u)" = 0 ] && { [ "${CI:-}" = true ] || have_cmds debootstrap i686-w64-mingw32-g++; }; then
    platform=--platform
fi
install_deps $platform || exit 1
/usr/bin/cmake --preset default -DTALLOWFIT_EXTRA_PYTHONS="$(extra_pythons)"
/usr/bin/cmake --build build -j2

if [ -n "$platform" ]; then
    step "platform (docs/platform.md)"
    check "32-bit Python 2.7: build, tests and golden replay in an i386 userland" bash scripts/platform/i386.sh
    check "Windows cross build of tallowfit.pyd" bash scripts/platform/windows.sh
else
    echo "platform checks skipped: they need root, debootstrap and mingw-w64 (docs/platform.md)"
fi
if [ "${CI:-}" = true ]; then
    check "the README's commands on a fresh Debian root" bash scripts/test-fresh.sh
fi
[ $((passed + failed)) -eq 0 ] || summary || true

# ctest runs last so that its summary closes the run.
cd build
/usr/bin/ctest --output-on-failure --no-tests=error -j2 || exit 1
exit $((failed > 0))
