"""Failures injected into the fault-injection build of the module, one event at
a time: every Python object creation, every allocation of the core's working
storage and every growth of the vectors that hold what was read, over calls
that succeed and calls that are refused. Each failure must give the status and
messages of its failure path, None in place of a half-built payload, no error
left pending, nothing of the core's storage outstanding and the arguments'
reference counts as they were."""
import sys
import unittest

import tallowfit
from hardening_support import (ALL_CALLS, BAD_ALLOCATION, CHECK_CONDITIONING, LIST_FAILED, OK, OUT_OF_MEMORY,
                               REFUSED_CALLS, FAILED_CALL, SUCCESSFUL_CALLS,
                               SYSTEM_OUT_OF_MEMORY, call_recorded, clear_faults, events_of,
                               has_fault_control, pending_error, second_failures)

# What a failed creation writes: a list of the payload's own (the root list, a
# fit list and the lists inside it) the list message first; any other object
# only the inner guard's text.
WRITTEN = {"result list": [LIST_FAILED, BAD_ALLOCATION], "object": [BAD_ALLOCATION]}


def fit_list_creations(fit_list):
    """The creations of one five-item fit list, in the order it is built."""
    coefficients, rows, _, _, deviations = fit_list
    sequence = ["result list", "result list"] + ["object"] * len(coefficients)
    sequence.append("result list")
    for row in rows:
        sequence += ["result list"] + ["object"] * len(row)
    # reduced chi-square, average error, the deviations list; then per
    # deviation the tuple and its four floats.
    sequence += ["object"] * 3 + ["object"] * (5 * len(deviations))
    return sequence


def creations_of(name, payload):
    """The object creations of a successful call, in order, named by what their
    failure writes; then the status and the 2-tuple, whose failure is the
    interpreter's MemoryError."""
    if name == "findRoots":
        sequence = ["result list"] + ["object"] * len(payload)
    elif name == "optimizeModel":
        sequence = fit_list_creations(payload)
    else:
        sequence = ["object"] + [c for fit_list in payload for c in fit_list_creations(fit_list)]
    return sequence + ["status", "tuple"]


def referenced(args):
    """The list arguments and the sequences in them, whose counts must not move
    (numbers and strings are shared with the rest of the process)."""
    objects = [arg for arg in args if isinstance(arg, list)]
    for arg in list(objects):
        objects.extend(item for item in arg if isinstance(item, (list, tuple)))
    return objects


