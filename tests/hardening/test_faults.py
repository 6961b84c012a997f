"""Each object creation (and a second while the first is handled), storage allocation and growth of
what was read failing in turn: each path gives its status and messages, no error pending, no storage
outstanding, reference counts unchanged; the array engine's failures as the classic entries report
them; over TALLOWFIT_HARDENING_ROUNDS repeats a debug interpreter's total of references and
tracemalloc's traced memory do not grow."""
import array
import itertools
import os
import sys
import unittest

import tallowfit
from engine_calls import engine, engine_call
from recording import (BAD_ALLOCATION, CHECK_CONDITIONING, FAILED_CALL, LIST_FAILED, LOG_LOG, OK,
                       OUT_OF_MEMORY, POLYNOMIAL, REFINE, SYSTEM_OUT_OF_MEMORY, ZERO_UNCERTAINTY,
                       call_recorded, pending_error)

ROUNDS = int(os.environ.get("TALLOWFIT_HARDENING_ROUNDS", "100"))
TRACED_BYTES_ALLOWED = 1024  # caches settle late; one float leaked per call passes it in 100 rounds
WARM_UP = 20  # free lists (of MemoryError instances, for one) fill over the first calls
KINDS = ("object", "storage", "growth")
POWER_LAW = [(x, 2.0 * x ** 1.5, 0.1) for x in (2.0, 3.0, 4.0, 5.0, 6.0, 7.0)]
SAME_X = [(1.0, 1.0, 1.0), (1.0, 3.0, 1.0), (1.0, 5.0, 1.0)]
ZERO_Y = [(x, 0.0, 1.0) for x in (1.0, 2.0, 3.0)]  # no average error
# Real and complex roots, a refined and checked fit, zero uncertainties, both ranges of a two-range fit.
SUCCEEDING = [("findRoots", ([-1.0, 1.0, -1.0, 1.0],)), ("optimizeModel", (POWER_LAW, LOG_LOG, 0, REFINE | CHECK_CONDITIONING)),
              ("optimizeModel", ([(x, 1.0 + 0.5 * x + 0.25 * x * x, 0.0) for x in (1.0, 2.0, 3.0, 4.0, 5.0)],
                                 POLYNOMIAL, 3, ZERO_UNCERTAINTY)),
              ("optimizeDualModel", (POWER_LAW, 4.5, 2, 2, REFINE))]
# Each a different refusal; the payload exists when the average error is refused.
REFUSED = [("findRoots", ()), ("findRoots", (["1"],)), ("findRoots", ([1.0, 0.0],)), ("findRoots", ([],)),
           ("optimizeModel", (POWER_LAW, LOG_LOG)), ("optimizeModel", (POWER_LAW + [(1.0, 2.0)], LOG_LOG, 2, 0)),
           ("optimizeModel", (POWER_LAW, 3, 2, 0)), ("optimizeModel", (SAME_X, POLYNOMIAL, 2, 0)),
           ("optimizeModel", (ZERO_Y, POLYNOMIAL, 2, 0)), ("optimizeDualModel", (POWER_LAW, "4.5", 2, 2, 0)),
           ("optimizeDualModel", (POWER_LAW, 10.0, 2, 2, 0))]
# A failed creation writes: a payload list its message first, any other object the inner guard's text.
WRITTEN = {"list": [LIST_FAILED, BAD_ALLOCATION], "object": [BAD_ALLOCATION], "status": [], "tuple": []}
UNFAULTED = call_recorded(tallowfit.findRoots, [1.0, 2.0])  # before any fault is set


def run(name, args, faults=None, module=tallowfit):
    """(result, written parts, events of each kind) of module.name(*args) with faults {kind: ks} set."""
    for kind in KINDS:
        module._setFault(kind, *(faults or {}).get(kind, (0,)))
    result, parts = call_recorded(getattr(module, name), *args)
    events = dict((kind, module._faultCount(kind)) for kind in KINDS)
    for kind in KINDS:
        module._setFault(kind, 0)
    return result, parts, events


