"""Writes a seeded series of calls of findRoots, optimizeModel and
optimizeDualModel for the cross-platform identity check: random and adversarial
polynomials of degree 0 to 26, fits of every model with orders 0 to 6, flag
combinations and 0 to 40 points (invalid ones included), malformed arguments.

Every float is written as float.hex text inside F('...'), so that every build
reads the very same doubles: the cases are made once, by this script under
Python 3, and identity_run.py replays them under each interpreter. Curve values
come from the decimal module (correctly rounded exp and ln), not from the C
library, so the same seed gives the same file on any machine.

One line per call: category, function name, argument tuple as an expression.

    python3 identity_cases.py SEED COUNT OUT
"""
import decimal
import os
import sys
from fractions import Fraction

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
from seeded_calls import (Draw, call_series, dual_tail, flag_word, malformed,  # noqa: E402
                          order_value, point_count, spoil_points)

D = decimal.Decimal
CONTEXT = decimal.Context(prec=34)
LN10 = CONTEXT.ln(D(10))

MODELS = (0, 1, 2, 4, 5, 6)
LOG_MODELS = (0, 1, 2)
SPECIALS = [float("nan"), float("inf"), float("-inf"), 0.0, -0.0, 5e-324, 2.2250738585072014e-308,
            1.7976931348623157e308, 1e-300, 1e300, 3.4028235677973366e38, 1e39, 1e-46]


def F(value):
    """The argument text of a double."""
    return "F('%s')" % float(value).hex()


def expression(value):
    if isinstance(value, float):
        return F(value)
    if isinstance(value, bool) or isinstance(value, int) or value is None:
        return repr(value)
    if isinstance(value, str):
        return repr(value)
    if isinstance(value, list):
        return "[" + ", ".join(expression(v) for v in value) + "]"
    if isinstance(value, dict) and not value:
        return "{}"
    if isinstance(value, tuple):
        inner = ", ".join(expression(v) for v in value)
        return "(" + inner + ("," if len(value) == 1 else "") + ")"
    raise TypeError(value)


