"""curvefits: arrays in, named results out, exceptions on failure, over the
native ``tallowfit`` module.

The native module's three functions stay as they are (positional lists,
``(status, payload)`` tuples, messages on ``sys.stdout``). This package calls
the very same functions, so every result bit is the native one, and adds:

* input as x, y, sigma columns, an N x 3 array or any iterable of rows (lists,
  tuples, generators, ``zip``), numpy arrays of any int or float dtype;
* checks before the call that name the problem (shape, too few points, x <= 1
  for LOG_LOG, non-finite values, sigma <= 0, ...) and a
  :class:`PrecisionWarning` when single precision damages the points;
* :class:`Model`, :class:`Flag`, :class:`Status` enums and keyword options;
* :class:`FitResult` / :class:`TwoRangeFit` objects with standard errors,
  degrees of freedom, signed residuals and ``evaluate(x)``;
* one exception class per kind of status, carrying the native message, which
  never reaches your stdout.

Runs on CPython 3.7 to 3.13 (not on Python 2.7, which the native module also
supports); uses numpy when it is installed and the standard library otherwise.

Examples
--------
>>> import curvefits
>>> result = curvefits.fit([1, 2, 3, 4, 5], [1.9, 4.1, 6.0, 8.1, 9.9], 0.1,
...                        model=curvefits.Model.POLYNOMIAL, order=2)
>>> [round(float(c), 3) for c in result.coefficients]
[0.0, 2.0]
>>> sorted(float(r) for r in curvefits.roots([1, -3, 2], highest_first=True))
[1.0, 2.0]
"""
from __future__ import annotations

import operator
import os
import sys
from array import array
from typing import TYPE_CHECKING, Any, Callable, Optional, Union, overload

from . import _classic
from ._errors import (CurveFitError, IllConditionedError, InternalError, InvalidInputError,
                      NoConvergenceError, OutOfMemoryError, PrecisionWarning, error_for)
from ._inputs import (Points, read_coefficients, read_points, refuse_fit,
                      refuse_two_range, single, threshold_sides, warn_precision)
from ._models import Flag, Model, Status
from ._results import FitResult, PointTable, TwoRangeFit, roots_value

if TYPE_CHECKING:
    from typing import Literal

try:
    import numpy as _np  # type: ignore[import-not-found, unused-ignore]
except ImportError:  # pragma: no cover - exercised by the suite without numpy
    _np = None  # type: ignore[assignment, unused-ignore]

try:
    import _curvefits_engine as _engine  # type: ignore[import-not-found, import-untyped, unused-ignore]
except ImportError:
    _engine = None


def _package_version() -> str:
    try:
        if sys.version_info >= (3, 8):
            from importlib.metadata import PackageNotFoundError, version
            try:
                return version("tallowfit")
            except PackageNotFoundError:
                pass
    except ImportError:  # pragma: no cover
        pass
    return "0+unknown"  # a build tree or a source checkout, not an installed package


__version__ = _package_version()

__all__ = ["fit", "fit_two_range", "roots", "Model", "Flag", "Status", "FitResult",
           "TwoRangeFit", "PointTable", "CurveFitError", "InvalidInputError",
           "OutOfMemoryError", "IllConditionedError", "NoConvergenceError", "InternalError",
           "PrecisionWarning", "__version__"]


def _backend() -> Any:
    """The one place that picks who runs the native calls: the array engine
    when it is there and the inputs are numpy arrays, else the list shim."""
    return _engine if _engine is not None and _np is not None else _classic


def _call(name: str, points: Optional[Points], *arguments: Any,
          double_precision: bool = False, second_thread: bool = False) -> Any:
    backend = _backend()
    if points is None:  # roots: a list of coefficients
        return backend.find_roots(arguments[0] if backend is _classic else array("d", arguments[0]))
    if backend is _classic:  # one thread always
        return getattr(_classic, name)(*points.columns, *arguments, double_precision,
                                       rows=points.rows())
    return getattr(backend, name)(*points.contiguous(), *arguments, double_precision,
                                  second_thread)


