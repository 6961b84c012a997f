#!/usr/bin/env bash
# The hardening checks, long variants (docs/hardening.md says what each checks):
#   1. fault injection and repeated paths: the fault-injection variants of the
#      module under python2.7, python3 and both debug interpreters, every path
#      repeated TALLOWFIT_HARDENING_ROUNDS times (10000 here);
#   2. AddressSanitizer + UndefinedBehaviorSanitizer: the C++ tests, the Python
#      suite, the hardening tests and a fuzzing budget with the sanitizer
#      runtime preloaded into the normal interpreters; ThreadSanitizer over the
#      fit layer's C++ tests (the engine's fits on one thread and two);
#   3. valgrind memcheck over the Python suite, the hardening tests and a
#      fuzzing budget under python3 with PYTHONMALLOC=malloc;
#   4. a long fuzzing run: 10^6 calls per interpreter in child processes.
# --quick runs short variants of all four (a few minutes). Build folders:
# build-hardening (Release), build-hardening-asan and build-hardening-tsan.
# Exits non-zero on any failure; the figures of each part are printed and kept
# in build-hardening/logs.
set -euo pipefail
. "$(dirname "$0")/lib.sh"
cd "$TALLOWFIT_SRC"
root=$TALLOWFIT_SRC
export CHECK_VERBOSE=1

rounds=10000
fuzz_calls=1000000
sanitizer_fuzz_calls=100000
valgrind_rounds=3
valgrind_fuzz_calls=20000
if [ "${1:-}" = --quick ]; then
    rounds=100
    fuzz_calls=50000
    sanitizer_fuzz_calls=10000
    valgrind_rounds=1
    valgrind_fuzz_calls=2000
fi
seed=20261206

install_deps --hardening || exit 1

logs=$root/build-hardening/logs
mkdir -p "$logs"
export CHECK_LOGS=$logs/checks

# 1. Fault injection and repeated paths.
step "fault injection and repeated paths ($rounds rounds)"
/usr/bin/cmake --preset hardening
/usr/bin/cmake --build build-hardening -j2
check "fault injection, $rounds rounds" env TALLOWFIT_HARDENING_ROUNDS=$rounds ctest --test-dir build-hardening \
    --output-on-failure --no-tests=error -R '^hardening_faults_'

# 2. Sanitizers.
step "AddressSanitizer + UndefinedBehaviorSanitizer"
/usr/bin/cmake --preset sanitizers
/usr/bin/cmake --build build-hardening-asan -j2
asan_logs=$logs/asan
rm -rf "$asan_logs"
mkdir -p "$asan_logs"
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
# The C++ tests are ours from top to bottom: any leak fails them.
check "C++ tests under the sanitizers" env ASAN_OPTIONS=detect_leaks=1:abort_on_error=0 ctest --test-dir build-hardening-asan \
    --output-on-failure --no-tests=error -R '^[A-Za-z]+[.]'
