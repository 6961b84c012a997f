"""What the golden record cannot show: messages on whatever sys.stdout is, no exception left
behind, positional arguments only, items that fight back, one export; the type stub and the
reference page agree with the module they describe."""
import ast
import doctest
import gc
import io
import os
import subprocess
import sys
import unittest

import tallowfit
from hostile_items import ListChanger, WrongFloat, clear, grow
from recording import (COEFFICIENT_REFUSED, FAILED_CALL, INVALID_ARGUMENT, MISSING, OK, OUT_OF_MEMORY,
                       POINT_REFUSED, POLYNOMIAL, ROOTS_USAGE, STATUSES, RaisingWrite, Recorder, WithoutWrite,
                       call_recorded, pending_error, replaced_stdout)

ROOT = os.path.join(os.path.dirname(os.path.abspath(__file__)), os.pardir, os.pardir)
REFERENCE = os.path.join(ROOT, "docs", "reference.md")


KEPT = []


def replace_first_point(target):
    """A new point in the place of the first; a new 3-tuple takes the freed one's place first."""
    target[0] = (9.0, 9.0, 9.0)
    KEPT.append((object(), None, target))


def fighting(make, rest, point=False):
    """A list whose first item (or first point's x) is make(the list itself)."""
    items = []
    items[:] = [(make(items), 1.0, 1.0) if point else make(items)] + list(rest)
    return items


class Frame(unittest.TestCase):
    def assertCall(self, function, args, result, written):
        self.assertEqual(call_recorded(function, *args), (result, written), args)
        self.assertIsNone(pending_error(), args)

    def test_streams_that_fail_leave_the_call_quiet(self):
        for stream in (None, MISSING, WithoutWrite(), type("UncallableWrite", (), {"write": None})(), RaisingWrite()):
            with replaced_stdout(stream):
                failed = tallowfit.findRoots([])
                self.assertIsNone(pending_error())
                self.assertEqual(tallowfit.findRoots([1.0, 2.0]), (OK, [-0.5]))
            self.assertEqual(failed, (OUT_OF_MEMORY, None))
        self.assertEqual(stream.attempts, 1)
        first, successor = Recorder(), Recorder()  # the first hands sys.stdout over while it writes
        first.write = lambda text: (setattr(sys, "stdout", successor), first.parts.append(text))
        with replaced_stdout(first):
            results = (tallowfit.findRoots([]), tallowfit.findRoots())
        self.assertEqual(results, ((OUT_OF_MEMORY, None), (INVALID_ARGUMENT, None)))
        self.assertEqual((first.parts, successor.parts), ([FAILED_CALL], [ROOTS_USAGE]))

    def test_items_that_fight_back(self):
        # Emptying the list, raising, answering with text: each read refused.
        for make in (lambda items: ListChanger(items, clear), lambda items: WrongFloat(ValueError),
                     lambda items: WrongFloat("1.5")):
            self.assertCall(tallowfit.findRoots, (fighting(make, [2.0, 1.0]),), (INVALID_ARGUMENT, None), [COEFFICIENT_REFUSED])
            points = fighting(make, [(2.0, 3.0, 1.0), (3.0, 5.0, 1.0)], point=True)
            self.assertCall(tallowfit.optimizeModel, (points, POLYNOMIAL, 2, 0), (INVALID_ARGUMENT, None), [POINT_REFUSED])
        # Only the items there at the start are read: 1 + 2x.
        self.assertCall(tallowfit.findRoots, (fighting(lambda items: ListChanger(items, grow), [2.0]),), (OK, [-0.5]), [])
        # The point being read stays the one read, though the list lets go of it.
        points = fighting(lambda items: ListChanger(items, replace_first_point), [(2.0, 3.0, 1.0), (3.0, 5.0, 1.0)], point=True)
        (status, fit), written = call_recorded(tallowfit.optimizeModel, points, POLYNOMIAL, 2, 0)
        self.assertEqual((status, written, fit[4][0][:3]), (OK, [], (1.0, 1.0, 1.0)))
        # The deviations list, filled out of the collector's sight, is handed over tracked like any list.
        self.assertTrue(gc.is_tracked(fit[4]))

    def test_positional_arguments_only_no_doc_strings_one_export(self):
        for function, keywords in ((tallowfit.findRoots, {"coefficients": [1.0]}),
                                   (tallowfit.optimizeModel, {"points": [], "modelId": 6, "order": 2, "flags": 0})):
            with replaced_stdout(Recorder()) as recorder:
                self.assertRaises(TypeError, function, **keywords)
            self.assertEqual(recorder.parts, [])
        names = sorted(name for name in dir(tallowfit) if not name.startswith("_"))
        self.assertEqual(names, ["findRoots", "optimizeDualModel", "optimizeModel"])
        self.assertEqual([getattr(tallowfit, name).__doc__ for name in names], [None] * 3)
        self.assertIsNone(tallowfit.__doc__)
        modules = ["tallowfit", "_curvefits_engine"] if sys.version_info[0] >= 3 else ["tallowfit"]
        for name in modules:
            try:
                output = subprocess.check_output(["nm", "-D", "--defined-only", __import__(name).__file__])
            except OSError:
                self.skipTest("nm is not installed")
            init = "PyInit_" + name if sys.version_info[0] >= 3 else "init" + name
            self.assertEqual([line.split()[-1] for line in output.decode("ascii").splitlines() if line.strip()], [init])


def read_text(path):
    with io.open(path, encoding="utf-8") as text:
        return text.read()


class Descriptions(unittest.TestCase):
    @unittest.skipIf(sys.version_info < (3, 9), "reading the stub needs ast.unparse and positional-only syntax")
    def test_stub_declares_the_module_functions_positional_and_required(self):
        tree = ast.parse(read_text(os.path.join(ROOT, "tallowfit.pyi")))
        functions = dict((node.name, node) for node in tree.body if isinstance(node, ast.FunctionDef))
        self.assertEqual(set(functions), set(name for name in dir(tallowfit) if not name.startswith("_")))
        for status in STATUSES:
            self.assertIn(" %d " % status, ast.get_docstring(tree))
        for name, node in functions.items():
            a = node.args
            self.assertTrue(a.posonlyargs and ast.get_docstring(node), name)
            self.assertEqual((a.args, a.kwonlyargs, a.vararg, a.defaults), ([], [], None, []), name)
            # The stub's arity is accepted, one more argument is refused.
            arguments = [{"int": 0, "float": 0.0}.get(ast.unparse(p.annotation), []) for p in a.posonlyargs]
            self.assertNotIn("argument list", "".join(call_recorded(getattr(tallowfit, name), *arguments)[1]))
            self.assertEqual(call_recorded(getattr(tallowfit, name), *(arguments + [0]))[0], (INVALID_ARGUMENT, None))

    def test_reference_page_lists_every_status_and_its_examples_hold(self):
        text = read_text(REFERENCE)
        for status in STATUSES:
            self.assertIn("| %d | 0x%08X |" % (status, status & 0xFFFFFFFF), text)
        failed, attempted = doctest.testfile(REFERENCE, module_relative=False, encoding="utf-8", verbose=False)
        self.assertTrue(attempted > 0 and failed == 0)


if __name__ == "__main__":
    unittest.main()
