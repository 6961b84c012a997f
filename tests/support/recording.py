"""The module's statuses, messages, models and flags; calls with sys.stdout recorded,
replaced or missing; the error indicator; results as text keeping every bit."""
import contextlib
import ctypes
import json
import sys

# Status codes as the Python ints they arrive as.
OK, INVALID_ARGUMENT, OUT_OF_MEMORY, INTERNAL_ERROR = 0, -320234115, -320234190, -320233619
SYSTEM_OUT_OF_MEMORY, ILL_CONDITIONED, NO_CONVERGENCE = -2147024882, -337079102, -530509786
STATUSES = (OK, INVALID_ARGUMENT, OUT_OF_MEMORY, INTERNAL_ERROR, SYSTEM_OUT_OF_MEMORY, ILL_CONDITIONED, NO_CONVERGENCE)

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
        self.write = self.parts.append


class RaisingWrite(object):
    attempts = 0

    def write(self, text):
        self.attempts += 1
        raise IOError("stream closed")


WithoutWrite, MISSING = type("WithoutWrite", (object,), {}), object()  # MISSING as a stream: sys.stdout deleted


@contextlib.contextmanager
def replaced_stdout(stream):
    """sys.stdout is stream inside (deleted for MISSING), restored after."""
    saved = sys.stdout
    if stream is MISSING:
        del sys.stdout
    else:
        sys.stdout = stream
    try:
        yield stream
    finally:
        sys.stdout = saved


def call_recorded(function, *args):
    """(result, written parts) of function(*args); the result is the class
    MemoryError when raised (its traceback would hold the arguments)."""
    with replaced_stdout(Recorder()) as recorder:
        try:
            result = function(*args)
        except MemoryError:
            result = MemoryError
    return result, recorder.parts


def pending_error():
    """The error indicator as an address, None when clear (ctypes raises an exception left set)."""
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
