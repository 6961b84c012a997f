"""Compares two result files of the identity check (identity_run.py or
condition_dump) line by line.

Categories whose arithmetic is fixed by the code alone (roots, the Polynomial,
HalfPower and RootPolynomial fits, refused calls, eigenvalues and inverses) must
agree bit for bit: any difference fails the comparison and is shown with its
call. Categories that go through the C library's exp, log, log10 or pow (the
logarithmic fits, the 'Dual' fits, the log10 condition figure) may differ in
the last bits between C libraries: for them the number of differing calls and
values, the largest difference in units in the last place and the largest
difference relative to the largest magnitude in the same result ("max rel.")
are reported.
With --all-exact every category must agree bit for bit (two builds that see
the same C library results).

    python3 identity_compare.py [--all-exact] [--cases CASES] A B
"""
import argparse
import re
import struct
import sys

LIBM_CATEGORIES = {"model0", "model1", "model2", "dual", "condition-figure"}
FLOAT = re.compile(r"-?0x[0-9a-fA-F]+(?:\.[0-9a-fA-F]*)?p[+-]?\d+|-?inf|-?nan")
BUCKETS = (1, 4, 1 << 10, 1 << 20, 1 << 40)


def read(path):
    rows = []
    with open(path) as handle:
        for line in handle:
            category, index, message, payload = line.rstrip("\n").split("\t", 3)
            rows.append((category, int(index), message, payload))
    return rows


def ordered(value):
    """The double's position on the number line, counted in ulps from 0."""
    bits = struct.unpack("<q", struct.pack("<d", value))[0]
    return bits if bits >= 0 else -(bits & 0x7FFFFFFFFFFFFFFF)


def same_bits(a, b):
    return (a != a and b != b) or struct.pack("<d", a) == struct.pack("<d", b)


def finite(value):
    return value == value and abs(value) != float("inf")


def ulps(a, b):
    if a != a or b != b or abs(a) == float("inf") or abs(b) == float("inf"):
        return float("inf")
    return abs(ordered(a) - ordered(b))


class Tally(object):
    def __init__(self):
        self.calls = 0
        self.differing_calls = 0
        self.structural = 0
        self.values = 0
        self.differing_values = 0
        self.max_ulps = 0
        self.max_scaled = 0.0
        self.buckets = [0] * (len(BUCKETS) + 1)
        self.examples = []

    def add(self, row_a, row_b):
        self.calls += 1
        skeleton_a, values_a = FLOAT.sub("#", row_a[3]), FLOAT.findall(row_a[3])
        skeleton_b, values_b = FLOAT.sub("#", row_b[3]), FLOAT.findall(row_b[3])
        if row_a[2] != row_b[2] or skeleton_a != skeleton_b:
            self.structural += 1
            self.differing_calls += 1
            self.examples.append((row_a[1], "status, message or shape differs"))
            return
        self.values += len(values_a)
        numbers_a = [float.fromhex(text) for text in values_a]
        numbers_b = [float.fromhex(text) for text in values_b]
        largest = max([abs(v) for v in numbers_a if finite(v)] + [0.0])
        worst = 0
        differing = 0
        for a, b in zip(numbers_a, numbers_b):
            if not same_bits(a, b):
                differing += 1
                worst = max(worst, ulps(a, b))
                if finite(a) and finite(b) and largest > 0:
                    self.max_scaled = max(self.max_scaled, abs(a - b) / largest)
        if differing:
            self.differing_calls += 1
            self.differing_values += differing
            self.max_ulps = max(self.max_ulps, worst)
            self.buckets[sum(1 for limit in BUCKETS if worst > limit)] += 1
            self.examples.append((row_a[1], "%d values differ, up to %s ulps" % (differing, fmt_ulps(worst))))


def fmt_ulps(value):
    return "inf" if value == float("inf") else "%d" % value


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--all-exact", action="store_true")
    parser.add_argument("--cases", help="case file, to show the calls that differ")
    parser.add_argument("--label", default="", help="name of the comparison, for the report")
    parser.add_argument("a")
    parser.add_argument("b")
    options = parser.parse_args()

    rows_a, rows_b = read(options.a), read(options.b)
    if len(rows_a) != len(rows_b) or any(x[:2] != y[:2] for x, y in zip(rows_a, rows_b)):
        print("identity: FAIL %s: the files hold different calls (%d and %d lines)"
              % (options.label, len(rows_a), len(rows_b)))
        return 1
    tallies = {}
    for row_a, row_b in zip(rows_a, rows_b):
        tallies.setdefault(row_a[0], Tally()).add(row_a, row_b)

    cases = None
    if options.cases:
        with open(options.cases) as handle:
            cases = handle.read().splitlines()

    print("identity %s: %s vs %s" % (options.label, options.a, options.b))
    print("  %-17s %6s %9s %6s %7s %9s %-18s %-9s %s" % (
        "category", "calls", "differing", "shape", "values", "differing", "max ulps", "max rel.",
        "calls by max ulps: 1, <=4, <=2^10, <=2^20, <=2^40, more"))
    failed = []
    for category in sorted(tallies):
        tally = tallies[category]
        exact = options.all_exact or category not in LIBM_CATEGORIES
        print("  %-17s %6d %9d %6d %7d %9d %-18s %-9.2g %s%s" % (
            category, tally.calls, tally.differing_calls, tally.structural, tally.values,
            tally.differing_values, fmt_ulps(tally.max_ulps), tally.max_scaled, tally.buckets,
            "  [bit-identical required]" if exact else ""))
        if exact and tally.differing_calls:
            failed.append(category)
    for category in failed:
        for index, what in tallies[category].examples[:3]:
            print("  differs: %s call %d: %s" % (category, index, what))
            if cases is not None:
                print("    call: %s" % cases[index][:400])
    libm = [t for c, t in tallies.items() if c in LIBM_CATEGORIES]
    if libm and not options.all_exact:
        print("  C library categories: %d of %d calls differ (%d of them in status, message or shape), "
              "%d of %d values, at most %s ulps, at most %.2g of the largest value of the same result"
              % (sum(t.differing_calls for t in libm), sum(t.calls for t in libm),
                 sum(t.structural for t in libm), sum(t.differing_values for t in libm),
                 sum(t.values for t in libm), fmt_ulps(max(t.max_ulps for t in libm)),
                 max(t.max_scaled for t in libm)))
    print("identity %s: %s" % (options.label, "FAIL (%s)" % ", ".join(failed) if failed else "PASS"))
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
