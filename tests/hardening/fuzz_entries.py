"""Seeded fuzzing of the entries with hostile arguments: each call returns (int, None or list) in
time, raises nothing, leaves no error pending. Replay call i of seed s with --seed s --start i
--calls 1 --show; with --chunks N the calls run in N children, and a child that dies is a crash."""
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
from hostile_items import ERRORS, LIST_CHANGES, FloatSub, FloatSubRaising, IntSub, ListChanger, WrongFloat, clear  # noqa
from recording import MISSING, RaisingWrite, Recorder, WithoutWrite, replaced_stdout, pending_error  # noqa: E402

clock = getattr(time, "perf_counter", time.time)
LONG, TEXT = (int, str) if sys.version_info[0] >= 3 else (long, unicode)  # noqa: F821 (Python 2's)
MAX_POINTS = 100000
# Bounds only a call that does not end exceeds, on a loaded machine too (the
# slowest ordinary call takes 0.5 s alone); a fit costs points x order^2 per
# pass, so beyond order 16 at 10^5 points a call is heavy. --slowdown scales both.
HEAVY_WORK = 100000 * 16 * 16
SECONDS_ALLOWED = {False: 5.0, True: 60.0}
FLOATS = [0.0, -0.0, 1.0, -1.0, 0.5, 1e-45, 5e-324, 2.2250738585072014e-308, 1e-310, 1e308, -1e308,
          3.4028235e38, 3.5e38, float("nan"), float("inf"), float("-inf"), 1e-30, 123456.789, 16777217.0]
INTS = [0, 1, -1, 2, 3, 5, 6, 7, 8, 24, 25, 26, 255, 2 ** 31 - 1, 2 ** 31, -2 ** 31, -2 ** 31 - 1, 2 ** 32,
        2 ** 63, -2 ** 63, 2 ** 64 + 1, 10 ** 30, -10 ** 40, 2 ** 1100]
ODD = [True, False, LONG(3), IntSub(2), FloatSub(1.5), 1 + 2j, "1.0", b"2", TEXT("3"), None, [], (), {}, object()]
NOT_POINTS = ["xyz", b"abc", TEXT("\u00e9t\u00e9"), None, 3.0, [[1.0, 2.0, 3.0]], {1: 2}, set([1.0, 2.0, 3.0])]


class Builder(object):
    """Builds the arguments of one call from its own generator."""

    def __init__(self, rng):
        self.rng, self.pick = rng, lambda options: options[rng.randrange(len(options))]

    def plain(self):
        return self.pick([lambda: self.rng.uniform(0.01, 100.0), lambda: self.rng.uniform(-100.0, 100.0),
                          lambda: math.ldexp(self.rng.random(), self.rng.randrange(-1080, 1025)),
                          lambda: self.pick(FLOATS)])()

    def hostile(self, target=None):
        kind = self.rng.randrange(16)
        return self.plain() if kind <= 6 or (kind == 13 and target is None) else [
            lambda: self.pick(INTS), lambda: self.pick(ODD[:6]), lambda: self.pick(ODD[6:]),
            lambda: WrongFloat(self.pick(ERRORS)),
            lambda: WrongFloat(self.pick(["1", None, 1 + 1j, [1.0], FloatSub(2.0), IntSub(7), 2 ** 70])),
            lambda: FloatSubRaising(self.plain()), lambda: ListChanger(target, self.pick(LIST_CHANGES), self.plain()),
            lambda: self.rng.randint(-10 ** 6, 10 ** 6), lambda: float(self.rng.randint(1, 50))][kind - 7]()

    def number(self, target):
        return self.plain() if self.rng.random() < 0.8 else self.hostile(target)

    def point(self, target):
        shape = self.rng.randrange(20)
        if shape <= 16:  # three numbers, or a tuple of another length
            values = [self.number(target) for _ in range(3 if shape < 16 else self.pick([0, 1, 2, 4, 5]))]
            return tuple(values) if shape == 16 or self.rng.random() < 0.7 else values
        if shape == 17:  # a point list that its own second value clears while it is read
            inner = [self.number(target), None, self.number(target)]
            inner[1] = ListChanger(inner, clear)
            return inner
        return self.pick(NOT_POINTS) if shape == 18 else tuple(self.hostile(target) for _ in range(3))

    def length(self):
        r = self.rng.random()
        return (self.rng.randrange(MAX_POINTS - 1000, MAX_POINTS + 1) if r < 0.002 else
                self.rng.randrange(0, 3000) if r < 0.022 else self.pick([0, 1, 2, 3, 4, 5, 6, 7, 9, 12, 20, 25, 26, 40]))

    def items(self, make_plain, make_hostile):
        """Mostly items a call can take, so that the payload is built often."""
        count, items = self.length(), []
        plain = count > 200 or self.rng.random() < 0.45
        items.extend(make_plain(k) if plain else make_hostile(items) for k in range(count))
        if plain and count and self.rng.random() < 0.3:
            items[self.rng.randrange(count)] = make_hostile(items)
        if self.rng.random() < 0.15:  # not a list
            return self.pick([tuple(items[:10]), iter(items[:10]), set(), dict(), "points", b"points", None, 7,
                              2 ** 80, 1.5, [items[:10]], (x for x in items[:10]), range(3), object()])
        return items

    def points(self):
        scale = self.rng.uniform(0.5, 3.0)
        return self.items(lambda k: (float(k + 2), scale * (k + 2) ** 1.5 * (1.0 + 0.01 * self.rng.random()),
                                     self.pick([0.1, 0.0, 1.0])), self.point)

    def integer(self, usual):
        return self.pick(usual) if self.rng.random() < 0.8 else self.pick(INTS + [self.hostile(), None, "1", 1.0])

    def arguments(self, entry):
        if entry == "findRoots":
            args = [self.items(lambda k: self.plain(), self.number)]
        elif entry == "optimizeModel":
            args = [self.points(), self.integer(list(range(-1, 9))), self.integer(list(range(7))), self.integer(list(range(64)))]
        else:
            threshold = self.rng.uniform(0.0, 10.0) if self.rng.random() < 0.8 else self.pick(
                [self.hostile(), 2 ** 200, -2 ** 200, "1.0", None, IntSub(3)])
            args = [self.points(), threshold, self.integer(list(range(5))), self.integer(list(range(5))),
                    self.integer(list(range(64)))]
        if self.rng.random() < 0.05:  # wrong arity
            args = args[:self.rng.randrange(len(args))] if self.rng.random() < 0.5 else \
                args + [self.hostile() for _ in range(self.rng.randrange(1, 4))]
        return tuple(args)


