"""Golden record: a seeded series of calls of findRoots, optimizeModel and
optimizeDualModel (every model and ids outside it, orders, flag words, hostile
points and arguments, polynomials of degree 0 to 26, fits of up to 10^5 points)
whose statuses, messages and payloads are kept as float.hex digests, so that a
faster module can be shown to change no result bit. The cases come from
random.random() and exact or correctly rounded arithmetic alone, so Python 2.7
and 3 replay the same calls.

    record FILE       write the record of the module on the path
    check FILE        exit 1 on any difference, 77 when FILE was made elsewhere
    show INDEX        print call INDEX and its full result
    dump FILE CALLS   the record with full payloads of the calls pickled in CALLS (written
                      when missing: an i386 interpreter computes some on the x87 unit)
    compare A B       two dumps: the same bits where no C library exp, log or pow takes
                      part, within LIBM_BOUND elsewhere
"""
import hashlib
import json
import math
import os
import pickle
import platform
import random
import re
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "support"))
import tallowfit  # noqa: E402
from hostile_items import FloatSub, ListChanger, clear  # noqa: E402
from recording import dump, recorded_text  # noqa: E402

# Argument lists that each entry refuses as a whole.
MALFORMED = {"findRoots": [(), ([1.0], [2.0]), ((2.0, -3.0, 1.0),), (None,), ("123",), ([],), (dict(),), ([True, 1],)],
             "optimizeModel": [([], 1), ([], 1, 0, 0, 0), ([], "1", 0, 0), ([], 1, 0, 2 ** 31),
                               ([], 1, -2 ** 31 - 1, 0), (None, 6, 0, 0), ([], 1.5, 0, 0)],
             "optimizeDualModel": [([], 1.0, 0, 0), ([], "x", 0, 0, 0), ([], 1.0, 0, 0, 0, 0), ([], 1.0, 2 ** 31, 0, 0)]}
INVALID_VALUES = [0.0, -1.0, -0.5, 0.5, 1.0]  # an invalid point's slot, besides the specials


class Draw(random.Random):
    unit = random.Random.random

    def integer(self, low, high):
        return low + int(self.unit() * (high - low + 1))

    def pick(self, items):
        return items[self.integer(0, len(items) - 1)]

    def chance(self, p):
        return self.unit() < p

    def real(self, low, high):
        return low + (high - low) * self.unit()


def flag_word(draw, value):
    """value, sometimes with stray high bits or all bits set."""
    r = draw.unit()
    return value | draw.pick([64, 1 << 20, 1 << 30]) if r < 0.03 else -1 if r < 0.04 else value


def order_value(draw):
    return draw.pick([-1, 7, 30]) if draw.chance(0.03) else draw.integer(0, 6)


def point_count(draw, least=2):
    return draw.pick([draw.integer(0, 8), draw.integer(least, 40), draw.integer(least, 40)])


def spoil_points(draw, points, specials):
    """Some points (tuples) made invalid in one slot, in place."""
    count = len(points)
    if count and draw.chance(0.3):
        for _ in range(draw.integer(1, 3)):
            values = list(points[draw.integer(0, count - 1)])
            values[draw.integer(0, 2)] = draw.pick(INVALID_VALUES + list(specials))
            points[draw.integer(0, count - 1)] = tuple(values)


