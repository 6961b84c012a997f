"""The companion's array engine against the classic entries: every fit and
root call of the golden record that arrays can carry gives the same status,
message and result bits; buffers of either float width, in single or double
precision; nothing written, no reference kept; the interpreter lock released
while a fit runs."""
import array
import math
import os
import sys
import threading
import time
import unittest

import tallowfit
from recording import LOG_LOG, OK, POLYNOMIAL, REFINE, Recorder, ReplacedStdout, call_recorded, dump

try:
    import _curvefits_engine as engine
except ImportError:  # Python 2.7: the engine is built for Python 3 only
    engine = None

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "bench"))
import golden  # noqa: E402

NUMBER_TYPES = (float, int, bool)


def numbers(items):
    """items as floats when each is a plain number a double holds, else None."""
    try:
        return [float(v) for v in items] if all(type(v) in NUMBER_TYPES for v in items) else None
    except OverflowError:
        return None


def columns(points):
    """x, y, yunc as array('d') columns when points is a list of rows of three
    plain numbers, else None."""
    if type(points) is not list or not all(type(p) in (tuple, list) and len(p) == 3 for p in points):
        return None
    rows = [numbers(p) for p in points]
    if any(row is None for row in rows):
        return None
    return [array.array("d", [row[i] for row in rows]) for i in range(3)]


def int32s(values):
    return all(type(v) is int and -2 ** 31 <= v < 2 ** 31 for v in values)


def engine_call(function, args):
    """The engine's function and arguments for a classic call, or None when
    arrays cannot carry it."""
    if function == "findRoots":
        values = numbers(args[0]) if len(args) == 1 and type(args[0]) is list else None
        return values is not None and (engine.find_roots, (array.array("d", values),))
    if function == "optimizeModel" and len(args) == 4 and int32s(args[1:]):
        xyu = columns(args[0])
        return xyu is not None and (engine.fit, tuple(xyu) + tuple(args[1:]) + (False,))
    if function == "optimizeDualModel" and len(args) == 5 and type(args[1]) in NUMBER_TYPES \
            and int32s(args[2:]):
        xyu = columns(args[0])
        return xyu is not None and (engine.fit_dual, tuple(xyu) + tuple(args[1:]) + (False,))
    return None


def classic_report(report):
    """An engine report in the shape of a classic fit list."""
    coefficients, rows, chi_square, average, table = report
    table = memoryview(table).cast("d").tolist()
    deviations = [tuple(table[k:k + 3]) + (table[k + 4],) for k in range(0, len(table), 5)]
    return [list(coefficients), [list(row) for row in rows], chi_square, average, deviations]


def classic_payload(function, payload):
    if payload is None:
        return None
    if function == "findRoots":
        real, imag = (memoryview(part).cast("d").tolist() for part in payload)
        return [r if i == 0.0 else complex(r, i) for r, i in zip(real, imag)]
    if function == "optimizeModel":
        return classic_report(payload)
    return [classic_report(report) for report in payload if report is not None]


@unittest.skipIf(engine is None, "the array engine is built for Python 3 only")
class GoldenReplay(unittest.TestCase):
    def test_same_bits_as_the_classic_entries(self):
        replayed = 0
        for index, (function, args) in enumerate(golden.all_calls()):
            call = engine_call(function, args)
            if not call:
                continue
            (status, payload), parts = call_recorded(getattr(tallowfit, function), *args)
            with ReplacedStdout(Recorder()) as written:
                result = call[0](*call[1])
            where = "call %d %s" % (index, function)
            self.assertEqual(written.parts, [], where)
            self.assertEqual(result[:2], (status, "".join(parts) or None), where)
            self.assertEqual(dump(classic_payload(function, result[2])), dump(payload), where)
            replayed += 1
        self.assertGreater(replayed, 3500)


def power_law(count, scale=1.0):
    x = [1.0 + 0.001 * k for k in range(1, count + 1)]
    return x, [scale * 2.0 * v ** 1.5 * (1.0 + 1e-3 * ((k * 7919) % 13 - 6)) for k, v in enumerate(x)], \
        [0.01] * count


