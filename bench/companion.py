"""Overhead of the companion package curvefits over the bare native call, and
its conversion of an N x 3 numpy array, written as a section of
docs/performance.md (replaced on every run, the rest of the page kept).

    PYTHONPATH=build/py3:src python bench/companion.py [--out docs/performance.md]

Needs numpy. The bare call of an array input is what a user of tallowfit must
write: arr.tolist() and the call.
"""
import argparse
import io
import os
import sys
import timeit

import numpy as np

import curvefits
from bench import replace_section
import tallowfit
from curvefits import _inputs

HEADING = "## The companion package: overhead over the bare call"
SIZES = (10, 1000, 10 ** 6)
DEGREES = (2, 10, 24)
TARGET = 0.25
LOAD = (os.getloadavg()[0],)


def best_time(call, budget=0.2, samples=9):
    """Seconds per call in the best of samples of about budget seconds each: on a
    machine shared with other work the best sample is the one least disturbed."""
    once = timeit.timeit(call, number=1)
    number = max(1, int(budget / max(once, 1e-9)))
    return min(timeit.repeat(call, number=number, repeat=samples)) / number


def points(n):
    x = np.linspace(1.0, 10.0, n)
    y = 3.0 + 0.5 * x + 0.001 * np.sin(7.0 * x)
    return np.column_stack([x, y, np.full(n, 0.25)])


def read_only(rows):
    """The native call's reading of the points alone: model 3 is refused right after it."""
    saved, sys.stdout = sys.stdout, io.StringIO()
    try:
        tallowfit.optimizeModel(rows, 3, 0, 0)
    finally:
        sys.stdout = saved


def conversion(table):
    """Everything the companion does to an N x 3 array before the native call."""
    found = _inputs.read_points(table, None, None)
    _inputs.refuse_fit(found, 6, 3, 0)
    _inputs.warn_precision(found, 2)
    return found.rows()


def fit_rows():
    rows = []
    for n in SIZES:
        table = points(n)
        listed = [tuple(r) for r in table.tolist()]
        bare_list = best_time(lambda: tallowfit.optimizeModel(listed, 6, 3, 0))
        mine_list = best_time(lambda: curvefits.fit(listed, model=6, order=3))
        bare_array = best_time(lambda: tallowfit.optimizeModel(table.tolist(), 6, 3, 0))
        mine_array = best_time(lambda: curvefits.fit(table, model=6, order=3))
        rows.append((n, bare_list, mine_list, bare_array, mine_array))
        sys.stderr.write("fit %d done\n" % n)
    return rows


def root_rows():
    rows = []
    for degree in DEGREES:
        c = [1.0 / (k + 1) for k in range(degree)] + [1.0]
        array = np.array(c)
        rows.append((degree, best_time(lambda: tallowfit.findRoots(c)),
                     best_time(lambda: curvefits.roots(c)),
                     best_time(lambda: tallowfit.findRoots(array.tolist())),
                     best_time(lambda: curvefits.roots(array))))
    return rows


def conversion_row():
    table = points(10 ** 6)
    listed = table.tolist()
    return (best_time(table.tolist), best_time(lambda: read_only(listed)),
            best_time(lambda: conversion(table)))


def unit(seconds):
    for scale, name in ((1.0, "s"), (1e-3, "ms"), (1e-6, "us")):
        if seconds >= scale:
            return "%.3g %s" % (seconds / scale, name)
    return "%.3g us" % (seconds / 1e-6)


def share(mine, bare):
    return "%+.0f%%" % (100.0 * (mine - bare) / bare)


def section(fits, roots, converted):
    tolist, reading, mine = converted
    lines = [HEADING, "",
             "Written by `bench/companion.py` (run by `bench/run.sh`; numpy %s). Each time is "
             "the best of 9 samples (the machine is shared with other work, and the best "
             "sample is the least disturbed one); overhead is the companion's time minus the bare call's, "
             "as a share of the bare call. The bare call of an array is `arr.tolist()` and the "
             "native call, which is what a user of the native module must write. Load "
             "average of the machine during this run: %.1f at the start, %.1f at the end, "
             "on %d logical cores; under such load single figures move by up to a factor "
             "of 2 between runs, so the overheads below are indications, not limits."
             % ((np.__version__,) + LOAD + (os.getloadavg()[0], os.cpu_count())), "",
             "Polynomial fit, 3 coefficients (`curvefits.fit(data, model=6, order=3)`; the "
             "per-point table of the result is built when first read, so it is not timed):", "",
             "| points | native, list | companion, list | overhead | native, arr.tolist() + "
             "call | companion, N x 3 array | overhead |",
             "|---:|---:|---:|---:|---:|---:|---:|"]
    for n, bare_list, mine_list, bare_array, mine_array in fits:
        lines.append("| %s | %s | %s | %s | %s | %s | %s |" % (
            "10^%d" % len(str(n // 10)) if n > 10 else n, unit(bare_list), unit(mine_list),
            share(mine_list, bare_list), unit(bare_array), unit(mine_array),
            share(mine_array, bare_array)))
    lines += ["", "Roots (`curvefits.roots(c)`):", "",
              "| degree | native, list | companion, list | overhead | native, arr.tolist() "
              "+ call | companion, array | overhead |", "|---:|---:|---:|---:|---:|---:|---:|"]
    for degree, bare_list, mine_list, bare_array, mine_array in roots:
        lines.append("| %d | %s | %s | %s | %s | %s | %s |" % (
            degree, unit(bare_list), unit(mine_list), share(mine_list, bare_list),
            unit(bare_array), unit(mine_array), share(mine_array, bare_array)))
    big = [row for row in fits if row[0] >= 1000]
    met = [all((m - b) / b <= TARGET for _, _, _, b, m in big),
           all((m - b) / b <= TARGET for _, b, m, _, _ in big)]
    lines += ["", "Conversion of a 10^6 x 3 float64 array: `arr.tolist()` %s, the native "
              "call's own reading of that list %s, together %s; the companion's conversion "
              "(reading, checks, single-precision warning and `tolist()`) %s (%s)."
              % (unit(tolist), unit(reading), unit(tolist + reading), unit(mine),
                 share(mine, tolist + reading)), "",
              "Targets: overhead at most %d%% of the native call at 10^3 points and above: "
              "%s for arrays, %s for lists. A Python list of tuples is passed to the "
              "native call as it is, but it has to be read once more to be checked: each "
              "row's type and length and its three numbers, one Python object at a time, "
              "which costs about as much as the native call's own reading and a Polynomial "
              "fit of it. An array is checked by numpy at memory speed; what remains is its "
              "`tolist()`, which the array engine (reading the buffers directly) removes." % (100 * TARGET, "met" if met[0] else "missed",
                                     "met" if met[1] else "missed"), ""]
    return "\n".join(lines)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--out", default="docs/performance.md")
    arguments = parser.parse_known_args()[0]  # bench.py's own options pass by
    text = section(fit_rows(), root_rows(), conversion_row())
    replace_section(arguments.out, HEADING, text.rstrip("\n").split("\n"))
    sys.stdout.write(text)


if __name__ == "__main__":
    main()
