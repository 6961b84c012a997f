"""Conversion of the caller's points and coefficients, the checks made before
a native call, and the single-precision warning.

Every check runs on the values rounded to single precision, since those are
the values the native fit reads.
"""
import math
import warnings
from array import array
from itertools import chain
from typing import Any, List, Optional, Sequence, Tuple

from ._errors import InvalidInputError, PrecisionWarning
from ._models import Flag, Model, Status, model_values, needs_positive_xy, optimal_order

try:
    import numpy as np  # type: ignore[import-not-found, unused-ignore]
except ImportError:  # pragma: no cover - exercised by the suite without numpy
    np = None  # type: ignore[assignment, unused-ignore]

# A column whose rounding to single precision moves a value by more than this
# fraction of the column's range (largest minus smallest value) is warned about.
PRECISION_TOLERANCE = 1e-5
# A point closer to the two-range threshold than this lies on it (both ranges).
_ON_THRESHOLD = 2.220446049250313e-16
_MOST_COEFFICIENTS = 25
_NAMES = ("x", "y", "sigma")


def _refuse(text: str) -> InvalidInputError:
    return InvalidInputError(Status.INVALID_ARGUMENT, text)


class Points(object):
    """The points of one call: columns as the caller gave them (float64) and
    as the native fit reads them (rounded to single precision). With numpy
    both are N x 3 tables, the columns views of them."""

    def __init__(self, columns: Sequence[Any], table: Any = None,
                 native_rows: Optional[List[Any]] = None) -> None:
        self.count = len(columns[0])
        self._native_rows = native_rows
        self._extremes = None  # type: Optional[Tuple[List[float], List[float]]]
        if np is not None:
            self.table = np.column_stack(columns) if table is None else table
            with np.errstate(over="ignore"):
                self.single = self.table.astype(np.float32).astype(np.float64)
            self.columns = tuple(self.table[:, k] for k in range(3))  # type: Tuple[Any, ...]
            self.rounded = tuple(self.single[:, k] for k in range(3))  # type: Tuple[Any, ...]
        else:
            self.columns = tuple(columns)
            self.rounded = tuple(array("d", array("f", c)) for c in self.columns)

    def extremes(self) -> Tuple[List[float], List[float]]:
        """(smallest, largest) rounded value of each column, NaN where a column has one.
        Column by column: a reduction across the rows of an N x 3 table is far slower."""
        if self._extremes is None:
            self._extremes = ([float(c.min()) for c in self.rounded],
                              [float(c.max()) for c in self.rounded])
        return self._extremes

    def rows(self) -> List[Any]:
        """The list of (x, y, sigma) rows that the native call reads: the
        caller's own list when it is one of tuple or list rows."""
        if self._native_rows is not None:
            return self._native_rows
        if np is None:
            return list(zip(*self.columns))
        rows = self.table.tolist()  # type: List[Any]
        return rows

    def contiguous(self) -> Tuple[Any, ...]:
        """The three columns as C-contiguous float64 buffers."""
        return tuple(np.ascontiguousarray(c) for c in self.columns)


def _all_clean(points: Points, model: int, flags: int) -> bool:
    """Whether every point is finite and one the model takes, from the column
    extremes alone (numpy only; the point-by-point tests find the culprits)."""
    if np is None:
        return False
    low, high = points.extremes()
    if not all(math.isfinite(v) for v in low + high):
        return False
    sigma_ok = low[2] > 0.0 or (flags & Flag.ALLOW_ZERO_UNCERTAINTY and low[2] == 0.0)
    least_x = 1.0 if model == Model.LOG_LOG else 0.0
    return bool(sigma_ok and (not needs_positive_xy(model) or (low[0] > least_x
                                                               and low[1] > 0.0)))


def _numbers(values: Any, what: str) -> Any:
    """A float64 array (numpy) or array('d') of values; refuses what is not numbers."""
    if np is not None:
        if not hasattr(values, "__len__") and not hasattr(values, "__array__"):
            values = list(values)
        try:
            raw = np.asarray(values)
            if raw.dtype.kind not in "biufO":
                raise TypeError("%s values" % raw.dtype)
            return raw.astype(np.float64, copy=False)
        except (TypeError, ValueError, OverflowError) as error:
            raise _refuse("%s must be numbers in a rectangular layout: %s" % (what, error))
    try:
        out = array("d")
        for item in values:
            if isinstance(item, (str, bytes)):
                raise TypeError("a string item %r" % (item,))
            out.append(float(item))
        return out
    except (TypeError, ValueError, OverflowError) as error:
        raise _refuse("%s must be numbers: %s" % (what, error))


