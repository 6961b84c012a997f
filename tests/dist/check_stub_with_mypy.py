"""Runs mypy on typed_usage.py (must pass --strict) and typed_misuse.py (must report errors
on exactly the lines marked 'rejected'); exits 0 when both hold. Needs mypy and tallowfit."""
import os
import re
import subprocess
import sys

HERE = os.path.dirname(os.path.abspath(__file__))


def mypy(*arguments, env=None):
    run = subprocess.run([sys.executable, "-m", "mypy", "--no-incremental", "--no-error-summary"]
                         + list(arguments), cwd=HERE, env=env, capture_output=True, text=True)
    return run.returncode, run.stdout + run.stderr


def report(failures, what, total=2):
    print("\n".join(failures + ["%s: %d of %d %s passed" % (what[0], total - len(failures), total, what[1])]))
    return 1 if failures else 0


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
    sys.exit(report(failures, ("mypy", "stub checks")))
