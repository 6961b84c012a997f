"""The companion's array engine under the failures of the fault-injection
build: each allocation of the core's working storage, the growth of the point
vector and each object creation made to fail in turn. A storage failure gives
the status and the text that the classic entry writes for the same failure;
every failure leaves no storage outstanding, no error pending and the
arguments' reference counts as they were."""
import array
import sys
import unittest

import tallowfit
from recording import BAD_ALLOCATION, OUT_OF_MEMORY, SYSTEM_OUT_OF_MEMORY, pending_error
from test_faults import KINDS, REFUSED, SUCCEEDING, run

try:
    import _curvefits_engine as engine
except ImportError:  # Python 2.7: the engine is built for Python 3 only
    engine = None


def engine_call(name, args):
    """The engine's function and array arguments for a hardening call that
    arrays can carry, else None."""
    if name == "findRoots" and len(args) == 1 and all(type(v) is float for v in args[0]):
        return engine.find_roots, (array.array("d", args[0]),)
    if name != "findRoots" and len(args) == (4 if name == "optimizeModel" else 5) and \
            all(len(p) == 3 for p in args[0]) and type(args[1]) is not str:
        xyu = tuple(array.array("d", [p[i] for p in args[0]]) for i in range(3))
        return (engine.fit if name == "optimizeModel" else engine.fit_dual), xyu + args[1:] + (False,)
    return None


@unittest.skipUnless(engine is not None and hasattr(engine, "_setFault"),
                     "needs the engine's fault-injection build")
class EngineFaults(unittest.TestCase):
    def tearDown(self):
        for kind in KINDS:
            engine._setFault(kind, 0)

    def faulted(self, call, kind, k):
        """The engine's result (MemoryError as its class) with the k-th event
        of kind failing, and the events of kind it made, after checking what
        it left behind."""
        function, args = call
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
        where = "%s %s %d" % (function.__name__, kind, k)
        self.assertIsNone(pending_error(), where)
        self.assertEqual(engine._storageOutstanding(), outstanding, where)
        self.assertEqual([sys.getrefcount(a) for a in arrays], counts, where)
        return result, where, made

    def test_storage_failures_as_the_classic_entries_report_them(self):
        for name, args in SUCCEEDING + REFUSED:
            label = "%s%r " % (name, args[1:])
            call = engine_call(name, args)
            if call is None:
                continue
            engine._setFault("storage", 0)
            call[0](*call[1])
            events = engine._faultCount("storage")
            for k in range(1, events + 2):
                (status, payload), parts, _ = run(name, args, {"storage": (k,)})
                result, where, _ = self.faulted(call, "storage", k)
                self.assertEqual(result[:2], (status, "".join(parts) or None), label + where)
                self.assertEqual(result[2] is None, payload is None, label + where)
            growth, where, _ = self.faulted(call, "growth", 1)
            if call[1][0]:
                self.assertEqual(growth, (SYSTEM_OUT_OF_MEMORY, None, None), label + where)

    def test_each_object_creation(self):
        for name, args in SUCCEEDING + REFUSED:
            label = "%s%r " % (name, args[1:])
            call = engine_call(name, args)
            if call is None:
                continue
            intact = call[0](*call[1])
            k = 0
            while True:  # until k passes the last creation
                k += 1
                result, where, made = self.faulted(call, "object", k)
                if made < k:
                    break
                self.assertTrue(result in (MemoryError, (OUT_OF_MEMORY, BAD_ALLOCATION, None)),
                                label + where + ": %r" % (result,))
            self.assertEqual(repr(result), repr(intact), label)


if __name__ == "__main__":
    unittest.main()
