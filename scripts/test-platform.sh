#!/usr/bin/env bash
# The module's own platform, checked in one run (needs root):
#   1. the 32-bit Python 2.7 build: core, C++ tests and py2 module built and
#      tested inside a Debian 11 i386 userland (scripts/test-i386.sh);
#   2. cross-platform identity: a seeded series of calls of the three functions
#      and a dump of condition figures and inverses, run under the 64-bit py2
#      and py3 modules of this machine and the 32-bit py2 module; the roots, the
#      Polynomial, HalfPower and RootPolynomial fits, the refusals, eigenvalues
#      and inverses must agree bit for bit; for the logarithmic fits and the
#      log10 figure the differences are counted, and a second 32-bit run that
#      takes exp, log, log10 and pow from the 64-bit run's C library must
#      agree bit for bit in every category;
#   3. the Windows cross build of tallowfit.pyd and its export/import check
#      (scripts/windows-build.sh).
# Everything goes to build-platform/ (or TALLOWFIT_PLATFORM_BUILD); the i386
# userland and the Windows headers are kept in /var/cache/tallowfit for reuse.
# TALLOWFIT_IDENTITY_SEED and TALLOWFIT_IDENTITY_COUNT choose the series
# (default 1 and 4000). Prints PASS or FAIL per part; exits non-zero on FAIL.
set -uo pipefail
src=$(cd "$(dirname "$0")/.." && pwd)
out=${TALLOWFIT_PLATFORM_BUILD:-$src/build-platform}
root=${TALLOWFIT_I386_ROOT:-/var/cache/tallowfit/i386-root}
seed=${TALLOWFIT_IDENTITY_SEED:-1}
count=${TALLOWFIT_IDENTITY_COUNT:-4000}
jobs=${TALLOWFIT_JOBS:-2}
py2=/usr/bin/python2.7
py3=/usr/bin/python3
results=()
status=0

part() {  # name, command...
    local name=$1
    shift
    echo "== $name"
    if "$@"; then
        results+=("PASS  $name")
    else
        results+=("FAIL  $name")
        status=1
    fi
}

host_build() {
    local host=$out/host
    cmake -S "$src" -B "$host" -DCMAKE_BUILD_TYPE=Release -DTALLOWFIT_BUILD_TESTS=ON \
        -DTALLOWFIT_PYTHON2="$py2" -DTALLOWFIT_PYTHON3="$py3" -DTALLOWFIT_REQUIRE_ALL_PYTHONS=ON \
        >"$host.cmake.log" 2>&1 || { cat "$host.cmake.log"; return 1; }
    cmake --build "$host" --target tallowfit_py2 tallowfit_py3 condition_dump -j"$jobs" \
        >"$host.build.log" 2>&1 || { tail -40 "$host.build.log"; return 1; }
}

host_runs() {
    local id=$out/identity host=$out/host run=$src/tests/platform/identity_run.py
    "$py3" "$src/tests/platform/identity_cases.py" "$seed" "$count" "$id/cases.txt" || return 1
    PYTHONPATH="$host/py2" "$py2" "$run" "$id/cases.txt" "$id/host-py2.txt" || return 1
    PYTHONPATH="$host/py3" "$py3" "$run" "$id/cases.txt" "$id/host-py3.txt" || return 1
    "$host/tests/platform/condition_dump" "$seed" "$count" >"$id/host-condition.txt" || return 1
    # The C library answers of the 64-bit build, for the 32-bit replay.
    g++ -std=c++17 -O2 -fPIC -fno-builtin -fno-threadsafe-statics -fno-exceptions -fno-rtti \
        -ffp-contract=off -Wall -Wextra -c "$src/tests/platform/libm_exchange.cpp" \
        -o "$id/libm_exchange.o" && gcc -shared -o "$id/libm_exchange.so" "$id/libm_exchange.o" -ldl || return 1
    LD_PRELOAD="$id/libm_exchange.so" TALLOWFIT_LIBM_RECORD="$id/libm-fits.bin" \
        PYTHONPATH="$host/py2" "$py2" "$run" "$id/cases.txt" "$id/host-py2-recorded.txt" || return 1
    LD_PRELOAD="$id/libm_exchange.so" TALLOWFIT_LIBM_RECORD="$id/libm-condition.bin" \
        "$host/tests/platform/condition_dump" "$seed" "$count" >"$id/host-condition-recorded.txt" || return 1
    # Recording must not change what the module computes.
    cmp -s "$id/host-py2.txt" "$id/host-py2-recorded.txt" \
        && cmp -s "$id/host-condition.txt" "$id/host-condition-recorded.txt" \
        || { echo "identity: the recording run differs from the plain run"; return 1; }
}

i386_runs() {
    local id=$out/identity inside
    # The results folder must be visible inside the userland under /src.
    case "$id" in
        "$src"/*) inside=/src/${id#"$src"/} ;;
        *) echo "identity: $id must lie inside $src for the i386 run"; return 1 ;;
    esac
    "$src/scripts/chroot-run.sh" "$root" "$src" /bin/sh /src/tests/platform/identity_in_root.sh \
        /var/tmp/tallowfit-build "$inside" "$seed" "$count" || return 1
    cp "$root"/var/tmp/tallowfit-identity/*.txt "$id/"
}

compare() {  # label, options and files for identity_compare.py
    local label=$1
    shift
    (cd "$out/identity" && "$py3" "$src/tests/platform/identity_compare.py" --label "$label" "$@")
}

identity() {
    mkdir -p "$out/identity"
    host_build && host_runs && i386_runs || return 1
    local rc=0
    compare "64-bit py2 vs 64-bit py3" --all-exact --cases cases.txt host-py2.txt host-py3.txt || rc=1
    compare "64-bit py2 vs 32-bit py2" --cases cases.txt host-py2.txt i386-py2.txt || rc=1
    compare "64-bit vs 32-bit condition dump" host-condition.txt i386-condition.txt || rc=1
    compare "64-bit py2 vs 32-bit py2, same C library answers" --all-exact --cases cases.txt \
        host-py2.txt i386-py2-replay.txt || rc=1
    compare "64-bit vs 32-bit condition dump, same C library answers" --all-exact \
        host-condition.txt i386-condition-replay.txt || rc=1
    return $rc
}

start=$(date +%s)
part "32-bit Python 2.7 build and tests (i386 userland)" "$src/scripts/test-i386.sh"
part "cross-platform identity (seed $seed, $count calls)" identity
part "Windows cross build and tallowfit.pyd check" env TALLOWFIT_WINDOWS_BUILD="$out/windows" \
    "$src/scripts/windows-build.sh"

echo "== summary ($(($(date +%s) - start)) s)"
printf '%s\n' "${results[@]}"
if [ $status -eq 0 ]; then echo "platform: PASS"; else echo "platform: FAIL"; fi
exit $status
