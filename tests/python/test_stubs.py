"""The type stub and the reference page agree with the module they describe."""
from __future__ import print_function

import ast
import doctest
import io
import os
import sys
import unittest

import tallowfit
from recording import INVALID_ARGUMENT, call_recorded

ROOT = os.path.normpath(os.path.join(os.path.dirname(os.path.abspath(__file__)), os.pardir, os.pardir))
STUB = os.path.join(ROOT, "tallowfit.pyi")
REFERENCE = os.path.join(ROOT, "docs", "reference.md")

# Every status a call can return, as the Python int it arrives as.
STATUS_INTS = (0, -320234115, -320234190, -320233619, -2147024882, -337079102, -530509786)

# A value of each annotated type, to call a function with the arity the stub gives it.
PLACEHOLDERS = {"int": 0, "float": 0.0}


def read_text(path):
    with io.open(path, encoding="utf-8") as handle:
        return handle.read()


@unittest.skipIf(sys.version_info < (3, 9), "reading the stub needs ast.unparse and positional-only syntax")
class StubMatchesModule(unittest.TestCase):
    def setUp(self):
        self.tree = ast.parse(read_text(STUB))
        self.functions = dict((node.name, node) for node in self.tree.body if isinstance(node, ast.FunctionDef))

    def test_declares_exactly_the_module_functions(self):
        exported = set(name for name in dir(tallowfit) if not name.startswith("_"))
        self.assertEqual(set(self.functions), exported)

    def test_every_parameter_is_positional_only_and_required(self):
        for name, node in self.functions.items():
            with self.subTest(function=name):
                self.assertTrue(node.args.posonlyargs)
                self.assertEqual(node.args.args, [])
                self.assertEqual(node.args.kwonlyargs, [])
                self.assertIsNone(node.args.vararg)
                self.assertEqual(node.args.defaults, [])

    def test_module_accepts_exactly_the_stub_arity(self):
        for name, node in self.functions.items():
            arguments = [PLACEHOLDERS.get(ast.unparse(a.annotation), []) for a in node.args.posonlyargs]
            function = getattr(tallowfit, name)
            with self.subTest(function=name):
                _, written = call_recorded(function, *arguments)
                self.assertNotIn("argument list should be", "".join(written))
                result, written = call_recorded(function, *(arguments + [0]))
                self.assertEqual(result, (INVALID_ARGUMENT, None))
                self.assertIn("argument list should be", "".join(written))

    def test_docstrings_name_every_status(self):
        docstring = ast.get_docstring(self.tree)
        for status in STATUS_INTS:
            self.assertIn(" %d " % status, docstring)
        for name, node in self.functions.items():
            self.assertTrue(ast.get_docstring(node), name)


class ReferencePage(unittest.TestCase):
    def test_status_table_lists_every_status(self):
        text = read_text(REFERENCE)
        for status in STATUS_INTS:
            self.assertIn("| %d | 0x%08X |" % (status, status & 0xFFFFFFFF), text)

    def test_examples_give_what_the_page_shows(self):
        failed, attempted = doctest.testfile(REFERENCE, module_relative=False, encoding="utf-8", verbose=False)
        self.assertGreater(attempted, 0)
        self.assertEqual(failed, 0)


if __name__ == "__main__":
    unittest.main()
