"""A calibration curve fitted with several models, drawn with matplotlib.

    python examples/plot_calibration.py

Fits the bundled data set examples/data/calibration.csv (13 points of a
detector response with 2 % uncertainties) with four models, each refined in
data space (flag 2), prints the coefficients and the statistics of every fit,
and saves examples/output/calibration.png with three panels:

- the points with their error bars and the four fitted curves (log x axis);
- the normalised residuals (y - f(x)) / yUnc of every model;
- the native deviation of every point, against x, with the points'
  uncertainties as the floor a point on the curve would reach.

The fits go through the companion package curvefits: named results, the
curve evaluated by the native formulas, exceptions on failure.

matplotlib and numpy are installed into .venv-examples when missing.
"""
import sys

import example_env

example_env.require({"matplotlib": "matplotlib", "numpy": "numpy"})
curvefits = example_env.import_curvefits()

import matplotlib                 # noqa: E402  (installed by require above)
matplotlib.use("Agg")
import matplotlib.pyplot as plt   # noqa: E402
import matplotlib.ticker          # noqa: E402
import numpy                      # noqa: E402

Model = curvefits.Model
# (model, order): the true shape (LogLog, 3 coefficients) and three
# alternatives with five.
FITS = ((Model.LOG_LOG, 3), (Model.LOG_INVERSE, 5), (Model.HALF_POWER, 5), (Model.POLYNOMIAL, 5))
COLOURS = ("tab:blue", "tab:orange", "tab:green", "tab:red")


def fit_all(points):
    return [curvefits.fit(points, model=model, order=order, refine=True) for model, order in FITS]


def print_fit(fit):
    print("%s, %d coefficients: reduced chi-square %.4g, average error %.3g %%" % (
        fit.model.name, fit.order, fit.reduced_chi_square, fit.average_error))
    for k, (value, error) in enumerate(zip(fit.coefficients, fit.standard_errors)):
        print("    c[%d] = %- .8g +- %.3g" % (k, value, error))


def label(fit):
    return "%s, n=%d: $\\chi^2_\\nu$ = %.3g, avg. error %.2g %%" % (
        fit.model.name, fit.order, fit.reduced_chi_square, fit.average_error)


def draw(points, fits, path):
    figure, (curves, residuals, deviations) = plt.subplots(
        3, 1, figsize=(9, 11), sharex=True, gridspec_kw={"height_ratios": (3, 1.6, 1.6)})
    x, y, y_unc = (numpy.array(column) for column in zip(*points))
    grid = numpy.geomspace(x.min(), x.max(), 400)

    curves.errorbar(x, y, yerr=y_unc, fmt="o", color="black", capsize=3, label="calibration points", zorder=3)
    for fit, colour in zip(fits, COLOURS):
        curves.plot(grid, fit.evaluate(grid), color=colour, label=label(fit))
        # The points as the fit read them (single precision), signed residuals.
        used = fit.points
        residuals.plot(used.x, used.residual / used.sigma, "o-", color=colour, markersize=4)
        deviations.plot(used.x, used.deviation, "o-", color=colour, markersize=4)
    deviations.plot(x, y_unc, "s--", color="grey", markersize=4, label="yUnc (deviation of a point on the curve)")

    curves.set_xscale("log")
    deviations.set_xticks([1.5, 2, 3, 5, 7, 10, 15, 20, 30, 40])
    deviations.xaxis.set_major_formatter(matplotlib.ticker.ScalarFormatter())
    deviations.xaxis.set_minor_formatter(matplotlib.ticker.NullFormatter())
    curves.set_ylabel("response y")
    curves.set_title("Calibration curve: examples/data/calibration.csv fitted with four models (flag 2)")
    curves.legend(loc="lower center", fontsize=9)
    residuals.axhline(0.0, color="grey", linewidth=0.8)
    residuals.set_ylabel("(y - f(x)) / yUnc")
    residuals.set_title("Normalised residuals", fontsize=10)
    deviations.set_ylabel("deviation")
    deviations.set_xlabel("x")
    deviations.set_yscale("log")
    deviations.set_title("Deviation table: sqrt((y - f(x))$^2$ + yUnc$^2$) per point", fontsize=10)
    deviations.legend(loc="upper right", fontsize=9)
    for axes in (curves, residuals, deviations):
        axes.grid(True, which="both", alpha=0.3)
    figure.tight_layout()
    figure.savefig(path, dpi=100)


def main():
    points = example_env.read_calibration_points()
    fits = fit_all(points)
    for fit in fits:
        print_fit(fit)
    path = example_env.output_path("calibration.png")
    draw(points, fits, path)
    print("saved %s" % path)
    return 0


if __name__ == "__main__":
    sys.exit(main())
