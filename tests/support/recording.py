"""The module's statuses, messages, model ids and flags; calls with sys.stdout
recorded, replaced or missing; a look at the interpreter's error indicator;
results as text that keeps every bit.
Shared by the test suites, the hardening checks, the golden record and the
cross-platform identity check. Runs under Python 2.7 and 3."""
import ctypes
import json
import sys

# Status codes as the Python ints they arrive as.
OK = 0
INVALID_ARGUMENT = -320234115
OUT_OF_MEMORY = -320234190
SYSTEM_OUT_OF_MEMORY = -2147024882
ILL_CONDITIONED = -337079102
NO_CONVERGENCE = -530509786

# The module's own messages, written without a line end.
FAILED_CALL = "Failed call to findRoots"
ROOTS_USAGE = ("findRoots() Failed. Check number of or type of arguments passed.  "
               "This method's argument list should be (list)")
MODEL_USAGE = ("optimizeForModel() Failed. Check number of or type of arguments passed.  This "
               "method's argument list should be (list, int32_t, int32_t, int32_t)")
DUAL_USAGE = ("optimizeDualModel() Failed. Check number of or type of arguments passed.  This "
              "method's argument list should be (list, float, int32_t, int32_t, int32_t)")
COEFFICIENT_REFUSED = "PyArg_Parse() Failed. Unable to extract coefficient value from list of points"
POINT_REFUSED = "PyArg_Parse() Failed. Unable to extract (x, y, yUnc) from list of points"
BAD_ALLOCATION = "bad allocation"
LIST_FAILED = "PyList_New() Failed. Unable to allocated list instance"

# Model ids and fit flags.
LOG_INVERSE, LOG_LOG, LOG_RATIO, DUAL, HALF_POWER, ROOT_POLYNOMIAL, POLYNOMIAL = range(7)
DROP_INVALID, REFINE, CHECK_CONDITIONING, EXACT_FIT, ZERO_UNCERTAINTY = 1, 2, 8, 16, 32


class Recorder(object):
    """Stands in for sys.stdout and keeps every write as one part."""

    def __init__(self):
        self.parts = []

    def write(self, text):
        self.parts.append(text)


class Discard(object):
    """Stands in for sys.stdout where only the calls matter, not the text."""

    def write(self, text):
        pass


class RaisingWrite(object):
    def __init__(self):
        self.attempts = 0

    def write(self, text):
        self.attempts += 1
        raise IOError("stream closed")


class WithoutWrite(object):
    pass


MISSING = object()  # as a stream: sys.stdout deleted


class ReplacedStdout(object):
    """with ReplacedStdout(stream): sys.stdout is stream inside (deleted for
    MISSING), restored after."""

    def __init__(self, stream):
        self.stream = stream

    def __enter__(self):
        self.saved = sys.stdout
        if self.stream is MISSING:
            del sys.stdout
        else:
            sys.stdout = self.stream
        return self.stream

    def __exit__(self, *exc_info):
        sys.stdout = self.saved
        return False


def call_with_stdout(stream, function, *args):
    with ReplacedStdout(stream):
        return function(*args)


def call_recorded(function, *args):
    """(result, list of written parts) of function(*args); the result is the
    class MemoryError when the call raised one (not the exception, whose
    traceback would hold the arguments)."""
    with ReplacedStdout(Recorder()) as recorder:
        try:
            result = function(*args)
        except MemoryError:
            result = MemoryError
    return result, recorder.parts


class CallChecks(object):
    """unittest mixin: one call's result, its written parts, and a clear error
    indicator after it."""

    def assertCall(self, function, args, result, message):
        """message None: nothing may be written."""
        actual, written = call_recorded(function, *args)
        self.assertEqual(actual, result, args)
        self.assertEqual(written, [message] if message is not None else [], args)
        self.assertIsNone(pending_error(), args)


def pending_error():
    """The interpreter's error indicator, as an address (None when clear).
    Should an exception have been left set, ctypes raises it here instead."""
    occurred = ctypes.pythonapi.PyErr_Occurred
    occurred.restype = ctypes.c_void_p
    occurred.argtypes = []
    return occurred()


def dump(value):
    """A value as text: floats as float.hex, so that equal text is equal bits."""
    if value is None:
        return "None"
    if isinstance(value, float):
        return value.hex()
    if isinstance(value, complex):
        return "complex(%s,%s)" % (value.real.hex(), value.imag.hex())
    if isinstance(value, bool):
        return repr(value)
    if isinstance(value, int) or type(value).__name__ == "long":
        return "%d" % value
    if isinstance(value, (list, tuple)):
        inner = ",".join(dump(v) for v in value)
        return ("[%s]" if isinstance(value, list) else "(%s)") % inner
    if isinstance(value, str):
        return json.dumps(value)
    return "<%s>" % type(value).__name__


def recorded_text(function, args):
    """(status, written text, payload) of a call, each as dump text."""
    (status, payload), parts = call_recorded(function, *args)
    return dump(status), "".join(parts), dump(payload)
