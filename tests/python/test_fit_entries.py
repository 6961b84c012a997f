"""optimizeModel and optimizeDualModel: worked fits, the five-item fit list,
and every refusal with its status and message."""
import math
import struct
import unittest

import tallowfit
from recording import (DROP_INVALID, DUAL, DUAL_USAGE, EXACT_FIT, HALF_POWER, ILL_CONDITIONED,
                       INVALID_ARGUMENT, LOG_INVERSE, LOG_LOG, LOG_RATIO, MODEL_USAGE, OK,
                       POINT_REFUSED, POLYNOMIAL, REFINE, ROOT_POLYNOMIAL, ZERO_UNCERTAINTY,
                       CallChecks, call_recorded)

DUAL_REFUSED = ("This method does not support optimizing the 'Dual' mathematical model.  "
                "Please invoke 'optimizeDualModel' instead. ")
ZERO_POINTS = "Invalid argument.  There are zero points to fit."
FEWER_POINTS = "Invalid argument.  There are fewer points than coefficients for this model."
POINTS_REMOVED = FEWER_POINTS[:-1] + " because invalid points have been removed."
NO_ORDER = "Invalid argument.  There is no way to determine optimal order for this model"
NO_TRANSFORMATION = "Invalid argument.  There is no linear transformation defined for this model."
X_REFUSED = ("Encountered an x-point less than equal to zero.  This mathematical model cannot be "
             "evaluated at that point.  Potential divide by zero.")
Y_REFUSED = ("Encountered an y-point that is less than equal to zero.  This mathematical model "
             "cannot be evaluated at that point.")
UNC_REFUSED = ("Encountered an unc-point that is less than equal to zero.  This mathematical model "
               "cannot be evaluated at that point.")
NO_AVERAGE = "There are too few points, 0 == ndata, to compute average error."
NO_FREEDOM = ("There are too few points or too many mathematical exceptions to compute reduced "
              "chi-square, mfreedom <= ndata.")

LINE = [(1.0, 1.0, 1.0), (2.0, 3.0, 1.0), (3.0, 5.0, 1.0)]
POWER_LAW = [(x, 2.0 * x ** 1.5, 0.1) for x in (2.0, 3.0, 4.0, 5.0, 6.0, 7.0)]
# Two points with x <= 0, which LogLog cannot take, among three it can.
TWO_BAD_X = [(0.0, 2.0, 0.1), (-0.0, 3.0, 0.1), (2.0, 2.0, 0.1), (3.0, 3.0, 0.1), (4.0, 5.0, 0.1)]

# optimizeModel arguments, status, message (None: nothing is written).
MODEL_REFUSALS = [
    ((LINE, POLYNOMIAL, 2), INVALID_ARGUMENT, MODEL_USAGE),
    ((LINE, POLYNOMIAL, 2, 0, 0), INVALID_ARGUMENT, MODEL_USAGE),
    ((LINE, 6.0, 2, 0), INVALID_ARGUMENT, MODEL_USAGE),
    ((LINE, POLYNOMIAL, 2 ** 31, 0), INVALID_ARGUMENT, MODEL_USAGE),
    ((LINE, POLYNOMIAL, 2, -2 ** 31 - 1), INVALID_ARGUMENT, MODEL_USAGE),
    (([(1.0, 2.0)], POLYNOMIAL, 2, 0), INVALID_ARGUMENT, POINT_REFUSED),
    ((LINE + [(1.0, 2.0, 3.0, 4.0)], POLYNOMIAL, 2, 0), INVALID_ARGUMENT, POINT_REFUSED),
    ((["abc"], POLYNOMIAL, 2, 0), INVALID_ARGUMENT, POINT_REFUSED),
    (([5.0], POLYNOMIAL, 2, 0), INVALID_ARGUMENT, POINT_REFUSED),
    (([], DUAL, 0, 0), INVALID_ARGUMENT, DUAL_REFUSED),
    ((LINE, DUAL, 2, 0), INVALID_ARGUMENT, DUAL_REFUSED),
    (([], LOG_LOG, 0, 0), INVALID_ARGUMENT, ZERO_POINTS),
    ((tuple(LINE), POLYNOMIAL, 2, 0), INVALID_ARGUMENT, ZERO_POINTS),
    ((LINE, POLYNOMIAL, 3, 0), INVALID_ARGUMENT, FEWER_POINTS),
    ((LINE, 9, 0, 0), INVALID_ARGUMENT, NO_ORDER),
    ((LINE, 9, 2, 0), INVALID_ARGUMENT, NO_TRANSFORMATION),
    (([(2.0, 2.0, 0.1), (-1.0, 2.0, 0.1), (3.0, 3.0, 0.1)], LOG_LOG, 2, 0), INVALID_ARGUMENT, X_REFUSED),
    (([(1.0, 2.0, 0.1), (2.0, 0.0, 0.1), (3.0, 3.0, 0.1)], HALF_POWER, 2, 0), INVALID_ARGUMENT, Y_REFUSED),
    (([(1.0, 1.0, 0.0), (2.0, 3.0, 1.0), (3.0, 5.0, 1.0)], POLYNOMIAL, 2, 0), INVALID_ARGUMENT, UNC_REFUSED),
    ((TWO_BAD_X, LOG_LOG, 3, DROP_INVALID), INVALID_ARGUMENT, POINTS_REMOVED),
    # The LogLog model functions refuse x <= 1: the linear fit's own status,
    # which arrives without a message.
    (([(0.5, 1.0, 0.1), (0.7, 2.0, 0.1), (0.9, 3.0, 0.1)], LOG_LOG, 2, 0), INVALID_ARGUMENT, None),
    # All x equal: the normal matrix [[3, 3], [3, 3]] meets a zero pivot.
    (([(1.0, 1.0, 1.0), (1.0, 3.0, 1.0), (1.0, 5.0, 1.0)], POLYNOMIAL, 2, 0), ILL_CONDITIONED, None),
    # The fit of y = 0 succeeds; no point has a nonzero y to average.
    (([(1.0, 0.0, 1.0), (2.0, 0.0, 1.0), (3.0, 0.0, 1.0)], POLYNOMIAL, 2, 0), INVALID_ARGUMENT, NO_AVERAGE),
    # y^2 = (0, 0, 9) at x = 0, 1, 2 is fitted by -1.5 + 4.5x, negative at x = 0,
    # where the square root is refused: 2 counted points for 2 coefficients.
    (([(0.0, 0.0, 1.0), (1.0, 0.0, 1.0), (2.0, 3.0, 1.0)], ROOT_POLYNOMIAL, 2, 0), INVALID_ARGUMENT, NO_FREEDOM),
]

