"""Seeded, structure-aware fuzzing of the three entry points (Python 2 and 3).

Each call gets arguments built from the entry's own shape, made hostile: wrong
arities and types, sequences that are not lists, nested lists, text and bytes,
None, ints beyond 64 bits, bools, NaN, infinities, subnormals, objects whose
__float__ or __index__ raises or answers with the wrong type, float and int
subclasses, items that change the list while it is read, point lists of up to
10^5 items, and sys.stdout replaced, missing or raising. Every call must return
a 2-tuple (int, None or list) within a second, raise nothing and leave no error
pending; a crash ends the process.

Call i of seed s is built from its own generator, so any call can be replayed:
    fuzz_entries.py --seed s --start i --calls 1 --show
With --chunks N the calls run in N child processes; a child that dies is
counted as a crash, its chunk replayed with --trace to name the call.
Exit status 0 only when every call passed.
"""
from __future__ import print_function

import argparse
import json
import math
import os
import random
import subprocess
import sys
import time
import warnings

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
import tallowfit  # noqa: E402
from hostile_items import (ERRORS, LIST_CHANGES, FloatSub, FloatSubRaising, IntSub,  # noqa: E402
                           ListChanger, RaisingFloat, WrongFloat, clear)
from recording import (MISSING, Discard, RaisingWrite, ReplacedStdout, WithoutWrite,  # noqa: E402
                       pending_error)

clock = getattr(time, "perf_counter", time.time)
LONG = int if sys.version_info[0] >= 3 else long  # noqa: F821 (Python 2's long)
TEXT = str if sys.version_info[0] >= 3 else unicode  # noqa: F821
CALL_SECONDS_ALLOWED = 1.0
MAX_POINTS = 100000
# A fit costs about points x order^2 per solver pass, and a caller's order has
# no upper limit but the point count: beyond this much work (order 16 at 10^5
# points) a call is heavy, and only a call that does not end at all fails.
HEAVY_WORK = 100000 * 16 * 16
HEAVY_SECONDS_ALLOWED = 60.0
# Under valgrind every call runs many times slower; --slowdown scales both bounds.
slowdown = 1.0


SPECIAL_FLOATS = [0.0, -0.0, 1.0, -1.0, 0.5, 1e-45, 5e-324, 2.2250738585072014e-308, 1e-310,
                  1e308, -1e308, 3.4028235e38, 3.5e38, float("nan"), float("inf"), float("-inf"),
                  1e-30, 123456.789, 16777217.0]
SPECIAL_INTS = [0, 1, -1, 2, 3, 5, 6, 7, 8, 24, 25, 26, 255, 2 ** 31 - 1, 2 ** 31, -2 ** 31,
                -2 ** 31 - 1, 2 ** 32, 2 ** 63, -2 ** 63, 2 ** 64 + 1, 10 ** 30, -10 ** 40, 2 ** 1100]


