"""Fits the calibration curve in examples/data/calibration.csv with every model
of tallowfit, then with the two-range 'Dual' model, through the companion
package curvefits.

Run with the module on the path, e.g.
    PYTHONPATH=build/py3 /usr/bin/python3 examples/calibration_demo.py
Runs on Python 3 (the companion package needs 3.7 or later).
"""
import os

from demo_support import load_companion, print_table

curvefits = load_companion()

DATA_FILE = os.path.join(os.path.dirname(os.path.abspath(__file__)), "data", "calibration.csv")

Model = curvefits.Model
# (model, the model in data space)
MODELS = [
    (Model.LOG_INVERSE, "y = 10^(c0 x + c1 + c2/x + ... + c[n-1]/x^(n-2))"),
    (Model.LOG_LOG, "y = exp(c0 + c1 ln x + ... + c[n-1] (ln x)^(n-1))"),
    (Model.LOG_RATIO, "y = exp(c1 + c2 L + ... + c[n-1] L^(n-2)), L = ln(c0/x)"),
    (Model.HALF_POWER, "y = c0 + c1 x^(1/2) + c2 x + ... + c[n-1] x^((n-1)/2)"),
    (Model.ROOT_POLYNOMIAL, "y = sqrt(c0 + c1 x + ... + c[n-1] x^(n-1))"),
    (Model.POLYNOMIAL, "y = c0 + c1 x + ... + c[n-1] x^(n-1)"),
]

ORDER = 0          # 0: the module picks the order from the model and the point count
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


def standard_error(fit, k):
    error = fit.standard_errors[k]
    if error != error:
        return "n/a"
    return "(held)" if error == 0.0 else "%.3g" % error


def describe(failure):
    return "status %d (%s): %s" % (failure.status, failure.status_name, failure.message)


def print_fit(fit):
    """Coefficients with their standard errors, then the goodness of fit."""
    rows = [["c%d" % k, "%.6g" % value, standard_error(fit, k)]
            for k, value in enumerate(fit.coefficients)]
    print_table(["coefficient", "value", "std. error"], rows, indent="    ")
    print("    reduced chi-square %.4g (%d degrees of freedom), average error %.3g %%, "
          "%d points compared" % (fit.reduced_chi_square, fit.degrees_of_freedom,
                                  fit.average_error, len(fit.points)))


def fit_every_model(points):
    """Fits each model, prints its fit and returns the rows of the summary."""
    summary = []
    for model, formula in MODELS:
        print("[%d] %s: %s" % (model, model.name, formula))
        fit = curvefits.fit(points, model=model, order=ORDER, refine=True, check=False)
        if isinstance(fit, curvefits.CurveFitError):
            print("    failed: " + describe(fit))
            summary.append([model.name, "", "", "", fit.status_name])
        else:
            print_fit(fit)
            summary.append([model.name, str(fit.order), "%.4g" % fit.reduced_chi_square,
                            "%.3g" % fit.average_error, "ok"])
        print()
    return summary


def fit_dual(points):
    print("Dual: LogLog below and above x = %g, orders chosen per range" % DUAL_THRESHOLD)
    both = curvefits.fit_two_range(points, threshold=DUAL_THRESHOLD, refine=True, check=False)
    if isinstance(both, curvefits.CurveFitError):
        print("    failed: " + describe(both))
        return
    for label, fit in (("x <= %g" % DUAL_THRESHOLD, both.lower),
                       ("x >= %g" % DUAL_THRESHOLD, both.upper)):
        if fit is not None:
            print("  range %s, order %d" % (label, fit.order))
            print_fit(fit)


def main():
    points = read_points(DATA_FILE)
    print("Calibration curve: %d points from %s, x from %g to %g"
          % (len(points), os.path.relpath(DATA_FILE), points[0][0], points[-1][0]))
    print("(made from ln y = -1.2 + 1.6 ln x - 0.45 (ln x)^2 with 2 % noise by "
          "scripts/make_calibration_data.py)")
    print("Every model with the order chosen by the module, refined in data space")
    print()
    summary = fit_every_model(points)
    print("Summary")
    print_table(["model", "order", "reduced chi-square", "average error %", "status"], summary,
                align="lrrrl")
    print()
    fit_dual(points)


if __name__ == "__main__":
    main()
