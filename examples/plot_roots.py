"""Roots of polynomials on the complex plane, drawn with matplotlib.

    python examples/plot_roots.py

findRoots returns every root of a polynomial of degree 24 or less: a float for
a real root, a complex for a complex one. Three polynomials, one panel each in
examples/output/roots.png:

1. x^24 - 1, whose roots are the 24th roots of unity on the unit circle;
2. the polynomial of degree 8 made from eight chosen roots (four real, two
   complex pairs): the roots found are drawn over the chosen ones;
3. a polynomial of degree 24 with random coefficients (fixed seed), whose roots
   gather near the unit circle, drawn over numpy.roots of the same coefficients.

For each the script prints the largest distance between a root found and the
nearest reference root. matplotlib and numpy are installed into .venv-examples
when missing.
"""
import cmath
import random
import sys

import example_env

example_env.require({"matplotlib": "matplotlib", "numpy": "numpy"})
tallowfit = example_env.import_tallowfit()

import matplotlib                 # noqa: E402  (installed by require above)
matplotlib.use("Agg")
import matplotlib.pyplot as plt   # noqa: E402
import numpy                      # noqa: E402

CHOSEN_ROOTS = (1.0, 2.0, 3.0, -1.5, 1 + 2j, 1 - 2j, -2 + 0.5j, -2 - 0.5j)
SEED = 24


def find_roots(coefficients):
    """findRoots, with the coefficient of x^k at index k."""
    status, roots = tallowfit.findRoots(list(coefficients))
    if status != 0:
        sys.exit("findRoots failed with status %d" % status)
    return numpy.array([complex(root) for root in roots])


def largest_distance(found, reference):
    return max(min(abs(root - other) for other in reference) for root in found)


def roots_of_unity():
    coefficients = [-1.0] + [0.0] * 23 + [1.0]
    reference = numpy.array([cmath.exp(2j * cmath.pi * k / 24) for k in range(24)])
    return "x$^{24}$ - 1", coefficients, reference, "24th roots of unity"


def from_chosen_roots():
    # numpy.poly lists the highest power first; findRoots wants the constant first.
    coefficients = [float(c) for c in numpy.real(numpy.poly(CHOSEN_ROOTS))[::-1]]
    return "degree 8 from chosen roots", coefficients, numpy.array(CHOSEN_ROOTS), "chosen roots"


def random_coefficients():
    rng = random.Random(SEED)
    coefficients = [rng.gauss(0.0, 1.0) for _ in range(25)]
    return "degree 24, random coefficients", coefficients, numpy.roots(coefficients[::-1]), "numpy.roots"


def draw(panels, path):
    figure, axes_row = plt.subplots(1, len(panels), figsize=(16, 6.4))
    circle = numpy.exp(1j * numpy.linspace(0.0, 2.0 * numpy.pi, 400))
    for axes, (title, found, reference, reference_label) in zip(axes_row, panels):
        axes.plot(circle.real, circle.imag, color="lightgrey", linewidth=1, label="unit circle")
        axes.plot(reference.real, reference.imag, "o", markersize=11, markerfacecolor="none",
                  markeredgecolor="tab:blue", label=reference_label)
        real = found.imag == 0.0
        axes.plot(found[real].real, found[real].imag, "x", color="tab:red", markersize=8, markeredgewidth=2,
                  label="findRoots: float (real root)")
        axes.plot(found[~real].real, found[~real].imag, "+", color="tab:purple", markersize=10,
                  markeredgewidth=2, label="findRoots: complex")
        axes.axhline(0.0, color="grey", linewidth=0.6)
        axes.axvline(0.0, color="grey", linewidth=0.6)
        axes.set_aspect("equal", adjustable="datalim")
        axes.set_title("%s: %d roots" % (title, len(found)))
        axes.set_xlabel("real part")
        axes.set_ylabel("imaginary part")
        axes.grid(True, alpha=0.3)
        axes.legend(loc="upper center", bbox_to_anchor=(0.5, -0.13), ncol=2, fontsize=8)
    figure.suptitle("Roots found by tallowfit.findRoots on the complex plane")
    figure.tight_layout()
    figure.savefig(path, dpi=100)


def main():
    panels = []
    for title, coefficients, reference, reference_label in (roots_of_unity(), from_chosen_roots(), random_coefficients()):
        found = find_roots(coefficients)
        print("%s: %d roots (%d real), largest distance from the %s: %.2e" % (
            title.replace("$^{24}$", "^24"), len(found), int(numpy.sum(found.imag == 0.0)), reference_label,
            largest_distance(found, reference)))
        panels.append((title, found, reference, reference_label))
    path = example_env.output_path("roots.png")
    draw(panels, path)
    print("saved %s" % path)
    return 0


if __name__ == "__main__":
    sys.exit(main())
