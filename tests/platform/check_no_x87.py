"""python check_no_x87.py BUILD [OBJDUMP]: fails when an object file of the core
or the module holds x87 arithmetic, whose 80-bit registers would round each
result twice. Loads and stores stay allowed: a 32-bit function returns its
double in st(0), which moves the value without rounding it."""
import os
import re
import subprocess
import sys

X87_ARITHMETIC = set("""fadd faddp fiadd fsub fsubp fsubr fsubrp fisub fisubr fmul fmulp fimul fdiv fdivp
fdivr fdivrp fidiv fidivr fsqrt fprem fprem1 frndint fscale fxtract f2xm1 fyl2x fyl2xp1 fptan fpatan fsin
fcos fsincos""".split())
TARGETS = ("tallowfit_core", "tallowfit_py2", "tallowfit_py3", "tallowfit_win32")


def is_x87_arithmetic(mnemonic):
    # AT&T syntax may add an operand-size suffix: faddl, fimuls, fdivrt.
    return mnemonic in X87_ARITHMETIC or (mnemonic[-1:] in ("s", "l", "t") and mnemonic[:-1] in X87_ARITHMETIC)


def main(build, objdump="objdump"):
    files = sorted(os.path.join(directory, name) for target in TARGETS
                   for directory, _, names in os.walk(os.path.join(build, "CMakeFiles", target + ".dir"))
                   for name in names if name.endswith((".o", ".obj")))
    offenders = []
    for path in files:
        text = subprocess.check_output([objdump, "-d", "--no-show-raw-insn", path]).decode("ascii", "replace")
        for line in text.splitlines():
            match = re.match(r"\s+[0-9a-f]+:\s+(\w+)", line)
            if match and is_x87_arithmetic(match.group(1)):
                offenders.append("%s: %s" % (os.path.relpath(path, build), line.strip()))
    for line in offenders[:20]:
        print("x87 check: " + line)
    if not files or offenders:
        print("x87 check: FAIL (%d x87 arithmetic instructions in %d object files under %s)"
              % (len(offenders), len(files), build))
        return 1
    print("x87 check: no x87 arithmetic in %d object files of the core and the module" % len(files))
    return 0


if __name__ == "__main__":
    sys.exit(main(*sys.argv[1:3]))
