"""The two-range model 'Dual' on the calibration data, drawn with matplotlib.

    python examples/plot_dual.py [threshold]

optimizeDualModel divides the points of examples/data/calibration.csv at the
threshold (6 by default) and fits a LogLog curve to each range, with the
orders chosen by the module from the number of points on each side and the
refinement in data space (flag 2). A point exactly on the threshold belongs to
both ranges. The script prints both fits and saves examples/output/dual.png:

- top, log-log axes: the points, the lower curve over the lower range and the
  upper curve over the upper range (dashed where each is carried beyond its
  range), the threshold as a vertical line, and the shared point circled;
- bottom: the normalised residuals (y - f(x)) / yUnc of each range.

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

RANGES = (("lower range", "tab:blue"), ("upper range", "tab:red"))


def print_fit(name, fit):
    print("%s: %d points, %d coefficients, reduced chi-square %.4g, average error %.3g %%" % (
        name, len(fit.points), fit.order, fit.reduced_chi_square, fit.average_error))
    for k, (value, error) in enumerate(zip(fit.coefficients, fit.standard_errors)):
        print("    c[%d] = %- .8g +- %.3g" % (k, value, error))


def draw(points, threshold, fits, path):
    figure, (curves, residuals) = plt.subplots(
        2, 1, figsize=(9, 8.5), sharex=True, gridspec_kw={"height_ratios": (3, 1.4)})
    x, y, y_unc = (numpy.array(column) for column in zip(*points))
    everywhere = numpy.geomspace(x.min() / 1.1, x.max() * 1.1, 400)
    curves.errorbar(x, y, yerr=y_unc, fmt="o", color="black", capsize=3, label="calibration points", zorder=3)

    for (name, colour), fit in zip(RANGES[-len(fits):], fits):
        # The points of the range as the fit read them.
        used = fit.points
        inside = (everywhere >= used.x.min()) & (everywhere <= used.x.max())
        curve = fit.evaluate(everywhere)
        curves.plot(everywhere[inside], curve[inside], color=colour, linewidth=2,
                    label="%s: %d points, n=%d, $\\chi^2_\\nu$ = %.3g" % (
                        name, len(used), fit.order, fit.reduced_chi_square))
        curves.plot(everywhere, curve, color=colour, linewidth=1, linestyle="--", alpha=0.6)
        residuals.plot(used.x, used.residual / used.sigma, "o-", color=colour, label=name)

    shared = sorted(set(zip(fits[0].points.x, fits[0].points.y)) & set(zip(fits[-1].points.x, fits[-1].points.y))) if len(fits) == 2 else []
    for sx, sy in shared:
        curves.plot([sx], [sy], "o", markersize=16, markerfacecolor="none", markeredgecolor="purple",
                    label="x = %g: on the threshold, in both ranges" % sx)
    for axes in (curves, residuals):
        axes.axvline(threshold, color="purple", linestyle=":", linewidth=1.5)
        axes.grid(True, which="both", alpha=0.3)
    curves.text(threshold * 1.03, 1.42, "threshold x = %g" % threshold, color="purple")

    curves.set_xscale("log")
    curves.set_yscale("log")
    curves.set_ylim(0.2, 1.6)
    curves.set_ylabel("response y")
    curves.set_title("'Dual' model: one LogLog fit on each side of x = %g (flag 2)" % threshold)
    curves.legend(loc="lower center", fontsize=9)
    curves.yaxis.set_major_formatter(matplotlib.ticker.ScalarFormatter())
    curves.yaxis.set_minor_formatter(matplotlib.ticker.NullFormatter())
    curves.set_yticks([0.2, 0.3, 0.4, 0.6, 0.8, 1.0, 1.2, 1.5])
    residuals.axhline(0.0, color="grey", linewidth=0.8)
    residuals.set_ylabel("(y - f(x)) / yUnc")
    residuals.set_xlabel("x")
    residuals.set_xticks([1.5, 2, 3, 5, 7, 10, 15, 20, 30, 40])
    residuals.xaxis.set_major_formatter(matplotlib.ticker.ScalarFormatter())
    residuals.xaxis.set_minor_formatter(matplotlib.ticker.NullFormatter())
    residuals.legend(loc="lower left", fontsize=9)
    figure.tight_layout()
    figure.savefig(path, dpi=100)


def main():
    threshold = float(sys.argv[1]) if len(sys.argv) > 1 else 6.0
    points = example_env.read_calibration_points()
    both = curvefits.fit_two_range(points, threshold=threshold, refine=True)
    fits = [fit for fit in (both.lower, both.upper) if fit is not None]
    for (name, _), fit in zip(RANGES[-len(fits):], fits):
        print_fit(name, fit)
    path = example_env.output_path("dual.png")
    draw(points, threshold, fits, path)
    print("saved %s" % path)
    return 0


if __name__ == "__main__":
    sys.exit(main())
