"""The companion as a user meets it: every way the native call is easy to
misuse gives a correct result or an exception naming the problem, with
nothing written to stdout; exceptions carry the native message, also under
threads; every public name documents itself with an example."""
import io
import math
import sys
import threading
import unittest
import warnings

import curvefits as cf
import tallowfit
from curvefits import Model

try:
    import numpy as np
except ImportError:
    np = None

X = [1.5, 2.0, 3.0, 4.0, 5.0, 6.0]
Y = [2.0 * x ** 1.5 for x in X]
ROWS = list(zip(X, Y, [0.05] * 6))
NATIVE = tallowfit.optimizeModel(ROWS, 1, 2, 0)[1]


def needs_numpy(case):
    return unittest.skipIf(np is None, "numpy is not installed")(case)


class Silent(unittest.TestCase):
    """Fails a test that lets anything reach stdout."""

    def setUp(self):
        self.saved, sys.stdout = sys.stdout, io.StringIO()

    def tearDown(self):
        written, sys.stdout = sys.stdout.getvalue(), self.saved
        self.assertEqual(written, "")


class InputForms(Silent):
    def test_every_form_gives_the_native_fit(self):
        forms = [("columns", lambda: cf.fit(X, Y, [0.05] * 6, model=1, order=2)),
                 ("scalar sigma", lambda: cf.fit(X, Y, 0.05, model=Model.LOG_LOG, order=2)),
                 ("list of rows", lambda: cf.fit(ROWS, model=1, order=2)),
                 ("tuple of rows", lambda: cf.fit(tuple(ROWS), model=1, order=2)),
                 ("generator", lambda: cf.fit((r for r in ROWS), model=1, order=2)),
                 ("zip", lambda: cf.fit(zip(X, Y, [0.05] * 6), model=1, order=2))]
        if np is not None:
            table = np.array(ROWS)
            forms += [("N x 3", lambda: cf.fit(table, model=1, order=2)),
                      ("float32 columns", lambda: cf.fit(*table.astype(np.float32).T, model=1,
                                                         order=2)),
                      ("Fortran order", lambda: cf.fit(np.asfortranarray(table), model=1,
                                                       order=2))]
        for name, call in forms:
            with self.subTest(name):
                result = call()
                self.assertEqual(list(result.coefficients), NATIVE[0])
                self.assertEqual(result.reduced_chi_square, NATIVE[2])
                self.assertEqual(list(result.points.deviation), [r[3] for r in NATIVE[4]])

    def test_roots_in_both_orders(self):
        cases = [([2, -3, 1], False), ([1.0, -3.0, 2.0], True), ((2.0, -3.0, 1.0), False)]
        if np is not None:
            cases += [(np.array([2.0, -3.0, 1.0]), False), (np.array([1, -3, 2]), True)]
        for coefficients, highest_first in cases:
            with self.subTest(coefficients=coefficients):
                found = cf.roots(coefficients, highest_first=highest_first)
                self.assertEqual(sorted(found), tallowfit.findRoots([2.0, -3.0, 1.0])[1][::-1])
        self.assertEqual([complex(r) for r in cf.roots([1, 0, 1])],
                         [complex(r) for r in tallowfit.findRoots([1.0, 0.0, 1.0])[1]])


