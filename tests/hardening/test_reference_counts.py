"""Every path of every entry point, repeated: the success paths, the refusals,
and each object creation, storage allocation and vector growth made to fail
(also a second object creation while the first failure is handled). Under a
debug interpreter the interpreter's total of references must not grow; under
Python 3 the memory that tracemalloc traces must not grow either.
TALLOWFIT_HARDENING_ROUNDS sets the repetitions of each path (default 100)."""
import os
import sys
import unittest

import tallowfit
from hardening_support import (ALL_CALLS, REFUSED_CALLS, SUCCESSFUL_CALLS, Discard,
                               call_with_stdout, clear_faults, events_of, has_fault_control,
                               second_failures)

ROUNDS = int(os.environ.get("TALLOWFIT_HARDENING_ROUNDS", "100"))
# Caches of the interpreter may settle a few blocks late; a leak of one float
# per call is 24 bytes per round and passes this bound at 100 rounds already.
TRACED_BYTES_ALLOWED = 1024
# Free lists (of MemoryError instances, for one) fill over the first calls.
WARM_UP = 20


def faulted_call(name, args, faults):
    """A call with the given (kind, ks) faults set, its text discarded."""
    def call():
        for kind, ks in faults:
            tallowfit._setFault(kind, *ks)
        try:
            call_with_stdout(Discard(), getattr(tallowfit, name), *args)
        except MemoryError:
            pass
        clear_faults()
    call.label = "%s(%r) %r" % (name, args, faults)
    return call


def every_path():
    """The scenarios: each call as it is, then each of its faults."""
    paths = [faulted_call(name, args, []) for _, name, args in ALL_CALLS]
    for _, name, args in SUCCESSFUL_CALLS:
        for kind in ("object", "storage", "growth"):
            for k in range(1, events_of(kind, name, args) + 1):
                paths.append(faulted_call(name, args, [(kind, (k,))]))
        for first, second, _ in second_failures(name, args):
            paths.append(faulted_call(name, args, [("object", (first, second))]))
    for _, name, args in REFUSED_CALLS:
        for k in range(1, events_of("object", name, args) + 1):
            paths.append(faulted_call(name, args, [("object", (k,))]))
    return paths


def growth(measure, path):
    """How much measure() grows over ROUNDS runs of path, less what measuring
    itself adds. Two batches after a warm-up: a cache that the first call of
    a path fills grows one batch at most, a leak grows both; the smaller
    growth counts."""
    def batch():
        before = measure()
        for _ in range(ROUNDS):
            path()
        return measure() - before
    for _ in range(WARM_UP):
        path()
    return min(batch(), batch())


def overhead(measure):
    """What a batch of doing nothing measures."""
    nothing = lambda: None
    return growth(measure, nothing)


@unittest.skipUnless(has_fault_control(), "needs the fault-injection build of the module")
class RepeatedPathsTest(unittest.TestCase):

    @unittest.skipUnless(hasattr(sys, "gettotalrefcount"), "needs a debug interpreter")
    def test_no_reference_is_left_behind(self):
        paths = every_path()
        base = overhead(sys.gettotalrefcount)
        grown = [(path.label, growth(sys.gettotalrefcount, path) - base) for path in paths]
        self.assertEqual([g for g in grown if g[1] != 0], [])

    @unittest.skipUnless(sys.version_info[0] >= 3, "tracemalloc is Python 3's")
    def test_no_traced_memory_is_left_behind(self):
        import tracemalloc
        paths = every_path()
        tracemalloc.start()
        try:
            measure = lambda: tracemalloc.get_traced_memory()[0]
            base = overhead(measure)
            grown = [(path.label, growth(measure, path) - base) for path in paths]
        finally:
            tracemalloc.stop()
        self.assertEqual([g for g in grown if g[1] > TRACED_BYTES_ALLOWED], [])


if __name__ == "__main__":
    unittest.main()
