#!/usr/bin/env bash
# Builds the module in build/ and runs the demo: the calibration fit of
# examples/data/calibration.csv with every model, then the roots demo, then
# (Python 3) the pictures of examples/plot_*.py. A picture that cannot be drawn
# (no venv, no network, no matplotlib) is reported with its reason and does not
# fail the demo. Runs under /usr/bin/python3; --python2 or
# TALLOWFIT_DEMO_PYTHON=/usr/bin/python2.7 runs it under Python 2.7.
set -euo pipefail
. "$(dirname "$0")/lib.sh"
cd "$TALLOWFIT_SRC"

python="${TALLOWFIT_DEMO_PYTHON:-/usr/bin/python3}"
case "${1:-}" in
    --python2) python=/usr/bin/python2.7 ;;
    --python3) python=/usr/bin/python3 ;;
    "") ;;
    *) echo "usage: bash scripts/demo.sh [--python2|--python3]" >&2; exit 2 ;;
esac

install_deps || exit 1
[ -x "$python" ] || { echo "demo: $python is not installed" >&2; exit 1; }
mkdir -p build
/usr/bin/cmake --preset default >build/configure.log 2>&1 \
    || { cat build/configure.log; echo "demo: configuring build/ failed (output above)" >&2; exit 1; }
tag=py$("$python" -c 'import sys; print(sys.version_info[0])')
/usr/bin/cmake --build build -j2 --target "tallowfit_$tag" \
    || { echo "demo: building the module for $python failed (output above)" >&2; exit 1; }

export PYTHONPATH="$PWD/build/$tag${PYTHONPATH:+:$PYTHONPATH}" PYTHONDONTWRITEBYTECODE=1
echo
"$python" examples/calibration_demo.py
echo
"$python" examples/roots_demo.py

if [ "$tag" = py3 ]; then
    echo
    for example in plot_calibration plot_dual plot_roots; do
        "$python" "examples/$example.py" >"build/$example.log" 2>&1 \
            || echo "demo: no picture from examples/$example.py: $(tail -n 1 "build/$example.log")"
    done
    pictures=$(ls -1 "$PWD"/examples/output/*.png 2>/dev/null || true)
    [ -z "$pictures" ] || { echo "Pictures of the fits and roots:"; echo "$pictures" | sed 's/^/  /'; }
fi