def _rows_without_numpy(rows: Any) -> Points:
    columns = (array("d"), array("d"), array("d"))
    for index, row in enumerate(rows):
        if isinstance(row, (str, bytes)) or not hasattr(row, "__len__") or len(row) != 3:
            raise _refuse("row %d is %r; every row must be (x, y, sigma)" % (index, row))
        for column, value in zip(columns, _numbers(row, "row %d" % index)):
            column.append(value)
    return Points(columns)


def _list_of_rows(rows: Any) -> Optional[Points]:
    """Points of a list of tuple or list rows of three numbers, read at C speed,
    with the list itself kept for the native call; None for anything else."""
    if type(rows) is not list or not rows or not set(map(type, rows)) <= {tuple, list} \
            or set(map(len, rows)) != {3}:
        return None
    flat = list(chain.from_iterable(rows))
    if np is not None:
        table = np.array(flat)
        if table.dtype.kind not in "biuf":
            return None  # the general reading names the culprit
        table = table.astype(np.float64, copy=False).reshape(-1, 3)
        return Points((table[:, 0], table[:, 1], table[:, 2]), table, rows)
    try:
        numbers = array("d", flat)
    except (TypeError, ValueError, OverflowError):
        return None
    return Points((numbers[0::3], numbers[1::3], numbers[2::3]), None, rows)


def read_points(x: Any, y: Any, sigma: Any) -> Points:
    """Points from x, y, sigma columns (sigma may be one number for every point),
    or from x alone as N x 3 rows."""
    if y is None and sigma is None:
        listed = _list_of_rows(x)
        if listed is not None:
            return listed
        if np is None:
            return _rows_without_numpy(x)
        table = _numbers(x, "points")
        if table.size == 0:
            table = table.reshape(0, 3)
        if table.ndim != 2 or table.shape[1] != 3:
            hint = " (transpose it: points.T)" if table.ndim == 2 and table.shape[0] == 3 else ""
            raise _refuse("points must be N rows of (x, y, sigma), an N x 3 array; got shape "
                          "%s%s" % (table.shape, hint))
        return Points((table[:, 0], table[:, 1], table[:, 2]), table)
    if y is None or sigma is None:
        raise _refuse("give x, y and sigma (the uncertainty of y), or N rows of (x, y, sigma)")
    columns = [_numbers(v, name) for v, name in zip((x, y), _NAMES)]
    if isinstance(sigma, (int, float)) or (np is not None and np.ndim(sigma) == 0):
        sigma = [sigma] * len(columns[0])
    columns.append(_numbers(sigma, "sigma"))
    if np is not None:
        shapes = [c.shape for c in columns]
        if any(len(s) != 1 for s in shapes) or len(set(shapes)) != 1:
            raise _refuse("x, y and sigma must be 1-D and of one length; got shapes %s, %s, %s"
                          % tuple(shapes))
    elif len(set(len(c) for c in columns)) != 1:
        raise _refuse("x, y and sigma must be of one length; got %d, %d, %d"
                      % tuple(len(c) for c in columns))
    return Points(columns)


def _where(mask: Any) -> List[int]:
    if np is not None:
        rows = np.flatnonzero(mask).tolist()  # type: List[int]
        return rows
    return [i for i, bad in enumerate(mask) if bad]


def _row_text(points: Points, index: int) -> str:
    values = ", ".join("%s = %r" % (name, float(c[index]))
                       for name, c in zip(_NAMES, points.columns))
    return "row %d (%s)" % (index, values)


def _bad_rows(points: Points, mask: Any, problem: str, advice: str) -> None:
    rows = _where(mask)
    if rows:
        raise _refuse("%s: %d point%s, first %s%s" % (problem, len(rows), "s"[:len(rows) > 1],
                                                    _row_text(points, rows[0]), advice))


def _compare(column: Any, test: Any) -> Any:
    return test(column) if np is not None else [test(v) for v in column]


def _any_of(*masks: Any) -> Any:
    if np is not None:
        return np.logical_or.reduce(masks)
    return [any(values) for values in zip(*masks)]


def _and_not(a: Any, b: Any) -> Any:
    if np is not None:
        return a & ~b
    return [p and not q for p, q in zip(a, b)]


