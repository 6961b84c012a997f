"""The companion's array engine against the classic entries: the golden record's calls
give the same status, message and bits; buffers of either float width, in single or
double precision; refusals; nothing written, no reference kept; the lock released."""
import array
import ctypes
import os
import re
import signal
import sys
import threading
import time
import unittest
import warnings

import tallowfit
from engine_calls import engine, engine_call
from recording import LOG_LOG, OK, REFINE, call_recorded, dump

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "bench"))
import golden  # noqa: E402


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
        calls = [(f, a, c) for f, a in golden.all_calls() for c in [engine_call(f, a)] if c]
        self.assertGreater(len(calls), 3500)
        for function, args, call in calls:
            (status, payload), parts = call_recorded(getattr(tallowfit, function), *args)
            result, written = call_recorded(*call)
            self.assertEqual((written, result[:2], dump(classic_payload(function, result[2]))),
                             ([], (status, "".join(parts) or None), dump(payload)), args)

    def test_buffers_refusals_and_no_reference_kept(self):
        single = [array.array("f", c) for c in power_law(40)]
        x, y, u = xyu = tuple(array.array("d", c) for c in power_law(40))
        expected = dump(tallowfit.optimizeModel(list(zip(x, y, u)), LOG_LOG, 2, REFINE)[1])
        in_single, in_double = (LOG_LOG, 2, REFINE, False), (LOG_LOG, 2, REFINE, True)
        cases = [  # (function, arguments, the error raised or whether the fit is the classic one)
            (engine.fit, xyu + in_single, True), (engine.fit, xyu + in_double, False),
            (engine.fit, tuple(single) + in_single, True), (engine.find_roots, (y,), None),
            (engine.fit, tuple(memoryview(c) for c in single) + in_double, True),
            (engine.fit, tuple(memoryview(bytes(c)).cast("d") for c in xyu) + in_single, True),
            (engine.fit, tuple((ctypes.c_double * 40)(*c) for c in xyu) + in_single, True),  # '<d'
            (engine.fit, (x, y, u, LOG_LOG, 9, 0, False), None), (engine.find_roots, ([2.0, -3.0, 1.0],), TypeError),
            (engine.fit_dual, (x, y, u, 1.01, 2, 2, REFINE, False), None),
            (engine.fit, (x, y, array.array("d")) + in_single, ValueError),
            (engine.fit, (x, y, list(u)) + in_single, TypeError), (engine.fit, (x, y, u, "6") + in_single[1:], TypeError),
            (engine.fit, (x, y, array.array("i", range(40))) + in_single, TypeError),
            (engine.fit, (x, y, memoryview(bytes(u)).cast("d", (40, 1))) + in_single, ValueError)]
        for function, args, expect in cases:
            counts = [sys.getrefcount(a) for a in args[:3]]
            for _ in range(3):
                result = self.assertRaises(expect, function, *args) if expect in (
                    TypeError, ValueError) else function(*args)
            self.assertEqual([sys.getrefcount(a) for a in args[:3]], counts, (args[3:], expect))
            if expect in (True, False):
                self.assertEqual(result[:2], (OK, None))
                self.assertEqual(dump(classic_report(result[2])) == expected, expect, args)
                table = memoryview(result[2][4]).cast("d").tolist()  # x, y, sigma, curve, deviation
                self.assertLess(max(abs(c / v - 1) for v, c in zip(table[1::5], table[3::5])), 0.01)

    def test_fits_in_two_threads_while_a_third_runs_python(self):
        # With a switch interval no call outlasts, a thread that yields runs in a fit that lets go.
        sets = [[array.array("d", c) for c in power_law(50000, scale)] + [LOG_LOG, 2, REFINE, False]
                for scale in (1.0, 3.0)]
        alone, results, ticks, stop = [engine.fit(*s) for s in sets], [], [], threading.Event()
        self.addCleanup(sys.setswitchinterval, sys.getswitchinterval())
        sys.setswitchinterval(1000.0)
        threads = [threading.Thread(target=lambda: results.append(engine.fit(*sets[1]))),
                   threading.Thread(target=lambda: [ticks.append(time.sleep(0))  # counts, yielding
                                                    for _ in iter(stop.is_set, True)])]
        list(map(threading.Thread.start, threads))
        before = len(ticks)
        results.insert(0, engine.fit(*sets[0]))
        ticked = len(ticks) - before  # the counting thread ran in the fit
        stop.set()
        list(map(threading.Thread.join, threads))
        self.assertGreater(ticked, 0)
        self.assertEqual([(dump(r[:2] + r[2][:4]), r[2][4]) for r in results],
                         [(dump(r[:2] + r[2][:4]), r[2][4]) for r in alone])

    @unittest.skipUnless(os.path.exists("/proc/self/status"), "counts the threads in /proc")
    def test_an_idle_engine_leaves_no_thread_and_a_forked_child_fits(self):
        def native_threads():  # beyond the interpreter's own
            with open("/proc/self/status") as status:
                count = int(re.search(r"Threads:\s+(\d+)", status.read()).group(1))
            return count - threading.active_count()

        fit = [array.array("d", c) for c in power_law(50000)] + [LOG_LOG, 2, REFINE, False]
        expected = dump(engine.fit(*fit))
        deadline = time.monotonic() + 10
        while native_threads() and time.monotonic() < deadline:
            time.sleep(0.01)
        self.assertEqual(native_threads(), 0)
        with warnings.catch_warnings():
            warnings.simplefilter("error")  # a process with threads warns at a fork
            pid = os.fork()
        if pid == 0:  # pragma: no cover (the child)
            signal.alarm(60)
            os._exit(0 if dump(engine.fit(*fit)) == expected else 1)
        self.assertEqual(os.waitpid(pid, 0)[1], 0)
        if len(os.sched_getaffinity(0)) > 1:  # a later fit has the thread again
            self.assertTrue(any(engine.fit(*fit) and native_threads() for _ in range(5)))

if __name__ == "__main__":
    unittest.main()
