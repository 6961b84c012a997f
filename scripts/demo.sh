#!/usr/bin/env bash
# Builds the module in build/ and runs the demo: the calibration fit of
# examples/data/calibration.csv with every model, then the roots demo.
# Runs under /usr/bin/python3 with build/py3 on PYTHONPATH; to run it under
# Python 2.7 instead, pass --python2 or set TALLOWFIT_DEMO_PYTHON=/usr/bin/python2.7.
set -euo pipefail
cd "$(dirname "$0")/.."

python="${TALLOWFIT_DEMO_PYTHON:-/usr/bin/python3}"
case "${1:-}" in
    --python2) python=/usr/bin/python2.7 ;;
    --python3) python=/usr/bin/python3 ;;
    "") ;;
    *) echo "usage: bash scripts/demo.sh [--python2|--python3]" >&2; exit 2 ;;
esac

bash scripts/install-deps.sh

# The system's cmake (what install-deps.sh installs), not whatever an
# environment manager puts first on PATH.
cmake=/usr/bin/cmake
[ -x "$cmake" ] || cmake=cmake
"$cmake" -S . -B build -DCMAKE_BUILD_TYPE=Release >/dev/null

# Build the module for every interpreter the configuration found.
known="$("$cmake" --build build --target help)"
targets=()
for tag in py2 py3; do
    if grep -q "tallowfit_$tag\$" <<<"$known"; then
        targets+=(--target "tallowfit_$tag")
    fi
done
if [ ${#targets[@]} -eq 0 ]; then
    echo "demo: no Python interpreter with headers to build the module for" >&2
    exit 1
fi
"$cmake" --build build -j2 "${targets[@]}"

major="$("$python" -c 'import sys; print(sys.version_info[0])')"
export PYTHONPATH="$PWD/build/py$major${PYTHONPATH:+:$PYTHONPATH}"
export PYTHONDONTWRITEBYTECODE=1
echo
"$python" examples/calibration_demo.py
echo
"$python" examples/roots_demo.py

# The worked examples with pictures need matplotlib from PyPI (installed into
# .venv-examples when missing); without it the demo above still stands.
if [ "$major" = 3 ]; then
    echo
    for example in plot_calibration plot_dual plot_roots; do
        "$python" "examples/$example.py" >/dev/null 2>"build/$example.log" \
            || echo "demo: examples/$example.py did not run (see build/$example.log)"
    done
    echo "Pictures of the fits and roots:"
    ls -1 "$PWD"/examples/output/*.png 2>/dev/null | sed 's/^/  /'
fi
