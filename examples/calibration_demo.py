"""Fits the calibration curve in examples/data/calibration.csv with every model
of tallowfit, then with the two-range 'Dual' model.

Run with the module on the path, e.g.
    PYTHONPATH=build/py3 /usr/bin/python3 examples/calibration_demo.py
Runs on Python 2.7 and 3.
"""
from __future__ import print_function

import math
import os

from demo_support import call_module, describe_status, load_module, print_table

DATA_FILE = os.path.join(os.path.dirname(os.path.abspath(__file__)), "data", "calibration.csv")

# (id, name, the model in data space)
MODELS = [
    (0, "LogInverse", "y = 10^(c0 x + c1 + c2/x + ... + c[n-1]/x^(n-2))"),
    (1, "LogLog", "y = exp(c0 + c1 ln x + ... + c[n-1] (ln x)^(n-1))"),
    (2, "LogRatio", "y = exp(c1 + c2 L + ... + c[n-1] L^(n-2)), L = ln(c0/x)"),
    (4, "HalfPower", "y = c0 + c1 x^(1/2) + c2 x + ... + c[n-1] x^((n-1)/2)"),
    (5, "RootPolynomial", "y = sqrt(c0 + c1 x + ... + c[n-1] x^(n-1))"),
    (6, "Polynomial", "y = c0 + c1 x + ... + c[n-1] x^(n-1)"),
]

ORDER = 0          # below 1: the module picks the order from the model and the point count
FLAGS = 2          # kFitRefineNonlinear: refine the linear fit by Levenberg-Marquardt steps
DUAL_THRESHOLD = 6.0


def read_points(path):
    """The (x, y, yUnc) rows of a CSV file with a header line."""
    points = []
    with open(path) as source:
        lines = source.read().splitlines()
    for text in lines[1:]:
        if text.strip():
            x, y, y_unc = [float(field) for field in text.split(",")]
            points.append((x, y, y_unc))
    return points


def standard_error(covariance, k):
    variance = covariance[k][k]
    if variance != variance or variance < 0.0:
        return "n/a"
    if variance == 0.0:
        return "(held)"
    return "%.3g" % math.sqrt(variance)


def print_fit(fit):
    """Coefficients with their standard errors, then the goodness of fit."""
    coefficients, covariance, reduced_chi_square, average_error, deviations = fit
    rows = [["c%d" % k, "%.6g" % value, standard_error(covariance, k)]
            for k, value in enumerate(coefficients)]
    print_table(["coefficient", "value", "std. error"], rows, indent="    ")
    print("    reduced chi-square %.4g, average error %.3g %%, %d points compared"
          % (reduced_chi_square, average_error, len(deviations)))


def fit_every_model(tallowfit, points):
    """Fits each model, prints its fit and returns the rows of the summary."""
    summary = []
    for model_id, name, formula in MODELS:
        print("[%d] %s: %s" % (model_id, name, formula))
        status, fit, message = call_module(tallowfit.optimizeModel, points, model_id, ORDER, FLAGS)
        if status != 0:
            print("    failed: " + describe_status(status, message))
            summary.append([name, "", "", "", describe_status(status)])
        else:
            print_fit(fit)
            summary.append([name, str(len(fit[0])), "%.4g" % fit[2], "%.3g" % fit[3], "ok"])
        print()
    return summary


def fit_dual(tallowfit, points):
    print("Dual: LogLog below and above x = %g, orders chosen per range" % DUAL_THRESHOLD)
    status, fits, message = call_module(tallowfit.optimizeDualModel, points, DUAL_THRESHOLD,
                                        ORDER, ORDER, FLAGS)
    if status != 0:
        print("    failed: " + describe_status(status, message))
        return
    # Two fits when some x lies at or below the threshold; the last one is always the upper range.
    labels = ["x <= %g" % DUAL_THRESHOLD, "x >= %g" % DUAL_THRESHOLD][-len(fits):]
    for label, fit in zip(labels, fits):
        print("  range %s, order %d" % (label, len(fit[0])))
        print_fit(fit)


def main():
    tallowfit = load_module()
    points = read_points(DATA_FILE)
    print("Calibration curve: %d points from %s, x from %g to %g"
          % (len(points), os.path.relpath(DATA_FILE), points[0][0], points[-1][0]))
    print("(made from ln y = -1.2 + 1.6 ln x - 0.45 (ln x)^2 with 2 % noise by "
          "scripts/make_calibration_data.py)")
    print("Every model with order %d (chosen by the module) and flags %d (refine)" % (ORDER, FLAGS))
    print()
    summary = fit_every_model(tallowfit, points)
    print("Summary")
    print_table(["model", "order", "reduced chi-square", "average error %", "status"], summary,
                align="lrrrl")
    print()
    fit_dual(tallowfit, points)


if __name__ == "__main__":
    main()
