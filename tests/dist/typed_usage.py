"""Calls that the type stub must accept (checked with mypy --strict)."""
from typing import List, Optional, Tuple, Union

import tallowfit

points = [(1, 2.0, 0.1), (2, 3.5, 0.1), (3, 5.0, 0.2), (4, 6.1, 0.2)]
status, fit = tallowfit.optimizeModel(points, 6, 2, 0)
if status == 0 and fit is not None:
    first, third = fit[0], fit[2]
    if isinstance(first, list) and isinstance(third, float):
        coefficients: List[float] = [float(c) for c in first if isinstance(c, float)]
        reduced_chi_square: float = third

as_lists = [[1.5, 0.5, 0.01], [2.0, 0.7, 0.01], [3.0, 1.0, 0.02]]
dual = tallowfit.optimizeDualModel(as_lists, 2.5, 0, 0, 16 + 2)
if dual[1] is not None:
    ranges = len(dual[1])

found = tallowfit.findRoots([2, -3, 1])
roots: Optional[List[Union[float, complex]]] = found[1]
if roots is not None:
    magnitudes = [abs(root) for root in roots]
