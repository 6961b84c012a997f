"""Checks that every translation unit of a build was compiled with the flags that
fix the floating-point results: no contraction into fused multiply-adds, no fast
math and, for 32-bit x86, SSE2 arithmetic instead of the x87 unit (whose 80-bit
registers would round twice).

    python check_build_flags.py BUILD/compile_commands.json BITS
"""
import json
import sys


def required_flags(bits):
    flags = ["-ffp-contract=off", "-fno-fast-math"]
    if bits == 32:
        flags += ["-msse2", "-mfpmath=sse"]
    return flags


def main():
    path, bits = sys.argv[1], int(sys.argv[2])
    with open(path) as handle:
        units = json.load(handle)
    required = required_flags(bits)
    bad = []
    for unit in units:
        words = unit["command"].split() if "command" in unit else unit["arguments"]
        missing = [flag for flag in required if flag not in words]
        forbidden = [w for w in words if w in ("-ffast-math", "-Ofast", "-mfpmath=387")]
        if missing or forbidden:
            bad.append((unit["file"], missing, forbidden))
    for name, missing, forbidden in bad:
        print("build flags: %s lacks %s, has %s" % (name, " ".join(missing) or "-", " ".join(forbidden) or "-"))
    if bad or not units:
        print("build flags: FAIL (%d of %d translation units)" % (len(bad), len(units)))
        return 1
    print("build flags: all %d translation units have %s" % (len(units), " ".join(required)))
    return 0


if __name__ == "__main__":
    sys.exit(main())
