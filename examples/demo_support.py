"""What the demo programs share: the companion package and plain-text tables."""
import os
import sys

ROOT = os.path.normpath(os.path.join(os.path.dirname(os.path.abspath(__file__)), os.pardir))


def load_companion():
    """Imports curvefits (from src/ when not installed), or ends the program
    with a hint where tallowfit is built."""
    if sys.version_info < (3, 7):
        sys.exit("the demo uses the companion package curvefits, which needs Python 3.7 or "
                 "later; tallowfit itself runs on Python 2.7 (docs/reference.md)")
    try:
        import curvefits
    except ImportError:
        sys.path.insert(0, os.path.join(ROOT, "src"))
        try:
            import curvefits
        except ImportError as error:
            sys.exit("cannot import curvefits (%s); build tallowfit with bash scripts/demo.sh "
                     "or put build/py3 on PYTHONPATH" % error)
    return curvefits


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
