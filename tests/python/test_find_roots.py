"""findRoots: roots as floats and complex numbers, statuses and messages."""
import unittest

import tallowfit
from recording import (COEFFICIENT_REFUSED, FAILED_CALL, INVALID_ARGUMENT, NO_CONVERGENCE, OK,
                       OUT_OF_MEMORY, ROOTS_USAGE, CallChecks, call_recorded)

NAN = float("nan")


# Coefficients (constant term first) and the roots in the root finder's order.
# The cubics' values are what the balanced companion-matrix QR iteration gives
# with every operation rounded by itself, worked out apart from this code; the
# short ones follow by hand from its closed-form step for the last two rows
# (e.g. 2 - 3x + x^2: p = 1.5, q = 0.25, z = 2, roots 0 + 2 and 0 - (-2)/2).
EXACT_ROOTS = [
    ([5.0], []),
    ([1.0, 2.0], [-0.5]),
    ([2.0, -3.0, 1.0], [2.0, 1.0]),
    ([2, -3, 1], [2.0, 1.0]),
    ([-1.0, 0.0, 1.0], [-1.0, 1.0]),
    ([1.0, 0.0, 1.0], [complex(0.0, -1.0), complex(0.0, 1.0)]),
    ([0.0, 0.0, 1.0], [0.0, 0.0]),
    ([-6.0, 11.0, -6.0, 1.0], [2.9999999999999982, 2.000000000000004, 0.9999999999999977]),
    ([1.0, 3.0, 3.0, 1.0], [-1.0000101664358043,
                            complex(-0.9999949167820992, -8.804309849268246e-06),
                            complex(-0.9999949167820992, 8.804309849268246e-06)]),
    # 0.1 + x: a single-precision 0.1 would give -0.10000000149011612.
    ([0.1, 1.0], [-0.1]),
    # 1 + x + NaN: the last two rows give p = -0.5 and q = NaN, which is not
    # >= 0, so the pair is stored as complex with real part x + p.
    ([NAN, 1.0, 1.0], [complex(-0.5, NAN), complex(-0.5, NAN)]),
    ([1.0, NAN], [NAN]),  # a NaN real root stays a float
]

# Arguments, status, message: every refusal with its exact text, no line end.
REFUSALS = [
    (([],), OUT_OF_MEMORY, FAILED_CALL),
    (((2.0, -3.0, 1.0),), OUT_OF_MEMORY, FAILED_CALL),  # not a list: no coefficients
    ((None,), OUT_OF_MEMORY, FAILED_CALL),
    (([0.0],), INVALID_ARGUMENT, FAILED_CALL),
    (([1.0, 0.0],), INVALID_ARGUMENT, FAILED_CALL),
    (([1.0, -0.0],), INVALID_ARGUMENT, FAILED_CALL),
    (([1.0] * 26,), INVALID_ARGUMENT, FAILED_CALL),
    # A NaN below the leading coefficient fills the whole companion matrix with
    # NaN in the first QR step; no negligibility test holds for a NaN, so no
    # root ever deflates.
    (([NAN, 1.0, 1.0, 1.0],), NO_CONVERGENCE, FAILED_CALL),
    (([1.0, "1"],), INVALID_ARGUMENT, COEFFICIENT_REFUSED),
    (([1.0, None, 1.0],), INVALID_ARGUMENT, COEFFICIENT_REFUSED),
    (([1.0, [2.0]],), INVALID_ARGUMENT, COEFFICIENT_REFUSED),
    ((), INVALID_ARGUMENT, ROOTS_USAGE),
    (([1.0], [2.0]), INVALID_ARGUMENT, ROOTS_USAGE),
]


def typed(roots):
    """Type and shortest exact text of each root: tells -0.0 from 0.0, and NaN
    equals NaN."""
    return [(type(root), repr(root)) for root in roots]


class ExactRoots(unittest.TestCase):
    def test_roots_are_bit_for_bit_in_the_finders_order(self):
        # Zero parts come out positive: 0.0, never -0.0.
        for coefficients, roots in EXACT_ROOTS:
            result, written = call_recorded(tallowfit.findRoots, coefficients)
            self.assertEqual(result[0], OK, coefficients)
            self.assertEqual(typed(result[1]), typed(roots), coefficients)
            self.assertEqual(written, [], coefficients)

    def test_twenty_five_coefficients_are_accepted(self):
        # x^24 - 1: the 24 roots of unity.
        (status, roots), _ = call_recorded(tallowfit.findRoots, [-1.0] + [0.0] * 23 + [1.0])
        self.assertEqual(status, OK)
        self.assertEqual(len(roots), 24)
        for root in roots:
            self.assertAlmostEqual(abs(root), 1.0, places=12)


class Refusals(CallChecks, unittest.TestCase):
    def test_each_refusal_has_its_status_and_exact_message(self):
        for args, status, message in REFUSALS:
            self.assertCall(tallowfit.findRoots, args, (status, None), message)


if __name__ == "__main__":
    unittest.main()
