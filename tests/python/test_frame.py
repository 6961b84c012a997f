"""The frame of every entry: messages on whatever sys.stdout is, no exception
ever left behind, positional arguments only, list items that fight back, and
the init function as the only export."""
import subprocess
import sys
import unittest

import tallowfit
from hostile_items import ListChanger, RaisingFloat, WrongFloat, clear, grow
from recording import (COEFFICIENT_REFUSED, FAILED_CALL, INVALID_ARGUMENT, MISSING, OK, OUT_OF_MEMORY,
                       POINT_REFUSED, POLYNOMIAL, ROOTS_USAGE, CallChecks, RaisingWrite, Recorder,
                       ReplacedStdout, WithoutWrite, call_recorded, pending_error)



class UncallableWrite(object):
    write = None


class HandsOver(object):
    """Rebinds sys.stdout to its successor while it writes, dropping the last
    reference to itself that anything but the write in progress holds."""

    def __init__(self, parts, successor):
        self.parts = parts
        self.successor = successor

    def write(self, text):
        sys.stdout = self.successor
        self.parts.append(text)


class StreamsThatFail(unittest.TestCase):
    def check_quiet_failure(self, stream):
        with ReplacedStdout(stream):
            result = tallowfit.findRoots([])
            self.assertIsNone(pending_error())
            self.assertEqual(tallowfit.findRoots([1.0, 2.0]), (OK, [-0.5]))
        self.assertEqual(result, (OUT_OF_MEMORY, None))

    def test_none_missing_or_unwritable_stdout(self):
        for stream in (None, MISSING, WithoutWrite(), UncallableWrite()):
            self.check_quiet_failure(stream)

    def test_write_that_raises(self):
        stream = RaisingWrite()
        self.check_quiet_failure(stream)
        self.assertEqual(stream.attempts, 1)

    def test_write_that_replaces_stdout(self):
        parts = []
        successor = Recorder()
        with ReplacedStdout(HandsOver(parts, successor)):
            first = tallowfit.findRoots([])
            second = tallowfit.findRoots()
        self.assertEqual((first, second), ((OUT_OF_MEMORY, None), (INVALID_ARGUMENT, None)))
        self.assertEqual((parts, successor.parts), ([FAILED_CALL], [ROOTS_USAGE]))


class Messages(unittest.TestCase):
    def test_keyword_arguments_are_refused_by_the_interpreter(self):
        calls = [
            (tallowfit.findRoots, {"coefficients": [1.0, 2.0]}),
            (tallowfit.optimizeModel, {"points": [], "modelId": 6, "order": 2, "flags": 0}),
            (tallowfit.optimizeDualModel, {"points": [], "threshold": 1.0, "lowerOrder": 0,
                                           "upperOrder": 0, "flags": 0}),
        ]
        for function, keywords in calls:
            with ReplacedStdout(Recorder()) as recorder:
                self.assertRaises(TypeError, function, **keywords)
            self.assertEqual(recorder.parts, [])

    def test_module_has_three_functions_without_doc_strings(self):
        names = sorted(name for name in dir(tallowfit) if not name.startswith("_"))
        self.assertEqual(names, ["findRoots", "optimizeDualModel", "optimizeModel"])
        self.assertEqual([getattr(tallowfit, name).__doc__ for name in names], [None] * 3)
        self.assertIsNone(tallowfit.__doc__)


class ReplacesFirstItem(object):
    """A number that, read, puts a new point in the place of the first."""

    def __init__(self, target):
        self.target = target

    def __float__(self):
        self.target[0] = (9.0, 9.0, 9.0)
        # A new 3-tuple takes the place of a freed one first.
        self.reuse = (object(), None, self)
        return 1.0


# Coefficients and point values that are refused while they are read: one
# that empties its list, one whose conversion raises, one whose conversion
# answers with text.
REFUSED_ITEMS = [lambda items: ListChanger(items, clear, 1.0), lambda items: RaisingFloat(ValueError),
                 lambda items: WrongFloat("1.5")]


def fight(make, *rest):
    """A list whose first item is make(the list itself)."""
    items = []
    items[:] = [make(items)] + list(rest)
    return items


def fight_in_point(make, *rest):
    points = []
    points[:] = [(make(points), 1.0, 1.0)] + list(rest)
    return points


class ItemsThatFightBack(CallChecks, unittest.TestCase):
    def test_coefficients_and_points(self):
        refused = (INVALID_ARGUMENT, None)
        for make in REFUSED_ITEMS:
            self.assertCall(tallowfit.findRoots, (fight(make, 2.0, 1.0),), refused,
                            COEFFICIENT_REFUSED)
            points = fight_in_point(make, (2.0, 3.0, 1.0), (3.0, 5.0, 1.0))
            self.assertCall(tallowfit.optimizeModel, (points, POLYNOMIAL, 2, 0), refused,
                            POINT_REFUSED)
        # Only the items there at the start are read: 1 + 2x.
        self.assertCall(tallowfit.findRoots, (fight(lambda items: ListChanger(items, grow, 1.0), 2.0),), (OK, [-0.5]), None)

    def test_point_replaced_while_it_is_read(self):
        # The point being read stays the one read, though the list lets go of it.
        points = fight_in_point(ReplacesFirstItem, (2.0, 3.0, 1.0), (3.0, 5.0, 1.0))
        (status, fit), written = call_recorded(tallowfit.optimizeModel, points, POLYNOMIAL, 2, 0)
        self.assertEqual((status, written), (OK, []))
        self.assertEqual(fit[4][0][:3], (1.0, 1.0, 1.0))


class Exports(unittest.TestCase):
    def test_the_init_function_is_the_only_export(self):
        modules = [(tallowfit, "PyInit_tallowfit" if sys.version_info[0] >= 3 else "inittallowfit")]
        if sys.version_info[0] >= 3:
            import _curvefits_engine
            modules.append((_curvefits_engine, "PyInit__curvefits_engine"))
        for module, expected in modules:
            try:
                output = subprocess.check_output(["nm", "-D", "--defined-only", module.__file__])
            except OSError:
                self.skipTest("nm is not installed")
            names = [line.split()[-1] for line in output.decode("ascii").splitlines() if line.strip()]
            self.assertEqual(names, [expected])

if __name__ == "__main__":
    unittest.main()
