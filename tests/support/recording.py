"""Helpers shared by the module tests: calls with sys.stdout recorded, and a
look at the interpreter's error indicator."""
import ctypes
import sys

# Status codes as the Python ints they arrive as.
OK = 0
INVALID_ARGUMENT = -320234115
OUT_OF_MEMORY = -320234190
ILL_CONDITIONED = -337079102
NO_CONVERGENCE = -530509786


class Recorder(object):
    """Stands in for sys.stdout and keeps every write as one part."""

    def __init__(self):
        self.parts = []

    def write(self, text):
        self.parts.append(text)


class ReplacedStdout(object):
    """with ReplacedStdout(stream): sys.stdout is stream inside, restored after.
    Without a stream, sys.stdout is deleted inside."""

    MISSING = object()

    def __init__(self, stream=MISSING):
        self.stream = stream

    def __enter__(self):
        self.saved = sys.stdout
        if self.stream is ReplacedStdout.MISSING:
            del sys.stdout
        else:
            sys.stdout = self.stream
        return self.stream

    def __exit__(self, *exc_info):
        sys.stdout = self.saved
        return False


def call_recorded(function, *args):
    """(result, list of written parts) of function(*args)."""
    with ReplacedStdout(Recorder()) as recorder:
        result = function(*args)
    return result, recorder.parts


def pending_error():
    """The interpreter's error indicator, as an address (None when clear).
    Should an exception have been left set, ctypes raises it here instead."""
    occurred = ctypes.pythonapi.PyErr_Occurred
    occurred.restype = ctypes.c_void_p
    occurred.argtypes = []
    return occurred()
