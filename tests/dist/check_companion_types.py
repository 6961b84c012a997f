"""Checks the companion package's type hints and documentation as a user sees
them: mypy --strict accepts companion_usage.py, and help() of every public
name shows a docstring with an example. Exits 0 when both hold.

    python tests/dist/check_companion_types.py
        (mypy installed; curvefits and tallowfit installed or on PYTHONPATH)
"""
import os
import pydoc
import site
import subprocess
import sys

HERE = os.path.dirname(os.path.abspath(__file__))


def main():
    failures = 0
    import curvefits
    package = os.path.dirname(os.path.dirname(os.path.abspath(curvefits.__file__)))
    environment = dict(os.environ)
    if package not in site.getsitepackages():
        # From a source tree: the package's folder, and the native module's
        # stub at the top of the tree (an installed module brings tallowfit-stubs).
        root = os.path.dirname(os.path.dirname(HERE))
        environment["MYPYPATH"] = os.pathsep.join([package, root])
    run = subprocess.run([sys.executable, "-m", "mypy", "--strict", "--no-incremental",
                          "companion_usage.py"], cwd=HERE, env=environment,
                         stdout=subprocess.PIPE, stderr=subprocess.STDOUT, universal_newlines=True)
    if run.returncode != 0:
        print("companion_usage.py: mypy --strict refused it:\n" + run.stdout)
        failures += 1
    missing = [name for name in curvefits.__all__ if name != "__version__"
               and ">>>" not in pydoc.render_doc(getattr(curvefits, name))]
    if missing:
        print("help() shows no example for: %s" % ", ".join(missing))
        failures += 1
    print("companion: %d of 2 checks passed" % (2 - failures))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
