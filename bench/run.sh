#!/usr/bin/env bash
# Benchmarks tallowfit beside numpy and scipy and writes docs/performance.md.
#
#   bash bench/run.sh [--quick]
#
# Creates bench/.venv (numpy and scipy from PyPI) when it is missing, builds the
# Python 3 module (Release) in build-bench/ and the C floor in build-bench/bench/,
# then runs bench/bench.py. --quick stops the scaling at 10^6 points; --out FILE
# writes elsewhere. Takes a few minutes; leave the machine otherwise idle.
# BENCH_BUILD_DIR overrides the build folder.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
cd "$root"
build="${BENCH_BUILD_DIR:-$root/build-bench}"
python=/usr/bin/python3

if [ ! -x bench/.venv/bin/python ]; then
    "$python" -m venv bench/.venv
    bench/.venv/bin/pip install --quiet numpy scipy
fi

/usr/bin/cmake --preset bench -B "$build" -DTALLOWFIT_PYTHON3="$python" >/dev/null
/usr/bin/cmake --build "$build" --target tallowfit_py3 -j2 >/dev/null

mkdir -p "$build/bench"
include="$("$python" -c 'import sysconfig; print(sysconfig.get_paths()["include"])')"
suffix="$("$python" -c 'import sysconfig; print(sysconfig.get_config_var("EXT_SUFFIX"))')"
g++ -O2 -shared -fPIC -std=c++17 -I"$include" bench/floor_module.cpp -o "$build/bench/_floor$suffix"

# This machine may set OpenBLAS tuning variables that slow numpy down; numpy
# runs here with its own defaults, on one thread like the module: idle OpenBLAS
# worker threads would otherwise compete for the cores with the timed calls.
env -u OPENBLAS_CORETYPE -u OPENBLAS_L2_SIZE OPENBLAS_NUM_THREADS=1 \
    PYTHONPATH="$build/py3:$build/bench" PYTHONDONTWRITEBYTECODE=1 \
    bench/.venv/bin/python bench/bench.py --out docs/performance.md "$@"
