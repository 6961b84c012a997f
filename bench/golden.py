"""Golden record of the module's results: a seeded series of calls of
findRoots, optimizeModel and optimizeDualModel whose every status, written
message and payload float (as float.hex text) is kept, so that a change meant
to make the module faster can be shown to change no result bit.

The calls cover every model (and ids outside the catalogue), orders 0 to 6 and
beyond, every flag combination 0 .. 63 (and stray high bits), 0 to 40 points
with invalid ones, points as tuples and lists of floats, ints, bools, huge ints
and float subclasses, malformed points and arguments, polynomials of degree 0
to 26, and a few fits of tens of thousands of points.

The cases come from random.random() alone, which gives the same sequence under
Python 2.7 and 3, and from arithmetic that is exact or correctly rounded (no
C library exp or log), so both interpreters replay the very same calls. Each
line of the record holds the call's number, function, a digest of its
arguments, the status, the message and a digest of the full payload dump.

    python golden.py record FILE     write the record of the module on the path
    python golden.py check FILE      compare with FILE; exit 1 on any difference,
                                     77 when FILE was made on another platform
    python golden.py show INDEX      print call INDEX and its full result
    python golden.py dump FILE CALLS the record with every payload in full, of the
                                     calls pickled in CALLS (written when missing:
                                     an i386 interpreter computes some arguments
                                     on the x87 unit, so it takes the host's)
    python golden.py compare A B     two dumps, e.g. of a 64-bit and a 32-bit build:
                                     the same bits where no C library exp, log or
                                     pow takes part, within LIBM_BOUND elsewhere
"""
import hashlib
import json
import math
import os
import pickle
import platform
import re
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "support"))
import tallowfit  # noqa: E402
from recording import dump, recorded_text  # noqa: E402
from seeded_calls import (Draw, call_series, dual_tail, flag_word, malformed,  # noqa: E402
                          order_value, point_count, spoil_points)

SEED = 20261206
SMALL_CALLS = 4200
LARGE_SIZES = (5000, 20000, 100000)
SKIPPED = 77
# The logarithmic models and the two-range model compute with the C library's
# exp, log and pow, whose last bit may differ between C libraries: their
# payloads may differ by this much, relative to the call's largest magnitude.
LIBM_MODELS = (0, 1, 2, 3)
LIBM_BOUND = 1e-2
FLOAT = re.compile(r"-?(?:0x[0-9a-f.]+p[-+]\d+|inf|nan)")

# Point items that are not plain floats, each read as PyArg_Parse reads it.
class Real(float):
    """A float subclass: read through its own conversion."""


class Number(object):
    """An object with a float conversion of its own."""

    def __init__(self, value):
        self.value = value

    def __float__(self):
        return self.value


class Shrinking(object):
    """A number whose conversion empties the list it sits in."""

    def __init__(self, owner):
        self.owner = owner

    def __float__(self):
        del self.owner[:]
        return 2.0


SPECIALS = (float("nan"), float("inf"), float("-inf"), 0.0, -0.0, 5e-324, 1e-300, 1e300,
            1e39, 1e-46, 3.4028235677973366e38, 16777217.0, 0.1)


def special_number(draw):
    return draw.pick(SPECIALS + (2 ** 200, -(2 ** 70), 10 ** 400, True, 3, -7, 2 ** 24 + 1))


def coefficient_list(draw):
    degree = draw.integer(0, 26)
    kind = draw.integer(0, 6)
    if kind == 0:
        values = [float(draw.integer(-10, 10)) for _ in range(degree + 1)]
    elif kind == 1:
        values = [draw.integer(-10, 10) for _ in range(degree + 1)]
    elif kind == 2:
        values = [draw.real(-1.0, 1.0) * 2.0 ** draw.integer(-300, 300) for _ in range(degree + 1)]
    elif kind == 3:  # x^n - a: roots on a circle
        values = [draw.real(-4.0, 4.0)] + [0.0] * max(degree - 1, 0) + [1.0]
    else:
        values = [draw.real(-1.0, 1.0) * 2.0 ** draw.integer(-4, 4) for _ in range(degree + 1)]
    if values and values[-1] == 0.0:
        values[-1] = 1.0
    if draw.chance(0.15):
        values[draw.integer(0, len(values) - 1)] = special_number(draw)
    if draw.chance(0.05):
        values[draw.integer(0, len(values) - 1)] = draw.pick(
            ["1", None, Real(1.5), Number(2.5), [1.0], 1j])
    if draw.chance(0.05):
        values[-1] = draw.pick([0.0, -0.0, 5e-324])
    return values


