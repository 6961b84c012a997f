"""The exceptions of the package and the warning about single precision."""
from typing import Dict, Optional, Type

from ._models import Status

__all__ = ["CurveFitError", "InvalidInputError", "OutOfMemoryError", "IllConditionedError",
           "NoConvergenceError", "InternalError", "PrecisionWarning"]


class CurveFitError(Exception):
    """Base class of every failure the package reports.

    Attributes
    ----------
    status : Status or int
        The native status code (``Status.INVALID_ARGUMENT`` for input refused
        before the native call).
    status_name : str
        The status's name, e.g. ``'ILL_CONDITIONED'``.
    message : str
        The exact text the native call wrote, or, when it wrote nothing or the
        input was refused before the call, a description of what was refused.
    native_message : bool
        True when ``message`` is the native call's own text.

    Examples
    --------
    >>> import curvefits
    >>> try:
    ...     curvefits.fit([1, 2], [1, 2], [0.1, 0.1], model=curvefits.Model.POLYNOMIAL, order=3)
    ... except curvefits.CurveFitError as error:
    ...     print(error.status_name)
    INVALID_ARGUMENT
    """

    def __init__(self, status: int, message: str, native_message: bool = False) -> None:
        super().__init__(message)
        try:
            self.status = Status(status)  # type: int
            self.status_name = Status(status).name
        except ValueError:
            self.status = status
            self.status_name = "UNKNOWN_%d" % status
        self.message = message
        self.native_message = native_message

    def __str__(self) -> str:
        return "%s (status %d): %s" % (self.status_name, self.status, self.message)


class InvalidInputError(CurveFitError, ValueError):
    """The input was refused: by the companion before the call, or by the native fit.

    Examples
    --------
    >>> import curvefits
    >>> try:
    ...     curvefits.fit([0.5, 2, 3, 4], [1, 2, 3, 4], 0.1, model=curvefits.Model.LOG_LOG)
    ... except curvefits.InvalidInputError as error:
    ...     print(error.message.split(':')[0])
    LOG_LOG needs x > 1 (ln x > 0)
    """


class OutOfMemoryError(CurveFitError, MemoryError):
    """Memory ran out in the native call (``OUT_OF_MEMORY`` or ``SYSTEM_OUT_OF_MEMORY``).

    Examples
    --------
    >>> issubclass(OutOfMemoryError, MemoryError)
    True
    """


class IllConditionedError(CurveFitError, ArithmeticError):
    """A matrix of the fit was singular or (with ``check_conditioning``) ill-conditioned.

    Examples
    --------
    >>> import curvefits
    >>> try:
    ...     curvefits.fit([2, 2, 2], [1, 2, 3], 0.1, model=curvefits.Model.POLYNOMIAL, order=2)
    ... except curvefits.IllConditionedError as error:
    ...     print(error.status_name)
    ILL_CONDITIONED
    """


class NoConvergenceError(CurveFitError, ArithmeticError):
    """The root finder's eigenvalue iteration did not converge.

    Examples
    --------
    >>> issubclass(NoConvergenceError, ArithmeticError)
    True
    """


class InternalError(CurveFitError, RuntimeError):
    """An unexpected internal exception in the native module, or an unknown status.

    Examples
    --------
    >>> issubclass(InternalError, RuntimeError)
    True
    """


class PrecisionWarning(UserWarning):
    """The points lose more than they should when rounded to single precision.

    The native fit reads x, y and sigma as single-precision floats (24-bit
    significand). Centre or scale a column whose values are large beside their
    spread (Unix timestamps, wavelengths in metres), e.g. ``x - x.mean()``.

    Examples
    --------
    >>> import warnings, curvefits
    >>> warnings.simplefilter("error", curvefits.PrecisionWarning)
    """


_CLASSES = {
    Status.INVALID_ARGUMENT: InvalidInputError, Status.OUT_OF_MEMORY: OutOfMemoryError,
    Status.SYSTEM_OUT_OF_MEMORY: OutOfMemoryError, Status.ILL_CONDITIONED: IllConditionedError,
    Status.NO_CONVERGENCE: NoConvergenceError}  # type: Dict[Status, Type[CurveFitError]]

# What a failure without a native message refused, by status.
_SILENT = {Status.INVALID_ARGUMENT: "the model could not be evaluated at a point during the fit",
           Status.ILL_CONDITIONED: "a matrix of the fit is singular or ill-conditioned (points "
                                   "too few or too alike for the coefficients, or x badly scaled)",
           Status.SYSTEM_OUT_OF_MEMORY: "memory ran out while the arguments were converted"
           }  # type: Dict[Status, str]


def error_for(status: int, message: Optional[str], call: str) -> CurveFitError:
    """The exception for a failed native call; call names it for a silent failure."""
    known = status if status in Status.__members__.values() else None
    if message:
        text, native = message, True
    else:
        text, native = "%s refused the input and wrote no message: %s" % (
            call, _SILENT[Status(status)] if known in _SILENT else "status %d" % status), False
    kind = _CLASSES[Status(status)] if known in _CLASSES else InternalError
    return kind(status, text, native)