def validity(points: Points, model: int, flags: int) -> Tuple[Any, Any, Any]:
    """Masks of the points the native validation refuses for bad x, y and sigma."""
    x, y, sigma = points.rounded
    zero_allowed = bool(flags & Flag.ALLOW_ZERO_UNCERTAINTY)
    bad_sigma = _compare(sigma, (lambda s: s < 0.0) if zero_allowed else (lambda s: s <= 0.0))
    if not needs_positive_xy(model):
        never = np.zeros(points.count, bool) if np is not None else [False] * points.count
        return never, never, bad_sigma
    return _compare(x, lambda v: v <= 0.0), _compare(y, lambda v: v <= 0.0), bad_sigma


def _refuse_non_finite(points: Points, invalid: Any) -> None:
    """Refuses NaN or infinity (after rounding) in a point the fit would keep."""
    for name, column, original in zip(_NAMES, points.rounded, points.columns):
        bad = _compare(column, lambda v: ~np.isfinite(v) if np is not None
                       else not math.isfinite(v))
        rows = _where(_and_not(bad, invalid))
        if rows:
            beyond = math.isfinite(original[rows[0]])
            raise _refuse("%s must be finite%s: %d point%s, first %s" % (
                name, " in single precision (|value| < 3.4e38)" if beyond else "",
                len(rows), "s"[:len(rows) > 1], _row_text(points, rows[0])))


def _needed(model: int, order: int, count: int) -> int:
    return order if order >= 1 else optimal_order(model, count)


def _too_few(count: int, needed: int, flags: int) -> bool:
    return count < needed or (count == needed and not flags & Flag.ALLOW_EXACT_FIT)


def refuse_fit(points: Points, model: int, order: int, flags: int, selected: Any = None,
               label: str = "") -> None:
    """Refuses, with a message that names the problem, input the native fit would
    refuse silently, refuse with a vague message, or fit to NaN."""
    if selected is not None:
        points = Points([_take(c, selected) for c in points.columns])
    if points.count == 0:
        raise _refuse("%sthere are no points to fit" % label)
    name = Model(model).name
    needed = _needed(model, order, points.count)
    if _too_few(points.count, needed, flags):
        raise _refuse("%s%d points are too few for %d coefficients: a fit needs more points than "
                      "coefficients (as many with allow_exact_fit=True)" % (
                          label, points.count, needed))
    if _all_clean(points, model, flags):
        return
    bad_x, bad_y, bad_sigma = validity(points, model, flags)
    drop = bool(flags & Flag.DROP_INVALID)
    if not drop:
        advice = "; drop_invalid=True leaves such points out"
        _bad_rows(points, bad_x, "%s%s needs x > 0" % (label, name), advice)
        _bad_rows(points, bad_y, "%s%s needs y > 0" % (label, name), advice)
        _bad_rows(points, bad_sigma, "%ssigma must be > 0" % label,
                  "; allow_zero_uncertainty=True accepts sigma == 0 with weight 1" + advice)
    invalid = _any_of(bad_x, bad_y, bad_sigma)
    _refuse_non_finite(points, invalid)
    if model == Model.LOG_LOG:
        x = points.rounded[0]
        low = _compare(x, lambda v: v <= 1.0)
        _bad_rows(points, _and_not(low, invalid),
                  "%sLOG_LOG needs x > 1 (ln x > 0)" % label,
                  "; drop_invalid does not leave out points with 0 < x <= 1")
    valid = points.count - len(_where(invalid))
    if _too_few(valid, needed, flags):
        raise _refuse("%s%d valid points (of %d) are too few for %d coefficients" % (
            label, valid, points.count, needed))


def _take(column: Any, mask: Any) -> Any:
    if np is not None:
        return column[mask]
    return array("d", (v for v, keep in zip(column, mask) if keep))


def threshold_sides(x: Any, threshold: float) -> Tuple[Any, Any]:
    """Masks of the lower (x <= threshold) and upper (x >= threshold) ranges."""
    if np is not None:
        near = np.abs(x - threshold) <= _ON_THRESHOLD
        return near | (x < threshold), near | (x > threshold)
    near = [abs(v - threshold) <= _ON_THRESHOLD for v in x]
    return ([n or v < threshold for n, v in zip(near, x)],
            [n or v > threshold for n, v in zip(near, x)])


def single(value: float) -> float:
    """value rounded to single precision, as the native call reads it."""
    return array("f", [value])[0]


