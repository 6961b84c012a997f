"""The type stub and the reference page agree with the module they describe."""
import ast
import doctest
import io
import os
import sys
import unittest

import tallowfit
from recording import INVALID_ARGUMENT, STATUSES, call_recorded

ROOT = os.path.join(os.path.dirname(os.path.abspath(__file__)), os.pardir, os.pardir)
REFERENCE = os.path.join(ROOT, "docs", "reference.md")


def read_text(path):
    return io.open(path, encoding="utf-8").read()


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