def _second_thread(workers: int) -> bool:
    """Whether workers, the threads one fit may use, counted as scipy counts
    them (a negative number back from the machine's cores), allows a second."""
    try:
        count = operator.index(workers)
    except TypeError:
        raise TypeError("workers must be an int, not %s" % type(workers).__name__) from None
    if count < 0:
        count += (os.cpu_count() or 1) + 1
    if count < 1:
        raise ValueError("workers=%d leaves the fit no thread: give 1 or more, or -1 for "
                         "every core" % workers)
    return count >= 2


def _prepared(x: Any, y: Any, sigma: Any, double_precision: bool, check: bool,
              refuse: Callable[[Points], None]) -> Union[Points, CurveFitError]:
    """The points as the native call will read them, checked by refuse and
    warned about when single precision damages them; with check=False a
    refusal is returned instead of raised. Double precision needs the array
    engine; the classic call reads single precision only."""
    try:
        if double_precision and _backend() is _classic:
            raise InvalidInputError(Status.INVALID_ARGUMENT, "double_precision=True needs numpy "
                                    "and the array engine (_curvefits_engine); the classic "
                                    "call reads single precision only")
        points = read_points(x, y, sigma)
        if double_precision:
            points.read_as_given()
        refuse(points)
    except InvalidInputError as error:
        if check:
            raise
        return error
    if not double_precision:
        warn_precision(points, 3)
    return points


def _flag_word(flags: int, **options: bool) -> int:
    word = int(flags)
    for name, on in options.items():
        if on:
            word |= Flag[name.upper()]
    return word


def _failed(status: int, message: Optional[str], call: str, check: bool) -> CurveFitError:
    error = error_for(status, message, call)
    if check:
        raise error
    return error


@overload
def fit(x: Any, y: Any = ..., sigma: Any = ..., *, model: Union[Model, int], order: int = ...,
        refine: bool = ..., drop_invalid: bool = ..., scale_small_y: bool = ...,
        check_conditioning: bool = ..., allow_exact_fit: bool = ...,
        allow_zero_uncertainty: bool = ..., flags: Union[Flag, int] = ...,
        double_precision: bool = ..., workers: int = ...,
        check: Literal[True] = ...) -> FitResult: ...
@overload
def fit(x: Any, y: Any = ..., sigma: Any = ..., *, model: Union[Model, int], order: int = ...,
        refine: bool = ..., drop_invalid: bool = ..., scale_small_y: bool = ...,
        check_conditioning: bool = ..., allow_exact_fit: bool = ...,
        allow_zero_uncertainty: bool = ..., flags: Union[Flag, int] = ...,
        double_precision: bool = ..., workers: int = ...,
        check: bool = ...) -> Union[FitResult, CurveFitError]: ...
