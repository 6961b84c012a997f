"""Writes examples/data/calibration.csv, the calibration curve of the demo.

The curve is a detector response that rises, peaks near x = 6 and falls again:
    ln y = -1.2 + 1.6 ln x - 0.45 (ln x)^2
measured at 13 values of x between 1.5 and 40 with a relative uncertainty of
2 percent and Gaussian noise of that size from a fixed seed. The file is
committed; run this again only to change the data set:
    /usr/bin/python3 scripts/make_calibration_data.py
"""
from __future__ import print_function

import math
import os
import random

TRUE_COEFFICIENTS = (-1.2, 1.6, -0.45)
X_VALUES = (1.5, 2.0, 3.0, 4.0, 5.0, 6.0, 8.0, 10.0, 13.0, 17.0, 22.0, 30.0, 40.0)
RELATIVE_UNCERTAINTY = 0.02
SEED = 20240611


def true_response(x):
    t = math.log(x)
    c0, c1, c2 = TRUE_COEFFICIENTS
    return math.exp(c0 + c1 * t + c2 * t * t)


def measured_points(rng):
    points = []
    for x in X_VALUES:
        y_true = true_response(x)
        y = y_true * (1.0 + RELATIVE_UNCERTAINTY * rng.gauss(0.0, 1.0))
        points.append((x, y, RELATIVE_UNCERTAINTY * y))
    return points


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    path = os.path.join(here, os.pardir, "examples", "data", "calibration.csv")
    with open(path, "w") as out:
        out.write("x,y,yUnc\n")
        for x, y, y_unc in measured_points(random.Random(SEED)):
            out.write("%g,%.5g,%.3g\n" % (x, y, y_unc))
    print("wrote", os.path.normpath(path))


if __name__ == "__main__":
    main()
