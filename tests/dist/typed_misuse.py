"""Calls the type stub must reject: a mypy error on each line marked 'rejected', on no other."""
import tallowfit

points = [(1.0, 2.0, 0.1), (2.0, 3.5, 0.1), (3.0, 5.0, 0.2)]
tallowfit.findRoots("x")  # rejected: a str is no list of numbers
tallowfit.optimizeModel(points, 6, "2", 0)  # rejected: order given as a str
tallowfit.optimizeModel(points, 6, 2)  # rejected: flags missing
tallowfit.optimizeModel(points, 6, 2, 0, 0)  # rejected: one argument too many
tallowfit.findRoots(coefficients=[1.0, 2.0])  # rejected: positional only
tallowfit.optimizeDualModel(points, "4.5", 0, 0, 0)  # rejected: threshold given as a str
tallowfit.optimizeModel(["1, 2, 0.1"], 6, 2, 0)  # rejected: a point given as a str
status, roots = tallowfit.findRoots([1.0, 0.0, 1.0])
roots.sort()  # rejected: roots may be None
tallowfit.fitModel(points)  # rejected: no such function
