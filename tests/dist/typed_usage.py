"""A user script of the module and the companion package: mypy --strict must accept it."""
from typing import List, Optional, Tuple, Union

import curvefits
import tallowfit
from curvefits import Flag, Model, Status

points = [(1, 2.0, 0.1), (2, 3.5, 0.1), (3, 5.0, 0.2), (4, 6.1, 0.2)]
status, fit = tallowfit.optimizeModel(points, 6, 2, 0)
if status == 0 and fit is not None and isinstance(fit[0], list) and isinstance(fit[2], float):
    coefficients: List[float] = [float(c) for c in fit[0] if isinstance(c, float)]
    reduced_chi_square: float = fit[2]
dual = tallowfit.optimizeDualModel([[1.5, 0.5, 0.01], [2.0, 0.7, 0.01]], 2.5, 0, 0, 16 + 2)
ranges = len(dual[1]) if dual[1] is not None else 0
found: Optional[List[Union[float, complex]]] = tallowfit.findRoots([2, -3, 1])[1]
magnitudes = [abs(root) for root in found or []]

x = [1.5, 2.0, 3.0, 4.0, 5.0, 6.0]
y = [2.0 * v ** 1.5 for v in x]
result = curvefits.fit(x, y, 0.05, model=Model.LOG_LOG, order=2, refine=True)
values = [float(c) for c in result.coefficients] + list(result.standard_errors)
statistics: Tuple[int, float] = (result.degrees_of_freedom, result.reduced_chi_square)
flags: Flag = result.flags | Flag.CHECK_CONDITIONING
curve_and_residuals = (result.evaluate([7.0, 8.0]), result.points.residual)
both = curvefits.fit_two_range(list(zip(x, y, [0.05] * 6)), threshold=3.5)
lower: Optional[curvefits.FitResult] = both.lower
threshold: float = both.threshold
outcome = curvefits.fit(x, y, -1.0, model=6, check=False)
if isinstance(outcome, curvefits.CurveFitError):
    code: int = outcome.status
    message: str = outcome.message
    refused = outcome.status == Status.INVALID_ARGUMENT
roots = curvefits.roots([1.0, -3.0, 2.0], highest_first=True)
names: List[str] = [m.name for m in Model]
version: str = curvefits.__version__