def fit(x: Any, y: Any = None, sigma: Any = None, *, model: Union[Model, int], order: int = 0,
        refine: bool = False, drop_invalid: bool = False, scale_small_y: bool = False,
        check_conditioning: bool = False, allow_exact_fit: bool = False,
        allow_zero_uncertainty: bool = False, flags: Union[Flag, int] = 0,
        double_precision: bool = False, workers: int = -1,
        check: bool = True) -> Union[FitResult, CurveFitError]:
    """Fits one model to measured points by weighted least squares.

    Parameters
    ----------
    x, y, sigma : array_like
        The points as three columns (sigma, the uncertainty of y, may be one
        number for all), or x alone as N rows of (x, y, sigma): an N x 3
        array, a list of tuples, a generator, ``zip(x, y, sigma)``.
        The native fit reads them in single precision.
    model : Model or int
        The model (any but ``Model.DUAL``: see :func:`fit_two_range`).
    order : int
        The number of coefficients; 0 lets the fit choose it (at most 5).
    refine, drop_invalid, scale_small_y, check_conditioning, allow_exact_fit,
    allow_zero_uncertainty : bool
        Set the flag bits of :class:`Flag` of the same names.
    flags : Flag or int
        More flag bits, or'ed with the options.
    double_precision : bool
        Read the points as the doubles given instead of rounding them to
        single precision (needs numpy and the array engine). For data that
        single precision damages, such as timestamps or large offsets; the
        results then differ from the native ``tallowfit`` call's.
    workers : int
        The threads the fit may use, counted as scipy counts them: a negative
        number counts back from the machine's cores (-1, the default: all of
        them). A fit uses two at most: allowed two, a fit from arrays of
        8,192 points or more, of any model but POLYNOMIAL and ROOT_POLYNOMIAL,
        hands the evaluation of its points to a second thread while no other
        fit of the process is under way. 1 keeps the fit on the calling
        thread, for programs that keep the cores busy otherwise, such as fits
        in several processes at once. The result is the same to the bit
        either way.
    check : bool
        False returns the failure (an unraised :class:`CurveFitError`, with
        ``status`` and ``message``) instead of raising it: for batches.

    Returns
    -------
    FitResult

    Raises
    ------
    InvalidInputError, IllConditionedError, OutOfMemoryError, InternalError
        What the points or the fit refused.
    TypeError, ValueError
        A ``workers`` that is not an int, or that leaves no thread.

    Examples
    --------
    >>> import curvefits
    >>> result = curvefits.fit([(1, 2.0, 0.1), (2, 3.9, 0.1), (3, 6.1, 0.1)],
    ...                        model=curvefits.Model.POLYNOMIAL, order=2)
    >>> round(result.evaluate(4.0), 3)
    8.1
    """
    word = _flag_word(flags, refine=refine, drop_invalid=drop_invalid,
                      scale_small_y=scale_small_y, check_conditioning=check_conditioning,
                      allow_exact_fit=allow_exact_fit,
                      allow_zero_uncertainty=allow_zero_uncertainty)
    second_thread = _second_thread(workers)

    def refuse(points: Points) -> None:
        if int(model) not in Model.__members__.values() or model == Model.DUAL:
            raise InvalidInputError(Status.INVALID_ARGUMENT, "model must be one of %s; the "
                                    "two-range model is fitted by fit_two_range" % ", ".join(
                                        m.name for m in Model if m != Model.DUAL))
        refuse_fit(points, model, int(order), word)

    points = _prepared(x, y, sigma, double_precision, check, refuse)
    if isinstance(points, CurveFitError):
        return points
    status, message, report = _call("fit", points, int(model), int(order), word,
                                    double_precision=double_precision,
                                    second_thread=second_thread)
    if report is None:
        return _failed(status, message, "optimizeModel", check)
    return FitResult(model, word, report, points)


@overload
def fit_two_range(x: Any, y: Any = ..., sigma: Any = ..., *, threshold: float,
                  lower_order: int = ..., upper_order: int = ..., refine: bool = ...,
                  drop_invalid: bool = ..., scale_small_y: bool = ...,
                  check_conditioning: bool = ..., allow_exact_fit: bool = ...,
                  allow_zero_uncertainty: bool = ..., flags: Union[Flag, int] = ...,
                  double_precision: bool = ..., workers: int = ...,
                  check: Literal[True] = ...) -> TwoRangeFit: ...
@overload
def fit_two_range(x: Any, y: Any = ..., sigma: Any = ..., *, threshold: float,
                  lower_order: int = ..., upper_order: int = ..., refine: bool = ...,
                  drop_invalid: bool = ..., scale_small_y: bool = ...,
                  check_conditioning: bool = ..., allow_exact_fit: bool = ...,
                  allow_zero_uncertainty: bool = ..., flags: Union[Flag, int] = ...,
                  double_precision: bool = ..., workers: int = ...,
                  check: bool = ...) -> Union[TwoRangeFit, CurveFitError]: ...
