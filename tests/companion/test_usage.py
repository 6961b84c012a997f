"""The companion as a user meets it: each misuse of the native call gives a correct
result or an exception naming the problem, with nothing on stdout; the golden record's
seeded calls give the native result bit for bit; exceptions carry the native message,
also under threads; every public name documents itself with an example."""
import contextlib
import io
import math
import os
import subprocess
import sys
import threading
import time
import unittest
import warnings

import curvefits as cf
import tallowfit
from curvefits import Model, _classic

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "bench"))
import golden  # noqa: E402  (the generator of the seeded calls)

try:
    import numpy as np
except ImportError:
    np = None

X = [1.5, 2.0, 3.0, 4.0, 5.0, 6.0]
Y = [2.0 * x ** 1.5 for x in X]
ROWS = list(zip(X, Y, [0.05] * 6))
P = [1, 2, 3, 4]


def native(function, *args):
    """status, payload and the text written of a bare native call."""
    with contextlib.redirect_stdout(io.StringIO()) as written:
        result = getattr(tallowfit, function)(*args)
    return result + (written.getvalue(),)


def bits(value):
    """value with every number as hex text, so that comparisons see every bit."""
    try:
        return [bits(v) for v in value]
    except TypeError:
        return complex(value).real.hex(), complex(value).imag.hex()


def shaped(function, args):
    """Whether a seeded call's arguments are exact ints or floats (not bools or other number
    types), and rows of three for a fit."""
    plain = lambda items: all(type(v) in (int, float) for v in items)  # noqa: E731
    if function == "findRoots":
        return len(args) == 1 and isinstance(args[0], list) and plain(args[0])
    return len(args) == (4 if function == "optimizeModel" else 5) and plain(args[1:]) and \
        isinstance(args[0], list) and all(isinstance(p, (tuple, list)) and len(p) == 3 and
                                          plain(p) for p in args[0])


class Silent(unittest.TestCase):
    """Fails a test that lets anything reach stdout."""

    def setUp(self):
        self.saved, sys.stdout = sys.stdout, io.StringIO()

    def tearDown(self):
        written, sys.stdout = sys.stdout.getvalue(), self.saved
        self.assertEqual(written, "")


class InputForms(Silent):
    def test_every_form_gives_the_native_fit(self):
        dropping = [(-1, 1, .1), (2, 2, .1), (3, 0, .1), (4, 4, 0), (5, 5, .1), (6, 6, .1)]
        # LOG_RATIO holds c0, not adjusting it; LOG_INVERSE cannot be evaluated at x <= 0.
        forms = [((ROWS,), Model.POLYNOMIAL, 2, 0, 6 - 2, 6), ((ROWS,), Model.LOG_RATIO, 3, 0, 6 - 2, 6),
                 ((ROWS[:3],), Model.LOG_LOG, 3, 16, 0, 3), ((dropping,), Model.LOG_INVERSE, 2, 1, 3 - 2, 5)]
        arrays = [] if np is None else [(np.array(ROWS),), tuple(np.array(ROWS, np.float32).T), (np.asfortranarray(ROWS),)]
        forms += [(args, 1, 2, 0, 4, 6) for args in [(ROWS,), (X, Y, [0.05] * 6), (X, Y, 0.05),
                  (tuple(ROWS),), ((r for r in ROWS),), (zip(X, Y, [0.05] * 6),)] + arrays]
        for args, model, order, flags, freedom, used in forms:
            with self.subTest(args=args, model=model, flags=flags):
                result = cf.fit(*args, model=model, order=order, flags=flags)
                rows = args[0] if isinstance(args[0], list) and len(args) == 1 else ROWS
                fit_list = native("optimizeModel", rows, model, order, flags)[1]
                self.assertEqual(bits([result.coefficients, result.reduced_chi_square,
                                       result.points.deviation]),
                                 bits([fit_list[0], fit_list[2], [r[3] for r in fit_list[4]]]))
                self.assertEqual((result.degrees_of_freedom, len(result.points)), (freedom, used))

    def test_roots_in_both_orders(self):
        cases = [([2, -3, 1], False), ([1.0, -3.0, 2.0], True), ((2.0, -3.0, 1.0), False), ([1, 0, 1], False)]
        for coefficients, highest_first in cases + ([] if np is None else [
                (np.array([2.0, -3.0, 1.0]), False), (np.array([1, -3, 2]), True)]):
            lowest = list(coefficients)[::-1 if highest_first else 1]
            with self.subTest(coefficients=coefficients):
                self.assertEqual(bits(cf.roots(coefficients, highest_first=highest_first)),
                                 bits(tallowfit.findRoots([float(c) for c in lowest])[1]))


