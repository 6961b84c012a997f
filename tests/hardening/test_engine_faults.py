"""The array engine's faults: a storage failure gives the classic entry's status and text, an object
creation's MemoryError or the out-of-memory status; nothing outstanding, no error pending, the arrays'
reference counts unchanged."""
import array
import itertools
import sys
import unittest

from recording import BAD_ALLOCATION, OUT_OF_MEMORY, SYSTEM_OUT_OF_MEMORY, pending_error
from test_faults import REFUSED, SUCCEEDING, run

try:
    import _curvefits_engine as engine
except ImportError:  # Python 2.7: the engine is built for Python 3 only
    engine = None


def engine_calls():
    """(name, args, engine function, its arguments) of each hardening call that arrays can carry."""
    for name, args in SUCCEEDING + REFUSED:
        if name == "findRoots" and len(args) == 1 and all(type(v) is float for v in args[0]):
            yield name, args, engine.find_roots, (array.array("d", args[0]),)
        elif name != "findRoots" and len(args) == (4 if name == "optimizeModel" else 5) and \
                all(len(p) == 3 for p in args[0]) and type(args[1]) is not str:
            xyu = tuple(array.array("d", [p[i] for p in args[0]]) for i in range(3))
            yield name, args, (engine.fit if name == "optimizeModel" else engine.fit_dual), xyu + args[1:] + (False,)


@unittest.skipUnless(engine is not None and hasattr(engine, "_setFault"), "needs the engine's fault-injection build")
class EngineFaults(unittest.TestCase):
    def faulted(self, function, args, kind, k):
        """(result, MemoryError as its class; events of kind made; where) with the k-th event of kind failing."""
        outstanding = engine._storageOutstanding()
        arrays = [a for a in args if isinstance(a, array.array)]
        counts = [sys.getrefcount(a) for a in arrays]
        engine._setFault(kind, k)
        try:
            result = function(*args)
        except MemoryError:
            result = MemoryError
        made = engine._faultCount(kind)
        engine._setFault(kind, 0)
        where = "%s%r %s %d: %r" % (function.__name__, args[3:], kind, k, result)
        self.assertIsNone(pending_error(), where)
        self.assertEqual(engine._storageOutstanding(), outstanding, where)
        self.assertEqual([sys.getrefcount(a) for a in arrays], counts, where)
        return result, made, where

    def test_storage_failures_as_the_classic_entries_report_them(self):
        for name, args, function, arguments in engine_calls():
            for k in range(1, self.faulted(function, arguments, "storage", 0)[1] + 2):
                (status, payload), parts, _ = run(name, args, {"storage": (k,)})
                result, _, where = self.faulted(function, arguments, "storage", k)
                self.assertEqual((result[:2], result[2] is None), ((status, "".join(parts) or None), payload is None),
                                 where)
            growth, _, where = self.faulted(function, arguments, "growth", 1)
            self.assertTrue(not arguments[0] or growth == (SYSTEM_OUT_OF_MEMORY, None, None), where)

    def test_each_object_creation(self):
        for name, args, function, arguments in engine_calls():
            intact = function(*arguments)
            for k in itertools.count(1):  # until k passes the last creation
                result, made, where = self.faulted(function, arguments, "object", k)
                if made < k:
                    break
                self.assertIn(result, (MemoryError, (OUT_OF_MEMORY, BAD_ALLOCATION, None)), where)
            self.assertEqual(repr(result), repr(intact), where)


if __name__ == "__main__":
    unittest.main()
