#!/usr/bin/env bash
# Inside a userland made by bullseye-root.sh (source at /src, read-only): builds
# the core, the C++ tests and the module for the given interpreters into BUILD,
# checks that every translation unit was compiled with the flags that fix the
# floating-point results (and, for 32 bits, that no x87 arithmetic is left in
# the objects), checks the module's word size, and runs ctest.
#   build-in-root.sh BUILD PYTHON2 PYTHON3 BITS
# An empty PYTHON2 or PYTHON3 builds no module for it. BITS is 32 or 64: the
# word size the module and the interpreters must have.
set -euo pipefail
build=$1
py2=$2
py3=$3
bits=$4
jobs=${TALLOWFIT_JOBS:-2}

werror=OFF
if [ "${CI:-}" = true ]; then werror=ON; fi
cmake -S /src -B "$build" -DCMAKE_BUILD_TYPE=Release -DTALLOWFIT_BUILD_TESTS=ON \
    -DTALLOWFIT_PYTHON2="$py2" -DTALLOWFIT_PYTHON3="$py3" \
    -DTALLOWFIT_REQUIRE_ALL_PYTHONS=ON -DTALLOWFIT_WERROR="$werror" \
    -DCMAKE_EXPORT_COMPILE_COMMANDS=ON >"$build.cmake.log" 2>&1 \
    || { cat "$build.cmake.log"; exit 1; }
cmake --build "$build" -j"$jobs" -- --no-print-directory >"$build.build.log" 2>&1 \
    || { tail -60 "$build.build.log"; exit 1; }

checker=${py2:-$py3}
"$checker" /src/tests/platform/check_build_flags.py "$build/compile_commands.json" "$bits"
if [ "$bits" = 32 ]; then
    "$checker" /src/tests/platform/check_no_x87.py "$build"
fi
for py in $py2 $py3; do
    tag=py$("$py" -c 'import sys; print(sys.version_info[0])')
    PYTHONPATH="$build/$tag" "$py" /src/tests/platform/check_word_size.py "$bits"
done

cd "$build"
ctest --output-on-failure --no-tests=error
