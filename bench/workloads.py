"""The inputs of the benchmark's jobs, shared by the timings (bench.py) and the
instruction counts (instructions.py): seeded, so every run sees the same data."""
import math
import random


def power_law_points(size, seed=1):
    """y = 2 x^1.5 (1 + 1% noise) on 1 < x <= 11, 1% uncertainty: a clean LogLog
    curve, and a gentle one for a parabola."""
    rng = random.Random(seed)
    points = []
    for k in range(1, size + 1):
        x = 1.0 + 10.0 * k / size
        y = 2.0 * x * math.sqrt(x) * (1.0 + 0.01 * (rng.random() - 0.5))
        points.append((x, y, 0.01 * y))
    return points


def polynomial_coefficients(degree, seed=2):
    rng = random.Random(seed + degree)
    return [rng.uniform(-1.0, 1.0) for _ in range(degree)] + [1.0]
