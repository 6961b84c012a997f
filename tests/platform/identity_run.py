"""Replays the calls of a case file (identity_cases.py) against the tallowfit
module on the path and writes, for every call, the status, the text written to
sys.stdout and every float of the payload as float.hex text, so that two builds
can be compared bit for bit (identity_compare.py). Runs under Python 2.7 and 3.

    PYTHONPATH=BUILD/py2 python identity_run.py CASES OUT
"""
import json
import sys

import tallowfit


class Capture(object):
    def __init__(self):
        self.parts = []

    def write(self, text):
        self.parts.append(text)


def F(text):
    return float.fromhex(text)


NAMES = {"F": F, "True": True, "False": False, "None": None, "__builtins__": {}}


def dump(value):
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
    if isinstance(value, list):
        return "[" + ",".join(dump(v) for v in value) + "]"
    if isinstance(value, tuple):
        return "(" + ",".join(dump(v) for v in value) + ")"
    return "<%s>" % type(value).__name__


def main():
    cases, out = sys.argv[1], sys.argv[2]
    with open(cases) as source, open(out, "w") as target:
        for index, line in enumerate(source):
            category, function, text = line.rstrip("\n").split("\t")
            args = eval(text, NAMES)
            capture = Capture()
            saved = sys.stdout
            sys.stdout = capture
            try:
                result = getattr(tallowfit, function)(*args)
            finally:
                sys.stdout = saved
            target.write("%s\t%d\t%s\t%s\n" % (category, index, json.dumps("".join(capture.parts)), dump(result)))
    return 0


if __name__ == "__main__":
    sys.exit(main())