def build_call(seed, index):
    """(entry, args, stdout stand-in, warnings as errors) of call index."""
    rng = random.Random(seed * 1000003 + index)
    entry = ["findRoots", "optimizeModel", "optimizeDualModel"][rng.randrange(3)]
    args = Builder(rng).arguments(entry)
    out = [Recorder(), Recorder(), Recorder(), Recorder(), None, RaisingWrite(), WithoutWrite(), MISSING][rng.randrange(8)]
    return entry, args, out, rng.random() < 0.05


def heavy(entry, args):
    if entry == "findRoots" or not args or type(args[0]) is not list:
        return False
    orders = [a for a in args[2:4] if type(a) in (int, LONG) and 1 <= a <= len(args[0])]
    return len(args[0]) * max(orders + [5]) ** 2 > HEAVY_WORK


def run_call(entry, args, out, strict, slowdown):
    """(problem or None, seconds, whether a payload came back)."""
    with warnings.catch_warnings(), replaced_stdout(out):
        warnings.simplefilter("error" if strict else "ignore")
        started = clock()
        try:
            result = getattr(tallowfit, entry)(*args)
            problem = "left an error pending" if pending_error() is not None else None
        except BaseException as error:  # everything counts, SystemError included
            result, problem = None, "raised %s: %s" % (type(error).__name__, error)
        seconds = clock() - started
    if problem is None and not (type(result) is tuple and len(result) == 2 and type(result[0]) in (int, LONG)
                                and (result[1] is None or type(result[1]) is list)):
        problem = "returned %r" % (result,)
    if problem is None and seconds > SECONDS_ALLOWED[heavy(entry, args)] * slowdown:
        problem = "took %.3f s" % seconds
    return problem, seconds, problem is None and result[1] is not None


def fuzz(options):
    """[calls, calls with a payload, failures, [seconds, index] of the slowest ordinary call]."""
    payloads, failures, slowest = 0, [], [0.0, None]
    for index in range(options.start, options.start + options.calls):
        entry, args, out, strict = build_call(options.seed, index)
        if options.show:  # the arguments cut at 400 characters
            sys.stderr.write("call %d: %s%.400s\n" % (index, entry, repr(args)))
        problem, seconds, payload = run_call(entry, args, out, strict, options.slowdown)
        payloads += payload
        slowest = [seconds, index] if not heavy(entry, args) and seconds > slowest[0] else slowest
        failures += ["call %d (%s): %s" % (index, entry, problem)] if problem is not None else []
    return [options.calls, payloads, failures, slowest]


def run_chunks(options):
    """The calls in child processes; a child that dies is a crash."""
    total, size = [0, 0, [], [0.0, None]], (options.calls + options.chunks - 1) // options.chunks
    for first in range(options.start, options.start + options.calls, size):
        command = [sys.executable, os.path.abspath(__file__), "--seed", str(options.seed), "--start", str(first),
                   "--calls", str(min(size, options.start + options.calls - first)), "--slowdown", str(options.slowdown)]
        child = subprocess.Popen(command + ["--json"], stdout=subprocess.PIPE)
        output = child.communicate()[0].decode("ascii", "replace").strip()
        if child.returncode < 0 or not output:
            total[2].append("crash (status %d); replay with: %s --show" % (child.returncode, " ".join(command)))
        else:
            part = json.loads(output.splitlines()[-1])
            total = [total[0] + part[0], total[1] + part[1], total[2] + part[2],
                     max(total[3], part[3], key=lambda s: s[0])]
    return total


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    for name, default in (("--seed", 1), ("--start", 0), ("--calls", 10000), ("--chunks", 0), ("--slowdown", 1.0)):
        parser.add_argument(name, type=type(default), default=default)
    for flag in ("--show", "--json"):  # print each call before it is made; the summary as JSON
        parser.add_argument(flag, action="store_true")
    options = parser.parse_args()
    calls, payloads, failures, slowest = summary = run_chunks(options) if options.chunks else fuzz(options)
    print(json.dumps(summary) if options.json else "python %d.%d seed %d calls %d..%d: %d calls (%d with a payload), "
          "%d failed, slowest ordinary call %.4f s (call %s)" % (sys.version_info[:2] + (
              options.seed, options.start, options.start + options.calls - 1, calls, payloads, len(failures)) +
              tuple(slowest)))
    for failure in failures[:20] if not options.json else ():
        print("  " + failure)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