DUAL_REFUSALS = [
    ((POWER_LAW, 4.5, 2, 2), INVALID_ARGUMENT, DUAL_USAGE),
    ((POWER_LAW, "4.5", 2, 2, 0), INVALID_ARGUMENT, DUAL_USAGE),
    ((POWER_LAW, 4.5, 2, 2 ** 31, 0), INVALID_ARGUMENT, DUAL_USAGE),
    ((POWER_LAW + [(1.0, 2.0)], 4.5, 2, 2, 0), INVALID_ARGUMENT, POINT_REFUSED),
    ((POWER_LAW, 10.0, 2, 2, 0), INVALID_ARGUMENT, ZERO_POINTS),
    ((POWER_LAW, 2.5, 2, 2, 0), INVALID_ARGUMENT, FEWER_POINTS),
]


def single(value):
    """value as single precision holds it."""
    return struct.unpack("f", struct.pack("f", value))[0]


def payload_of(function, *args):
    (status, payload), written = call_recorded(function, *args)
    assert (status, written) == (OK, []), (status, written)
    return payload


def fit_of(*args):
    return payload_of(tallowfit.optimizeModel, *args)


def xs_of(fit):
    return [deviation[0] for deviation in fit[4]]


class Refusals(CallChecks, unittest.TestCase):
    def test_each_refusal_has_its_status_and_exact_message(self):
        for function, table in ((tallowfit.optimizeModel, MODEL_REFUSALS),
                                (tallowfit.optimizeDualModel, DUAL_REFUSALS)):
            for args, status, message in table:
                self.assertCall(function, args, (status, None), message)


