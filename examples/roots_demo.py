"""Finds the roots of a few polynomials with tallowfit.findRoots, through the
companion package curvefits.

Run with the module on the path, e.g.
    PYTHONPATH=build/py3 /usr/bin/python3 examples/roots_demo.py
Runs on Python 3 (the companion package needs 3.7 or later).
"""
from demo_support import load_companion, print_table

curvefits = load_companion()

# Coefficient k belongs to x^k: the constant term first, the leading one last.
POLYNOMIALS = [
    [2.0, -3.0, 1.0],
    [1.0, 0.0, 1.0],
    [-1.0, 0.0, 0.0, 1.0],
    [24.0, -50.0, 35.0, -10.0, 1.0],
    [-1.0, -1.0, 0.0, 0.0, 0.0, 1.0],
    [5.0],
    [1.0, 0.0],
]


def format_polynomial(coefficients):
    """'x^3 - 2x + 1' from [1, -2, 0, 1]. The leading term is shown even when
    it is 0, since the root finder refuses that."""
    terms = []
    for power in range(len(coefficients) - 1, -1, -1):
        c = coefficients[power]
        if c == 0.0 and power < len(coefficients) - 1:
            continue
        sign = "-" if c < 0 else "+"
        size = abs(c)
        if power == 0:
            body = "%g" % size
        else:
            body = ("" if size == 1.0 else "%g" % size) + ("x" if power == 1 else "x^%d" % power)
        terms.append((sign, body))
    first_sign, first_body = terms[0]
    text = ("-" if first_sign == "-" else "") + first_body
    for sign, body in terms[1:]:
        text += " %s %s" % (sign, body)
    return text


def format_root(root):
    root = complex(root)
    if root.imag != 0.0:
        return "%.10g %s %.10gi" % (root.real, "-" if root.imag < 0 else "+", abs(root.imag))
    return "%.10g" % root.real


def main():
    print("Roots of polynomials (tallowfit.findRoots through curvefits.roots)")
    print()
    rows = []
    for coefficients in POLYNOMIALS:
        polynomial = format_polynomial(coefficients)
        roots = curvefits.roots(coefficients, check=False)
        if isinstance(roots, curvefits.CurveFitError):
            rows.append([polynomial, "", "status %d (%s): %s" % (
                roots.status, roots.status_name, roots.message)])
        elif not len(roots):
            rows.append([polynomial, "", "no roots"])
        else:
            for k, root in enumerate(roots):
                rows.append([polynomial if k == 0 else "", str(k), format_root(root)])
    print_table(["polynomial", "#", "root"], rows, align="lrl")


if __name__ == "__main__":
    main()
