"""The companion's array engine against the classic entries: the golden record's calls
give the same status, message and bits; buffers of either float width, in single or
double precision; refusals; nothing written, no reference kept; the lock released."""
import array
import os
import sys
import threading
import time
import unittest

import tallowfit
from recording import LOG_LOG, OK, REFINE, call_recorded, dump

try:
    import _curvefits_engine as engine
except ImportError:  # Python 2.7: the engine is built for Python 3 only
    engine = None

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "bench"))
import golden  # noqa: E402


def doubles(items):
    """items as an array of doubles when all are plain numbers a double holds, else None."""
    try:
        return array.array("d", items) if all(type(v) in (float, int, bool) for v in items) else None
    except OverflowError:
        return None


def engine_call(function, args):
    """The engine's function and arguments for a classic call, or None when arrays cannot carry it."""
    if function == "findRoots":
        column = doubles(args[0]) if len(args) == 1 and type(args[0]) is list else None
        return None if column is None else [engine.find_roots, column]
    dual = function == "optimizeDualModel"
    rows = args[0] if len(args) == 4 + dual and function.startswith("optimize") else None
    shaped = type(rows) is list and all(type(p) in (tuple, list) and len(p) == 3 for p in rows)
    xyu = [doubles([p[i] for p in rows]) for i in range(3)] if shaped else [None]
    if None in xyu or (dual and doubles(args[1:2]) is None) or not all(
            type(v) is int and -2 ** 31 <= v < 2 ** 31 for v in args[1 + dual:]):
        return None
    return [engine.fit_dual if dual else engine.fit] + xyu + list(args[1:]) + [False]


def classic_report(report):
    """An engine report in the shape of a classic fit list."""
    coefficients, rows, chi_square, average, table = report
    table = memoryview(table).cast("d").tolist()
    deviations = [tuple(table[k:k + 3]) + (table[k + 4],) for k in range(0, len(table), 5)]
    return [list(coefficients), [list(row) for row in rows], chi_square, average, deviations]


def classic_payload(function, payload):
    if payload is None or function == "optimizeModel":
        return payload and classic_report(payload)
    if function == "findRoots":
        real, imag = (memoryview(part).cast("d").tolist() for part in payload)
        return [r if i == 0.0 else complex(r, i) for r, i in zip(real, imag)]
    return [classic_report(report) for report in payload if report is not None]


def power_law(count, scale=1.0):
    x = [1.0 + 0.001 * k for k in range(1, count + 1)]
    return [x, [scale * 2.0 * v ** 1.5 * (1.0 + 1e-3 * ((k * 7919) % 13 - 6))
                for k, v in enumerate(x)], [0.01] * count]


@unittest.skipIf(engine is None, "the array engine is built for Python 3 only")
class Engine(unittest.TestCase):
    def test_same_bits_as_the_classic_entries(self):
        calls = [(f, a, engine_call(f, a)) for f, a in golden.all_calls()]
        calls = [call for call in calls if call[2] is not None]
        self.assertGreater(len(calls), 3500)
        for function, args, call in calls:
            (status, payload), parts = call_recorded(getattr(tallowfit, function), *args)
            result, written = call_recorded(*call)
            self.assertEqual((written, result[:2], dump(classic_payload(function, result[2]))),
                             ([], (status, "".join(parts) or None), dump(payload)), args)

    def test_buffers_refusals_and_no_reference_kept(self):
        x, y, u = power_law(40)
        d, single = array.array("d", [1.0, 2.0, 3.0]), [array.array("f", c) for c in (x, y, u)]
        x, y, u = (array.array("d", c) for c in (x, y, u))
        expected = dump(tallowfit.optimizeModel(list(zip(x, y, u)), LOG_LOG, 2, REFINE)[1])
        cases = [  # (function, arguments, the error raised or whether the fit is the classic one)
            (engine.fit, (x, y, u), True), (engine.fit, tuple(single), True),
            (engine.fit, tuple(memoryview(c) for c in single) + (True,), True),
            (engine.fit, tuple(memoryview(c.tobytes()).cast("d") for c in (x, y, u)), True),
            (engine.fit, (x, y, u, True), False), (engine.fit, (x, y, u, LOG_LOG, 9, 0, False), None),
            (engine.fit_dual, (x, y, u, 1.01, 2, 2, REFINE, False), None),
            (engine.find_roots, (y,), None), (engine.find_roots, ([2.0, -3.0, 1.0],), TypeError),
            (engine.fit, (x, y, array.array("d"), LOG_LOG, 2, 0, False), ValueError),
            (engine.fit, (d, d, [1.0, 2.0, 3.0], 6, 2, 0, False), TypeError),
            (engine.fit, (d, d, array.array("i", [1, 2, 3]), 6, 2, 0, False), TypeError),
            (engine.fit, (d, d, memoryview(d.tobytes()).cast("d", (3, 1)), 6, 2, 0, False),
             ValueError), (engine.fit, (d, d, d, "6", 2, 0, False), TypeError)]
        for function, args, expect in cases:
            if expect in (True, False):  # a fit of the power law in single or double precision
                args = args[:3] + (LOG_LOG, 2, REFINE, args[3:] == (True,))
            counts = [sys.getrefcount(a) for a in args[:3]]
            for _ in range(3):
                result = self.assertRaises(expect, function, *args) if expect in (
                    TypeError, ValueError) else function(*args)
            self.assertEqual([sys.getrefcount(a) for a in args[:3]], counts, (args[3:], expect))
            if expect in (True, False):
                self.assertEqual(result[:2], (OK, None))
                self.assertEqual(dump(classic_report(result[2])) == expected, expect, args)
                table = memoryview(result[2][4]).cast("d")  # x, y, sigma, the curve at x, deviation
                self.assertLess(max(abs(table[k + 3] / table[k + 1] - 1) for k in range(0, len(table), 5)), 0.01)

    def test_two_threads_fit_while_a_third_runs_python(self):
        # With a switch interval no call outlasts, a thread that yields runs in a fit that lets go.
        sets = [[array.array("d", c) for c in power_law(50000, scale)] + [LOG_LOG, 2, REFINE, False]
                for scale in (1.0, 3.0)]
        alone, results, ticks, stop = [engine.fit(*s) for s in sets], [None, None], [], threading.Event()
        self.addCleanup(sys.setswitchinterval, sys.getswitchinterval())
        sys.setswitchinterval(1000.0)
        # Counts until stopped, giving the lock up at each count.
        spinner = threading.Thread(target=lambda: [ticks.append(time.sleep(0)) for _ in iter(stop.is_set, True)])
        spinner.start()
        before = len(ticks)
        self.assertTrue(engine.fit(*sets[0]) and len(ticks) > before)  # the spinner ran in the fit
        stop.set()
        spinner.join()
        workers = [threading.Thread(target=lambda k=k: results.__setitem__(k, engine.fit(*sets[k])))
                   for k in (0, 1)]
        for step in (threading.Thread.start, threading.Thread.join):
            list(map(step, workers))
        self.assertEqual([(dump(r[:2] + r[2][:4]), r[2][4]) for r in results],
                         [(dump(r[:2] + r[2][:4]), r[2][4]) for r in alone])


if __name__ == "__main__":
    unittest.main()