def refuse_two_range(points: Points, threshold: float, lower_order: int, upper_order: int,
                     flags: int) -> None:
    """refuse_fit for each range of a two-range fit."""
    if not math.isfinite(single(threshold)):
        raise _refuse("the threshold must be finite in single precision; got %r" % threshold)
    lower, upper = threshold_sides(points.rounded[0], single(threshold))
    if not _where(upper):
        raise _refuse("no point lies at or above the threshold %r; the upper range is always "
                      "fitted" % threshold)
    if _where(lower):
        refuse_fit(points, Model.LOG_LOG, lower_order, flags, lower, "lower range: ")
    refuse_fit(points, Model.LOG_LOG, upper_order, flags, upper, "upper range: ")


def _moves(points: Points) -> List[Tuple[float, float]]:
    """(largest rounding move, range) of each column over its finite values."""
    if np is not None:
        low, high = points.extremes()
        if all(math.isfinite(v) for v in low + high):
            moved = np.abs(points.single - points.table)
            return [(float(moved[:, k].max()), high[k] - low[k]) for k in range(3)]
    found = []
    for original, rounded in zip(points.columns, points.rounded):
        pairs = [(v, r) for v, r in zip(original, rounded) if math.isfinite(r)] or [(0.0, 0.0)]
        values = [float(v) for v, _ in pairs]
        found.append((max(abs(float(r) - float(v)) for v, r in pairs),
                      max(values) - min(values)))
    return found


def _merged_x(points: Points, x_moved: bool) -> int:
    """How many distinct x values rounding makes equal to a neighbour."""
    if not x_moved:
        return 0
    x, rounded = points.columns[0], points.rounded[0]
    if np is not None:
        if not (x[1:] >= x[:-1]).all():  # sorted data, the usual case, need no sort
            order = np.argsort(x, kind="stable")
            x, rounded = x[order], rounded[order]
        return int(np.count_nonzero((x[1:] != x[:-1]) & (rounded[1:] == rounded[:-1])))
    pairs = sorted(zip(x, rounded))
    return sum(1 for (a, p), (b, q) in zip(pairs, pairs[1:]) if a != b and p == q)


def warn_precision(points: Points, stacklevel: int) -> None:
    """Warns when single precision merges distinct x or moves a value too far."""
    if points.count == 0:
        return
    problems = []
    moves = _moves(points)
    merged = _merged_x(points, moves[0][0] > 0.0)
    if merged:
        problems.append("merges %d distinct x values with their neighbours" % merged)
    for name, original, (move, spread) in zip(_NAMES, points.columns, moves):
        scale = spread if spread > 0.0 else abs(float(original[0]))
        if move > PRECISION_TOLERANCE * scale:
            problems.append("moves %s by up to %.3g (%.2g of its range; the limit is %g)"
                            % (name, move, move / scale if scale else math.inf,
                               PRECISION_TOLERANCE))
    if problems:
        warnings.warn("rounding the points to single precision, as the native fit reads them, "
                      + " and ".join(problems) + ". Centre or scale the column first, e.g. "
                      "x - x.mean() or x / 1e3, and evaluate the result at x transformed "
                      "the same way", PrecisionWarning, stacklevel=stacklevel)


def read_coefficients(coefficients: Any, highest_first: bool) -> List[float]:
    """The coefficients as the native list (constant term first), checked."""
    values = _numbers(coefficients, "coefficients")
    if np is not None and values.ndim != 1:
        raise _refuse("coefficients must be 1-D; got shape %s" % (values.shape,))
    listed = [float(v) for v in values] if np is None else values.tolist()  # type: List[float]
    if highest_first:
        listed.reverse()
    if not listed:
        raise _refuse("there are no coefficients")
    if len(listed) > _MOST_COEFFICIENTS:
        raise _refuse("%d coefficients: at most %d (degree 24)" % (len(listed),
                                                                 _MOST_COEFFICIENTS))
    if not all(math.isfinite(v) for v in listed):
        raise _refuse("coefficients must be finite; got %r" % (listed,))
    if listed[-1] == 0.0:
        raise _refuse("the leading coefficient (the %s) is 0; remove it" % (
            "first, highest_first=True" if highest_first else "last"))
    return listed


def statistics_masks(points: Points, model: int, flags: int,
                     coefficients: Sequence[float]) -> Tuple[Any, Any]:
    """(points in the chi-square, points in the deviation table) of a fit."""
    _, evaluable = model_values(model, coefficients, points.rounded[0])
    return _and_not(evaluable, _any_of(*validity(points, model, flags))), evaluable