def attempt(args, keywords, check):
    """roots(*args) when keywords is None, fit_two_range for "two", else fit."""
    if keywords is None:
        return cf.roots(args[0], highest_first=len(args) > 1, check=check)
    if "two" in keywords:
        return cf.fit_two_range(args[0], threshold=args[1], check=check, **keywords["two"])
    return cf.fit(*args, check=check, **dict({"model": 6}, **{
        k: v for k, v in keywords.items() if k != "kind"}))


class Failures(Silent):
    """Input refused before the call, each message naming the problem; failures
    of the native call with its status, class and exact message (words None);
    raised with check, returned without."""

    CASES = [  # (arguments, keywords, words)
        (([(1, 2)] * 5,), {}, "(x, y, sigma)"), (([1, 2, 3], [1, 2], 0.1), {}, "one length"),
        (([1, 2, 3], [1, 2, 3]), {}, "sigma"), ((["1", "2", "3"], P[:3], 0.1), {}, "numbers"),
        (([],), {}, "no points"), (([1, 2], [1, 2], 0.1), {"order": 2}, "too few"),
        (([1, 2, -3], P[:3], 0.1), {"model": 0, "order": 2, "drop_invalid": True}, "2 valid"),
        (([0.5, 2, 3, 4], P, 0.1), {"model": 1}, "x > 1"), ((P, P, -0.1), {}, "sigma must be"),
        (([1.0, 2, 3, 4], P, 0.1), {"model": 1, "drop_invalid": True}, "x > 1"),
        ((P, [math.nan] * 4, 0.1), {}, "finite"), (([math.inf] * 4, P, 0.1), {}, "finite"),
        (([1, 2, 3, 1e39], P, 0.1), {}, "single precision"),
        ((P, [1, -2, 3, 4], 0.1), {"model": 0}, "y > 0"), ((ROWS,), {"model": 9}, "model must be"),
        ((P, P, [0.1, 0, 0.1, 0.1]), {}, "allow_zero_uncertainty"),
        ((P, P, [1e-46] * 4), {}, "sigma must be > 0"),  # 0 in single precision
        ((P, P, -0.1), {"allow_zero_uncertainty": True}, "sigma"),
        ((P, P, 0.1), {"model": 5, "order": 6, "flags": 16, "allow_exact_fit": False}, "too few"),
        ((ROWS,), {"model": Model.DUAL}, "fit_two_range"),
        ((ROWS, 10.0), {"two": {}}, "above"), ((ROWS, 2.0), {"two": {"lower_order": 2}}, "lower"),
        (([],), None, "no coefficients"), (([0.0, 1.0, 2.0], True), None, "leading"),
        (([1.0] * 26,), None, "at most 25"), ((P, [0] * 4, 0.1), {"order": 2}, None),
        (([2, 2, 2], [1, 2, 3], 0.1), {"order": 2, "kind": cf.IllConditionedError}, None),
        ((P[:3], P[:3], 0), {"model": 0, "order": 2, "flags": 1 | 16 | 32, "kind": None}, "")]

    def test_each_failure_names_its_problem(self):
        for args, keywords, words in self.CASES:
            kind = (keywords or {}).get("kind", cf.InvalidInputError)
            with self.subTest(words=words, args=args):
                returned = attempt(args, keywords, False)
                self.assertIsInstance(returned, kind or cf.FitResult)
                if kind is None:
                    continue
                with self.assertRaises(kind) as caught:
                    attempt(args, keywords, True)
                error = caught.exception
                self.assertEqual(str(returned), str(error))
                expected = (cf.Status.INVALID_ARGUMENT, False, "")
                if words is None:  # the native call's own failure, with its exact message
                    rows = [(x, y, args[2]) for x, y in zip(*args[:2])]
                    status, _, text = native("optimizeModel", rows, 6, keywords["order"], 0)
                    expected, words = (status, bool(text), text), text or "wrote no message"
                self.assertEqual((error.status, error.native_message,
                                  error.message if expected[1] else ""), expected)
                self.assertIn(words, error.message)

    def test_single_precision_warning(self):
        stamps, line = [1.7e9 + 10.0 * k for k in range(50)], [0.5 * k for k in range(50)]
        with warnings.catch_warnings(record=True) as caught:
            warnings.simplefilter("always")
            for x in [stamps, stamps[::-1], [k - 25.0 for k in range(50)]]:
                cf.fit(x, line, 0.1, model=6, order=2)
            cf.fit([1e-3 * k for k in range(50)], [1e-46] * 50, 1e-46, model=6, drop_invalid=True,
                   check=False)
        self.assertEqual([w.category for w in caught], [cf.PrecisionWarning] * 2)
        for warning in caught:
            self.assertIn("merges 45 distinct x values", str(warning.message))
            self.assertIn("x - x.mean()", str(warning.message))

    def test_double_precision_keeps_large_offsets(self):
        x, line = [1e4 + 1e-3 * k for k in range(50)], [3.0 + 0.5 * k for k in range(50)]  # x below single's step
        if cf._backend() is _classic:
            return self.assertRaisesRegex(cf.InvalidInputError, "array engine", cf.fit, x, line,
                                          0.1, model=6, order=2, double_precision=True)
        with warnings.catch_warnings():
            warnings.simplefilter("ignore", cf.PrecisionWarning)
            rounded = cf.fit(x, line, 0.1, model=6, order=2)
            warnings.simplefilter("error")  # no single-precision warning either
            exact = cf.fit(x, line, 0.1, model=6, order=2, double_precision=True)
        self.assertEqual(list(exact.points.x), x)
        self.assertGreater(rounded.reduced_chi_square, 1.0)
        self.assertLess(exact.reduced_chi_square, 1e-3)


