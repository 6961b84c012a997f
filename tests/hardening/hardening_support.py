"""What the hardening tests share: the status codes, the messages of the
failure paths and representative calls of the three entry points."""
import os
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
import tallowfit  # noqa: E402
from recording import (BAD_ALLOCATION, CHECK_CONDITIONING, FAILED_CALL, LIST_FAILED,  # noqa: E402,F401
                       LOG_LOG, OK, OUT_OF_MEMORY, POLYNOMIAL, REFINE, SYSTEM_OUT_OF_MEMORY,
                       ZERO_UNCERTAINTY, Discard, call_with_stdout, pending_error)
from recording import call_recorded as call_function_recorded  # noqa: E402

POWER_LAW = [(x, 2.0 * x ** 1.5, 0.1) for x in (2.0, 3.0, 4.0, 5.0, 6.0, 7.0)]
QUADRATIC = [(x, 1.0 + 0.5 * x + 0.25 * x * x, 0.0) for x in (1.0, 2.0, 3.0, 4.0, 5.0)]

# Calls that succeed, each going through a different part of the payload:
# real and complex roots, a refined fit with its condition check, a fit of
# zero uncertainties with its covariance factor, and both ranges of a Dual fit.
SUCCESSFUL_CALLS = [
    ("roots", "findRoots", ([-1.0, 1.0, -1.0, 1.0],)),
    ("refined LogLog", "optimizeModel", (POWER_LAW, LOG_LOG, 0, REFINE | CHECK_CONDITIONING)),
    ("zero uncertainties", "optimizeModel", (QUADRATIC, POLYNOMIAL, 3, ZERO_UNCERTAINTY)),
    ("Dual", "optimizeDualModel", (POWER_LAW, 4.5, 2, 2, REFINE)),
]

# Calls that each end in a different refusal, for the failure paths.
REFUSED_CALLS = [
    ("roots usage", "findRoots", ()),
    ("coefficient", "findRoots", (["1"],)),
    ("leading zero", "findRoots", ([1.0, 0.0],)),
    ("no coefficients", "findRoots", ([],)),
    ("model usage", "optimizeModel", (POWER_LAW, LOG_LOG)),
    ("point", "optimizeModel", (POWER_LAW + [(1.0, 2.0)], LOG_LOG, 2, 0)),
    ("Dual refused", "optimizeModel", (POWER_LAW, 3, 2, 0)),
    ("ill-conditioned", "optimizeModel", ([(1.0, 1.0, 1.0), (1.0, 3.0, 1.0), (1.0, 5.0, 1.0)], POLYNOMIAL, 2, 0)),
    # The payload exists when the average error is refused.
    ("no average", "optimizeModel", ([(1.0, 0.0, 1.0), (2.0, 0.0, 1.0), (3.0, 0.0, 1.0)], POLYNOMIAL, 2, 0)),
    ("dual usage", "optimizeDualModel", (POWER_LAW, "4.5", 2, 2, 0)),
    ("empty upper range", "optimizeDualModel", (POWER_LAW, 10.0, 2, 2, 0)),
]

ALL_CALLS = SUCCESSFUL_CALLS + REFUSED_CALLS


def call_recorded(name, args):
    """(result, written parts) of tallowfit.<name>(*args), MemoryError as its class."""
    return call_function_recorded(getattr(tallowfit, name), *args)


def has_fault_control():
    return hasattr(tallowfit, "_setFault")


def clear_faults():
    for kind in ("object", "storage", "growth"):
        tallowfit._setFault(kind, 0)


def events_of(kind, name, args, first_failing=0):
    """How many events of kind a call makes when nothing fails, or when only
    the first_failing-th object creation fails."""
    clear_faults()
    tallowfit._setFault("object", first_failing)
    try:
        call_with_stdout(Discard(), getattr(tallowfit, name), *args)
    except MemoryError:
        pass
    made = tallowfit._faultCount(kind)
    clear_faults()
    return made


def second_failures(name, args):
    """(first, second, made): every object creation that a call still makes
    after its first-th one failed (made of them), below the last two (the
    status and the 2-tuple)."""
    for first in range(1, events_of("object", name, args) - 1):
        made = events_of("object", name, args, first)
        for second in range(first + 1, made + 1):
            yield first, second, made
