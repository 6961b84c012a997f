#!/usr/bin/env bash
# Checks the module as users get it, with packages from PyPI (so it is not part
# of ctest, which needs only Debian packages and the standard library):
#   1. `pip wheel .` builds a wheel that holds the module and its type stubs;
#   2. the wheel installed into a fresh virtual environment imports, and the
#      Python suite passes against it, run from outside the source tree;
#   3. `pip install .` installs a module that imports;
#   4. mypy accepts correct calls and rejects wrong ones through the stub;
#   5. examples/parallel_fits.py gives the serial results exactly on a process
#      pool and on a dask LocalCluster (2000 data sets);
#   6. examples/compare_scipy.py agrees with scipy and numpy;
#   7. the picture examples run and save their PNGs.
# Prints "N passed, N failed" and exits 1 when a check failed.
# Tools (mypy, dask, numpy, scipy, matplotlib) live in .venv-dist-tools, kept between runs;
# the fresh environments and the wheel go to a temporary folder.
set -u
cd "$(dirname "$0")/.."
root="$PWD"
python=/usr/bin/python3
export CMAKE_BUILD_PARALLEL_LEVEL="${CMAKE_BUILD_PARALLEL_LEVEL:-2}"
export PIP_DISABLE_PIP_VERSION_CHECK=1 PYTHONDONTWRITEBYTECODE=1

work="$(mktemp -d /tmp/tallowfit-dist.XXXXXX)"
trap 'rm -rf "$work"' EXIT
passed=0
failed=0

# check NAME COMMAND...: runs the command with its output in a log, shown on failure.
check() {
    local name="$1"; shift
    local log="$work/$(echo "$name" | tr -c 'a-zA-Z0-9\n' '_').log"
    if "$@" >"$log" 2>&1; then
        echo "PASS  $name"
        passed=$((passed + 1))
    else
        echo "FAIL  $name"
        grep -v '^WARNING: Location' "$log" | tail -n 40 | sed 's/^/      /'
        failed=$((failed + 1))
    fi
}

new_venv() { "$python" -m venv "$1" && "$1/bin/python" -m pip install -q --upgrade pip; }

build_wheel() {
    new_venv "$work/build" &&
    "$work/build/bin/python" -m pip wheel -q --no-deps -w "$work/wheels" "$root" &&
    ls "$work"/wheels/tallowfit-*.whl
}

wheel_holds_module_and_stubs() {
    "$python" - "$work"/wheels/tallowfit-*.whl <<'EOF'
import sys, sysconfig, zipfile
names = set(zipfile.ZipFile(sys.argv[1]).namelist())
suffix = sysconfig.get_config_var("EXT_SUFFIX")
wanted = {"tallowfit" + suffix, "_curvefits_engine" + suffix, "tallowfit.pyi", "tallowfit-stubs/__init__.pyi"}
print(sorted(names))
sys.exit(0 if wanted <= names else 1)
EOF
}

install_wheel_fresh() {
    new_venv "$work/fresh" &&
    "$work/fresh/bin/python" -m pip install -q "$work"/wheels/tallowfit-*.whl &&
    (cd "$work" && "$work/fresh/bin/python" -c "
import array, os, sys, tallowfit, _curvefits_engine
print(tallowfit.__file__, _curvefits_engine.__file__)
roots = _curvefits_engine.find_roots(array.array('d', [5.0]))
sys.exit(0 if tallowfit.__file__.startswith(sys.prefix) and tallowfit.findRoots([5.0]) == (0, [])
         and _curvefits_engine.__file__.startswith(sys.prefix) and roots[:2] == (0, None) else 1)")
}

# The suite with only the shared test helpers on the path: the module must be the wheel's.
suite_against_wheel() {
    (cd "$work" && env PYTHONPATH="$root/tests/support" "$work/fresh/bin/python" -m unittest discover -s "$root/tests/python" -p "test_*.py") \
        >"$work/suite.out" 2>&1
    local code=$?
    cat "$work/suite.out"
    [ $code -eq 0 ] && grep -q '^Ran [1-9]' "$work/suite.out"
}

pip_install_source() {
    new_venv "$work/source" &&
    "$work/source/bin/python" -m pip install -q "$root" &&
    (cd "$work" && "$work/source/bin/python" -c "import tallowfit; print(tallowfit.__file__, tallowfit.findRoots([2, -3, 1]))")
}

tools="$root/.venv-dist-tools"
prepare_tools() {
    { [ -x "$tools/bin/python" ] || new_venv "$tools"; } &&
    "$tools/bin/python" -m pip install -q mypy dask distributed numpy scipy matplotlib &&
    "$tools/bin/python" -m pip install -q --force-reinstall --no-deps "$work"/wheels/tallowfit-*.whl
}

check "pip wheel . builds a wheel" build_wheel
check "the wheel holds the module, the array engine, tallowfit.pyi and tallowfit-stubs" wheel_holds_module_and_stubs
check "the wheel installs into a fresh venv and imports" install_wheel_fresh
check "the Python suite passes against the installed wheel" suite_against_wheel
check "pip install . installs a module that imports" pip_install_source
check "tools venv with mypy, dask, numpy, scipy, matplotlib and the wheel" prepare_tools
check "mypy accepts correct calls and rejects wrong ones" \
    env -u PYTHONPATH "$tools/bin/python" tests/dist/check_stub_with_mypy.py
check "parallel fits equal the serial loop (process pool, dask)" \
    env -u PYTHONPATH "$tools/bin/python" examples/parallel_fits.py --count 2000
check "the fits agree with scipy and numpy" \
    env -u PYTHONPATH "$tools/bin/python" examples/compare_scipy.py

# plot_example SCRIPT PNG: the example runs and (re)writes its picture.
plot_example() {
    rm -f "examples/output/$2" &&
    env -u PYTHONPATH "$tools/bin/python" "examples/$1" &&
    [ -s "examples/output/$2" ]
}
check "plot_calibration.py saves calibration.png" plot_example plot_calibration.py calibration.png
check "plot_dual.py saves dual.png" plot_example plot_dual.py dual.png
check "plot_roots.py saves roots.png" plot_example plot_roots.py roots.png

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
