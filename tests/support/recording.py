"""The module's statuses, messages, model ids and flags; calls with sys.stdout
recorded, replaced or missing; the interpreter's error indicator; results as
text that keeps every bit. Shared by the Python suite, the hardening drivers
and the golden record. Python 2.7 and 3."""
import ctypes
import json
import sys

# Status codes as the Python ints they arrive as.
OK, INVALID_ARGUMENT, OUT_OF_MEMORY, INTERNAL_ERROR = 0, -320234115, -320234190, -320233619
SYSTEM_OUT_OF_MEMORY, ILL_CONDITIONED, NO_CONVERGENCE = -2147024882, -337079102, -530509786
STATUSES = (OK, INVALID_ARGUMENT, OUT_OF_MEMORY, INTERNAL_ERROR, SYSTEM_OUT_OF_MEMORY, ILL_CONDITIONED,
            NO_CONVERGENCE)

# The frame's own messages, written without a line end.
FAILED_CALL = "Failed call to findRoots"
ROOTS_USAGE = ("findRoots() Failed. Check number of or type of arguments passed.  "
               "This method's argument list should be (list)")
COEFFICIENT_REFUSED = "PyArg_Parse() Failed. Unable to extract coefficient value from list of points"
POINT_REFUSED = "PyArg_Parse() Failed. Unable to extract (x, y, yUnc) from list of points"
BAD_ALLOCATION = "bad allocation"
LIST_FAILED = "PyList_New() Failed. Unable to allocated list instance"

LOG_INVERSE, LOG_LOG, LOG_RATIO, DUAL, HALF_POWER, ROOT_POLYNOMIAL, POLYNOMIAL = range(7)
DROP_INVALID, REFINE, CHECK_CONDITIONING, EXACT_FIT, ZERO_UNCERTAINTY = 1, 2, 8, 16, 32


class Recorder(object):
    """Stands in for sys.stdout and keeps every write as one part."""

    def __init__(self):
        self.parts = []

    def write(self, text):
        self.parts.append(text)


class RaisingWrite(object):
    attempts = 0

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


def call_recorded(function, *args):
    """(result, list of written parts) of function(*args); the result is the
    class MemoryError when the call raised one (the exception's traceback would
    hold the arguments)."""
    with ReplacedStdout(Recorder()) as recorder:
        try:
            result = function(*args)
        except MemoryError:
            result = MemoryError
    return result, recorder.parts


def pending_error():
    """The interpreter's error indicator as an address, None when clear. An
    exception left set is raised here by ctypes instead."""
    occurred = ctypes.pythonapi.PyErr_Occurred
    occurred.restype, occurred.argtypes = ctypes.c_void_p, []
    return occurred()


def dump(value):
    """A value as text: floats as float.hex, so that equal text is equal bits."""
    if value is None or isinstance(value, bool):
        return repr(value)
    if isinstance(value, float):
        return value.hex()
    if isinstance(value, complex):
        return "complex(%s,%s)" % (value.real.hex(), value.imag.hex())
    if isinstance(value, int) or type(value).__name__ == "long":
        return "%d" % value
    if isinstance(value, (list, tuple)):
        return ("[%s]" if isinstance(value, list) else "(%s)") % ",".join(dump(v) for v in value)
    if isinstance(value, str):
        return json.dumps(value)
    return "<%s>" % type(value).__name__


def recorded_text(function, args):
    """(status, written text, payload) of a call, each as dump text."""
    (status, payload), parts = call_recorded(function, *args)
    return dump(status), "".join(parts), dump(payload)
