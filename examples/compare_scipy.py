"""Sets tallowfit's results beside scipy.optimize.curve_fit and numpy.polyfit.

    python examples/compare_scipy.py

Four comparisons, each printed as a table, each checked against a tolerance
(the script exits with status 1 when one fails). docs/comparison.md explains
them and quotes this output.

1. Polynomial with uncertainties: the covariance is the absolute one,
   curve_fit(absolute_sigma=True) and polyfit(w=1/yUnc, cov='unscaled').
2. Polynomial without uncertainties (flag 32, every yUnc 0): the covariance is
   scaled by the reduced chi-square, curve_fit() and polyfit(cov=True).
3. LogLog, linear fit only: a weighted polynomial fit of ln y on ln x with
   sigma = yUnc/y, polyfit(w=y/yUnc, cov='unscaled').
4. LogLog refined in data space (flag 2): curve_fit on the curve itself.

tallowfit reads the points in single precision, so the other two get the same
single-precision values (numpy.float32, widened to double).
"""
import math
import sys

import example_env

example_env.require({"numpy": "numpy", "scipy": "scipy"})
tallowfit = example_env.import_tallowfit()

import numpy                     # noqa: E402  (installed by require above)
from scipy.optimize import curve_fit  # noqa: E402

POLYNOMIAL, LOG_LOG = 6, 1
REFINE, ALLOW_ZERO_UNCERTAINTY = 2, 32

# A straight-ish line with a little curvature, with uncertainties of 0.2 and 0.3.
LINE_X = [1.0, 2.0, 3.0, 4.0, 5.0, 6.0, 7.0, 8.0]
LINE_Y = [2.1, 3.9, 6.2, 7.8, 10.1, 12.2, 13.8, 16.1]
LINE_UNC = [0.2, 0.2, 0.3, 0.2, 0.3, 0.2, 0.3, 0.2]


def as_fitted(values):
    """The values as tallowfit sees them: rounded to single precision."""
    return numpy.asarray(values, dtype=numpy.float32).astype(numpy.float64)


def fit(points, model_id, order, flags):
    status, result = tallowfit.optimizeModel(points, model_id, order, flags)
    if status != 0:
        sys.exit("optimizeModel failed with status %d" % status)
    coefficients, covariance, reduced_chi_square = result[0], numpy.array(result[1]), result[2]
    return numpy.array(coefficients), covariance, reduced_chi_square


def polynomial(x, *c):
    return sum(ck * x ** k for k, ck in enumerate(c))


def polynomial_jacobian(x, *c):
    return numpy.stack([x ** k for k in range(len(c))], axis=1)


def log_log(x, *c):
    return numpy.exp(polynomial(numpy.log(x), *c))


def log_log_jacobian(x, *c):
    return polynomial_jacobian(numpy.log(x), *c) * log_log(x, *c)[:, None]


def exact_curve_fit(model, jacobian, x, y, start, **options):
    """curve_fit with the analytic Jacobian and tolerances near the rounding
    level, so that its own approximations do not hide the comparison."""
    return curve_fit(model, x, y, p0=start, jac=jacobian, ftol=1e-15, xtol=1e-15, gtol=1e-15, **options)


def largest_relative_difference(ours, theirs):
    ours, theirs = numpy.ravel(ours), numpy.ravel(theirs)
    scale = numpy.maximum(numpy.abs(ours), numpy.abs(theirs))
    scale[scale == 0.0] = 1.0
    return float(numpy.max(numpy.abs(ours - theirs) / scale))


def report(title, rows, tolerance):
    """Prints rows of (label, ours, theirs) and returns whether all agree within tolerance."""
    print(title)
    print("  %-34s %-22s %-22s %s" % ("", "tallowfit", "reference", "rel. difference"))
    agreed = True
    for label, ours, theirs in rows:
        for index, (a, b) in enumerate(zip(numpy.ravel(ours), numpy.ravel(theirs))):
            difference = largest_relative_difference([a], [b])
            agreed = agreed and difference <= tolerance
            name = label if index == 0 else ""
            print("  %-34s %-22.15g %-22.15g %.1e" % (name, a, b, difference))
    print("  agree within %.0e: %s\n" % (tolerance, "yes" if agreed else "NO"))
    return agreed


def reduced_chi_square(model, x, y, sigma, c):
    residuals = (y - model(x, *c)) / sigma
    return float(numpy.sum(residuals ** 2) / (len(x) - len(c)))