def roots_call(draw):
    refused = malformed(draw, "findRoots", 0.05)
    return refused if refused is not None else (coefficient_list(draw),)


def curve_value(draw, model, x, shape):
    """y near a curve the model can fit, from exact or correctly rounded arithmetic."""
    a, b, c = shape
    if model in (0, 1, 2, 3):
        return a * x * math.sqrt(abs(x)) if b > 0 else a * x / (1.0 + abs(x))
    if model == 4:
        return a + b * math.sqrt(abs(x))
    if model == 5:
        return math.sqrt(abs(a * a + b * b * x))
    return a + b * x + c * x * x


def point_number(draw, value):
    """The value as a point item: usually a float, sometimes another number."""
    r = draw.unit()
    if r < 0.85:
        return value
    if r < 0.93:
        return int(value) if value == value and abs(value) < 1e18 else value
    return special_number(draw) if r < 0.98 else draw.pick([Real(value), True, Number(value)])


def point_list(draw, model, count):
    low = draw.pick([1.125, 1.5, 2.0, 0.5, 0.0625, -2.0, 0.0]) if model not in (1, 3) else \
        draw.pick([1.125, 1.5, 2.0, 3.0])
    step = draw.integer(1, 64) / float(draw.pick([4, 8, 16, 32]))
    shape = (draw.real(0.1, 8.0), draw.pick([-1.0, 1.0, 0.5, 2.0]), draw.real(-1.0, 1.0))
    relative = draw.real(0.001, 0.2)
    zero_uncertainty = draw.chance(0.15)
    mixed = draw.chance(0.3)
    points = []
    for k in range(count):
        x = low + step * k
        y = curve_value(draw, model, x, shape) * (1.0 + draw.real(-0.01, 0.01))
        unc = 0.0 if zero_uncertainty else abs(y) * relative + 2.0 ** -20
        values = [x, y, unc]
        if mixed:
            values = [point_number(draw, v) for v in values]
        points.append(list(values) if draw.chance(0.2) else tuple(values))
    spoil_points(draw, points, SPECIALS)
    r = draw.unit()
    if count and r < 0.04:  # an item that is not three numbers
        points[draw.integer(0, count - 1)] = draw.pick(
            [(1.0, 2.0), (1.0, 2.0, 3.0, 4.0), "xyz", None, 3.0, (1.0, "2", 3.0), [[1.0], 2.0, 3.0]])
    elif count and r < 0.05:
        points[draw.integer(0, count - 1)] = (2.0, Shrinking(points), 1.0)
    elif r < 0.06:
        return tuple(points)
    return points


def model_call(draw, index):
    refused = malformed(draw, "optimizeModel", 0.02)
    if refused is not None:
        return refused
    model = index // 64 % 7 if not draw.chance(0.04) else draw.pick([-1, 7, 100])
    points = point_list(draw, model if 0 <= model <= 6 else 1, point_count(draw))
    return (points, model, order_value(draw), flag_word(draw, index % 64))


def dual_call(draw, index):
    refused = malformed(draw, "optimizeDualModel", 0.03)
    if refused is not None:
        return refused
    points = point_list(draw, 3, point_count(draw))
    xs = sorted(p[0] for p in points if isinstance(p, tuple) and len(p) == 3
                and isinstance(p[0], float))
    return (points,) + dual_tail(draw, xs, index % 64)