def dual_tail(draw, xs, flags):
    """(threshold, lower order, upper order, flags) of a Dual fit of points
    whose valid abscissae, sorted, are xs: mostly a threshold among them."""
    threshold = draw.pick([float(draw.integer(1, 64)), float("nan"), -1.0, 1e30, 3])
    if xs and draw.chance(0.8):
        threshold = draw.pick([xs[len(xs) // 2], xs[len(xs) // 3], (xs[0] + xs[-1]) / 2, xs[0]])
    orders = [draw.pick([0, 0, 0, 2, 3, order_value(draw)]) for _ in range(2)]
    return (threshold, orders[0], orders[1], flag_word(draw, flags))


SEED = 20261206
SMALL_CALLS = 4200
LARGE_SIZES = (5000, 20000, 100000)
SKIPPED = 77  # the test runner's status of a test skipped
# The logarithmic and two-range models use the C library's exp, log and pow, whose last bit
# differs between libraries: payloads may differ by this much, relative to the largest magnitude.
LIBM_MODELS = (0, 1, 2, 3)
LIBM_BOUND = 1e-2
FLOAT = re.compile(r"-?(?:0x[0-9a-f.]+p[-+]\d+|inf|nan)")

# Point items with a float conversion of their own (named in the record): one that
# changes nothing, one that empties the list it sits in.
Number = type("Number", (ListChanger,), {"__init__": lambda self, value: ListChanger.__init__(self, [], list, value)})
Shrinking = type("Shrinking", (ListChanger,), {"__init__": lambda self, owner: ListChanger.__init__(self, owner, clear, 2.0)})


SPECIALS = (float("nan"), float("inf"), float("-inf"), 0.0, -0.0, 5e-324, 1e-300, 1e300,
            1e39, 1e-46, 3.4028235677973366e38, 16777217.0, 0.1)


COEFFICIENTS = (lambda draw: float(draw.integer(-10, 10)), lambda draw: draw.integer(-10, 10),
                lambda draw: draw.real(-1.0, 1.0) * 2.0 ** draw.integer(-300, 300),
                lambda draw: draw.real(-1.0, 1.0) * 2.0 ** draw.integer(-4, 4))


def special_number(draw):
    return draw.pick(SPECIALS + (2 ** 200, -(2 ** 70), 10 ** 400, True, 3, -7, 2 ** 24 + 1))


def coefficient_list(draw):
    degree, kind = draw.integer(0, 26), draw.integer(0, 6)
    if kind == 3:  # x^n - a: roots on a circle
        values = [draw.real(-4.0, 4.0)] + [0.0] * max(degree - 1, 0) + [1.0]
    else:
        values = [COEFFICIENTS[min(kind, 3)](draw) for _ in range(degree + 1)]
    if values and values[-1] == 0.0:
        values[-1] = 1.0
    if draw.chance(0.15):
        values[draw.integer(0, len(values) - 1)] = special_number(draw)
    if draw.chance(0.05):
        values[draw.integer(0, len(values) - 1)] = draw.pick(["1", None, FloatSub(1.5), Number(2.5), [1.0], 1j])
    if draw.chance(0.05):
        values[-1] = draw.pick([0.0, -0.0, 5e-324])
    return values


# y of a curve each model can fit, from exact or correctly rounded arithmetic.
CURVES = [lambda a, b, c, x: a * x * math.sqrt(abs(x)) if b > 0 else a * x / (1.0 + abs(x))] * 4 + [
    lambda a, b, c, x: a + b * math.sqrt(abs(x)), lambda a, b, c, x: math.sqrt(abs(a * a + b * b * x)),
    lambda a, b, c, x: a + b * x + c * x * x]


def point_number(draw, value):
    """The value as a point item: usually a float, sometimes another number."""
    r = draw.unit()
    return value if r < 0.85 else (int(value) if value == value and abs(value) < 1e18 else value) if r < 0.93 \
        else special_number(draw) if r < 0.98 else draw.pick([FloatSub(value), True, Number(value)])


def point_list(draw, model, count):
    low = draw.pick([1.125, 1.5, 2.0, 0.5, 0.0625, -2.0, 0.0]) if model not in (1, 3) else \
        draw.pick([1.125, 1.5, 2.0, 3.0])
    step = draw.integer(1, 64) / float(draw.pick([4, 8, 16, 32]))
    shape = (draw.real(0.1, 8.0), draw.pick([-1.0, 1.0, 0.5, 2.0]), draw.real(-1.0, 1.0))
    relative, zero_uncertainty, mixed = draw.real(0.001, 0.2), draw.chance(0.15), draw.chance(0.3)
    points = []
    for k in range(count):
        x = low + step * k
        y = CURVES[model](*shape + (x,)) * (1.0 + draw.real(-0.01, 0.01))
        unc = 0.0 if zero_uncertainty else abs(y) * relative + 2.0 ** -20
        values = [point_number(draw, v) for v in (x, y, unc)] if mixed else [x, y, unc]
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
    model = index // 64 % 7 if not draw.chance(0.04) else draw.pick([-1, 7, 100])
    points = point_list(draw, model if 0 <= model <= 6 else 1, point_count(draw))
    return (points, model, order_value(draw), flag_word(draw, index % 64))


def dual_call(draw, index):
    points = point_list(draw, 3, point_count(draw))
    xs = sorted(p[0] for p in points if isinstance(p, tuple) and len(p) == 3 and isinstance(p[0], float))
    return (points,) + dual_tail(draw, xs, index % 64)


def large_calls():
    """Long runs, each a clean curve with every point valid."""
    calls = []
    for size in LARGE_SIZES:
        loglog = [(1.0 + 0.001 * k, 2.0 * (1.0 + 0.001 * k) * math.sqrt(1.0 + 0.001 * k) * (1.0 + 1e-3 * ((k * 7919) % 13 - 6)),
                   0.01) for k in range(1, size + 1)]
        line = [(0.01 * k, 3.0 + 0.5 * 0.01 * k + 0.001 * ((k * 104729) % 17 - 8), 0.25)
                for k in range(size)]
        calls += [("optimizeModel", (line, 6, 3, 0)), ("optimizeModel", (loglog, 1, 3, 2)),
                  ("optimizeModel", (line, 5, 0, 42)), ("optimizeDualModel", (loglog, loglog[size // 2][0], 2, 3, 2))]
    return calls


# Of every eight calls three of findRoots, four of optimizeModel, one of optimizeDualModel,
# each with this share of argument lists refused as a whole.
FUNCTIONS = ("findRoots",) * 3 + ("optimizeModel",) * 4 + ("optimizeDualModel",)
MAKERS = {"findRoots": (0.05, lambda draw, index: (coefficient_list(draw),)),
          "optimizeModel": (0.02, model_call), "optimizeDualModel": (0.03, dual_call)}


def all_calls():
    draw, calls = Draw(SEED), []
    for index in range(SMALL_CALLS):
        function = FUNCTIONS[index % 8]
        share, make = MAKERS[function]
        refused = draw.pick(MALFORMED[function]) if draw.chance(share) else None
        calls.append((function, refused if refused is not None else make(draw, index)))
    return calls + large_calls()


def digest(text):
    return hashlib.sha1(text.encode("utf-8")).hexdigest()[:16]


def run(function, args):
    """(argument dump, status, message, payload dump) of one call."""
    arguments = dump(list(args))  # before the call: a conversion may change the points
    return (arguments,) + recorded_text(getattr(tallowfit, function), args)


# The record holds the C library's exp, log and pow results: checked only where made.
PLATFORM = "# platform %s %s %s\n" % (platform.system(), platform.machine(), platform.libc_ver()[0])


def record_lines(calls, full=False):
    yield PLATFORM
    for index, (function, args) in enumerate(calls):
        arguments, status, message, payload = run(function, args)
        yield "%d\t%s\t%s\t%s\t%s\t%s\n" % (index, function, digest(arguments), status,
                                            json.dumps(message), payload if full else digest(payload))


def relative_difference(a, b):
    """Largest difference between the floats of two payload dumps, relative to
    their largest finite magnitude; infinity when anything else differs."""
    xs, ys = FLOAT.findall(a), FLOAT.findall(b)
    pairs = [(float.fromhex(x), float.fromhex(y)) for x, y in zip(xs, ys) if x != y]
    if FLOAT.sub("", a) != FLOAT.sub("", b) or len(xs) != len(ys) or \
            any(math.isinf(x) or math.isinf(y) or x != x or y != y for x, y in pairs):
        return float("inf")
    scale = max([abs(v) for v in map(float.fromhex, xs) if not (math.isinf(v) or v != v)] + [5e-324])
    return max(abs(x - y) for x, y in pairs) / scale


def compare(ours, theirs):
    differing, bounded, largest = 0, 0, 0.0
    for (function, args), a, b in zip(all_calls(), ours[1:], theirs[1:]):
        if a == b:
            continue
        a, b = a.rstrip("\n").split("\t"), b.rstrip("\n").split("\t")
        libm = function == "optimizeDualModel" or (function == "optimizeModel" and len(args) > 1 and args[1] in LIBM_MODELS)
        difference = relative_difference(a[5], b[5]) if a[:5] == b[:5] and libm else float("inf")
        if difference <= LIBM_BOUND:
            bounded, largest = bounded + 1, max(largest, difference)
        else:
            differing += 1
            if differing <= 10:
                sys.stderr.write("call %s differs: %s %s\n" % (a[0], a[1], a[3:5] if a[3:5] != b[3:5] else ""))
    sys.stdout.write("%d calls: %d the same bits, %d within %g (largest %.3g), %d differ\n" % (
        len(ours) - 1, len(ours) - 1 - bounded - differing, bounded, LIBM_BOUND, largest, differing))
    return 1 if differing or len(ours) != len(theirs) else 0


def main(argv):
    if (len(argv), argv[1:2]) in ((3, ["record"]), (4, ["dump"])):
        if len(argv) == 4 and not os.path.exists(argv[3]):
            with open(argv[3], "wb") as target:
                pickle.dump(all_calls(), target, 2)
        calls = all_calls() if len(argv) == 3 else pickle.load(open(argv[3], "rb"))
        with open(argv[2], "w") as target:
            target.writelines(record_lines(calls, full=len(argv) == 4))
        return 0
    if len(argv) == 4 and argv[1] == "compare":
        with open(argv[2]) as ours, open(argv[3]) as theirs:
            return compare(ours.readlines(), theirs.readlines())
    if len(argv) == 3 and argv[1] == "check":
        with open(argv[2]) as source:
            expected = source.readlines()
        if expected[:1] != [PLATFORM]:
            sys.stderr.write("recorded on another platform: %s" % expected[0])
            return SKIPPED
        actual = list(record_lines(all_calls()))
        differing = [(e, a) for e, a in zip(expected, actual) if e != a]
        sys.stderr.write("".join("expected %sactual   %s" % pair for pair in differing[:10]) +
                         "%d calls recorded, %d made, %d differ\n" % (  # the platform line aside
                             len(expected) - 1, len(actual) - 1, len(differing)))
        return 1 if differing or len(expected) != len(actual) else 0
    if len(argv) == 3 and argv[1] == "show":
        function, args = all_calls()[int(argv[2])]
        arguments, status, message, payload = run(function, args)
        sys.stdout.write("%s%s\nstatus %s\nmessage %s\npayload %s\n" % (function, arguments, status, json.dumps(message), payload))
        return 0
    sys.stderr.write(__doc__)
    return 2


if __name__ == "__main__":
    sys.exit(main(sys.argv))
