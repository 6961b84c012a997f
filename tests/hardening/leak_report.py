"""Reads AddressSanitizer leak reports or valgrind memcheck logs and fails when
a leaked block was allocated with a frame of the module on its stack.

The interpreter keeps and drops memory of its own at exit, and every call into
the module passes through it, so a suppression by frame would hide the
module's leaks too; the reports are sorted here instead. What the module's
registration made is the interpreter's to keep, and so is a record that
tracemalloc made of a block.

    leak_report.py LOG...    exit 1 when a leak is the module's
"""
from __future__ import print_function

import re
import sys

HEAD = re.compile(r"^(Direct|Indirect) leak of \d+ byte|^==\d+== [\d,]+ (\([\d,]+ direct, [\d,]+ indirect\) )?"
                  r"bytes in [\d,]+ blocks are (definitely|indirectly|possibly) lost")
FRAME = re.compile(r"^\s+#\d+ |^==\d+==    (at|by) ")
THEIRS = re.compile(r"\b(PyInit_tallowfit|inittallowfit)\b|_tracemalloc\.c|tracemalloc_")


def leaks(lines):
    """Each leak report as (head, frames)."""
    found, current = [], None
    for line in lines:
        if HEAD.match(line):
            current = (line.strip(), [])
            found.append(current)
        elif current is not None and FRAME.match(line):
            current[1].append(line.strip())
        else:
            current = None
    return found


def main(paths):
    total, ours = 0, []
    for path in paths:
        with open(path) as log:
            found = leaks(log.readlines())
        total += len(found)
        ours += [(path, head, frames) for head, frames in found
                 if "tallowfit" in "\n".join(frames) and not THEIRS.search("\n".join(frames))]
    print("leak reports: %d, allocated by the module: %d" % (total, len(ours)))
    for path, head, frames in ours:
        print("%s: %s\n    %s" % (path, head, "\n    ".join(frames)))
    return 1 if ours else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
