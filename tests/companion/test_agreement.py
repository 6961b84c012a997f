"""The companion against the bare native call over the golden record's seeded
calls: a fit it lets through gives the native result bit for bit, its curve
reproduces every native deviation, and a refusal is one the native call
refuses too or turns into non-finite numbers."""
import io
import math
import os
import sys
import unittest
import warnings

import curvefits as cf
import tallowfit

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "bench"))
import golden  # noqa: E402  (the generator of the seeded calls)


def plain(items):
    """Whether items are all exact ints or floats (not bools or other number types)."""
    return all(type(v) in (int, float) for v in items)


def clean_points(points):
    return isinstance(points, list) and all(
        isinstance(p, (tuple, list)) and len(p) == 3 and plain(p) for p in points)


def native(function, args):
    saved, sys.stdout = sys.stdout, io.StringIO()
    try:
        status, payload = getattr(tallowfit, function)(*args)
        return status, payload, sys.stdout.getvalue()
    finally:
        sys.stdout = saved


def hexes(roots):
    return [(complex(r).real.hex(), complex(r).imag.hex()) for r in roots]


def finite(payload):
    flat = repr(payload)
    return "nan" not in flat and "inf" not in flat


def companion(function, args):
    if function == "findRoots":
        return cf.roots(args[0], check=False)
    if function == "optimizeModel":
        points, model, order, flags = args
        return cf.fit(points, model=model, order=order, flags=flags, check=False)
    points, threshold, lower, upper, flags = args
    return cf.fit_two_range(points, threshold=threshold, lower_order=lower, upper_order=upper,
                            flags=flags, check=False)


def fit_lists(result):
    return [result] if isinstance(result, cf.FitResult) else (
        [result.lower, result.upper] if result.lower is not None else [result.upper])


class GoldenAgreement(unittest.TestCase):
    def assertSameFit(self, mine, fit_list, flags):
        self.assertEqual([float(c).hex() for c in mine.coefficients],
                         [c.hex() for c in fit_list[0]])
        self.assertEqual([[float(v).hex() for v in row] for row in mine.covariance],
                         [[v.hex() for v in row] for row in fit_list[1]])
        self.assertEqual((mine.reduced_chi_square.hex(), mine.average_error.hex()),
                         (fit_list[2].hex(), fit_list[3].hex()))
        table = mine.points
        rows = list(zip(table.x, table.y, table.sigma, table.deviation))
        self.assertEqual([tuple(float(v).hex() for v in r) for r in rows],
                         [tuple(v.hex() for v in r) for r in fit_list[4]])
        # The curve the companion evaluates is the native one: each deviation
        # recomputed from it is the native deviation, to the bit.
        for r, s, d in zip(table.residual, table.sigma, table.deviation):
            again = math.sqrt(r * r + (0.0 if flags & 32 else s * s))
            self.assertTrue(again == d or (again != again and d != d), (again, d))

    def test_seeded_calls(self):
        counts = {"same fit": 0, "same failure": 0, "refused first": 0}
        warnings.simplefilter("ignore", cf.PrecisionWarning)
        saved, sys.stdout = sys.stdout, io.StringIO()
        try:
            calls = golden.all_calls()
        finally:
            sys.stdout = saved
        for index, (function, args) in enumerate(calls):
            if function == "findRoots":
                if len(args) != 1 or not isinstance(args[0], list) or not plain(args[0]):
                    continue
            elif len(args) != 4 + (function == "optimizeDualModel") or not (
                    clean_points(args[0]) and plain(args[1:])):
                continue
            status, payload, message = native(function, args)
            mine = companion(function, args)
            with self.subTest(call=index):
                if isinstance(mine, cf.CurveFitError) and not mine.native_message and (
                        mine.status == cf.Status.INVALID_ARGUMENT):
                    self.assertTrue(status != 0 or not finite(payload) or not finite(args), mine)
                    counts["refused first"] += 1
                elif isinstance(mine, cf.CurveFitError):
                    self.assertEqual((mine.status, mine.message if message else ""),
                                     (status, message))
                    counts["same failure"] += 1
                elif function == "findRoots":
                    self.assertEqual(hexes(mine), hexes(payload))
                    counts["same fit"] += 1
                else:
                    self.assertEqual(status, 0)
                    fits = [payload] if function == "optimizeModel" else payload
                    mine_fits = fit_lists(mine)
                    self.assertEqual(len(mine_fits), len(fits))
                    for one, fit_list in zip(mine_fits, fits):
                        self.assertSameFit(one, fit_list, args[-1])
                    counts["same fit"] += 1
        self.assertTrue(min(counts.values()) > 20, counts)


if __name__ == "__main__":
    unittest.main()