class Builder(object):
    """Builds the arguments of one call from its own generator."""

    def __init__(self, rng):
        self.rng = rng

    def chance(self, p):
        return self.rng.random() < p

    def pick(self, options):
        return options[self.rng.randrange(len(options))]

    def plain_float(self):
        kind = self.rng.randrange(4)
        if kind == 0:
            return self.rng.uniform(0.01, 100.0)
        if kind == 1:
            return self.rng.uniform(-100.0, 100.0)
        if kind == 2:
            return math.ldexp(self.rng.random(), self.rng.randrange(-1080, 1025))
        return self.pick(SPECIAL_FLOATS)

    def hostile_scalar(self, target=None):
        kind = self.rng.randrange(16)
        if kind <= 6:
            return self.plain_float()
        if kind == 7:
            return self.pick(SPECIAL_INTS)
        if kind == 8:
            return self.pick([True, False, LONG(3), IntSub(2), FloatSub(1.5), 1 + 2j])
        if kind == 9:
            return self.pick(["1.0", b"2", TEXT("3"), None, [], (), {}, object()])
        if kind == 10:
            return RaisingFloat(self.pick(ERRORS))
        if kind == 11:
            return WrongFloat(self.pick(["1", None, 1 + 1j, [1.0], FloatSub(2.0), IntSub(7), 2 ** 70]))
        if kind == 12:
            return FloatSubRaising(self.plain_float())
        if kind == 13 and target is not None:
            return ListChanger(target, self.pick(LIST_CHANGES), self.plain_float())
        if kind == 14:
            return self.rng.randint(-10 ** 6, 10 ** 6)
        return float(self.rng.randint(1, 50))

    def number(self, target):
        return self.plain_float() if self.chance(0.8) else self.hostile_scalar(target)

    def point(self, target):
        shape = self.rng.randrange(20)
        if shape <= 15:
            values = [self.number(target) for _ in range(3)]
            return tuple(values) if self.chance(0.7) else values
        if shape == 16:
            return tuple(self.number(target) for _ in range(self.pick([0, 1, 2, 4, 5])))
        if shape == 17:
            inner = [self.number(target) for _ in range(3)]
            # A point list that its own second value clears while it is read.
            inner[1] = ListChanger(inner, clear, 1.0)
            return inner
        if shape == 18:
            return self.pick(["xyz", b"abc", TEXT("\u00e9t\u00e9"), None, 3.0, [[1.0, 2.0, 3.0]],
                              {1: 2}, set([1.0, 2.0, 3.0])])
        return (self.hostile_scalar(target), self.hostile_scalar(target), self.hostile_scalar(target))

    def length(self):
        if self.chance(0.002):
            return self.rng.randrange(MAX_POINTS - 1000, MAX_POINTS + 1)
        if self.chance(0.02):
            return self.rng.randrange(0, 3000)
        return self.pick([0, 1, 2, 3, 4, 5, 6, 7, 9, 12, 20, 25, 26, 40])

    def well_formed_points(self, count):
        # Mostly points a fit can take, so that the payload is built often.
        scale = self.rng.uniform(0.5, 3.0)
        return [(float(k + 2), scale * (k + 2) ** 1.5 * (1.0 + 0.01 * self.rng.random()),
                 self.pick([0.1, 0.0, 1.0])) for k in range(count)]

    def points_list(self):
        count = self.length()
        if count > 200 or self.chance(0.4):
            points = self.well_formed_points(count)
            if count and self.chance(0.3):
                target = points
                points[self.rng.randrange(count)] = self.point(target)
            return points
        target = []
        target.extend(self.point(target) for _ in range(count))
        return target

    def coefficient_list(self):
        count = self.length()
        if count > 200 or self.chance(0.5):
            return [self.plain_float() for _ in range(count)]
        target = []
        target.extend(self.number(target) for _ in range(count))
        return target

    def not_a_list(self, items):
        return self.pick([tuple(items), iter(items), set(), dict(), "points", b"points", None, 7,
                          2 ** 80, 1.5, [items], (x for x in items), range(3), object()])

    def list_argument(self, make):
        if self.chance(0.85):
            return make()
        return self.not_a_list(make()[:10])

    def int_argument(self, usual):
        if self.chance(0.8):
            return self.pick(usual)
        return self.pick(SPECIAL_INTS + [self.hostile_scalar(), None, "1", 1.0, True, IntSub(1)])

    def float_argument(self):
        if self.chance(0.8):
            return self.rng.uniform(0.0, 10.0)
        return self.pick([self.hostile_scalar(), 2 ** 200, -2 ** 200, "1.0", None, IntSub(3)])

    def arguments(self, entry):
        if entry == "findRoots":
            args = [self.list_argument(self.coefficient_list)]
        elif entry == "optimizeModel":
            args = [self.list_argument(self.points_list), self.int_argument(list(range(-1, 9))),
                    self.int_argument([0, 1, 2, 3, 4, 5, 6]), self.int_argument(list(range(64)))]
        else:
            args = [self.list_argument(self.points_list), self.float_argument(),
                    self.int_argument([0, 1, 2, 3, 4]), self.int_argument([0, 1, 2, 3, 4]),
                    self.int_argument(list(range(64)))]
        if self.chance(0.05):
            # Wrong arity: items dropped or added.
            if args and self.chance(0.5):
                del args[self.rng.randrange(len(args)):]
            else:
                args.extend(self.hostile_scalar() for _ in range(self.rng.randrange(1, 4)))
        return tuple(args)


# Where the messages go.

def stream(rng):
    return [Discard(), Discard(), Discard(), Discard(), None, RaisingWrite(), WithoutWrite(),
            MISSING][rng.randrange(8)]


def call_rng(seed, index):
    return random.Random(seed * 1000003 + index)


def build_call(seed, index):
    """(entry, args, stdout stand-in, warnings as errors) of call index."""
    rng = call_rng(seed, index)
    entry = ["findRoots", "optimizeModel", "optimizeDualModel"][rng.randrange(3)]
    args = Builder(rng).arguments(entry)
    return entry, args, stream(rng), rng.random() < 0.05


def fit_work(entry, args):
    """points x order^2 of the largest fit that the call can ask for."""
    if entry == "findRoots" or not args or type(args[0]) is not list:
        return 0
    count = len(args[0])
    orders = [a for a in args[2:4] if type(a) in (int, LONG) and 1 <= a <= count]
    return count * max(orders + [5]) ** 2


def run_call(entry, args, out, strict_warnings):
    """(problem or None, seconds, whether a payload came back) of one call."""
    problem = None
    with warnings.catch_warnings(), ReplacedStdout(out):
        warnings.simplefilter("error" if strict_warnings else "ignore")
        started = clock()
        try:
            result = getattr(tallowfit, entry)(*args)
        except BaseException as error:  # everything counts, SystemError included
            result = None
            problem = "raised %s: %s" % (type(error).__name__, error)
        seconds = clock() - started
    if problem is None:
        if pending_error() is not None:
            problem = "left an error pending"
        elif not (type(result) is tuple and len(result) == 2 and type(result[0]) in (int, LONG)
                  and (result[1] is None or type(result[1]) is list)):
            problem = "returned %r" % (result,)
    heavy = fit_work(entry, args) > HEAVY_WORK
    allowed = (HEAVY_SECONDS_ALLOWED if heavy else CALL_SECONDS_ALLOWED) * slowdown
    if problem is None and seconds > allowed:
        problem = "took %.3f s" % seconds
    return problem, seconds, problem is None and result[1] is not None, heavy