@unittest.skipUnless(has_fault_control(), "needs the fault-injection build of the module")
class FaultInjectionTest(unittest.TestCase):

    def setUp(self):
        clear_faults()
        self.outstanding = tallowfit._storageOutstanding()

    def tearDown(self):
        clear_faults()

    def faulted(self, name, args, kind, *ks):
        """(result, written parts) of a call with the ks-th events of kind
        failing, after checking that the call left nothing behind."""
        objects = referenced(args)
        counts = [sys.getrefcount(o) for o in objects]
        tallowfit._setFault(kind, *ks)
        result, parts = call_recorded(name, args)
        where = "%s(%r) %s %r" % (name, args, kind, ks)
        self.assertEqual(pending_error(), None, where)
        clear_faults()
        self.assertEqual(tallowfit._storageOutstanding(), self.outstanding, where)
        self.assertEqual([sys.getrefcount(o) for o in objects], counts, where)
        return result, parts, where

    def assert_memory_error(self, result, parts, where):
        self.assertTrue(result is MemoryError, where + ": %r" % (result,))

    def test_each_object_creation_of_a_successful_call(self):
        for label, name, args in SUCCESSFUL_CALLS:
            intact, _ = call_recorded(name, args)
            self.assertEqual(intact[0], OK, label)
            sequence = creations_of(name, intact[1])
            self.assertEqual(events_of("object", name, args), len(sequence), label)
            for k, what in enumerate(sequence, 1):
                result, parts, where = self.faulted(name, args, "object", k)
                if what in ("status", "tuple"):
                    self.assert_memory_error(result, parts, where)
                    self.assertEqual(parts, [], where)
                else:
                    self.assertEqual(result, (OUT_OF_MEMORY, None), where)
                    self.assertEqual(parts, WRITTEN[what], where)
            # Past the last creation nothing fails: the call is as without faults.
            result, parts, where = self.faulted(name, args, "object", len(sequence) + 1)
            self.assertEqual(result, intact, where)

    def test_a_second_object_failure_while_the_first_is_handled(self):
        # After a payload creation fails, the failure path makes its own
        # objects: the status of each message written, then the 2-tuple. A
        # failing message status changes nothing; the last status and the
        # tuple are the interpreter's MemoryError.
        for label, name, args in SUCCESSFUL_CALLS:
            intact, _ = call_recorded(name, args)
            sequence = creations_of(name, intact[1])
            for first, second, made in second_failures(name, args):
                result, parts, where = self.faulted(name, args, "object", first, second)
                self.assertEqual(parts, WRITTEN[sequence[first - 1]], where)
                if second >= made - 1:
                    self.assert_memory_error(result, parts, where)
                else:
                    self.assertEqual(result, (OUT_OF_MEMORY, None), where)

    def test_each_storage_allocation_and_growth(self):
        # The core's refusal to allocate is its out-of-memory status: the root
        # finder's status with the findRoots message, or from a fit either a
        # std::bad_alloc ("bad allocation") or the solver's status passed on
        # without a message. Only the condition test has a way round: without
        # storage for the eigenvalue estimate it judges by the norms, and the
        # fit succeeds as before. Memory that runs out while the arguments are
        # read reaches the outer guard: the platform's out-of-memory status,
        # nothing written. Past the last event the call is as without faults.
        for label, name, args in ALL_CALLS:
            intact, _ = call_recorded(name, args)
            succeeds = intact[0] == OK
            conditioned = name != "findRoots" and succeeds and args[-1] & CHECK_CONDITIONING
            allowed = {"storage": [[FAILED_CALL]] if name == "findRoots" else [[], [BAD_ALLOCATION]],
                       "growth": [[]]}
            status = {"storage": OUT_OF_MEMORY, "growth": SYSTEM_OUT_OF_MEMORY}
            for kind in ("storage", "growth"):
                events = events_of(kind, name, args)
                self.assertTrue(events > 0 or not succeeds, label)
                for k in range(1, events + 1):
                    result, parts, where = self.faulted(name, args, kind, k)
                    if conditioned and kind == "storage" and result == intact:
                        continue
                    self.assertEqual(result, (status[kind], None), where)
                    if succeeds:
                        self.assertTrue(parts in allowed[kind], where + ": %r" % (parts,))
                result, parts, where = self.faulted(name, args, kind, events + 1)
                self.assertEqual(result, intact, where)

    def test_object_failures_on_the_refusal_paths(self):
        # A refused call makes its status and the 2-tuple; a payload creation
        # before the refusal (the fit list before the average error is
        # refused) fails as on the successful path.
        for label, name, args in REFUSED_CALLS:
            intact, written = call_recorded(name, args)
            self.assertNotEqual(intact[0], OK, label)
            self.assertEqual(intact[1], None, label)
            made = events_of("object", name, args)
            # The fit list is built up to the average error before its refusal.
            self.assertTrue(made > 2 or label != "no average", label)
            for k in range(1, made + 1):
                result, parts, where = self.faulted(name, args, "object", k)
                if k >= made - 1:
                    self.assert_memory_error(result, parts, where)
                    self.assertEqual(parts, written, where)
                else:
                    self.assertEqual(result, (OUT_OF_MEMORY, None), where)
                    self.assertEqual(parts[-1], BAD_ALLOCATION, where)

    def test_object_failures_after_storage_and_growth_failures(self):
        # The out-of-memory paths of the core and of the reading make only
        # their status and the tuple.
        for label, name, args in ALL_CALLS:
            for kind in ("storage", "growth"):
                if events_of(kind, name, args) == 0:
                    continue
                for k in (1, 2):
                    tallowfit._setFault(kind, 1)
                    tallowfit._setFault("object", k)
                    result, parts = call_recorded(name, args)
                    where = "%s %s 1, object %d" % (label, kind, k)
                    self.assert_memory_error(result, parts, where)
                    clear_faults()
                    self.assertEqual(tallowfit._storageOutstanding(), self.outstanding, where)


if __name__ == "__main__":
    unittest.main()
