"""The frame of every entry, which the golden record's replay cannot show:
messages on whatever sys.stdout is, no exception ever left behind, positional
arguments only, list items that fight back, the init function as the only
export. The golden record carries every status, message and result."""
import subprocess
import sys
import unittest

import tallowfit
from hostile_items import ListChanger, RaisingFloat, WrongFloat, clear, grow
from recording import (COEFFICIENT_REFUSED, FAILED_CALL, INVALID_ARGUMENT, MISSING, OK, OUT_OF_MEMORY,
                       POINT_REFUSED, POLYNOMIAL, ROOTS_USAGE, RaisingWrite, Recorder, ReplacedStdout,
                       WithoutWrite, call_recorded, pending_error)


class UncallableWrite(object):
    write = None


class HandsOver(Recorder):
    """Rebinds sys.stdout to its successor while it writes, dropping the last
    reference to itself that anything but the write in progress holds."""

    def __init__(self, successor):
        Recorder.__init__(self)
        self.successor = successor

    def write(self, text):
        sys.stdout = self.successor
        Recorder.write(self, text)


class ReplacesFirstItem(object):
    """A number that, read, puts a new point in the place of the first; a new
    3-tuple takes the place of a freed one first."""

    def __init__(self, target):
        self.target = target

    def __float__(self):
        self.target[0] = (9.0, 9.0, 9.0)
        self.reuse = (object(), None, self)
        return 1.0


def fighting(make, rest, point=False):
    """A list whose first item (or first point's x) is make(the list itself)."""
    items = []
    first = make(items)
    items[:] = [(first, 1.0, 1.0) if point else first] + list(rest)
    return items


class Frame(unittest.TestCase):
    def assertCall(self, function, args, result, written):
        self.assertEqual(call_recorded(function, *args), (result, written), args)
        self.assertIsNone(pending_error(), args)

    def test_streams_that_fail_leave_the_call_quiet(self):
        for stream in (None, MISSING, WithoutWrite(), UncallableWrite(), RaisingWrite()):
            with ReplacedStdout(stream):
                failed = tallowfit.findRoots([])
                self.assertIsNone(pending_error())
                self.assertEqual(tallowfit.findRoots([1.0, 2.0]), (OK, [-0.5]))
            self.assertEqual(failed, (OUT_OF_MEMORY, None))
        self.assertEqual(stream.attempts, 1)
        successor = Recorder()
        with ReplacedStdout(HandsOver(successor)) as first:
            results = (tallowfit.findRoots([]), tallowfit.findRoots())
        self.assertEqual(results, ((OUT_OF_MEMORY, None), (INVALID_ARGUMENT, None)))
        self.assertEqual((first.parts, successor.parts), ([FAILED_CALL], [ROOTS_USAGE]))

    def test_items_that_fight_back(self):
        # Emptying the list, raising, answering with text: each read refused.
        for make in (lambda items: ListChanger(items, clear), lambda items: RaisingFloat(ValueError),
                     lambda items: WrongFloat("1.5")):
            self.assertCall(tallowfit.findRoots, (fighting(make, [2.0, 1.0]),), (INVALID_ARGUMENT, None),
                            [COEFFICIENT_REFUSED])
            points = fighting(make, [(2.0, 3.0, 1.0), (3.0, 5.0, 1.0)], point=True)
            self.assertCall(tallowfit.optimizeModel, (points, POLYNOMIAL, 2, 0), (INVALID_ARGUMENT, None),
                            [POINT_REFUSED])
        # Only the items there at the start are read: 1 + 2x.
        self.assertCall(tallowfit.findRoots, (fighting(lambda items: ListChanger(items, grow), [2.0]),),
                        (OK, [-0.5]), [])
        # The point being read stays the one read, though the list lets go of it.
        points = fighting(ReplacesFirstItem, [(2.0, 3.0, 1.0), (3.0, 5.0, 1.0)], point=True)
        (status, fit), written = call_recorded(tallowfit.optimizeModel, points, POLYNOMIAL, 2, 0)
        self.assertEqual((status, written, fit[4][0][:3]), (OK, [], (1.0, 1.0, 1.0)))

    def test_positional_arguments_only_no_doc_strings_one_export(self):
        for function, keywords in ((tallowfit.findRoots, {"coefficients": [1.0]}),
                                   (tallowfit.optimizeModel, {"points": [], "modelId": 6, "order": 2, "flags": 0})):
            with ReplacedStdout(Recorder()) as recorder:
                self.assertRaises(TypeError, function, **keywords)
            self.assertEqual(recorder.parts, [])
        names = sorted(name for name in dir(tallowfit) if not name.startswith("_"))
        self.assertEqual(names, ["findRoots", "optimizeDualModel", "optimizeModel"])
        self.assertEqual([getattr(tallowfit, name).__doc__ for name in names], [None] * 3)
        self.assertIsNone(tallowfit.__doc__)
        modules = [(tallowfit, "PyInit_tallowfit" if sys.version_info[0] >= 3 else "inittallowfit")]
        if sys.version_info[0] >= 3:
            import _curvefits_engine
            modules.append((_curvefits_engine, "PyInit__curvefits_engine"))
        for module, expected in modules:
            try:
                output = subprocess.check_output(["nm", "-D", "--defined-only", module.__file__])
            except OSError:
                self.skipTest("nm is not installed")
            exported = [line.split()[-1] for line in output.decode("ascii").splitlines() if line.strip()]
            self.assertEqual(exported, [expected])


if __name__ == "__main__":
    unittest.main()
