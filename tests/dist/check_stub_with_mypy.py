"""Runs mypy on typed_usage.py, a user script of the module and the companion package (must pass
--strict), and typed_misuse.py (must report errors on exactly the lines marked 'rejected'); exits 0
when both hold. Needs mypy; curvefits and tallowfit installed or on PYTHONPATH."""
import os
import re
import site
import subprocess
import sys

import curvefits

HERE = os.path.dirname(os.path.abspath(__file__))


def mypy(*arguments):
    environment, package = dict(os.environ), os.path.dirname(os.path.dirname(os.path.abspath(curvefits.__file__)))
    if package not in site.getsitepackages():  # from a source tree: the package and the module's stub at its top
        environment["MYPYPATH"] = os.pathsep.join([package, os.path.dirname(os.path.dirname(HERE))])
    run = subprocess.run([sys.executable, "-m", "mypy", "--no-incremental", "--no-error-summary"]
                         + list(arguments), cwd=HERE, env=environment, capture_output=True, text=True)
    return run.returncode, run.stdout + run.stderr


if __name__ == "__main__":
    code, output = mypy("--strict", "typed_usage.py")
    failures = ["typed_usage.py: mypy --strict refused correct calls:\n" + output] if code else []
    with open(os.path.join(HERE, "typed_misuse.py")) as handle:
        marked = {number for number, line in enumerate(handle, 1) if "# rejected" in line}
    output = mypy("typed_misuse.py")[1]
    reported = {int(n) for n in re.findall(r"^typed_misuse\.py:(\d+): error", output, re.M)}
    if reported != marked:
        failures.append("typed_misuse.py: errors expected on lines %s, reported on %s:\n%s"
                        % (sorted(marked), sorted(reported), output))
    print("\n".join(failures + ["mypy: %d of 2 checks passed" % (2 - len(failures))]))
    sys.exit(1 if failures else 0)
