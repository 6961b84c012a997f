"""Models, flag bits and status codes, and the models' formulas in double precision.

The formulas repeat the native model functions operation for operation
(Horner's rule from the highest coefficient, one ``pow`` per LogInverse term,
the C library's ``exp``, ``log``, ``pow`` and ``sqrt``), so a value computed
here equals the value the fit used.  With numpy the arithmetic is vectorised;
``exp``, ``log`` and ``pow`` still go through the C library element by element
(numpy's own versions may differ from it in the last bit).
"""
import enum
import math
from itertools import repeat
from typing import Any, Callable, Sequence, Tuple

try:
    import numpy as np  # type: ignore[import-not-found, unused-ignore]
except ImportError:  # pragma: no cover - exercised by the suite without numpy
    np = None  # type: ignore[assignment, unused-ignore]

__all__ = ["Model", "Flag", "Status"]

_INF = float("inf")
_NAN = float("nan")


class Model(enum.IntEnum):
    """The curve models, by their native model number.

    An order of ``n`` means ``n`` coefficients ``c[0] .. c[n-1]``:

    ``LOG_INVERSE``      y = 10**(c0*x + c1 + c2/x + ... + c[n-1]/x**(n-2)); x > 0, y > 0
    ``LOG_LOG``          y = exp(c0 + c1*ln x + ... + c[n-1]*(ln x)**(n-1)); x > 1, y > 0
    ``LOG_RATIO``        y = exp(c1 + c2*L + ... + c[n-1]*L**(n-2)), L = ln(c0/x); c0 held
                         at the middle of the x range; x > 0, y > 0
    ``DUAL``             LOG_LOG below and above a threshold: :func:`fit_two_range` only
    ``HALF_POWER``       y = c0 + c1*x**0.5 + c2*x + ... + c[n-1]*x**((n-1)/2); x > 0, y > 0
    ``ROOT_POLYNOMIAL``  y = sqrt(c0 + c1*x + ... + c[n-1]*x**(n-1))
    ``POLYNOMIAL``       y = c0 + c1*x + ... + c[n-1]*x**(n-1)

    Examples
    --------
    >>> Model.LOG_LOG, int(Model.POLYNOMIAL)
    (<Model.LOG_LOG: 1>, 6)
    """

    LOG_INVERSE = 0
    LOG_LOG = 1
    LOG_RATIO = 2
    DUAL = 3
    HALF_POWER = 4
    ROOT_POLYNOMIAL = 5
    POLYNOMIAL = 6


class Flag(enum.IntFlag):
    """The bits of the native flag word; the keyword options of the fits set them.

    ``DROP_INVALID`` (1)           leave out points the model cannot take instead of failing
    ``REFINE`` (2)                 refine by Levenberg-Marquardt steps in data space
    ``SCALE_SMALL_Y`` (4)          lift a largest y below 0.5 to 0.5 before taking logarithms
    ``CHECK_CONDITIONING`` (8)     refuse matrices with a condition estimate of 1e16 or more
    ``ALLOW_EXACT_FIT`` (16)       accept as many points as coefficients
    ``ALLOW_ZERO_UNCERTAINTY`` (32)  accept sigma == 0 (such points count with weight 1)

    Examples
    --------
    >>> int(Flag.REFINE | Flag.DROP_INVALID)
    3
    """

    DROP_INVALID = 1
    REFINE = 2
    SCALE_SMALL_Y = 4
    CHECK_CONDITIONING = 8
    ALLOW_EXACT_FIT = 16
    ALLOW_ZERO_UNCERTAINTY = 32


class Status(enum.IntEnum):
    """The native status codes (signed 32-bit, so the failures are negative).

    Examples
    --------
    >>> Status(-337079102).name
    'ILL_CONDITIONED'
    """

    OK = 0
    INVALID_ARGUMENT = -320234115
    OUT_OF_MEMORY = -320234190
    INTERNAL_EXCEPTION = -320233619
    SYSTEM_OUT_OF_MEMORY = -2147024882
    ILL_CONDITIONED = -337079102
    NO_CONVERGENCE = -530509786


# The C library's results where Python's math module raises instead.
def _exp(value: float) -> float:
    try:
        return math.exp(value)
    except OverflowError:
        return _INF


def _log(value: float) -> float:
    try:
        return math.log(value)
    except ValueError:
        return -_INF if value == 0.0 else _NAN


def _pow(base: float, exponent: float) -> float:
    try:
        return math.pow(base, exponent)
    except OverflowError:
        odd = exponent.is_integer() and exponent % 2.0 == 1.0
        return -_INF if odd and base < 0.0 else _INF
    except ValueError:  # 0 to a negative power, or a negative base to a fraction
        odd = exponent.is_integer() and exponent % 2.0 == 1.0
        if base != 0.0:
            return _NAN
        return -_INF if odd and math.copysign(1.0, base) < 0.0 else _INF


