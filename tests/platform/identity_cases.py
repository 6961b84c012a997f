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
import random
import sys
from fractions import Fraction

D = decimal.Decimal
CONTEXT = decimal.Context(prec=34)
LN10 = CONTEXT.ln(D(10))

MODELS = (0, 1, 2, 4, 5, 6)
LOG_MODELS = (0, 1, 2)


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
    if isinstance(value, tuple):
        inner = ", ".join(expression(v) for v in value)
        return "(" + inner + ("," if len(value) == 1 else "") + ")"
    raise TypeError(value)


class Cases(object):
    def __init__(self, seed):
        self.rng = random.Random(seed)

    # -- numbers -----------------------------------------------------------
    def dyadic(self, bits=20, low=-8, high=8):
        """A random double with a short mantissa: m * 2**e."""
        m = self.rng.randint(-(1 << bits), 1 << bits)
        return float(Fraction(m) * Fraction(2) ** self.rng.randint(low, high))

    def special(self):
        return self.rng.choice([float("nan"), float("inf"), float("-inf"), 0.0, -0.0,
                                5e-324, 2.2250738585072014e-308, 1.7976931348623157e308,
                                1e-300, 1e300, 3.4028235677973366e38, 1e39, 1e-46])

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
        rng = self.rng
        degree = rng.randint(0, 26)
        kind = rng.randrange(14)
        if kind == 0:
            coefficients = [self.dyadic() for _ in range(degree + 1)]
        elif kind == 1:
            coefficients = [float(rng.randint(-10, 10)) for _ in range(degree + 1)]
        elif kind == 2:  # integer roots, up to the Wilkinson polynomial
            coefficients = self.from_roots([Fraction(k) for k in range(1, min(degree, 24) + 1)])
        elif kind == 3:  # one root of high multiplicity
            root = Fraction(rng.randint(-8, 8), rng.choice([1, 2, 4, 3]))
            coefficients = self.from_roots([root] * min(degree, 24))
        elif kind == 4:  # clustered roots
            centre = Fraction(rng.randint(-4, 4))
            coefficients = self.from_roots(
                [centre + Fraction(rng.randint(-16, 16), 1 << 20) for _ in range(min(degree, 24))])
        elif kind == 5:  # x^n - a and x^n + a: roots on a circle
            n = max(degree, 1)
            a = float(Fraction(2) ** rng.randint(-40, 40)) * rng.choice([1.0, -1.0])
            coefficients = [a] + [0.0] * (n - 1) + [1.0]
        elif kind == 6:
            coefficients = self.chebyshev(min(degree, 24))
        elif kind == 7:  # conjugate pairs a +- bi
            pairs = []
            for _ in range(min(degree, 24) // 2):
                a = Fraction(rng.randint(-64, 64), 16)
                b = Fraction(rng.randint(1, 64), 16)
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
            scale = float(Fraction(2) ** rng.choice([-1060, -1000, -600, 500, 900, 1000]))
            coefficients = [to_float(Fraction(self.dyadic()) * Fraction(scale)) for _ in range(degree + 1)]
        elif kind == 10:  # zero roots: low coefficients zero
            coefficients = [self.dyadic() for _ in range(degree + 1)]
            for k in range(rng.randint(0, degree)):
                coefficients[k] = rng.choice([0.0, -0.0])
        elif kind == 11:  # special values somewhere
            coefficients = [self.dyadic() for _ in range(degree + 1)]
            for _ in range(rng.randint(1, 3)):
                coefficients[rng.randrange(len(coefficients))] = self.special()
        elif kind == 12:  # leading coefficient zero, tiny or huge
            coefficients = [self.dyadic() for _ in range(degree + 1)]
            coefficients[-1] = rng.choice([0.0, -0.0, 5e-324, 1e-300, 1e300])
        else:  # random doubles with full mantissas
            coefficients = [rng.uniform(-1, 1) * 2.0 ** rng.randint(-4, 4) for _ in range(degree + 1)]
        if coefficients and coefficients[-1] == 0.0 and kind not in (10, 11, 12):
            coefficients[-1] = 1.0
        if rng.random() < 0.1:  # integers are accepted as coefficients
            coefficients = [int(c) if c == c and abs(c) < 1e15 and c == int(c) else c
                            for c in coefficients]
        return coefficients

    def roots_call(self):
        rng = self.rng
        if rng.random() < 0.03:
            return "args", "findRoots", rng.choice([
                (), ([1.0, 2.0], [3.0]), ((2.0, -3.0, 1.0),), (["1", 2.0],), (None,),
                ([1.0, None, 2.0],), ([],), ("123",), ([True, 1],)])
        return "roots", "findRoots", (self.polynomial(),)

    # -- points ------------------------------------------------------------
    def abscissae(self, model, count):
        rng = self.rng
        if model in (1, 3):
            low = Fraction(rng.randint(9, 64), 8)  # LogLog needs x > 1
        elif model == 0 or model == 2:
            low = Fraction(rng.randint(1, 64), 16)
        else:
            low = Fraction(rng.randint(0, 64), 16) * rng.choice([1, 1, 1, -1])
        step = Fraction(rng.randint(1, 64), rng.choice([4, 8, 16, 32]))
        xs = [low + step * k for k in range(count)]
        if rng.random() < 0.3:
            rng.shuffle(xs)
        return xs

    def curve(self, model, order):
        """A function from Fraction x to Decimal y near which the points lie."""
        rng = self.rng
        n = min(max(order, 2), 3) if model in LOG_MODELS else max(order, 2)
        c = [D(rng.randint(-64, 64)) / D(rng.choice([16, 64, 256])) for _ in range(n)]
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
        rng = self.rng
        xs = self.abscissae(model, count)
        f = self.curve(model, order)
        noise = rng.choice([0, 1, 4, 64])
        relative = D(rng.randint(1, 200)) / D(1000)
        zero_uncertainty = rng.random() < 0.15
        points = []
        for x in xs:
            y = f(x) * (1 + D(rng.randint(-noise, noise)) / D(1024))
            yUnc = D(0) if zero_uncertainty else abs(y) * relative + D(1) / D(1 << 20)
            points.append([float(x), float(y), float(yUnc)])
        if count and rng.random() < 0.3:  # invalid points
            for _ in range(rng.randint(1, 3)):
                point = points[rng.randrange(count)]
                slot = rng.randrange(3)
                point[slot] = rng.choice([0.0, -1.0, -0.5, 0.5, 1.0, self.special()])
        shaped = [list(point) if rng.random() < 0.2 else tuple(point) for point in points]
        r = rng.random()
        if count and r < 0.03:  # one point that is not three numbers
            point = points[rng.randrange(count)]
            shaped[rng.randrange(count)] = rng.choice([point[:2], point + [1.0], "xyz", None, 3.0])
        elif r < 0.04:  # a tuple of points is read as no points
            return tuple(shaped)
        return shaped

    def flags(self):
        rng = self.rng
        value = rng.randrange(64)
        r = rng.random()
        if r < 0.03:
            value |= rng.choice([64, 1 << 20, 1 << 30])
        elif r < 0.04:
            value = -1
        return value

    def order(self):
        r = self.rng.random()
        if r < 0.03:
            return self.rng.choice([-1, 7, 30])
        return self.rng.randint(0, 6)

    def fit_call(self):
        rng = self.rng
        r = rng.random()
        if r < 0.02:
            return "args", "optimizeModel", rng.choice([
                ([], 1), ([], 1, 0, 0, 0), ([], "1", 0, 0), ([], 1, 0, 2 ** 31), ([], 1, -2 ** 31 - 1, 0),
                (None, 6, 0, 0), ([], 1.5, 0, 0)])
        if r < 0.05:
            model = rng.choice([3, -1, 7, 100])
        else:
            model = rng.choice(MODELS)
        order = self.order()
        count = rng.choice([rng.randint(0, 8), rng.randint(2, 40), rng.randint(2, 40)])
        points = self.points(model if model in MODELS else 1, order, count)
        category = "model%d" % model if model in MODELS else "model-other"
        return category, "optimizeModel", (points, model, order, self.flags())

    def dual_call(self):
        rng = self.rng
        if rng.random() < 0.03:
            return "args", "optimizeDualModel", rng.choice([
                ([], 1.0, 0, 0), ([], "x", 0, 0, 0), ([], 1.0, 0, 0, 0, 0), ([], 1.0, 2 ** 31, 0, 0)])
        count = rng.choice([rng.randint(0, 8), rng.randint(4, 40), rng.randint(4, 40)])
        points = self.points(1, 3, count)
        xs = sorted(p[0] for p in points if isinstance(p, (list, tuple)) and len(p) == 3)
        threshold = rng.choice([float(rng.randint(1, 64)), float("nan"), -1.0, 1e30])
        if xs and rng.random() < 0.8:
            threshold = rng.choice([xs[len(xs) // 2], xs[len(xs) // 3], xs[(2 * len(xs)) // 3],
                                    (xs[0] + xs[-1]) / 2, xs[0], xs[-1]])
        orders = [rng.choice([0, 0, 0, 2, 3, self.order()]) for _ in range(2)]
        return "dual", "optimizeDualModel", (points, threshold, orders[0], orders[1], self.flags())


def main():
    seed, count, out = int(sys.argv[1]), int(sys.argv[2]), sys.argv[3]
    cases = Cases(seed)
    makers = [cases.roots_call] * 3 + [cases.fit_call] * 5 + [cases.dual_call]
    with open(out, "w") as handle:
        for _ in range(count):
            category, function, args = cases.rng.choice(makers)()
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