class Refusals(Silent):
    """Input refused before the call, each message naming the problem."""

    CASES = [
        ("shape", lambda: cf.fit([(1, 2)] * 5, model=6), "(x, y, sigma)"),
        ("lengths", lambda: cf.fit([1, 2, 3], [1, 2], 0.1, model=6), "one length"),
        ("no sigma", lambda: cf.fit([1, 2, 3], [1, 2, 3], model=6), "sigma"),
        ("strings", lambda: cf.fit(["1", "2", "3"], [1, 2, 3], 0.1, model=6), "numbers"),
        ("no points", lambda: cf.fit([], model=6), "no points"),
        ("too few", lambda: cf.fit([1, 2], [1, 2], 0.1, model=6, order=2), "too few"),
        ("too few valid", lambda: cf.fit([1, 2, -3], [1, 2, 3], 0.1, model=0, order=2,
                                         drop_invalid=True), "2 valid points"),
        ("x <= 1 for LogLog", lambda: cf.fit([0.5, 2, 3, 4], [1, 2, 3, 4], 0.1, model=1),
         "x > 1"),
        ("x <= 1 kept by drop_invalid", lambda: cf.fit([1.0, 2, 3, 4], [1, 2, 3, 4], 0.1,
                                                       model=1, drop_invalid=True), "x > 1"),
        ("nan", lambda: cf.fit([1, 2, 3, 4], [1, math.nan, 3, 4], 0.1, model=6), "finite"),
        ("inf", lambda: cf.fit([1, 2, math.inf, 4], [1, 2, 3, 4], 0.1, model=6), "finite"),
        ("beyond single", lambda: cf.fit([1, 2, 3, 1e39], [1, 2, 3, 4], 0.1, model=6),
         "single precision"),
        ("sigma 0", lambda: cf.fit([1, 2, 3, 4], [1, 2, 3, 4], [0.1, 0, 0.1, 0.1], model=6),
         "allow_zero_uncertainty"),
        ("sigma < 0 even allowed", lambda: cf.fit([1, 2, 3, 4], [1, 2, 3, 4], -0.1, model=6,
                                                  allow_zero_uncertainty=True), "sigma"),
        ("y <= 0 for a log model", lambda: cf.fit([1, 2, 3, 4], [1, -2, 3, 4], 0.1, model=0),
         "y > 0"),
        ("dual model", lambda: cf.fit(ROWS, model=Model.DUAL), "fit_two_range"),
        ("unknown model", lambda: cf.fit(ROWS, model=9), "model must be"),
        ("empty upper range", lambda: cf.fit_two_range(ROWS, threshold=10.0), "above"),
        ("lower range too short", lambda: cf.fit_two_range(ROWS, threshold=2.0,
                                                           lower_order=2), "lower range"),
        ("no coefficients", lambda: cf.roots([]), "no coefficients"),
        ("leading zero", lambda: cf.roots([0.0, 1.0, 2.0], highest_first=True), "leading"),
        ("degree 25", lambda: cf.roots([1.0] * 26), "at most 25"),
    ]

    def test_each_refusal_names_its_problem(self):
        for name, call, words in self.CASES:
            with self.subTest(name):
                with self.assertRaises(cf.InvalidInputError) as caught:
                    call()
                self.assertIn(words, caught.exception.message)
                self.assertEqual(caught.exception.status, cf.Status.INVALID_ARGUMENT)
                self.assertFalse(caught.exception.native_message)

    def test_degrees_of_freedom_and_points_used(self):
        dropping = [(-1, 1, .1), (2, 2, .1), (3, 0, .1), (4, 4, 0), (5, 5, .1), (6, 6, .1)]
        cases = [(ROWS, Model.POLYNOMIAL, 2, 0, 6 - 2, 6),
                 (ROWS, Model.LOG_RATIO, 3, 0, 6 - 2, 6),  # c0 is held, not adjusted
                 (ROWS[:3], Model.LOG_LOG, 3, 16, 0, 3),
                 (dropping, Model.LOG_INVERSE, 2, 1, 3 - 2, 5)]  # x <= 0 cannot be evaluated
        for rows, model, order, flags, freedom, used in cases:
            with self.subTest(model=model, flags=flags):
                result = cf.fit(rows, model=model, order=order, flags=flags)
                native = tallowfit.optimizeModel(rows, model, order, flags)[1]
                self.assertEqual((result.degrees_of_freedom, len(result.points)), (freedom, used))
                self.assertEqual(list(result.points.deviation), [row[3] for row in native[4]])

    def test_single_precision_warning(self):
        stamps = [1.7e9 + 10.0 * k for k in range(50)]
        with warnings.catch_warnings(record=True) as caught:
            warnings.simplefilter("always")
            cf.fit(stamps, [0.5 * k for k in range(50)], 0.1, model=6, order=2)
            cf.fit(stamps[::-1], [0.5 * k for k in range(50)], 0.1, model=6, order=2)
            cf.fit([k - 25.0 for k in range(50)], [0.5 * k for k in range(50)], 0.1, model=6)
            cf.fit([1e-3 * k for k in range(50)], [1e-46] * 50, 1e-46, model=6, drop_invalid=True,
                   check=False)
        self.assertEqual([w.category for w in caught], [cf.PrecisionWarning] * 2)
        for warning in caught:
            self.assertIn("merges 45 distinct x values", str(warning.message))
            self.assertIn("x - x.mean()", str(warning.message))


