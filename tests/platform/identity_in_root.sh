#!/bin/sh
# Inside the i386 userland (scripts/test-platform.sh): replays the identity cases
# against the 32-bit py2 module and runs the condition dump, once plainly and
# once answering exp, log, log10 and pow from the table that the 64-bit build
# recorded (tests/platform/libm_exchange.cpp).
#   identity_in_root.sh BUILD IDENTITY SEED COUNT
# BUILD: the 32-bit build folder; IDENTITY: the folder (read-only here) with
# cases.txt and the recorded tables; results go to /var/tmp/tallowfit-identity.
set -eu
build=$1
identity=$2
seed=$3
count=$4
out=/var/tmp/tallowfit-identity
mkdir -p "$out"
rm -f "$out"/*.txt

g++ -std=c++17 -O2 -fPIC -fno-builtin -fno-threadsafe-statics -fno-exceptions -fno-rtti \
    -ffp-contract=off -msse2 -mfpmath=sse -Wall -Wextra \
    -c /src/tests/platform/libm_exchange.cpp -o "$out/libm_exchange.o"
gcc -shared -o "$out/libm_exchange.so" "$out/libm_exchange.o" -ldl

run=/src/tests/platform/identity_run.py
PYTHONPATH="$build/py2" python2.7 "$run" "$identity/cases.txt" "$out/i386-py2.txt"
"$build/tests/platform/condition_dump" "$seed" "$count" > "$out/i386-condition.txt"
LD_PRELOAD="$out/libm_exchange.so" TALLOWFIT_LIBM_REPLAY="$identity/libm-fits.bin" \
    PYTHONPATH="$build/py2" python2.7 "$run" "$identity/cases.txt" "$out/i386-py2-replay.txt"
LD_PRELOAD="$out/libm_exchange.so" TALLOWFIT_LIBM_REPLAY="$identity/libm-condition.bin" \
    "$build/tests/platform/condition_dump" "$seed" "$count" > "$out/i386-condition-replay.txt"
