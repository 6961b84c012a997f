"""Runs mypy on typed_usage.py (must pass --strict) and typed_misuse.py (must
report errors on exactly the lines marked 'rejected'). Exits 0 when both hold.

    python tests/dist/check_stub_with_mypy.py   (with mypy and tallowfit installed)
"""
import os
import re
import subprocess
import sys

HERE = os.path.dirname(os.path.abspath(__file__))


def mypy(*arguments):
    run = subprocess.run([sys.executable, "-m", "mypy", "--no-incremental", "--no-error-summary"] + list(arguments),
                         cwd=HERE, capture_output=True, text=True)
    return run.returncode, run.stdout + run.stderr


def main():
    failures = 0
    code, output = mypy("--strict", "typed_usage.py")
    if code != 0:
        print("typed_usage.py: mypy --strict refused correct calls:\n" + output)
        failures += 1

    with open(os.path.join(HERE, "typed_misuse.py")) as handle:
        marked = set(number for number, line in enumerate(handle, 1) if "# rejected" in line)
    code, output = mypy("typed_misuse.py")
    reported = set(int(number) for number in re.findall(r"^typed_misuse\.py:(\d+): error", output, re.M))
    if reported != marked:
        print("typed_misuse.py: errors expected on lines %s, reported on %s:\n%s"
              % (sorted(marked), sorted(reported), output))
        failures += 1
    print("mypy: %d of 2 stub checks passed" % (2 - failures))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
