"""Counts the instructions that fixed calls of the module execute, under
valgrind's callgrind, and checks them against the record in instructions.json.
A count does not move with the load of the machine as a time does, so a change
that makes any job more than 2% dearer fails here, however busy the machine.

    python instructions.py [--record]

Each job runs in a fresh interpreter: one call to warm up, then CALLS calls
whose mean is the figure, counted from the entry function's start to its
return (conversion of the arguments and building of the result included,
the interpreter's own call machinery not), with the cycle collector off so that
no collection falls inside a call. Symbols are bound at load time so that the
first call's lookups are not counted. The counts include the interpreter's
functions that a call uses (floats, tuples, lists), so they hold for the
interpreter bench/run.sh runs, /usr/bin/python3 (INSTRUCTIONS_PYTHON or the
interpreter running this script otherwise). --record writes the figures as
the new record (the figures before the first record are kept as "before").
Exit status 1 when a job grows by more than the tolerance.
"""
import json
import os
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
RECORD = os.path.join(HERE, "instructions.json")
TOLERANCE = 0.02
CALLS = 4

ENTRY = "tallowfit::%s(_object*, _object*)"
# name: (entry function, argument expression over the workloads module)
JOBS = [
    ("roots, degree 2", "findRoots", "(polynomial_coefficients(2),)"),
    ("roots, degree 24", "findRoots", "(polynomial_coefficients(24),)"),
    ("Polynomial, 10^3 points", "optimizeModel", "(power_law_points(1000), 6, 3, 0)"),
    ("LogLog refined, 10^3 points", "optimizeModel", "(power_law_points(1000), 1, 3, 2)"),
    ("two ranges, LogLog refined, 10^3 points", "optimizeDualModel",
     "(power_law_points(1000), 6.0, 2, 3, 2)"),
]

PROBE = r"""
import sys
sys.path.insert(0, %(here)r)
import gc
import tallowfit
from workloads import polynomial_coefficients, power_law_points
arguments = %(arguments)s
gc.collect()
gc.disable()
for _ in range(%(calls)d + 1):
    status = tallowfit.%(entry)s(*arguments)[0]
    assert status == 0, status
"""


def count(entry, arguments, python):
    """Mean instructions of one call after the warm-up call."""
    function = ENTRY % entry
    with tempfile.TemporaryDirectory() as folder:
        out = os.path.join(folder, "callgrind.out")
        script = PROBE % {"here": HERE, "arguments": arguments, "calls": CALLS, "entry": entry}
        subprocess.check_call(
            ["valgrind", "--tool=callgrind", "--callgrind-out-file=" + out,
             "--collect-atstart=no", "--toggle-collect=" + function, "--dump-after=" + function,
             python, "-c", script],
            env=dict(os.environ, LD_BIND_NOW="1"), stdout=subprocess.DEVNULL,
            stderr=subprocess.DEVNULL)
        totals = []
        for part in range(2, CALLS + 2):  # dump 1 is the warm-up call
            with open("%s.%d" % (out, part)) as dump:
                totals += [int(line.split()[1]) for line in dump if line.startswith("totals:")]
    return sum(totals) // len(totals)


def main():
    record_now = "--record" in sys.argv[1:]
    python = os.environ.get("INSTRUCTIONS_PYTHON", sys.executable)
    stored = {}
    if os.path.exists(RECORD):
        with open(RECORD) as source:
            stored = json.load(source)
    recorded = stored.get("record", {})
    figures = {}
    failed = []
    print("%-42s %14s %14s %8s" % ("job", "record", "now", "change"))
    for name, entry, arguments in JOBS:
        figures[name] = count(entry, arguments, python)
        old = recorded.get(name)
        change = "" if old is None else "%+.2f%%" % (100.0 * (figures[name] - old) / old)
        print("%-42s %14s %14d %8s" % (name, old if old is not None else "-", figures[name], change))
        if old is not None and figures[name] > old * (1.0 + TOLERANCE):
            failed.append(name)
    if record_now:
        stored = {"before": stored.get("before", figures), "record": figures}
        with open(RECORD, "w") as target:
            json.dump(stored, target, indent=1, sort_keys=True)
            target.write("\n")
        print("recorded in %s" % RECORD)
    elif failed:
        print("more than %.0f%% over the record: %s" % (100 * TOLERANCE, ", ".join(failed)))
    return 1 if failed and not record_now else 0


if __name__ == "__main__":
    sys.exit(main())
