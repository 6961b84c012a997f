"""Weighted least-squares curve fits and polynomial roots.

Every function takes positional arguments only and returns a 2-tuple
(status, payload). status 0 means success and payload is the result; any
other status comes with payload None, and most failures also write a
message, without a line end, to sys.stdout. The module never raises an
exception of its own.

Status codes (signed 32-bit, so the failures arrive as negative ints):

      0            success
    -320234115     invalid argument: arguments or a list item that cannot be
                   parsed, input the fit refuses, a root-finder refusal
    -320234190     out of memory, a result list that could not be made, or
                   findRoots given no coefficients (or not a list)
    -320233619     an unexpected internal exception
    -2147024882    memory ran out while the arguments were converted
    -337079102     ill-conditioned: a singular normal matrix, or with flag 8
                   a condition estimate of 1e16 or more (no message)
    -530509786     findRoots only: the eigenvalue iteration did not converge

Models (modelId): 0 LogInverse, 1 LogLog, 2 LogRatio, 3 Dual (only through
optimizeDualModel), 4 HalfPower, 5 RootPolynomial, 6 Polynomial.

Flags (add the values): 1 drop invalid points, 2 refine by a nonlinear fit in
data space, 4 scale small y before taking logarithms, 8 check the
conditioning of every inverted matrix, 16 allow as many points as
coefficients, 32 allow yUnc == 0 (such points get weight 1).

Points are (x, y, yUnc) triples given as tuples or lists; their numbers pass
through single precision (0.1 is fitted as 0.10000000149011612).

A fit list has five items:

    [0] coefficients c[0] .. c[n-1]                        List[float]
    [1] covariance of the coefficients, n rows of n        List[List[float]]
    [2] reduced chi-square in data space                   float
    [3] average relative error of the points, in percent   float
    [4] one (x, y, yUnc, deviation) per point kept by the statistics,
        deviation = sqrt((y - f(x))**2 + yUnc**2), the yUnc term left out
        under flag 32                     List[Tuple[float, float, float, float]]
"""

from typing import List, Optional, Sequence, Tuple, TypeVar, Union

# (x, y, yUnc): a tuple or a list of three numbers. The points themselves
# must be a list (a tuple of points is read as none), of any such point type.
_Point = TypeVar("_Point", bound=Sequence[float])
# A coefficient: an int or a float, in a list of any one of them.
_Number = TypeVar("_Number", bound=float)
# The five-item fit list described above, by position: List[float],
# List[List[float]], float, float, List[Tuple[float, float, float, float]].
_FitItem = Union[List[float], List[List[float]], float, List[Tuple[float, float, float, float]]]
_FitList = List[_FitItem]

def optimizeModel(
    points: List[_Point], modelId: int, order: int, flags: int, /
) -> Tuple[int, Optional[_FitList]]:
    """Fits one model to measured points by weighted least squares.

    points   a list of (x, y, yUnc) triples; a tuple of points is read as no
             points at all.
    modelId  the model: 0 LogInverse, 1 LogLog, 2 LogRatio, 4 HalfPower,
             5 RootPolynomial, 6 Polynomial; 3 (Dual) is refused with
             "This method does not support optimizing the 'Dual' mathematical
             model.  Please invoke 'optimizeDualModel' instead. ".
    order    the number of coefficients n; below 1 lets the fit choose it from
             the model and the number of points (at most 5).
    flags    the sum of the flag values listed in the module documentation.

    Returns (0, fit list) on success, else (status, None). The fit list is
    [coefficients, covariance rows, reduced chi-square, average error in
    percent, [(x, y, yUnc, deviation), ...]]. With flag 32 and every yUnc 0.0
    the covariance rows are multiplied by the reduced chi-square.

    The linear fit runs in the model's transformed space (logarithms,
    reciprocals, square roots of x and y); flag 2 refines the coefficients by
    Levenberg-Marquardt steps in data space (never for Polynomial).
    """

def optimizeDualModel(
    points: List[_Point],
    threshold: float,
    lowerOrder: int,
    upperOrder: int,
    flags: int,
    /,
) -> Tuple[int, Optional[List[_FitList]]]:
    """Fits the two-range model 'Dual': one LogLog curve on each side of x = threshold.

    points      a list of (x, y, yUnc) triples, as for optimizeModel.
    threshold   the x at which the points are divided; a point whose x lies
                within 2.220446049250313e-16 of it belongs to both ranges.
                Passes through single precision.
    lowerOrder  number of coefficients of the lower range (x <= threshold);
                below 1 chooses it from that range's point count.
    upperOrder  the same for the upper range (x >= threshold).
    flags       the flag word for both fits.

    Returns (0, [lower fit list, upper fit list]) on success, or
    (0, [upper fit list]) when no point lies at or below the threshold; each
    fit list has the five items of optimizeModel, with the statistics of its
    own range. No point at or above the threshold fails the call with
    "Invalid argument.  There are zero points to fit.". On failure
    (status, None).
    """

def findRoots(
    coefficients: List[_Number], /
) -> Tuple[int, Optional[List[Union[float, complex]]]]:
    """Returns all roots of a polynomial of degree at most 24.

    coefficients  a list of numbers, item k the coefficient of x**k (the
                  constant term first, the leading coefficient last, which
                  must not be 0.0); at most 25 items, read in double precision.
                  A tuple is read as no coefficients at all.

    Returns (0, roots): len(coefficients) - 1 roots, a float for each real
    root and a complex for each complex one, or (status, None):
    -320234115 for more than 25 coefficients, a zero leading coefficient or an
    item that is not a number; -320234190 for an empty list or an argument
    that is not a list; -530509786 when the iteration did not converge.
    """
