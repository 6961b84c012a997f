"""Finds the tallowfit module, its companion package curvefits and the PyPI
packages that an example needs.

tallowfit and curvefits are taken from wherever they are installed (pip
install .) or, failing that, from the CMake build in build/py3 and from src/. A missing package (matplotlib, numpy,
scipy, dask) is installed with pip: into the running interpreter when that is
already a virtual environment, otherwise into .venv-examples at the top of the
source tree, under which the example then starts again.
"""
import importlib.util
import os
import subprocess
import sys

ROOT = os.path.normpath(os.path.join(os.path.dirname(os.path.abspath(__file__)), os.pardir))
OUTPUT = os.path.join(ROOT, "examples", "output")
DATA = os.path.join(ROOT, "examples", "data")
EXAMPLES_VENV = os.path.join(ROOT, ".venv-examples")
RESTARTED = "TALLOWFIT_EXAMPLES_RESTARTED"


def import_tallowfit():
    """Imports tallowfit, from build/py3 when it is not installed.

    The build folder also goes on PYTHONPATH, so that worker processes that
    start a fresh interpreter find the module too.
    """
    try:
        import tallowfit
    except ImportError:
        build = os.path.join(ROOT, "build", "py%d" % sys.version_info[0])
        sys.path.insert(0, build)
        try:
            import tallowfit
        except ImportError:
            sys.exit("tallowfit is neither installed nor built in %s:\n"
                     "  run `pip install .` or `bash scripts/demo.sh` first" % build)
        _prepend_to_pythonpath(build)
    return tallowfit


def import_curvefits():
    """Imports the companion package curvefits (and tallowfit under it), from
    src/ when it is not installed."""
    import_tallowfit()
    try:
        import curvefits
    except ImportError:
        source = os.path.join(ROOT, "src")
        sys.path.insert(0, source)
        import curvefits
        _prepend_to_pythonpath(source)
    return curvefits


def require(packages):
    """Makes sure every module of packages ({import name: pip requirement}) imports.

    Starts the example again under .venv-examples when the packages had to be
    installed there.
    """
    missing = [name for name in packages if importlib.util.find_spec(name) is None]
    if not missing:
        return
    requirements = [packages[name] for name in missing]
    if sys.prefix != sys.base_prefix:
        _pip_install(sys.executable, requirements)
        importlib.invalidate_caches()
        return
    if os.environ.get(RESTARTED):
        sys.exit("%s still missing under %s" % (", ".join(missing), sys.executable))
    python = os.path.join(EXAMPLES_VENV, "bin", "python")
    # A folder left half-made (venv interrupted, or without pip) is made again.
    complete = os.path.join(EXAMPLES_VENV, "complete")
    if not os.path.exists(complete) or subprocess.call(
            [python, "-m", "pip", "--version"], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL) != 0:
        print("creating %s for the example's packages" % EXAMPLES_VENV, flush=True)
        if subprocess.call([sys.executable, "-m", "venv", "--clear", EXAMPLES_VENV]) != 0:
            sys.exit("could not create %s (%s -m venv: is python3-venv installed?)" % (EXAMPLES_VENV, sys.executable))
        open(complete, "w").close()
    probe = "import importlib.util, sys; sys.exit(any(importlib.util.find_spec(n) is None for n in sys.argv[1:]))"
    if subprocess.call([python, "-c", probe] + missing) != 0:
        # Everything the examples use, so that the folder is filled once for all of them.
        everything = {"matplotlib": "matplotlib", "numpy": "numpy", "scipy": "scipy",
                      "dask": "dask", "distributed": "distributed"}
        everything.update(packages)
        _pip_install(python, sorted(set(everything.values())))
    tallowfit = import_tallowfit()
    _prepend_to_pythonpath(os.path.dirname(os.path.abspath(tallowfit.__file__)))
    os.environ[RESTARTED] = "1"
    sys.stdout.flush()
    os.execv(python, [python] + sys.argv)


def output_path(name):
    """Path of a picture in examples/output/, which is made when missing."""
    os.makedirs(OUTPUT, exist_ok=True)
    return os.path.join(OUTPUT, name)


def read_calibration_points():
    """The bundled calibration data set as (x, y, yUnc) tuples."""
    points = []
    with open(os.path.join(DATA, "calibration.csv")) as handle:
        next(handle)
        for line in handle:
            x, y, y_unc = (float(field) for field in line.split(","))
            points.append((x, y, y_unc))
    return points


def _pip_install(python, requirements):
    print("installing %s for %s" % (" ".join(requirements), python), flush=True)
    if subprocess.call([python, "-m", "pip", "install", "--quiet"] + list(requirements)) != 0:
        sys.exit("pip could not install %s (no network or no package index?)" % " ".join(requirements))


def _prepend_to_pythonpath(folder):
    current = os.environ.get("PYTHONPATH")
    os.environ["PYTHONPATH"] = folder + (os.pathsep + current if current else "")
