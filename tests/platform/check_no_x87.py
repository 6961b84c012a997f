"""Checks that the module's own code does no arithmetic on the x87 unit, whose
80-bit registers would round each result twice: every object file of the core
and of the module is disassembled and searched for x87 arithmetic instructions.
Loads and stores of x87 registers stay allowed: a 32-bit function returns its
double in st(0), which moves the value without rounding it.

    python check_no_x87.py BUILD [OBJDUMP]
"""
import os
import re
import subprocess
import sys

X87_ARITHMETIC = set("""
fadd faddp fiadd fsub fsubp fsubr fsubrp fisub fisubr fmul fmulp fimul
fdiv fdivp fdivr fdivrp fidiv fidivr fsqrt fprem fprem1 frndint fscale
fxtract f2xm1 fyl2x fyl2xp1 fptan fpatan fsin fcos fsincos
""".split())
TARGETS = ("tallowfit_core", "tallowfit_py2", "tallowfit_py3", "tallowfit_win32")


def object_files(build):
    found = []
    for target in TARGETS:
        folder = os.path.join(build, "CMakeFiles", target + ".dir")
        for directory, _, names in os.walk(folder):
            found += [os.path.join(directory, n) for n in names if n.endswith((".o", ".obj"))]
    return sorted(found)


def is_x87_arithmetic(mnemonic):
    # AT&T syntax may add an operand-size suffix: faddl, fimuls, fdivrt.
    return mnemonic in X87_ARITHMETIC or (mnemonic[-1:] in ("s", "l", "t") and mnemonic[:-1] in X87_ARITHMETIC)


def main():
    build = sys.argv[1]
    objdump = sys.argv[2] if len(sys.argv) > 2 else "objdump"
    files = object_files(build)
    if not files:
        print("x87 check: FAIL (no object files under %s)" % build)
        return 1
    offenders = []
    for path in files:
        text = subprocess.check_output([objdump, "-d", "--no-show-raw-insn", path]).decode("ascii", "replace")
        for line in text.splitlines():
            match = re.match(r"\s+[0-9a-f]+:\s+(\w+)", line)
            if match and is_x87_arithmetic(match.group(1)):
                offenders.append("%s: %s" % (os.path.relpath(path, build), line.strip()))
    for line in offenders[:20]:
        print("x87 check: " + line)
    if offenders:
        print("x87 check: FAIL (%d x87 arithmetic instructions)" % len(offenders))
        return 1
    print("x87 check: no x87 arithmetic in %d object files of the core and the module" % len(files))
    return 0


if __name__ == "__main__":
    sys.exit(main())
