"""leak_report.py LOG...: exit 1 when an AddressSanitizer or valgrind leak was allocated with the
module on its stack (suppressing the interpreter's frames would hide the module's leaks too). What
the module's registration made and tracemalloc's records are the interpreter's to keep."""
from __future__ import print_function

import re
import sys

HEAD = re.compile(r"^(Direct|Indirect) leak of \d+ byte|^==\d+== [\d,]+ (\([\d,]+ direct, [\d,]+ indirect\) )?"
                  r"bytes in [\d,]+ blocks are (definitely|indirectly|possibly) lost")
FRAME = re.compile(r"^\s+#\d+ |^==\d+==    (at|by) ")
THEIRS = re.compile(r"\b(PyInit_tallowfit|inittallowfit|PyInit__curvefits_engine)\b|_tracemalloc\.c|tracemalloc_")


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