class NativeFailures(Silent):
    """Failures of the native call: its status, its class and its exact message."""

    CASES = [
        (lambda c: cf.fit([1, 2, 3, 4], [1, 2, 3, 4], [1e-46] * 4, model=6, check=c),
         cf.InvalidInputError, None),
        (lambda c: cf.fit([2, 2, 2], [1, 2, 3], 0.1, model=6, order=2, check=c),
         cf.IllConditionedError, ([(2, 1, .1), (2, 2, .1), (2, 3, .1)], 6, 2, 0)),
        (lambda c: cf.fit([1, 2, 3, 4], [1, 2, 3, 4], 0.1, model=5, order=6, flags=16,
                          allow_exact_fit=False, check=c), cf.InvalidInputError, None),
        (lambda c: cf.fit([1, 2, 3, 4], [0, 0, 0, 0], 0.1, model=6, order=2, check=c),
         cf.InvalidInputError, ([(1, 0, .1), (2, 0, .1), (3, 0, .1), (4, 0, .1)], 6, 2, 0)),
        (lambda c: cf.fit([1, 2, 3], [1, 2, 3], 0, model=0, order=2, allow_zero_uncertainty=True,
                          allow_exact_fit=True, drop_invalid=True, check=c), None, None),
    ]

    def test_failures_carry_status_and_message(self):
        for call, kind, native in self.CASES:
            raised = None
            try:
                call(True)
            except cf.CurveFitError as error:
                raised = error
            returned = call(False)
            with self.subTest(kind=kind, native=native):
                if kind is None:
                    self.assertIsInstance(returned, cf.FitResult)
                    continue
                self.assertIsInstance(raised, kind)
                self.assertIsInstance(returned, kind)
                self.assertEqual(str(returned), str(raised))
                if native is not None:
                    status, text = native_message(*native)
                    self.assertEqual((raised.status, raised.native_message), (status, bool(text)))
                    self.assertEqual(raised.message if text else "", text)
                    self.assertIn("wrote no message" if not text else "", raised.message)


class Threads(unittest.TestCase):
    def test_eight_threads_keep_their_own_messages_and_prints(self):
        class Stream(object):
            def __init__(self):
                self.parts, self.lock = [], threading.Lock()

            def write(self, text):
                with self.lock:
                    self.parts.append(text)

            def flush(self):
                pass

        failures, stream = [], Stream()

        def work(worker):
            for k in range(60):
                zero_row = k % 4  # a refusal whose native message names nothing per call
                x = [1.0 + worker, 2.0, 3.0, 4.0]
                sigma = [0.1] * 4
                sigma[zero_row] = -1.0
                try:
                    cf.fit(x, [1, 2, 3, 4], sigma, model=1, drop_invalid=False, order=0)
                except cf.InvalidInputError as error:
                    if "row %d" % zero_row not in error.message:
                        failures.append(error.message)
                native = [(1.0, 2.0, 0.1)] * 3 + [(1.0, 2.0, -0.1 * (worker + 1))]
                got = cf.fit(native, model=6, order=2, drop_invalid=True, allow_exact_fit=True,
                             check=False)
                if not isinstance(got, cf.IllConditionedError):
                    failures.append(repr(got))
                try:
                    cf.fit([1, 2, 3] * (worker + 2), [1, 2, 3] * (worker + 2), 0.1, model=4,
                           order=3 * (worker + 2) + 1)
                except cf.InvalidInputError as error:
                    if "%d points" % (3 * (worker + 2)) not in error.message:
                        failures.append(error.message)
                sys.stdout.write("worker %d line %d\n" % (worker, k))

        saved, sys.stdout = sys.stdout, stream
        try:
            threads = [threading.Thread(target=work, args=(w,)) for w in range(8)]
            for thread in threads:
                thread.start()
            for thread in threads:
                thread.join()
        finally:
            sys.stdout = saved
        self.assertEqual(failures, [])
        self.assertEqual(sorted(stream.parts), sorted("worker %d line %d\n" % (w, k)
                                                      for w in range(8) for k in range(60)))

    def test_native_messages_stay_with_their_thread(self):
        """Eight native refusals, each with its own text, from eight threads at once."""
        calls = [([(1, 1, .1)], 3, 0, 0), ([], 1, 0, 0), ([(2, 1, .1)] * 2, 6, 3, 0),
                 ([(-1, 1, .1)] * 3, 0, 2, 0), ([(2, -1, .1)] * 3, 0, 2, 0),
                 ([(2, 1, -1)] * 3, 0, 2, 0), ([(k, 0, .1) for k in range(4)], 6, 2, 0),
                 ([(2, 1, .1)] * 3, 9, 0, 0)]
        texts = [native_message(*call)[1] for call in calls]
        from curvefits import _classic
        seen = {}

        def work(worker):
            rows, model, order, flags = calls[worker]
            for _ in range(300):
                message = _classic.fit(None, None, None, model, order, flags, False, rows=rows)[1]
                seen.setdefault(worker, set()).add(message)

        saved, interval = sys.stdout, sys.getswitchinterval()
        sys.setswitchinterval(1e-6)
        try:
            threads = [threading.Thread(target=work, args=(w,)) for w in range(8)]
            for thread in threads:
                thread.start()
            for thread in threads:
                thread.join()
        finally:
            sys.setswitchinterval(interval)
        self.assertEqual(len(set(texts)), 8)
        self.assertEqual(seen, {w: {texts[w]} for w in range(8)})
        self.assertIs(sys.stdout, saved)


def native_message(rows, model, order, flags):
    saved, sys.stdout = sys.stdout, io.StringIO()
    try:
        status = tallowfit.optimizeModel(list(rows), model, order, flags)[0]
        return status, sys.stdout.getvalue()
    finally:
        sys.stdout = saved


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
