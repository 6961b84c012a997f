#!/usr/bin/env bash
# Checks the module as users get it, with packages from PyPI (so not in ctest,
# which needs only Debian packages and the standard library):
#   1. for each CPython 3 that scripts/test.sh builds for: `pip wheel .`, the
#      wheel repaired to a manylinux tag by auditwheel (patchelf from Debian;
#      auditwheel 6.8.1 and later want a newer one than Debian 12's),
#      installed into a fresh venv of that interpreter, and the Python suites
#      (tests/python, and tests/companion where it exists) run against it from
#      outside the source tree;
#   2. the sdist, and a wheel built from it that installs and imports;
#   3. mypy accepts correct calls and rejects wrong ones through the stub, and
#      the companion package's hints pass mypy --strict on a user script;
#   4. the examples: parallel fits equal the serial ones, the comparison with
#      scipy and numpy, the pictures.
# Prints "N passed, N failed" and exits 1 when a check failed. The tools live
# in .venv-dist-tools, kept between runs; the rest goes to a temporary folder.
set -u
. "$(dirname "$0")/lib.sh"
cd "$TALLOWFIT_SRC"
root=$TALLOWFIT_SRC
export CMAKE_BUILD_PARALLEL_LEVEL=${CMAKE_BUILD_PARALLEL_LEVEL:-2} PIP_DISABLE_PIP_VERSION_CHECK=1 PYTHONDONTWRITEBYTECODE=1
install_deps --dist || exit 1
work=$(mktemp -d /tmp/tallowfit-dist.XXXXXX)
trap 'rm -rf "$work"' EXIT
export CHECK_LOGS=$work/logs
tools=$root/.venv-dist-tools

new_venv() { "$1" -m venv "$2" && "$2/bin/python" -m pip install -q --upgrade pip; }

wheel_for() {  # TAG PYTHON: build, repair, show the platform tag
    new_venv "$2" "$work/$1-build" &&
    "$work/$1-build/bin/python" -m pip wheel -q --no-deps -w "$work/$1-raw" "$root" &&
    "$tools/bin/auditwheel" repair -w "$work/$1" "$work/$1-raw"/*.whl &&
    "$tools/bin/auditwheel" show "$work/$1"/*.whl | tee /dev/stderr | grep -q manylinux
}

# The suites with only the shared test helpers on the path: the module is the installed one.
suites_against() {  # VENV WHEEL
    new_venv "$2" "$1" && "$1/bin/python" -m pip install -q "$3" || return 1
    local dir
    for dir in tests/python tests/companion; do
        [ -d "$dir" ] || continue
        (cd "$work" && env PYTHONPATH="$root/tests/support" "$1/bin/python" -c \
            'import sys, tallowfit, _curvefits_engine, curvefits
for m in (tallowfit, _curvefits_engine, curvefits): assert m.__file__.startswith(sys.prefix), m.__file__' &&
         env PYTHONPATH="$root/tests/support" "$1/bin/python" -m unittest discover -s "$root/$dir" -p 'test_*.py') \
            || return 1
    done
}

from_sdist() {
    "$tools/bin/python" -m build -q --sdist -o "$work/sdist" "$root" &&
    "$tools/bin/python" -m pip wheel -q --no-deps -w "$work/sdist-wheel" "$work"/sdist/tallowfit-*.tar.gz &&
    suites_against "$work/sdist-venv" /usr/bin/python3 "$work"/sdist-wheel/tallowfit-*.whl
}

step "tools"
check "tools venv: auditwheel, build, mypy, dask, numpy, scipy, matplotlib" eval '{ [ -x "$tools/bin/python" ] || new_venv /usr/bin/python3 "$tools"; } &&
    "$tools/bin/python" -m pip install -q "auditwheel<6.8.1" build mypy dask distributed numpy scipy matplotlib'
step "a wheel for each interpreter"
while read -r tag python; do
    [ "$tag" = py2 ] && continue
    check "$tag ($python): pip wheel ., auditwheel repair" wheel_for "$tag" "$python"
    compgen -G "$work/$tag/*.whl" >/dev/null && check "$tag: the suites against the installed wheel" suites_against "$work/$tag-venv" "$python" "$work/$tag"/*.whl
done < <(interpreters)
step "the sdist and the installed package"
check "the sdist, and a wheel from it that passes the suites" from_sdist
check "the tools venv takes the py3 wheel" "$tools/bin/python" -m pip install -q --force-reinstall --no-deps "$work"/py3/*.whl
check "mypy: the companion's hints pass --strict, the stub accepts correct calls and rejects wrong ones" \
    env -u PYTHONPATH "$tools/bin/python" tests/dist/check_stub_with_mypy.py
check "parallel fits equal the serial loop (process pool, dask)" \
    env -u PYTHONPATH "$tools/bin/python" examples/parallel_fits.py --count 2000
check "the fits agree with scipy and numpy" env -u PYTHONPATH "$tools/bin/python" examples/compare_scipy.py
for example in calibration dual roots; do
    check "plot_$example.py saves $example.png" eval "rm -f examples/output/$example.png &&
        env -u PYTHONPATH '$tools/bin/python' examples/plot_$example.py && [ -s examples/output/$example.png ]"
done
echo
summary
