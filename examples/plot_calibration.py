"""A calibration curve fitted with several models, drawn with matplotlib.

    python examples/plot_calibration.py

Fits the bundled data set examples/data/calibration.csv (13 points of a
detector response with 2 % uncertainties) with four models, each refined in
data space (flag 2), prints the coefficients and the statistics of every fit,
and saves examples/output/calibration.png with three panels:

- the points with their error bars and the four fitted curves (log x axis);
- the normalised residuals (y - f(x)) / yUnc of every model;
- the deviation table (item 4 of each fit list), deviation against x, with the
  points' uncertainties as the floor a point on the curve would reach.

matplotlib and numpy are installed into .venv-examples when missing.
"""
import math
import sys

import example_env

example_env.require({"matplotlib": "matplotlib", "numpy": "numpy"})
tallowfit = example_env.import_tallowfit()

import matplotlib                 # noqa: E402  (installed by require above)
matplotlib.use("Agg")
import matplotlib.pyplot as plt   # noqa: E402
import matplotlib.ticker          # noqa: E402
import numpy                      # noqa: E402

REFINE = 2
# (model id, order): the true shape (LogLog, 3 coefficients) and three
# alternatives with five.
FITS = ((1, 3), (0, 5), (4, 5), (6, 5))
COLOURS = ("tab:blue", "tab:orange", "tab:green", "tab:red")


def fit_all(points):
    fits = []
    for model_id, order in FITS:
        status, fit = tallowfit.optimizeModel(points, model_id, order, REFINE)
        if status != 0:
            sys.exit("%s failed with status %d" % (example_env.MODEL_NAMES[model_id], status))
        fits.append((model_id, fit))
    return fits


def print_fit(model_id, fit):
    coefficients, covariance, reduced_chi_square, average_error, _ = fit
    print("%s, %d coefficients: reduced chi-square %.4g, average error %.3g %%" % (
        example_env.MODEL_NAMES[model_id], len(coefficients), reduced_chi_square, average_error))
    for k, value in enumerate(coefficients):
        print("    c[%d] = %- .8g +- %.3g" % (k, value, math.sqrt(covariance[k][k])))


def label(model_id, fit):
    return "%s, n=%d: $\\chi^2_\\nu$ = %.3g, avg. error %.2g %%" % (
        example_env.MODEL_NAMES[model_id], len(fit[0]), fit[2], fit[3])


def draw(points, fits, path):
    figure, (curves, residuals, deviations) = plt.subplots(
        3, 1, figsize=(9, 11), sharex=True, gridspec_kw={"height_ratios": (3, 1.6, 1.6)})
    x, y, y_unc = (numpy.array(column) for column in zip(*points))
    grid = numpy.geomspace(x.min(), x.max(), 400)

    curves.errorbar(x, y, yerr=y_unc, fmt="o", color="black", capsize=3, label="calibration points", zorder=3)
    for (model_id, fit), colour in zip(fits, COLOURS):
        curves.plot(grid, example_env.model_curve(model_id, fit[0], grid), color=colour, label=label(model_id, fit))
        # Item 4 holds the points as the module fitted them (single precision).
        fx, fy, func, deviation = (numpy.array(column) for column in zip(*fit[4]))
        model_y = example_env.model_curve(model_id, fit[0], fx)
        residuals.plot(fx, (fy - model_y) / func, "o-", color=colour, markersize=4)
        deviations.plot(fx, deviation, "o-", color=colour, markersize=4)
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
    for model_id, fit in fits:
        print_fit(model_id, fit)
    path = example_env.output_path("calibration.png")
    draw(points, fits, path)
    print("saved %s" % path)
    return 0


if __name__ == "__main__":
    sys.exit(main())