class GoldenAgreement(unittest.TestCase):
    """A fit let through is the native result to the bit, evaluate() its curve; a refusal
    is of a call the native one refuses too or turns into non-finite numbers."""

    def test_seeded_calls(self):
        counts = {"same fit": 0, "same failure": 0, "refused first": 0}
        warnings.simplefilter("ignore", cf.PrecisionWarning)
        for index, (function, args) in enumerate(golden.all_calls()):
            if not shaped(function, args):
                continue
            status, payload, message = native(function, *args)
            mine = cf.roots(args[0], check=False) if function == "findRoots" else (
                cf.fit(args[0], model=args[1], order=args[2], flags=args[3], check=False)
                if function == "optimizeModel" else cf.fit_two_range(
                    args[0], threshold=args[1], lower_order=args[2], upper_order=args[3],
                    flags=args[4], check=False))
            with self.subTest(call=index):
                failed = isinstance(mine, cf.CurveFitError)
                if failed and not mine.native_message and mine.status == cf.Status.INVALID_ARGUMENT:
                    flat = repr([payload, args])
                    self.assertTrue(status != 0 or "nan" in flat or "inf" in flat, mine)
                    counts["refused first"] += 1
                elif failed:
                    self.assertEqual((mine.status, mine.message if message else ""), (status, message))
                    counts["same failure"] += 1
                else:
                    dual = function == "optimizeDualModel"  # each range fitted: one native fit list
                    fits = [f for f in (mine.lower, mine.upper) if f is not None] if dual else [mine]
                    natives = payload if dual else [payload]
                    self.assertEqual((status, len(fits)), (0, len(natives)))
                    for one, native_result in zip(fits, natives):
                        self.assertSame(one, native_result, args[-1])
                    counts["same fit"] += 1
        self.assertTrue(min(counts.values()) > 20, counts)

    def assertSame(self, mine, fit_list, flags):
        if not isinstance(mine, cf.FitResult):  # roots
            return self.assertEqual(bits(mine), bits(fit_list))
        t = mine.points
        self.assertEqual(bits([mine.coefficients, mine.covariance, mine.reduced_chi_square,
                               mine.average_error, list(zip(t.x, t.y, t.sigma, t.deviation))]),
                         bits(fit_list))
        # Each deviation recomputed from its residual is the native one, and evaluate() that curve.
        for r, s, d, f, c in zip(t.residual, t.sigma, t.deviation, t.fitted, mine.evaluate(t.x)):
            again = math.sqrt(r * r + (0.0 if flags & 32 else s * s))
            self.assertTrue(again == d or (again != again and d != d), (again, d))
            self.assertTrue(math.isclose(c, f, rel_tol=1e-12) or (c != c and f != f), (c, f))


HELD_TO_ONE_CORE = """if True:
    import os, numpy as np, curvefits as cf
    os.sched_setaffinity(0, {min(os.sched_getaffinity(0))})
    x, tasks = np.geomspace(2.0, 50.0, 20000), len(os.listdir("/proc/self/task"))
    cf.fit(x, 3.0 * x ** 1.4, 0.1, model=cf.Model.LOG_LOG, order=3, refine=True, workers=2)
    print(len(os.listdir("/proc/self/task")) - tasks)"""