class WorkedFits(unittest.TestCase):
    def assertAllClose(self, actual, expected, delta):
        self.assertEqual(len(actual), len(expected))
        for a, e in zip(actual, expected):
            self.assertAlmostEqual(a, e, delta=delta)

    def test_straight_line_through_three_points(self):
        fit = fit_of(LINE, POLYNOMIAL, 2, 0)
        self.assertAllClose(fit[0], [-1.0, 2.0], 1e-12)
        self.assertAllClose(fit[1][0] + fit[1][1], [14.0 / 6.0, -1.0, -1.0, 0.5], 1e-12)
        self.assertAllClose(fit[2:4], [0.0, 0.0], 1e-12)
        self.assertEqual([deviation[:3] for deviation in fit[4]], LINE)
        self.assertAllClose([deviation[3] for deviation in fit[4]], [1.0] * 3, 1e-12)

    def test_refining_a_polynomial_changes_nothing(self):
        points = LINE + [(4.0, 6.5, 0.5)]
        self.assertEqual(fit_of(points, POLYNOMIAL, 2, REFINE), fit_of(points, POLYNOMIAL, 2, 0))

    def test_exact_fit_needs_its_flag(self):
        # By hand: normal matrix [[2, 1], [1, 1]] and right-hand side (4, 3);
        # Gauss-Jordan gives the inverse [[1, -1], [-1, 2]] and y = 1 + 2x with
        # no rounding, so every residual, the chi-square and the average error
        # are 0 and each deviation is sqrt(0 + 1).
        points = [(0.0, 1.0, 1.0), (1.0, 3.0, 1.0)]
        self.assertEqual(fit_of(points, POLYNOMIAL, 2, EXACT_FIT),
                         [[1.0, 2.0], [[1.0, -1.0], [-1.0, 2.0]], 0.0, 0.0,
                          [(0.0, 1.0, 1.0, 1.0), (1.0, 3.0, 1.0, 1.0)]])
        result, written = call_recorded(tallowfit.optimizeModel, points, POLYNOMIAL, 2, 0)
        self.assertEqual((result, written), ((INVALID_ARGUMENT, None), [FEWER_POINTS]))

    def test_dropped_points_leave_an_exact_fit(self):
        fit = fit_of(TWO_BAD_X, LOG_LOG, 3, DROP_INVALID | EXACT_FIT)
        self.assertEqual(len(fit[0]), 3)
        self.assertEqual(xs_of(fit), [2.0, 3.0, 4.0])

    def test_log_inverse_recovers_its_curve(self):
        points = [(x, 10.0 ** (2.0 + 3.0 / x), 0.01 * 10.0 ** (2.0 + 3.0 / x)) for x in range(1, 7)]
        fit = fit_of(points, LOG_INVERSE, 3, 0)
        self.assertAllClose(fit[0], [0.0, 2.0, 3.0], 1e-6)
        self.assertLess(fit[2], 1e-6)

    def test_log_ratio_holds_its_reference_x(self):
        points = [(x, 3.0 * (2.5 / x) ** 2, 0.03 * (2.5 / x) ** 2) for x in (1.0, 2.0, 3.0, 4.0)]
        fit = fit_of(points, LOG_RATIO, 3, 0)
        self.assertEqual(fit[0][0], 2.5)
        self.assertAllClose(fit[0][1:], [math.log(3.0), 2.0], 1e-6)
        self.assertEqual([fit[1][0], [row[0] for row in fit[1]]], [[0.0] * 3, [0.0] * 3])

    def test_points_arrive_in_single_precision(self):
        points = [(0.1, 0.2, 0.01), (0.3, 0.5, 0.01), (0.7, 16777217, 0.01)]
        fit = fit_of(points, POLYNOMIAL, 2, 0)
        self.assertEqual(fit[4][0][:3], (0.10000000149011612, 0.20000000298023224, 0.009999999776482582))
        self.assertEqual([deviation[:3] for deviation in fit[4]],
                         [tuple(single(value) for value in point) for point in points])
        self.assertEqual(fit[4][2][1], 16777216.0)

    def test_reduced_chi_square_scales_the_covariance_of_points_without_uncertainty(self):
        # Uncertainties of 0 and of 1 weigh alike and count alike in the
        # chi-square, so these fits share their covariance and chi-square.
        def points(*uncertainties):
            return [(x, y, u) for (x, y), u in zip([(1.0, 1.0), (2.0, 3.0), (3.0, 4.0), (4.0, 4.0)], uncertainties)]
        reference = fit_of(points(1.0, 1.0, 1.0, 1.0), POLYNOMIAL, 2, 0)
        scaled = fit_of(points(0.0, 0.0, 0.0, 0.0), POLYNOMIAL, 2, ZERO_UNCERTAINTY)
        self.assertNotEqual(reference[2], 0.0)
        self.assertEqual(scaled[2], reference[2])
        self.assertEqual(scaled[1], [[reference[2] * value for value in row] for row in reference[1]])
        for uncertainties in [(0.0, 0.0, 0.0, 1.0), (1.0, 1.0, 1.0, 1.0)]:
            fit = fit_of(points(*uncertainties), POLYNOMIAL, 2, ZERO_UNCERTAINTY)
            self.assertEqual(fit[1], reference[1], uncertainties)
        # The flag also leaves the uncertainty out of each deviation.
        self.assertEqual([d[3] for d in scaled[4]], [abs(d[1] - (scaled[0][0] + scaled[0][1] * d[0]))
                                                    for d in scaled[4]])


class DualFits(unittest.TestCase):
    def test_each_range_is_the_log_log_fit_of_its_own_points(self):
        # Threshold, x of the lower range, x of the upper range.
        for threshold, lower, upper in [(4.5, [2, 3, 4], [5, 6, 7]),
                                        (4.0, [2, 3, 4], [4, 5, 6, 7]),
                                        (4.0000001, [2, 3, 4], [4, 5, 6, 7]),  # 4.0 in single precision
                                        (1.5, [], [2, 3, 4, 5, 6, 7])]:
            fits = payload_of(tallowfit.optimizeDualModel, POWER_LAW, threshold, 2, 2, 0)
            expected = [fit_of([p for p in POWER_LAW if p[0] in xs], LOG_LOG, 2, 0)
                        for xs in (lower, upper) if xs]
            self.assertEqual(fits, expected, threshold)
            self.assertEqual([xs_of(fit) for fit in fits], [xs for xs in (lower, upper) if xs])

    def test_orders_and_flags_reach_both_ranges(self):
        fits = payload_of(tallowfit.optimizeDualModel, POWER_LAW, 4.5, 3, 2, EXACT_FIT)
        self.assertEqual([len(fit[0]) for fit in fits], [3, 2])


if __name__ == "__main__":
    unittest.main()