def _libm(fast: Callable[..., float], safe: Callable[..., float], *columns: Any) -> Any:
    """fast (or, where it raises, safe) applied element by element, as an array."""
    lists = [c.tolist() if hasattr(c, "tolist") else c for c in columns]
    try:
        values = list(map(fast, *lists))
    except (OverflowError, ValueError):
        values = list(map(safe, *lists))
    return np.array(values, dtype=np.float64) if np is not None else values


def _horner(c: Sequence[float], first: int, x: Any) -> Any:
    """c[first] + x*(c[first+1] + ... + x*c[n-1]), for a float or an array x."""
    total = c[-1] if isinstance(x, float) else np.full(x.shape, c[-1])
    for k in range(len(c) - 2, first - 1, -1):
        total = c[k] + x * total
    return total


def _value_at(model: int, c: Sequence[float], x: float) -> Tuple[float, bool]:
    """(y, whether the model could be evaluated) at one x, by the native formula."""
    n = len(c)
    if n == 0:
        return _NAN, False
    if model == Model.POLYNOMIAL:
        return _horner(c, 0, x), True
    if model == Model.HALF_POWER:
        return (_NAN, False) if x < 0.0 else (_horner(c, 0, math.sqrt(x)), True)
    if model == Model.ROOT_POLYNOMIAL:
        p = _horner(c, 0, x)
        return (_NAN, False) if p < 0.0 else (math.sqrt(p), True)
    if model == Model.LOG_LOG:
        t = _log(x)
        return (_NAN, False) if t <= 0.0 else (_exp(_horner(c, 0, t)), True)
    if model == Model.LOG_RATIO:
        if n < 2 or x == 0.0:
            return _NAN, False
        return _exp(_horner(c, 1, _log(c[0] / x))), True
    if model == Model.LOG_INVERSE:
        if x <= 0.0:
            return _NAN, False
        r = 1.0 / x
        exponent = 0.0
        for k in range(n):
            exponent = exponent + c[k] * (1.0 if k == 1 else _pow(r, k - 1.0))
        return _pow(10.0, exponent), True
    return _NAN, False


def _values_numpy(model: int, c: Sequence[float], x: Any) -> Tuple[Any, Any]:
    """The vectorised form of _value_at over a float64 array."""
    n = len(c)
    ok = np.ones(x.shape, dtype=bool)
    if n == 0 or model not in (0, 1, 2, 4, 5, 6) or (model == Model.LOG_RATIO and n < 2):
        return np.full(x.shape, _NAN), ~ok
    with np.errstate(all="ignore"):
        if model == Model.POLYNOMIAL:
            y = _horner(c, 0, x)
        elif model == Model.HALF_POWER:
            ok = ~(x < 0.0)
            y = _horner(c, 0, np.sqrt(x))
        elif model == Model.ROOT_POLYNOMIAL:
            p = _horner(c, 0, x)
            ok = ~(p < 0.0)
            y = np.sqrt(p)
        elif model == Model.LOG_LOG:
            t = _libm(math.log, _log, x)
            ok = ~(t <= 0.0)
            y = _libm(math.exp, _exp, _horner(c, 0, t))
        elif model == Model.LOG_RATIO:
            ok = x != 0.0
            y = _libm(math.exp, _exp, _horner(c, 1, _libm(math.log, _log, c[0] / x)))
        else:
            ok = ~(x <= 0.0)
            r = 1.0 / x
            exponent = np.zeros(x.shape)
            for k in range(n):
                power = 1.0 if k == 1 else _libm(math.pow, _pow, r, repeat(k - 1.0))
                exponent = exponent + c[k] * power
            y = _libm(math.pow, _pow, repeat(10.0), exponent)
        y = np.where(ok, y, _NAN)
    return y, ok


def model_values(model: int, coefficients: Sequence[float], x: Any) -> Tuple[Any, Any]:
    """(values, evaluable) of the model at every x: a float64 array and a bool array
    with numpy, else two lists; NaN where the model cannot be evaluated."""
    c = [float(v) for v in coefficients]
    if np is not None:
        array = np.asarray(x, dtype=np.float64)
        values, evaluable = _values_numpy(model, c, array.reshape(-1))
        return values.reshape(array.shape), evaluable.reshape(array.shape)
    pairs = [_value_at(model, c, float(v)) for v in x]
    return [p[0] for p in pairs], [p[1] for p in pairs]


def optimal_order(model: int, count: int) -> int:
    """The number of coefficients the native fit picks for an order below 1."""
    column = 0 if count <= 4 else min(count, 10) - 4
    table = {Model.LOG_INVERSE: (2, 3, 3, 4, 4, 5, 5), Model.LOG_LOG: (2, 3, 3, 4, 4, 5, 5),
             Model.POLYNOMIAL: (2, 3, 3, 4, 4, 5, 5), Model.LOG_RATIO: (2, 2, 3, 3, 4, 4, 5),
             Model.HALF_POWER: (2,) * 7, Model.ROOT_POLYNOMIAL: (2, 3, 3, 3, 3, 3, 3)}
    return table[Model(model)][column]


def needs_positive_xy(model: int) -> bool:
    """Whether the model's points need x > 0 and y > 0."""
    return model not in (Model.ROOT_POLYNOMIAL, Model.POLYNOMIAL)