class Threads(unittest.TestCase):
    def test_eight_threads_keep_their_own_messages_and_prints(self):
        """Refusals, the companion's and the native call's, keep their own text in each of
        eight threads; every print of every thread reaches the stream, none is captured."""
        calls = [([(1, 1, .1)], 3, 0, 0), ([], 1, 0, 0), ([(2, 1, .1)] * 2, 6, 3, 0),
                 ([(-1, 1, .1)] * 3, 0, 2, 0), ([(2, -1, .1)] * 3, 0, 2, 0),
                 ([(2, 1, -1)] * 3, 0, 2, 0), ([(k, 0, .1) for k in range(4)], 6, 2, 0),
                 ([(2, 1, .1)] * 3, 9, 0, 0)]
        parts, seen, texts = [], {}, [native("optimizeModel", *call)[2] for call in calls]
        alone = [str(cf.fit(r, model=m, order=o, flags=f, check=False)) for r, m, o, f in calls]

        def work(w):
            rows, model, order, flags = calls[w]
            for k in range(60):
                try:
                    cf.fit(rows, model=model, order=order, flags=flags)
                except cf.CurveFitError as error:
                    seen.setdefault(w, set()).add((str(error), _classic.fit(
                        None, None, None, model, order, flags, False, rows=rows)[1]))
                sys.stdout.write("worker %d line %d\n" % (w, k))

        stream = type("Stream", (), {"write": lambda _, t: parts.append(t), "flush": lambda _: 0})()
        self.addCleanup(sys.setswitchinterval, sys.getswitchinterval())
        sys.setswitchinterval(1e-6)
        with contextlib.redirect_stdout(stream):
            threads = [threading.Thread(target=work, args=(w,)) for w in range(8)]
            for step in (threading.Thread.start, threading.Thread.join):
                list(map(step, threads))
        self.assertEqual(len(set(texts)), 8)
        self.assertEqual(seen, {w: {(alone[w], texts[w])} for w in range(8)})
        self.assertEqual(sorted(parts), sorted("worker %d line %d\n" % (w, k)
                                               for w in range(8) for k in range(60)))

    @unittest.skipUnless(np is not None and cf._engine is not None and hasattr(os, "sched_getaffinity")
                         and os.path.isdir("/proc/self/task") and len(os.sched_getaffinity(0)) >= 2,
                         "the engine's second thread, on Linux with two cores")
    def test_workers_allows_or_forbids_the_second_thread(self):
        """The engine's thread (which ends 50 ms after its last job) is seen in the process's
        tasks after a large refined fit that may use it, never after one with workers=1; both
        give the same bits; a workers that leaves no thread is refused."""
        x = np.geomspace(2.0, 50.0, 20000)
        tasks = lambda: len(os.listdir("/proc/self/task"))  # noqa: E731
        refined = lambda workers: cf.fit(x, 3.0 * x ** 1.4, 0.1, model=Model.LOG_LOG, order=3,  # noqa: E731
                                         refine=True, workers=workers)
        results, alone = {}, tasks()
        for _ in range(100):  # until the thread of an earlier fit has ended
            time.sleep(0.02)
            alone, settled = tasks(), alone
            if alone == settled:
                break
        seen = {}
        for workers in (1, 1, 1, -1, 2, 2):
            results[workers] = refined(workers)
            seen.setdefault(workers, set()).add(tasks() - alone)
            time.sleep(0.2)
        self.assertEqual(seen[1], {0})
        self.assertIn(1, seen[-1] | seen[2])
        # Nor is the thread started in a process held to one core, whatever workers allows.
        held = subprocess.run([sys.executable, "-c", HELD_TO_ONE_CORE], stdout=subprocess.PIPE, check=True)
        self.assertEqual(held.stdout.split(), [b"0"])
        self.assertEqual(*[bits([r.coefficients, r.covariance, r.points.deviation])
                           for r in (results[1], results[2])])
        cores = os.cpu_count()
        for workers, kind in [(0, ValueError), (-cores - 1, ValueError), (1.0, TypeError), ("2", TypeError)]:
            with self.subTest(workers=workers), self.assertRaisesRegex(kind, "workers"):
                cf.fit(ROWS, model=6, order=2, workers=workers, check=False)


class Documentation(unittest.TestCase):
    def test_every_public_name_has_an_example(self):
        names = [getattr(cf, name) for name in cf.__all__ if name != "__version__"]
        members = [getattr(kind, name) for kind in (cf.FitResult, cf.TwoRangeFit)
                   for name in dir(kind) if not name.startswith("_")]
        for item in [cf] + names + members:
            with self.subTest(item=item):
                self.assertIn(">>>", getattr(item, "__doc__", None) or "")
        self.assertTrue(cf.__version__)


if __name__ == "__main__":
    unittest.main()