def large_calls():
    """Long runs, each a clean curve with every point valid."""
    calls = []
    for size in LARGE_SIZES:
        loglog = [(1.0 + 0.001 * k, 2.0 * (1.0 + 0.001 * k) * math.sqrt(1.0 + 0.001 * k) * (1.0 + 1e-3 * ((k * 7919) % 13 - 6)),
                   0.01) for k in range(1, size + 1)]
        line = [(0.01 * k, 3.0 + 0.5 * 0.01 * k + 0.001 * ((k * 104729) % 17 - 8), 0.25)
                for k in range(size)]
        calls.append(("optimizeModel", (line, 6, 3, 0)))
        calls.append(("optimizeModel", (loglog, 1, 3, 2)))
        calls.append(("optimizeModel", (line, 5, 0, 42)))
        calls.append(("optimizeDualModel", (loglog, loglog[size // 2][0], 2, 3, 2)))
    return calls


def all_calls():
    draw = Draw(SEED)
    return call_series(SMALL_CALLS, lambda index: roots_call(draw),
                       lambda index: model_call(draw, index),
                       lambda index: dual_call(draw, index)) + large_calls()


def digest(text):
    return hashlib.sha1(text.encode("utf-8")).hexdigest()[:16]


def run(function, args):
    """(argument dump, status, message, payload dump) of one call."""
    arguments = dump(list(args))  # before the call: a conversion may change the points
    return (arguments,) + recorded_text(getattr(tallowfit, function), args)


def platform_line():
    """The record holds the C library's exp, log and pow results, so it is
    checked only where it was made."""
    return "# platform %s %s %s\n" % (platform.system(), platform.machine(),
                                      platform.libc_ver()[0])


def record_lines(calls, full=False):
    yield platform_line()
    for index, (function, args) in enumerate(calls):
        arguments, status, message, payload = run(function, args)
        yield "%d\t%s\t%s\t%s\t%s\t%s\n" % (index, function, digest(arguments), status,
                                            json.dumps(message), payload if full else digest(payload))


def uses_libm(function, args):
    return function == "optimizeDualModel" or (
        function == "optimizeModel" and len(args) > 1 and args[1] in LIBM_MODELS)


def relative_difference(a, b):
    """Largest difference between the floats of two payload dumps, relative to
    their largest finite magnitude; infinity when anything else differs."""
    xs, ys = FLOAT.findall(a), FLOAT.findall(b)
    if FLOAT.sub("", a) != FLOAT.sub("", b) or len(xs) != len(ys):
        return float("inf")
    pairs = [(float.fromhex(x), float.fromhex(y)) for x, y in zip(xs, ys) if x != y]
    if any(math.isinf(x) or math.isinf(y) or x != x or y != y for x, y in pairs):
        return float("inf")
    scale = max([abs(v) for v in map(float.fromhex, xs) if not (math.isinf(v) or v != v)] + [5e-324])
    return max(abs(x - y) for x, y in pairs) / scale


def compare(ours, theirs):
    differing, bounded, largest = 0, 0, 0.0
    for (function, args), a, b in zip(all_calls(), ours[1:], theirs[1:]):
        if a == b:
            continue
        a, b = a.rstrip("\n").split("\t"), b.rstrip("\n").split("\t")
        difference = relative_difference(a[5], b[5]) if a[:5] == b[:5] and uses_libm(function, args) \
            else float("inf")
        if difference <= LIBM_BOUND:
            bounded += 1
            largest = max(largest, difference)
        else:
            differing += 1
            if differing <= 10:
                sys.stderr.write("call %s differs: %s %s\n" % (a[0], a[1], a[3:5] if a[3:5] != b[3:5] else ""))
    sys.stdout.write("%d calls: %d the same bits, %d within %g (largest %.3g), %d differ\n" % (
        len(ours) - 1, len(ours) - 1 - bounded - differing, bounded, LIBM_BOUND, largest, differing))
    return 1 if differing or len(ours) != len(theirs) else 0


def main(argv):
    if len(argv) == 3 and argv[1] == "record":
        with open(argv[2], "w") as target:
            target.writelines(record_lines(all_calls()))
        return 0
    if len(argv) == 4 and argv[1] == "dump":
        if not os.path.exists(argv[3]):
            with open(argv[3], "wb") as target:
                pickle.dump(all_calls(), target, 2)
        with open(argv[3], "rb") as source, open(argv[2], "w") as target:
            target.writelines(record_lines(pickle.load(source), full=True))
        return 0
    if len(argv) == 4 and argv[1] == "compare":
        with open(argv[2]) as ours, open(argv[3]) as theirs:
            return compare(ours.readlines(), theirs.readlines())
    if len(argv) == 3 and argv[1] == "check":
        with open(argv[2]) as source:
            expected = source.readlines()
        if expected[:1] != [platform_line()]:
            sys.stderr.write("recorded on another platform: %s" % expected[0])
            return SKIPPED
        actual = list(record_lines(all_calls()))
        differing = [(e, a) for e, a in zip(expected, actual) if e != a]
        for e, a in differing[:10]:
            sys.stderr.write("expected %sactual   %s" % (e, a))
        if len(expected) != len(actual):
            sys.stderr.write("%d calls recorded, %d made\n" % (len(expected), len(actual)))
        sys.stderr.write("%d of %d calls differ\n" % (len(differing), len(actual)))
        return 1 if differing or len(expected) != len(actual) else 0
    if len(argv) == 3 and argv[1] == "show":
        function, args = all_calls()[int(argv[2])]
        arguments, status, message, payload = run(function, args)
        sys.stdout.write("%s%s\nstatus %s\nmessage %s\npayload %s\n" % (
            function, arguments, status, json.dumps(message), payload))
        return 0
    sys.stderr.write(__doc__)
    return 2


if __name__ == "__main__":
    sys.exit(main(sys.argv))
