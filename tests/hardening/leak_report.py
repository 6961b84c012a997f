"""Reads AddressSanitizer leak reports or valgrind memcheck logs and fails when
a leaked block was allocated with a frame of the module on its stack.

The interpreter keeps and drops memory of its own at exit, and every call into
the module passes through it, so a leak suppression by frame (which matches any
frame of the stack) would hide the module's leaks as well; the reports are
sorted here instead. A block that the module's registration made is the
interpreter's to keep (it holds the module for the life of the process), and
so is a record that tracemalloc made of a block.

    leak_report.py LOG...    exit 1 when a leak is the module's
"""
from __future__ import print_function

import re
import sys

OURS = re.compile(r"tallowfit")
REGISTRATION = re.compile(r"\b(PyInit_tallowfit|inittallowfit)\b")
# tracemalloc keeps a record of where each block it traces was made, and some
# of those records at exit, whichever code made the block.
TRACEMALLOC = re.compile(r"_tracemalloc\.c|tracemalloc_")
ASAN_HEAD = re.compile(r"^(Direct|Indirect) leak of \d+ byte")
VALGRIND_HEAD = re.compile(r"^==\d+== [\d,]+ (\([\d,]+ direct, [\d,]+ indirect\) )?bytes in [\d,]+ "
                           r"blocks are (definitely|indirectly|possibly) lost")
VALGRIND_FRAME = re.compile(r"^==\d+==    (at|by) ")
ASAN_FRAME = re.compile(r"^\s+#\d+ ")


def leaks(lines):
    """Each leak report as (head, frames)."""
    found = []
    current = None
    for line in lines:
        if ASAN_HEAD.match(line) or VALGRIND_HEAD.match(line):
            current = (line.strip(), [])
            found.append(current)
        elif current is not None and (ASAN_FRAME.match(line) or VALGRIND_FRAME.match(line)):
            current[1].append(line.strip())
        else:
            current = None
    return found


def is_ours(frames):
    text = "\n".join(frames)
    return (OURS.search(text) is not None and REGISTRATION.search(text) is None
            and TRACEMALLOC.search(text) is None)


def main(paths):
    total = 0
    ours = []
    for path in paths:
        with open(path) as log:
            found = leaks(log.readlines())
        total += len(found)
        ours.extend((path, head, frames) for head, frames in found if is_ours(frames))
    print("leak reports: %d, allocated by the module: %d" % (total, len(ours)))
    for path, head, frames in ours:
        print("%s: %s" % (path, head))
        for frame in frames:
            print("    " + frame)
    return 1 if ours else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
