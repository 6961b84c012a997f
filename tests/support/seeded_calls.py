"""Choices of the golden record's calls, from random.random() alone, which gives
the same sequence under Python 2.7 and 3."""
import random

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


def malformed(draw, function, p):
    """With probability p an argument list that function refuses, else None."""
    return draw.pick(MALFORMED[function]) if draw.chance(p) else None


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