def polynomial_with_uncertainties():
    x, y, unc = as_fitted(LINE_X), as_fitted(LINE_Y), as_fitted(LINE_UNC)
    ours, our_cov, our_chi = fit(list(zip(LINE_X, LINE_Y, LINE_UNC)), POLYNOMIAL, 3, 0)
    scipy_c, scipy_cov = exact_curve_fit(polynomial, polynomial_jacobian, x, y, [0.0] * 3, sigma=unc, absolute_sigma=True)
    numpy_c, numpy_cov = numpy.polyfit(x, y, 2, w=1.0 / unc, cov="unscaled")
    _, scaled_cov = exact_curve_fit(polynomial, polynomial_jacobian, x, y, [0.0] * 3, sigma=unc)
    return report(
        "1. Polynomial, order 3, yUnc given, flags 0",
        [("coefficients / curve_fit", ours, scipy_c),
         ("coefficients / polyfit", ours, numpy_c[::-1]),
         ("standard errors / curve_fit abs.", numpy.sqrt(numpy.diag(our_cov)), numpy.sqrt(numpy.diag(scipy_cov))),
         ("covariance / curve_fit abs.", our_cov, scipy_cov),
         ("covariance / polyfit unscaled", our_cov, numpy_cov[::-1, ::-1]),
         ("reduced chi-square", our_chi, reduced_chi_square(polynomial, x, y, unc, scipy_c)),
         ("cov * red. chi2 / curve_fit rel.", our_cov * our_chi, scaled_cov)],
        1e-9)


def polynomial_without_uncertainties():
    x, y = as_fitted(LINE_X), as_fitted(LINE_Y)
    points = [(xi, yi, 0.0) for xi, yi in zip(LINE_X, LINE_Y)]
    ours, our_cov, our_chi = fit(points, POLYNOMIAL, 3, ALLOW_ZERO_UNCERTAINTY)
    scipy_c, scipy_cov = exact_curve_fit(polynomial, polynomial_jacobian, x, y, [0.0] * 3)
    numpy_c, numpy_cov = numpy.polyfit(x, y, 2, cov=True)
    return report(
        "2. Polynomial, order 3, every yUnc 0, flags 32",
        [("coefficients / curve_fit", ours, scipy_c),
         ("covariance / curve_fit", our_cov, scipy_cov),
         ("covariance / polyfit cov=True", our_cov, numpy_cov[::-1, ::-1]),
         ("reduced chi-square (sigma 1)", our_chi, reduced_chi_square(polynomial, x, y, 1.0, scipy_c))],
        1e-9)


def log_log_linear(points):
    x, y, unc = (as_fitted(column) for column in zip(*points))
    ours, our_cov, _ = fit(points, LOG_LOG, 3, 0)
    numpy_c, numpy_cov = numpy.polyfit(numpy.log(x), numpy.log(y), 2, w=y / unc, cov="unscaled")
    return report(
        "3. LogLog, order 3, linear fit in log space, flags 0",
        [("coefficients / polyfit of ln y", ours, numpy_c[::-1]),
         ("covariance / polyfit unscaled", our_cov, numpy_cov[::-1, ::-1])],
        1e-9)


def log_log_refined(points):
    x, y, unc = (as_fitted(column) for column in zip(*points))
    ours, our_cov, our_chi = fit(points, LOG_LOG, 3, REFINE)
    start, _, _ = fit(points, LOG_LOG, 3, 0)
    scipy_c, scipy_cov = exact_curve_fit(log_log, log_log_jacobian, x, y, start, sigma=unc, absolute_sigma=True)
    return report(
        "4. LogLog, order 3, refined in data space, flags 2",
        [("coefficients / curve_fit", ours, scipy_c),
         ("standard errors / curve_fit abs.", numpy.sqrt(numpy.diag(our_cov)), numpy.sqrt(numpy.diag(scipy_cov))),
         ("reduced chi-square", our_chi, reduced_chi_square(log_log, x, y, unc, scipy_c))],
        1e-6)


def main():
    print("numpy %s, scipy %s, tallowfit from %s\n" % (
        numpy.__version__, __import__("scipy").__version__, tallowfit.__file__))
    calibration = example_env.read_calibration_points()
    results = [polynomial_with_uncertainties(), polynomial_without_uncertainties(),
               log_log_linear(calibration), log_log_refined(calibration)]
    print("%d of %d comparisons agree" % (sum(results), len(results)))
    return 0 if all(results) else 1


if __name__ == "__main__":
    sys.exit(main())