def describe(args):
    text = repr(args)
    return text if len(text) < 400 else text[:400] + "... (%d chars)" % len(text)


COUNTS = ("calls", "payloads", "heavy", "crashes", "exceptions", "bad_results", "slow")
FAILURES = ("crashes", "exceptions", "bad_results", "slow")


def new_summary():
    summary = dict((key, 0) for key in COUNTS)
    # The slowest ordinary and the slowest heavy call: (seconds, call number).
    summary.update({"slowest": [0.0, None], "slowest_heavy": [0.0, None], "failures": []})
    return summary


def note_time(slowest, seconds, index):
    if seconds > slowest[0]:
        slowest[:] = [seconds, index]


def fuzz(seed, start, calls, show=False, trace=False):
    """Runs calls start .. start+calls-1; returns the summary dict."""
    summary = new_summary()
    for index in range(start, start + calls):
        entry, args, out, strict = build_call(seed, index)
        if show or trace:
            sys.stderr.write("call %d: %s%s\n" % (index, entry, describe(args) if show else ""))
            sys.stderr.flush()
        problem, seconds, payload, heavy = run_call(entry, args, out, strict)
        summary["calls"] += 1
        summary["payloads"] += payload
        summary["heavy"] += heavy
        note_time(summary["slowest_heavy" if heavy else "slowest"], seconds, index)
        if problem is not None:
            key = ("exceptions" if problem.startswith("raised") or "pending" in problem
                   else "slow" if problem.startswith("took") else "bad_results")
            summary[key] += 1
            if len(summary["failures"]) < 20:
                summary["failures"].append("call %d (%s): %s" % (index, entry, problem))
    return summary


def run_chunks(seed, start, calls, chunks):
    """The calls in child processes; a child that dies is a crash."""
    total = new_summary()
    size = (calls + chunks - 1) // chunks
    for first in range(start, start + calls, size):
        count = min(size, start + calls - first)
        command = [sys.executable, os.path.abspath(__file__), "--seed", str(seed),
                   "--start", str(first), "--calls", str(count), "--slowdown", str(slowdown),
                   "--json"]
        child = subprocess.Popen(command, stdout=subprocess.PIPE)
        output = child.communicate()[0].decode("ascii", "replace")
        if child.returncode < 0 or not output.strip():
            total["crashes"] += 1
            total["failures"].append("crash (status %d) in calls %d..%d; replay with: %s --trace"
                                     % (child.returncode, first, first + count - 1,
                                        " ".join(command[1:-1])))
            continue
        part = json.loads(output.strip().splitlines()[-1])
        for key in COUNTS:
            total[key] += part[key]
        for key in ("slowest", "slowest_heavy"):
            note_time(total[key], part[key][0], part[key][1])
        total["failures"].extend(part["failures"])
    return total


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--seed", type=int, default=1)
    parser.add_argument("--start", type=int, default=0)
    parser.add_argument("--calls", type=int, default=10000)
    parser.add_argument("--chunks", type=int, default=0, help="run in this many child processes")
    parser.add_argument("--show", action="store_true", help="print each call's arguments")
    parser.add_argument("--trace", action="store_true", help="print each call's number first")
    parser.add_argument("--json", action="store_true", help="print the summary as JSON")
    parser.add_argument("--slowdown", type=float, default=1.0,
                        help="scale the time bounds (for runs under valgrind)")
    options = parser.parse_args()
    global slowdown
    slowdown = options.slowdown
    if options.chunks > 0:
        summary = run_chunks(options.seed, options.start, options.calls, options.chunks)
    else:
        summary = fuzz(options.seed, options.start, options.calls, options.show, options.trace)
    if options.json:
        print(json.dumps(summary))
    else:
        print("python %d.%d seed %d calls %d..%d: calls %d (%d with a payload), crashes %d, "
              "exceptions %d, bad results %d, slow %d, max call time %.4f s (call %s); "
              "heavy fits %d, max %.4f s (call %s)"
              % (sys.version_info[0], sys.version_info[1], options.seed, options.start,
                 options.start + options.calls - 1, summary["calls"], summary["payloads"],
                 summary["crashes"], summary["exceptions"], summary["bad_results"],
                 summary["slow"], summary["slowest"][0], summary["slowest"][1],
                 summary["heavy"], summary["slowest_heavy"][0], summary["slowest_heavy"][1]))
        for failure in summary["failures"]:
            print("  " + failure)
    return 1 if any(summary[key] for key in FAILURES) else 0


if __name__ == "__main__":
    sys.exit(main())