def creations(name, payload):
    """The object creations of a successful call in order, named by what their failure writes."""
    if name == "findRoots":
        sequence, fits = ["list"] + ["object"] * len(payload), []
    else:  # a two-range payload's outer list writes only the inner guard's text
        sequence, fits = ([], [payload]) if name == "optimizeModel" else (["object"], payload)
    for coefficients, rows, _, _, deviations in fits:
        sequence += ["list", "list"] + ["object"] * len(coefficients) + ["list"]
        sequence += [what for row in rows for what in ["list"] + ["object"] * len(row)]
        # reduced chi-square, average error, the deviations list; each deviation a tuple of four floats
        sequence += ["object"] * (3 + 5 * len(deviations))
    return sequence + ["status", "tuple"]


def paths():
    """(name, args, faults, outcome check) of every path."""
    for name, args in SUCCEEDING + REFUSED:
        intact, written, made = run(name, args)
        yield name, args, None, lambda result, parts, intact=intact: result == intact
        for kind in ("storage", "growth"):
            assert made[kind] > 0 or intact[0] != OK, (name, kind)  # every success reads and computes
            # Storage runs out as the out-of-memory status (findRoots with its message, a fit with the
            # allocator's text or none), or the condition test falls back to the norms; reading, silently.
            quiet = [[FAILED_CALL]] if name == "findRoots" else [[], [BAD_ALLOCATION]]
            expected = (OUT_OF_MEMORY, quiet) if kind == "storage" else (SYSTEM_OUT_OF_MEMORY, [[]])
            fallback = kind == "storage" and intact[0] == OK and name != "findRoots" and args[-1] & CHECK_CONDITIONING
            for k in range(1, made[kind] + 1):
                yield name, args, {kind: (k,)}, lambda result, parts, e=expected, f=fallback, intact=intact: (
                    (f and result == intact) or (result == (e[0], None) and (intact[0] != OK or parts in e[1])))
                for o in (1, 2) if k == 1 else ():  # then only the status and the tuple are made
                    yield name, args, {kind: (1,), "object": (o,)}, lambda result, parts: result is MemoryError
            yield name, args, {kind: (made[kind] + 1,)}, lambda result, parts, intact=intact: result == intact
        if intact[0] != OK:
            # The fit list is built up to the average error before its refusal.
            assert made["object"] > 2 or not args or args[0] is not ZERO_Y, made
            for k in range(1, made["object"] + 1):
                yield name, args, {"object": (k,)}, lambda result, parts, last=k >= made["object"] - 1, written=written: (
                    (result is MemoryError and parts == written) if last
                    else (result == (OUT_OF_MEMORY, None) and parts[-1] == BAD_ALLOCATION))
            continue
        sequence = creations(name, intact[1])
        assert made["object"] == len(sequence), (name, made, len(sequence))
        for k, what in enumerate(sequence, 1):
            yield name, args, {"object": (k,)}, lambda result, parts, what=what: parts == WRITTEN[what] and (
                result is MemoryError if what in ("status", "tuple") else result == (OUT_OF_MEMORY, None))
            # The failure path's own creations: the last status and the tuple are MemoryError.
            later = run(name, args, {"object": (k,)})[2]["object"]
            for second in range(k + 1, later + 1) if what not in ("status", "tuple") else ():
                yield name, args, {"object": (k, second)}, lambda result, parts, what=what, m=second >= later - 1: (
                    parts == WRITTEN[what] and (result is MemoryError if m else result == (OUT_OF_MEMORY, None)))
        yield name, args, {"object": (len(sequence) + 1,)}, lambda result, parts, intact=intact: result == intact


def growth(measure, path):
    """Growth of measure() over ROUNDS runs of path after a warm-up; the smaller
    of two batches (a cache grows one batch at most, a leak both)."""
    def batch():
        before = measure()
        for _ in range(ROUNDS):
            path()
        return measure() - before
    for _ in range(WARM_UP):
        path()
    return min(batch(), batch())