def fit_two_range(x: Any, y: Any = None, sigma: Any = None, *, threshold: float,
                  lower_order: int = 0, upper_order: int = 0, refine: bool = False,
                  drop_invalid: bool = False, scale_small_y: bool = False,
                  check_conditioning: bool = False, allow_exact_fit: bool = False,
                  allow_zero_uncertainty: bool = False, flags: Union[Flag, int] = 0,
                  double_precision: bool = False, workers: int = -1,
                  check: bool = True) -> Union[TwoRangeFit, CurveFitError]:
    """Fits LOG_LOG separately below and above a threshold of x (the 'Dual' model).

    A point at or below the threshold belongs to the lower range, one at or
    above it to the upper range (a point on it to both). The upper range must
    not be empty; an empty lower range gives ``lower = None``.

    Parameters
    ----------
    x, y, sigma : array_like
        The points, as for :func:`fit`.
    threshold : float
        Where to divide the points (read in single precision).
    lower_order, upper_order : int
        Coefficients of each range's fit; 0 chooses from that range's points.
    refine, drop_invalid, scale_small_y, check_conditioning, allow_exact_fit,
    allow_zero_uncertainty, flags, double_precision, workers, check
        As for :func:`fit`, for both ranges (double precision reads the
        threshold as given too).

    Returns
    -------
    TwoRangeFit

    Examples
    --------
    >>> import curvefits
    >>> x = [1.5, 2, 3, 4, 5, 6, 7, 8]
    >>> both = curvefits.fit_two_range(x, [v * v for v in x], 0.01, threshold=4.5, upper_order=2)
    >>> [round(float(c), 3) for c in both.upper.coefficients]
    [0.0, 2.0]
    """
    word = _flag_word(flags, refine=refine, drop_invalid=drop_invalid,
                      scale_small_y=scale_small_y, check_conditioning=check_conditioning,
                      allow_exact_fit=allow_exact_fit,
                      allow_zero_uncertainty=allow_zero_uncertainty)
    second_thread = _second_thread(workers)
    cut = float(threshold) if double_precision else single(float(threshold))
    points = _prepared(x, y, sigma, double_precision, check, lambda p: refuse_two_range(
        p, cut, int(lower_order), int(upper_order), word))
    if isinstance(points, CurveFitError):
        return points
    status, message, reports = _call("fit_dual", points, float(threshold), int(lower_order),
                                     int(upper_order), word, double_precision=double_precision,
                                     second_thread=second_thread)
    if reports is None:
        return _failed(status, message, "optimizeDualModel", check)
    lower_side, upper_side = threshold_sides(points.rounded[0], cut)

    def side(report: Any, mask: Any) -> FitResult:
        part = Points([c[mask] for c in points.columns]) if _np is not None else Points(
            [[v for v, keep in zip(c, mask) if keep] for c in points.columns])
        return FitResult(Model.LOG_LOG, word, report, part)

    lower = None if reports[0] is None else side(reports[0], lower_side)
    return TwoRangeFit(lower, side(reports[1], upper_side), cut)


@overload
def roots(coefficients: Any, *, highest_first: bool = ...,
          check: Literal[True] = ...) -> Any: ...
@overload
def roots(coefficients: Any, *, highest_first: bool = ...,
          check: bool = ...) -> Any: ...
def roots(coefficients: Any, *, highest_first: bool = False, check: bool = True) -> Any:
    """All roots of a polynomial of degree at most 24.

    Parameters
    ----------
    coefficients : array_like
        The coefficients, constant term first (the native order), or leading
        coefficient first with ``highest_first=True`` (numpy's order, as for
        ``numpy.roots``). At most 25; the leading one must not be 0.
    highest_first : bool
        Read the coefficients leading first.
    check : bool
        False returns the failure (an unraised :class:`CurveFitError`) instead
        of raising it.

    Returns
    -------
    numpy.ndarray or list
        With numpy, a float64 array when every root is real, else complex128;
        without numpy, a list of float (real roots) and complex. The order is
        the native order.

    Examples
    --------
    >>> import curvefits
    >>> sorted(float(r) for r in curvefits.roots([2, -3, 1]))
    [1.0, 2.0]
    """
    try:
        listed = read_coefficients(coefficients, highest_first)
    except InvalidInputError as error:
        if check:
            raise
        return error
    status, message, parts = _call("find_roots", None, listed)
    if parts is None:
        return _failed(status, message, "findRoots", check)
    return roots_value(*parts)
