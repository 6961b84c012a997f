"""Helpers shared by the demo programs: status names, calls that collect the
module's messages, and plain-text tables. Runs on Python 2.7 and 3."""
from __future__ import print_function

import sys

STATUS_NAMES = {
    0: "kStatusOk",
    -320234115: "kStatusInvalidArgument",
    -320234190: "kStatusOutOfMemory",
    -320233619: "kStatusException",
    -2147024882: "kStatusSystemOutOfMemory",
    -337079102: "kStatusIllConditioned",
    -530509786: "kStatusNoConvergence",
}


def load_module():
    """Imports tallowfit, or ends the program with a hint where it is built."""
    try:
        import tallowfit
    except ImportError as error:
        sys.exit("cannot import tallowfit (%s); build it with bash scripts/demo.sh "
                 "or put build/py3 (build/py2 for Python 2.7) on PYTHONPATH" % error)
    return tallowfit


class _MessageSink(object):
    """Stands in for sys.stdout during a call: the module writes its failure
    messages there, without a line end."""

    def __init__(self):
        self.parts = []

    def write(self, text):
        self.parts.append(text)

    def flush(self):
        pass


def call_module(function, *args):
    """Calls a tallowfit function; returns (status, payload, message written)."""
    sink = _MessageSink()
    saved = sys.stdout
    sys.stdout = sink
    try:
        status, payload = function(*args)
    finally:
        sys.stdout = saved
    return status, payload, "".join(sink.parts)


def describe_status(status, message=""):
    """'status -320234115 (kStatusInvalidArgument): <message>'."""
    text = "status %d (%s)" % (status, STATUS_NAMES.get(status, "unknown"))
    if message:
        text += ": " + message
    return text


def print_table(headers, rows, align=None, indent="  "):
    """Prints rows of strings in columns under a ruled header. align holds one
    letter per column, 'l' or 'r'; by default the first column is left-aligned
    and the others right-aligned."""
    if align is None:
        align = "l" + "r" * (len(headers) - 1)
    widths = [max([len(header)] + [len(row[k]) for row in rows])
              for k, header in enumerate(headers)]

    def line(cells):
        padded = [cell.ljust(width) if side == "l" else cell.rjust(width)
                  for cell, width, side in zip(cells, widths, align)]
        return (indent + "  ".join(padded)).rstrip()

    print(line(headers))
    print(indent + "  ".join("-" * width for width in widths))
    for row in rows:
        print(line(row))