class Cases(object):
    def __init__(self, seed):
        self.draw = Draw(seed)

    # -- numbers -----------------------------------------------------------
    def dyadic(self, bits=20, low=-8, high=8):
        """A random double with a short mantissa: m * 2**e."""
        m = self.draw.integer(-(1 << bits), 1 << bits)
        return float(Fraction(m) * Fraction(2) ** self.draw.integer(low, high))

    def special(self):
        return self.draw.pick(SPECIALS)

    # -- polynomials -------------------------------------------------------
    def from_roots(self, roots, scale=Fraction(1)):
        """Coefficients (ascending) of scale * prod(x - r), exact, then rounded once."""
        coefficients = [Fraction(1)]
        for root in roots:
            shifted = [Fraction(0)] + coefficients
            for k, c in enumerate(coefficients):
                shifted[k] -= root * c
            coefficients = shifted
        return [to_float(scale * c) for c in coefficients]

    def chebyshev(self, n):
        previous, current = [1], [0, 1]
        if n == 0:
            return [1.0]
        for _ in range(n - 1):
            following = [0] + [2 * c for c in current]
            for k, c in enumerate(previous):
                following[k] -= c
            previous, current = current, following
        return [float(c) for c in current]

    def polynomial(self):
        draw = self.draw
        degree = draw.integer(0, 26)
        kind = draw.integer(0, 14 - 1)
        if kind == 0:
            coefficients = [self.dyadic() for _ in range(degree + 1)]
        elif kind == 1:
            coefficients = [float(draw.integer(-10, 10)) for _ in range(degree + 1)]
        elif kind == 2:  # integer roots, up to the Wilkinson polynomial
            coefficients = self.from_roots([Fraction(k) for k in range(1, min(degree, 24) + 1)])
        elif kind == 3:  # one root of high multiplicity
            root = Fraction(draw.integer(-8, 8), draw.pick([1, 2, 4, 3]))
            coefficients = self.from_roots([root] * min(degree, 24))
        elif kind == 4:  # clustered roots
            centre = Fraction(draw.integer(-4, 4))
            coefficients = self.from_roots(
                [centre + Fraction(draw.integer(-16, 16), 1 << 20) for _ in range(min(degree, 24))])
        elif kind == 5:  # x^n - a and x^n + a: roots on a circle
            n = max(degree, 1)
            a = float(Fraction(2) ** draw.integer(-40, 40)) * draw.pick([1.0, -1.0])
            coefficients = [a] + [0.0] * (n - 1) + [1.0]
        elif kind == 6:
            coefficients = self.chebyshev(min(degree, 24))
        elif kind == 7:  # conjugate pairs a +- bi
            pairs = []
            for _ in range(min(degree, 24) // 2):
                a = Fraction(draw.integer(-64, 64), 16)
                b = Fraction(draw.integer(1, 64), 16)
                pairs.append((a, b))
            coefficients = [Fraction(1)]
            for a, b in pairs:
                quadratic = [a * a + b * b, -2 * a, Fraction(1)]
                product = [Fraction(0)] * (len(coefficients) + 2)
                for i, c in enumerate(coefficients):
                    for j, q in enumerate(quadratic):
                        product[i + j] += c * q
                coefficients = product
            coefficients = [float(c) for c in coefficients]
        elif kind == 8:  # wide exponent range
            coefficients = [self.dyadic(30, -300, 300) for _ in range(degree + 1)]
        elif kind == 9:  # whole polynomial scaled to the edges of the range
            scale = float(Fraction(2) ** draw.pick([-1060, -1000, -600, 500, 900, 1000]))
            coefficients = [to_float(Fraction(self.dyadic()) * Fraction(scale)) for _ in range(degree + 1)]
        elif kind == 10:  # zero roots: low coefficients zero
            coefficients = [self.dyadic() for _ in range(degree + 1)]
            for k in range(draw.integer(0, degree)):
                coefficients[k] = draw.pick([0.0, -0.0])
        elif kind == 11:  # special values somewhere
            coefficients = [self.dyadic() for _ in range(degree + 1)]
            for _ in range(draw.integer(1, 3)):
                coefficients[draw.integer(0, len(coefficients) - 1)] = self.special()
        elif kind == 12:  # leading coefficient zero, tiny or huge
            coefficients = [self.dyadic() for _ in range(degree + 1)]
            coefficients[-1] = draw.pick([0.0, -0.0, 5e-324, 1e-300, 1e300])
        else:  # random doubles with full mantissas
            coefficients = [draw.real(-1, 1) * 2.0 ** draw.integer(-4, 4) for _ in range(degree + 1)]
        if coefficients and coefficients[-1] == 0.0 and kind not in (10, 11, 12):
            coefficients[-1] = 1.0
        if draw.unit() < 0.1:  # integers are accepted as coefficients
            coefficients = [int(c) if c == c and abs(c) < 1e15 and c == int(c) else c
                            for c in coefficients]
        return coefficients

    def roots_call(self, index):
        refused = malformed(self.draw, "findRoots", 0.03)
        return ("args", refused) if refused is not None else ("roots", (self.polynomial(),))

    # -- points ------------------------------------------------------------
    def abscissae(self, model, count):
        draw = self.draw
        if model in (1, 3):
            low = Fraction(draw.integer(9, 64), 8)  # LogLog needs x > 1
        elif model == 0 or model == 2:
            low = Fraction(draw.integer(1, 64), 16)
        else:
            low = Fraction(draw.integer(0, 64), 16) * draw.pick([1, 1, 1, -1])
        step = Fraction(draw.integer(1, 64), draw.pick([4, 8, 16, 32]))
        xs = [low + step * k for k in range(count)]
        if draw.unit() < 0.3:
            xs.sort(key=lambda x: draw.unit())
        return xs

    def curve(self, model, order):
        """A function from Fraction x to Decimal y near which the points lie."""
        draw = self.draw
        n = min(max(order, 2), 3) if model in LOG_MODELS else max(order, 2)
        c = [D(draw.integer(-64, 64)) / D(draw.pick([16, 64, 256])) for _ in range(n)]
        if model == 1:
            return lambda x: CONTEXT.exp(horner(c, CONTEXT.ln(dec(x))) / 4)
        if model == 0:
            return lambda x: CONTEXT.exp(LN10 * (c[0] * dec(x) / 16 + c[1] + c[-1] / dec(x)) / 4)
        if model == 2:
            return lambda x: CONTEXT.exp(c[0] + c[1] * CONTEXT.ln(dec(x)))
        if model == 4:
            return lambda x: abs(horner(c, CONTEXT.sqrt(abs(dec(x))))) + 1
        if model == 5:
            return lambda x: CONTEXT.sqrt(abs(horner(c, dec(x))) + 1)
        return lambda x: horner(c, dec(x))

    def points(self, model, order, count):
        draw = self.draw
        xs = self.abscissae(model, count)
        f = self.curve(model, order)
        noise = draw.pick([0, 1, 4, 64])
        relative = D(draw.integer(1, 200)) / D(1000)
        zero_uncertainty = draw.unit() < 0.15
        points = []
        for x in xs:
            y = f(x) * (1 + D(draw.integer(-noise, noise)) / D(1024))
            yUnc = D(0) if zero_uncertainty else abs(y) * relative + D(1) / D(1 << 20)
            points.append([float(x), float(y), float(yUnc)])
        shaped = [list(point) if draw.unit() < 0.2 else tuple(point) for point in points]
        spoil_points(draw, shaped, SPECIALS)
        r = draw.unit()
        if count and r < 0.03:  # one point that is not three numbers
            point = points[draw.integer(0, count - 1)]
            shaped[draw.integer(0, count - 1)] = draw.pick([point[:2], point + [1.0], "xyz", None, 3.0])
        elif r < 0.04:  # a tuple of points is read as no points
            return tuple(shaped)
        return shaped

    def fit_call(self, index):
        draw = self.draw
        refused = malformed(draw, "optimizeModel", 0.02)
        if refused is not None:
            return "args", refused
        model = draw.pick([3, -1, 7, 100]) if draw.chance(0.03) else draw.pick(MODELS)
        order = order_value(draw)
        points = self.points(model if model in MODELS else 1, order, point_count(draw))
        category = "model%d" % model if model in MODELS else "model-other"
        return category, (points, model, order, flag_word(draw, draw.integer(0, 63)))

    def dual_call(self, index):
        draw = self.draw
        refused = malformed(draw, "optimizeDualModel", 0.03)
        if refused is not None:
            return "args", refused
        points = self.points(1, 3, point_count(draw, 4))
        xs = sorted(p[0] for p in points if isinstance(p, (list, tuple)) and len(p) == 3)
        return "dual", (points,) + dual_tail(draw, xs, draw.integer(0, 63))


def main():
    seed, count, out = int(sys.argv[1]), int(sys.argv[2]), sys.argv[3]
    cases = Cases(seed)
    with open(out, "w") as handle:
        for function, (category, args) in call_series(count, cases.roots_call, cases.fit_call,
                                                       cases.dual_call):
            handle.write("%s\t%s\t%s\n" % (category, function, expression(args)))
    return 0


def dec(x):
    return D(x.numerator) / D(x.denominator)


def horner(c, t):
    value = D(0)
    for ck in reversed(c):
        value = value * t + ck
    return value


def to_float(q):
    """q rounded to a double, an infinity past the largest one."""
    try:
        return float(q)
    except OverflowError:
        return float("inf") if q > 0 else float("-inf")


if __name__ == "__main__":
    sys.exit(main())
