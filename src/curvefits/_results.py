"""The result objects of fits and the conversion of engine reports into them."""
import math
from typing import Any, Callable, Optional, Sequence, Union

from ._inputs import Points, statistics_masks
from ._models import Flag, Model, model_values

try:
    import numpy as np  # type: ignore[import-not-found, unused-ignore]
except ImportError:  # pragma: no cover - exercised by the suite without numpy
    np = None  # type: ignore[assignment, unused-ignore]

__all__ = ["FitResult", "PointTable", "TwoRangeFit"]

_COLUMNS = ("x", "y", "sigma", "fitted", "deviation")


def _column(table: Any, index: int) -> Any:
    if np is not None:
        return table[:, index]
    return tuple(table[index::5])


class PointTable(object):
    """The points that the fit's statistics used, one row per point of the native
    deviation table (points where the model can be evaluated), in input order.

    Attributes (numpy arrays when numpy is installed, else tuples of float)
    ----------
    x, y, sigma : the point as the fit read it (rounded to single precision)
    fitted : the fitted curve at x
    residual : y - fitted, signed
    deviation : the native deviation, sqrt(residual**2 + sigma**2) (sigma left
        out under ``allow_zero_uncertainty``), unsigned

    Examples
    --------
    >>> import curvefits
    >>> result = curvefits.fit([1, 2, 3, 4], [1.1, 1.9, 3.2, 3.9], 0.1,
    ...                        model=curvefits.Model.POLYNOMIAL, order=2)
    >>> len(result.points), round(float(result.points.residual[0]), 2)
    (4, 0.03)
    """

    def __init__(self, table: Union[bytearray, Callable[[], bytearray]]) -> None:
        data = table() if callable(table) else table
        values = None  # type: Any
        if np is not None:
            values = np.frombuffer(data, dtype=np.float64).reshape(-1, 5)
        else:
            values = memoryview(data).cast("d").tolist()
        self.x, self.y, self.sigma, self.fitted, self.deviation = (
            _column(values, k) for k in range(5))
        if np is not None:
            self.residual = self.y - self.fitted  # type: Any
        else:
            self.residual = tuple(a - b for a, b in zip(self.y, self.fitted))

    def __len__(self) -> int:
        return len(self.x)

    def __repr__(self) -> str:
        return "PointTable(%d points)" % len(self)


def _matrix(rows: Sequence[Sequence[float]]) -> Any:
    if np is not None:
        return np.array(rows, dtype=np.float64).reshape(len(rows), len(rows))
    return tuple(tuple(row) for row in rows)