@unittest.skipIf(engine is None, "the array engine is built for Python 3 only")
class Buffers(unittest.TestCase):
    def test_buffer_kinds_and_precision(self):
        x, y, u = power_law(40)
        single = [array.array("f", c) for c in (x, y, u)]
        expected = tallowfit.optimizeModel(list(zip(x, y, u)), LOG_LOG, 2, REFINE)[1]
        cases = [  # (columns, double precision, equal to the classic fit)
            ([array.array("d", c) for c in (x, y, u)], False, True),
            (single, False, True),
            ([memoryview(c) for c in single], True, True),
            ([memoryview(array.array("d", c).tobytes()).cast("d") for c in (x, y, u)], False, True),
            ([array.array("d", c) for c in (x, y, u)], True, False),
        ]
        for xyu, double, same in cases:
            status, message, report = engine.fit(*(xyu + [LOG_LOG, 2, REFINE, double]))
            self.assertEqual((status, message), (OK, None))
            self.assertEqual(dump(classic_report(report)) == dump(expected), same, (xyu, double))
            table = memoryview(report[4]).cast("d")
            # The fitted column is the curve at x, next to the y it was fitted to.
            self.assertTrue(all(abs(table[k + 3] / table[k + 1] - 1.0) < 0.01
                                for k in range(0, len(table), 5)))

    def test_double_precision_keeps_large_offsets(self):
        # Steps of 0.001 at 10^4: single precision moves each x by up to 0.0005.
        x = array.array("d", [1e4 + 0.001 * k for k in range(50)])
        y = array.array("d", [3.0 + 0.5 * k for k in range(50)])
        u = array.array("d", [0.1] * 50)
        errors = [abs(engine.fit(x, y, u, POLYNOMIAL, 2, 0, double)[2][0][1] / 500.0 - 1.0)
                  for double in (False, True)]
        self.assertGreater(errors[0], 1e-3)
        self.assertLess(errors[1], 1e-4)

    def test_refused_arguments_raise(self):
        d = array.array("d", [1.0, 2.0, 3.0])
        cases = [
            ((d, d, [1.0, 2.0, 3.0], 6, 2, 0, False), TypeError),
            ((d, d, array.array("i", [1, 2, 3]), 6, 2, 0, False), TypeError),
            ((d, d, array.array("d", [1.0, 2.0]), 6, 2, 0, False), ValueError),
            ((d, d, memoryview(d.tobytes()).cast("d", (3, 1)), 6, 2, 0, False), ValueError),
            ((d, d, d, "6", 2, 0, False), TypeError),
        ]
        for args, error in cases:
            self.assertRaises(error, engine.fit, *args)
        self.assertRaises(TypeError, engine.find_roots, [2.0, -3.0, 1.0])

    def test_no_reference_kept(self):
        x, y, u = (array.array("d", c) for c in power_law(30))
        calls = [(engine.fit, (x, y, u, LOG_LOG, 2, REFINE, False)),
                 (engine.fit, (x, y, u, LOG_LOG, 9, 0, False)),
                 (engine.fit, (x, y, array.array("d"), LOG_LOG, 2, 0, False)),
                 (engine.fit_dual, (x, y, u, 1.01, 2, 2, REFINE, False)),
                 (engine.find_roots, (y,))]
        for function, args in calls:
            counts = [sys.getrefcount(a) for a in args[:3]]
            for _ in range(3):
                try:
                    function(*args)
                except ValueError:
                    pass
            self.assertEqual([sys.getrefcount(a) for a in args[:3]], counts, args[3:])


@unittest.skipIf(engine is None, "the array engine is built for Python 3 only")
class Threads(unittest.TestCase):
    def test_two_threads_fit_while_a_third_runs_python(self):
        # With a switch interval no call outlasts, a spinning thread that
        # gives the lock up itself runs during a fit only if the fit released it.
        sets = [[array.array("d", c) for c in power_law(50000, scale)] for scale in (1.0, 3.0)]
        alone = [engine.fit(*(s + [LOG_LOG, 2, REFINE, False])) for s in sets]
        results, ticks, stop = [None, None], [0], threading.Event()

        def spin():
            while not stop.is_set():
                ticks[0] += 1
                time.sleep(0)

        def fit(k):
            results[k] = engine.fit(*(sets[k] + [LOG_LOG, 2, REFINE, False]))

        interval = sys.getswitchinterval()
        sys.setswitchinterval(1000.0)
        try:
            spinner = threading.Thread(target=spin)
            spinner.start()
            before = ticks[0]
            engine.fit(*(sets[0] + [LOG_LOG, 2, REFINE, False]))
            during = ticks[0] - before
            stop.set()
            spinner.join()
        finally:
            sys.setswitchinterval(interval)
        self.assertGreater(during, 0)
        workers = [threading.Thread(target=fit, args=(k,)) for k in (0, 1)]
        for worker in workers:
            worker.start()
        for worker in workers:
            worker.join()
        # Tables compared as bytes: every bit.
        self.assertEqual([(dump(r[:2] + r[2][:4]), r[2][4]) for r in results],
                         [(dump(r[:2] + r[2][:4]), r[2][4]) for r in alone])
        self.assertFalse(math.isnan(alone[0][2][0][0]))


if __name__ == "__main__":
    unittest.main()
