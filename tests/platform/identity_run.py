"""Replays the calls of a case file (identity_cases.py) against the tallowfit
module on the path and writes, for every call, the status, the text written to
sys.stdout and every float of the payload as float.hex text, so that two builds
can be compared bit for bit (identity_compare.py). Runs under Python 2.7 and 3.

    PYTHONPATH=BUILD/py2 python identity_run.py CASES OUT
"""
import json
import os
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
import tallowfit  # noqa: E402
from recording import call_recorded, dump  # noqa: E402

NAMES = {"F": float.fromhex, "True": True, "False": False, "None": None, "__builtins__": {}}


def main():
    cases, out = sys.argv[1], sys.argv[2]
    with open(cases) as source, open(out, "w") as target:
        for index, line in enumerate(source):
            category, function, text = line.rstrip("\n").split("\t")
            result, parts = call_recorded(getattr(tallowfit, function), *eval(text, NAMES))
            target.write("%s\t%d\t%s\t%s\n" % (category, index, json.dumps("".join(parts)), dump(result)))
    return 0


if __name__ == "__main__":
    sys.exit(main())