class FitResult(object):
    """The result of one model fit.

    Attributes
    ----------
    model : Model
        The model fitted (``Model.LOG_LOG`` for each range of a two-range fit).
    flags : Flag
        The flag word the fit ran with.
    coefficients : numpy.ndarray or tuple of float
        ``c[0] .. c[n-1]``, in the order of the model's formula.
    covariance : numpy.ndarray or tuple of tuples
        The n x n covariance of the coefficients; rows and columns of a held
        coefficient (``c[0]`` of LOG_RATIO) are 0. With
        ``allow_zero_uncertainty`` and every sigma 0 it is scaled by the
        reduced chi-square.
    reduced_chi_square : float
        Sum of ((y - f(x)) / sigma)**2 over the points counted, divided by
        ``degrees_of_freedom`` (by 1 when that is 0 under ``allow_exact_fit``).
    average_error : float
        100 times the mean of ``abs(y - f(x)) / y`` over the table's points with y != 0.

    Examples
    --------
    >>> import curvefits
    >>> result = curvefits.fit([1, 2, 3, 4], [3.1, 4.9, 7.2, 8.8], 0.2,
    ...                        model=curvefits.Model.POLYNOMIAL, order=2)
    >>> [round(float(c), 2) for c in result.coefficients], result.degrees_of_freedom
    ([1.15, 1.94], 2)
    """

    def __init__(self, model: int, flags: int, report: Any, points: Points) -> None:
        coefficients, covariance, self.reduced_chi_square, self.average_error, table = report
        self.model = Model(model)
        self.flags = Flag(flags)
        self.coefficients = (np.array(coefficients, dtype=np.float64) if np is not None
                             else tuple(coefficients))  # type: Any
        self.covariance = _matrix(covariance)  # type: Any
        self._table = table
        self._points = points
        self._point_table = None  # type: Optional[PointTable]

    @property
    def order(self) -> int:
        """The number of coefficients n.

        Examples
        --------
        >>> import curvefits
        >>> curvefits.fit([1, 2, 3], [2, 4, 6.1], 0.1, model=curvefits.Model.POLYNOMIAL).order
        2
        """
        return len(self.coefficients)

    @property
    def standard_errors(self) -> Any:
        """The square roots of the covariance's diagonal (NaN where it is negative).

        Examples
        --------
        >>> import curvefits
        >>> result = curvefits.fit([1, 2, 3, 4], [2, 4, 6.1, 8], 0.1,
        ...                        model=curvefits.Model.POLYNOMIAL, order=2)
        >>> len(result.standard_errors)
        2
        """
        diagonal = [self.covariance[k][k] for k in range(self.order)]
        errors = [math.sqrt(v) if v >= 0.0 else math.nan for v in diagonal]
        return np.array(errors) if np is not None else tuple(errors)

    @property
    def degrees_of_freedom(self) -> int:
        """Points counted in the chi-square minus the coefficients adjusted (n, or
        n - 1 for LOG_RATIO, whose c[0] is held).

        Examples
        --------
        >>> import curvefits
        >>> curvefits.fit([1, 2, 3, 4], [2, 4, 6.1, 8], 0.1,
        ...               model=curvefits.Model.POLYNOMIAL, order=2).degrees_of_freedom
        2
        """
        counted = statistics_masks(self._points, self.model, self.flags, self.coefficients)[0]
        adjusted = self.order - 1 if self.model == Model.LOG_RATIO else self.order
        return sum(1 for kept in counted if kept) - adjusted

    @property
    def points(self) -> PointTable:
        """The points used, with fitted values, signed residuals and the native deviation.

        Examples
        --------
        >>> import curvefits
        >>> result = curvefits.fit([1, 2, 3], [2, 4, 6.1], 0.1, model=curvefits.Model.POLYNOMIAL)
        >>> len(result.points)
        3
        """
        if self._point_table is None:
            self._point_table = PointTable(self._table)
        return self._point_table

    def evaluate(self, x: Any) -> Any:
        """The fitted curve at x, in double precision, by the native formulas.

        Parameters
        ----------
        x : float or array_like
            Where to evaluate.

        Returns
        -------
        float, numpy.ndarray or list of float
            A float for a number; for a sequence a numpy array (a list without
            numpy). NaN where the model cannot be evaluated (LOG_LOG at x <= 1,
            a negative polynomial under ROOT_POLYNOMIAL, ...).

        Examples
        --------
        >>> import curvefits
        >>> result = curvefits.fit([1, 2, 3, 4], [2, 4, 6, 8], 0.1,
        ...                        model=curvefits.Model.POLYNOMIAL, order=2)
        >>> round(result.evaluate(10.0), 6)
        20.0
        """
        scalar = isinstance(x, (int, float)) or (np is not None and np.ndim(x) == 0)
        values = model_values(self.model, self.coefficients, [x] if scalar else x)[0]
        return float(values[0]) if scalar else values

    def __repr__(self) -> str:
        return "FitResult(model=%s, coefficients=%s, reduced_chi_square=%r)" % (
            self.model.name, list(self.coefficients), self.reduced_chi_square)


class TwoRangeFit(object):
    """The result of a two-range fit: a LOG_LOG fit on each side of a threshold.

    Attributes
    ----------
    lower : FitResult or None
        The fit of the points at or below the threshold; None when there are none.
    upper : FitResult
        The fit of the points at or above the threshold.
    threshold : float
        The threshold as the fit used it (rounded to single precision).

    Examples
    --------
    >>> import curvefits
    >>> x = [1.5, 2, 3, 4, 5, 6, 7, 8]
    >>> y = [v ** 1.5 for v in x]
    >>> result = curvefits.fit_two_range(x, y, 0.01, threshold=4.5)
    >>> result.lower is not None, result.threshold
    (True, 4.5)
    """

    def __init__(self, lower: Optional[FitResult], upper: FitResult, threshold: float) -> None:
        self.lower = lower
        self.upper = upper
        self.threshold = threshold

    def evaluate(self, x: Any) -> Any:
        """The lower curve below the threshold, the upper one at and above it.

        Examples
        --------
        >>> import curvefits
        >>> x = [1.5, 2, 3, 4, 5, 6, 7, 8]
        >>> result = curvefits.fit_two_range(x, [v ** 1.5 for v in x], 0.01, threshold=4.5)
        >>> round(result.evaluate(9.0), 3)
        27.0
        """
        upper = self.upper.evaluate(x)
        if self.lower is None:
            return upper
        lower = self.lower.evaluate(x)
        if isinstance(upper, float):
            return lower if x < self.threshold else upper
        if np is not None:
            return np.where(np.asarray(x, dtype=np.float64) < self.threshold, lower, upper)
        return [lo if float(v) < self.threshold else up for v, lo, up in zip(x, lower, upper)]

    def __repr__(self) -> str:
        return "TwoRangeFit(threshold=%r, lower=%r, upper=%r)" % (self.threshold, self.lower,
                                                                   self.upper)


def roots_value(real: bytearray, imag: bytearray) -> Any:
    """The roots as numpy wants them (float64 when all are real, else complex128),
    or a list of float and complex like the native list."""
    re = memoryview(real).cast("d").tolist()
    im = memoryview(imag).cast("d").tolist()
    if np is not None:
        if not any(im):
            return np.array(re, dtype=np.float64)
        roots = np.empty(len(re), dtype=np.complex128)
        roots.real, roots.imag = re, im
        return roots
    return [r if i == 0.0 else complex(r, i) for r, i in zip(re, im)]

