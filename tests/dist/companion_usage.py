"""A user script of the companion package that mypy --strict must accept."""
from typing import List, Optional

import curvefits
from curvefits import Flag, Model, Status

x = [1.5, 2.0, 3.0, 4.0, 5.0, 6.0]
y = [2.0 * v ** 1.5 for v in x]
result = curvefits.fit(x, y, 0.05, model=Model.LOG_LOG, order=2, refine=True)
coefficients = [float(c) for c in result.coefficients]
errors = result.standard_errors
dof: int = result.degrees_of_freedom
chi: float = result.reduced_chi_square
curve = result.evaluate([7.0, 8.0])
flags: Flag = result.flags | Flag.CHECK_CONDITIONING
residuals = result.points.residual

both = curvefits.fit_two_range(list(zip(x, y, [0.05] * 6)), threshold=3.5)
lower: Optional[curvefits.FitResult] = both.lower
threshold: float = both.threshold

outcome = curvefits.fit(x, y, -1.0, model=6, check=False)
if isinstance(outcome, curvefits.CurveFitError):
    status: int = outcome.status
    message: str = outcome.message
    failed = outcome.status == Status.INVALID_ARGUMENT

roots = curvefits.roots([1.0, -3.0, 2.0], highest_first=True)
names: List[str] = [m.name for m in Model]
version: str = curvefits.__version__
