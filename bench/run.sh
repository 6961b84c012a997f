#!/usr/bin/env bash
# Benchmarks tallowfit beside numpy and scipy and writes docs/performance.md.
#
#   bash bench/run.sh [--quick] [--out FILE]
#   bash bench/run.sh --instructions [--record]
#
# Builds the Python 3 module (Release) in build-bench/, then checks the
# instruction counts of fixed calls against bench/instructions.json
# (bench/instructions.py, under valgrind): a job more than 2% over its record
# fails the run. --instructions stops there; --record stores the counts as the
# new record. Otherwise it goes on: creates bench/.venv (numpy and scipy) when
# it is missing, builds the companion's array engine and the C floor (with
# Debian's GSL, installed when missing) in
# build-bench/bench/ and runs bench/bench.py, bench/engine_bench.py and
# bench/companion.py. --quick stops the scaling at 10^6 points; --out FILE writes
# elsewhere. Takes a few minutes; leave the machine otherwise idle.
# BENCH_BUILD_DIR overrides the build folder.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
cd "$root"
build="${BENCH_BUILD_DIR:-$root/build-bench}"
python=/usr/bin/python3

/usr/bin/cmake --preset bench -B "$build" -DTALLOWFIT_PYTHON3="$python" >/dev/null
/usr/bin/cmake --build "$build" --target tallowfit_py3 curvefits_engine_py3 -j2 >/dev/null

if [ "${1:-}" = --instructions ]; then
    shift
    PYTHONPATH="$build/py3" exec "$python" bench/instructions.py "$@"
fi
PYTHONPATH="$build/py3" "$python" bench/instructions.py

if [ ! -x bench/.venv/bin/python ]; then
    "$python" -m venv bench/.venv
    bench/.venv/bin/pip install --quiet numpy scipy
fi

# The C floor's root finder is GSL's, from the Debian package.
[ -f /usr/include/gsl/gsl_poly.h ] || apt-get install -y -q libgsl-dev >/dev/null
mkdir -p "$build/bench"
include="$("$python" -c 'import sysconfig; print(sysconfig.get_paths()["include"])')"
suffix="$("$python" -c 'import sysconfig; print(sysconfig.get_config_var("EXT_SUFFIX"))')"
g++ -O2 -shared -fPIC -std=c++17 -I"$include" bench/floor_module.cpp -o "$build/bench/_floor$suffix" \
    -lgsl -lgslcblas

# This machine may set OpenBLAS tuning variables that slow numpy down; numpy
# runs here with its own defaults, on one thread like the module: idle OpenBLAS
# worker threads would otherwise compete for the cores with the timed calls.
run() {
    env -u OPENBLAS_CORETYPE -u OPENBLAS_L2_SIZE OPENBLAS_NUM_THREADS=1 \
        PYTHONPATH="$build/py3:$build/bench:$root/src" PYTHONDONTWRITEBYTECODE=1 \
        bench/.venv/bin/python "$@"
}
run bench/bench.py --out docs/performance.md "$@"
# The companion's array engine, into its own section of the same page.
run bench/engine_bench.py --out docs/performance.md "$@"
# The companion package's overhead over the bare call: its own section too.
run bench/companion.py --out docs/performance.md "$@"
