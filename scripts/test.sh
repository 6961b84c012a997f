#!/usr/bin/env bash
# Builds everything in build/ (Release) and runs every test through ctest: the
# C++ GoogleTest programs and the Python suite under each interpreter the module
# was built for. Exits non-zero on any failure.
# Under CI=true compiler warnings are errors and both interpreters are required.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh

# The system's cmake and ctest (what install-deps.sh installs), not whatever an
# environment manager puts first on PATH.
cmake=/usr/bin/cmake ctest=/usr/bin/ctest
if [ ! -x "$cmake" ] || [ ! -x "$ctest" ]; then cmake=cmake ctest=ctest; fi

strict=OFF
if [ "${CI:-}" = true ]; then strict=ON; fi

"$cmake" -S . -B build -DCMAKE_BUILD_TYPE=Release \
    -DTALLOWFIT_BUILD_TESTS=ON \
    -DTALLOWFIT_WERROR="$strict" \
    -DTALLOWFIT_REQUIRE_ALL_PYTHONS="$strict"
"$cmake" --build build -j2

cd build
exec "$ctest" --output-on-failure --no-tests=error