# The interpreters are not instrumented: the runtime is preloaded (with the
# C++ runtime, whose exceptions it must intercept from the start), sanitizer
# errors end the run, leaks are written to files and sorted by leak_report.py.
# The leak check at exit replaces the exit status, so exit_status.py keeps the
# run's own.
asan_preload="$(g++ -print-file-name=libasan.so) $(g++ -print-file-name=libstdc++.so)"
in_asan() {
    local name=$1 interpreter=$2 module=$3
    shift 3
    rm -f "$asan_logs/$name.status"
    env LD_PRELOAD="$asan_preload" PYTHONMALLOC=malloc PYTHONDONTWRITEBYTECODE=1 \
        ASAN_OPTIONS=detect_leaks=1:log_path=$asan_logs/$name \
        PYTHONPATH="$root/build-hardening-asan/$module:$root/tests/hardening:$root/tests/support" \
        TALLOWFIT_HARDENING_ROUNDS=5 "$interpreter" tests/hardening/exit_status.py \
        "$asan_logs/$name.status" "$@" || true
    [ "$(cat "$asan_logs/$name.status" 2>/dev/null)" = 0 ]
}
for py in py2:/usr/bin/python2.7 py3:/usr/bin/python3; do
    tag=${py%%:*}
    interpreter=${py#*:}
    check "suite $tag, sanitizers" in_asan suite-$tag "$interpreter" $tag -m unittest discover -s tests/python -p 'test_*.py'
    check "fault injection $tag, sanitizers" in_asan faults-$tag "$interpreter" $tag-faults -m unittest discover -s tests/hardening -p 'test_*.py'
    check "fuzzing $tag, sanitizers" in_asan fuzz-$tag "$interpreter" $tag tests/hardening/fuzz_entries.py \
        --seed $seed --calls $sanitizer_fuzz_calls
done
if grep -l 'ERROR: AddressSanitizer\|AddressSanitizer: CHECK\|runtime error:\|UndefinedBehaviorSanitizer' \
        "$asan_logs"/*; then
    echo "FAILED: sanitizer errors in the logs above"
    failed=$((failed + 1))
fi
check "sanitizer leak report" /usr/bin/python3 tests/hardening/leak_report.py $(ls "$asan_logs"/* | grep -v '[.]status$')

# ThreadSanitizer over the fit layer's C++ tests, whose engine fits share
# their passes with the second thread and run beside each other.
/usr/bin/cmake --preset threads
/usr/bin/cmake --build build-hardening-tsan --target test_fit -j2
check "C++ fit tests under ThreadSanitizer" env TSAN_OPTIONS=halt_on_error=1 build-hardening-tsan/tests/test_fit

# 3. valgrind memcheck, Python 3 with the interpreter's own allocator off.
# valgrind runs one thread at a time; its fair scheduling hands the turn round
# as the kernel would, where the engine's two threads, which wait for each
# other by looking, could otherwise keep a third thread from running for long.
step "valgrind memcheck"
vg_logs=$logs/valgrind
rm -rf "$vg_logs"
mkdir -p "$vg_logs"
in_valgrind() {
    local name=$1 module=$2
    shift 2
    env PYTHONMALLOC=malloc PYTHONDONTWRITEBYTECODE=1 TALLOWFIT_HARDENING_ROUNDS=$valgrind_rounds \
        PYTHONPATH="$root/build-hardening/$module:$root/tests/hardening:$root/tests/support" \
        valgrind --tool=memcheck --fair-sched=yes --error-exitcode=99 --leak-check=full \
        --show-leak-kinds=definite --errors-for-leak-kinds=none \
        --suppressions=/usr/lib/valgrind/python3.supp \
        --log-file="$vg_logs/$name.log" /usr/bin/python3 "$@"
}
check "suite, valgrind" in_valgrind suite py3 -m unittest discover -s tests/python -p 'test_*.py'
check "fault injection, valgrind" in_valgrind faults py3-faults -m unittest discover -s tests/hardening -p 'test_*.py'
check "fuzzing, valgrind" in_valgrind fuzz py3 tests/hardening/fuzz_entries.py --seed $seed --calls $valgrind_fuzz_calls \
    --slowdown 100
grep -h 'ERROR SUMMARY' "$vg_logs"/*.log
check "valgrind leak report" /usr/bin/python3 tests/hardening/leak_report.py "$vg_logs"/*.log

# 4. Long fuzzing.
step "fuzzing, $fuzz_calls calls per interpreter"
for py in py2:/usr/bin/python2.7 py3:/usr/bin/python3; do
    check "fuzzing ${py%%:*}, $fuzz_calls calls" env PYTHONPATH="$root/build-hardening/${py%%:*}" "${py#*:}" tests/hardening/fuzz_entries.py \
        --seed $seed --calls $fuzz_calls --chunks 20
done

echo
summary