class Checked(unittest.TestCase):
    def checked(self, name, args, faults, module=tallowfit):
        """run(), requiring no error pending, no storage outstanding, the reference counts of the list
        or array arguments and the sequences in them (numbers and strings are shared) unchanged."""
        objects = [o for arg in args if isinstance(arg, (list, array.array))
                   for o in [arg] + [i for i in arg if isinstance(i, (list, tuple))]]
        counts, outstanding = [sys.getrefcount(o) for o in objects], module._storageOutstanding()
        result, parts, events = run(name, args, faults, module)
        where = "%s%r %r: %r %r" % (name, args, faults, result, parts)
        self.assertIsNone(pending_error(), where)
        self.assertEqual(module._storageOutstanding(), outstanding, where)
        self.assertEqual([sys.getrefcount(o) for o in objects], counts, where)
        return result, parts, events, where


@unittest.skipUnless(hasattr(tallowfit, "_setFault"), "needs the fault-injection build of the module")
class FaultInjection(Checked):
    def test_every_failure_path(self):
        self.assertEqual(UNFAULTED, ((OK, [-0.5]), []))
        # A list argument is read into storage sized once, not grown per doubling.
        self.assertEqual(run("findRoots", ([1.0] * 24 + [2.0],))[2]["growth"], run("findRoots", ([1.0, 2.0],))[2]["growth"])
        for name, args, faults, check in paths():
            result, parts, _, where = self.checked(name, args, faults)
            self.assertTrue(check(result, parts), where)

    def check_repeated(self, measure, leaked):
        every = [path[:3] for path in paths()]
        for path in every:  # the interpreter's caches fill on the first failures
            run(*path)
        nothing = growth(measure, lambda: None)
        grown = [(path, growth(measure, lambda: run(*path)) - nothing) for path in every]
        # A leak grows again when measured once more; a cache that filled late does not.
        again = [(path, growth(measure, lambda: run(*path)) - nothing) for path, g in grown if leaked(g)]
        self.assertEqual([g for g in again if leaked(g[1])], [])

    @unittest.skipUnless(hasattr(sys, "gettotalrefcount"), "needs a debug interpreter")
    def test_no_reference_is_left_behind(self):
        self.check_repeated(sys.gettotalrefcount, lambda grown: grown != 0)

    @unittest.skipUnless(sys.version_info[0] >= 3, "tracemalloc is Python 3's")
    def test_no_traced_memory_is_left_behind(self):
        import tracemalloc
        tracemalloc.start()
        try:
            self.check_repeated(lambda: tracemalloc.get_traced_memory()[0], lambda grown: grown > TRACED_BYTES_ALLOWED)
        finally:
            tracemalloc.stop()


@unittest.skipUnless(engine is not None and hasattr(engine, "_setFault"), "needs the engine's fault-injection build")
class EngineFaults(Checked):
    def engine_calls(self):
        """(name, args, the engine function's name, its arguments) of each call above that arrays can carry."""
        for name, args in SUCCEEDING + REFUSED:
            call = engine_call(name, args)
            if call:
                yield name, args, call[0].__name__, tuple(call[1:])

    def test_storage_failures_as_the_classic_entries_report_them(self):
        for name, args, function, arguments in self.engine_calls():
            for k in range(1, run(function, arguments, None, engine)[2]["storage"] + 2):
                (status, payload), parts, _ = run(name, args, {"storage": (k,)})
                result, written, _, where = self.checked(function, arguments, {"storage": (k,)}, engine)
                self.assertEqual((result[:2], result[2] is None, written),
                                 ((status, "".join(parts) or None), payload is None, []), where)
            growth, _, _, where = self.checked(function, arguments, {"growth": (1,)}, engine)
            self.assertTrue(not arguments[0] or growth == (SYSTEM_OUT_OF_MEMORY, None, None), where)

    def test_each_object_creation(self):
        for name, args, function, arguments in self.engine_calls():
            intact = run(function, arguments, None, engine)[0]
            for k in itertools.count(1):  # until k passes the last creation
                result, _, made, where = self.checked(function, arguments, {"object": (k,)}, engine)
                if made["object"] < k:
                    break
                self.assertIn(result, (MemoryError, (OUT_OF_MEMORY, BAD_ALLOCATION, None)), where)
            self.assertEqual(repr(result), repr(intact), where)


if __name__ == "__main__":
    unittest.main()
