"""The three engine functions over the native module's list interface.

Each calls the native function with a list of (x, y, sigma) rows (or of
coefficients), captures the message it writes for the calling thread, and
returns ``(status, message or None, result or None)`` in the shape of the
array engine. The ``fitted`` column of a deviation table is computed by the
package's own evaluator (the native list gives only the unsigned deviation);
that evaluator repeats the native formulas, so the values agree with the fit's.
The table is built when first asked for: a callable returning the bytearray.
"""
from array import array
from typing import Any, Callable, List, Optional, Sequence, Tuple

import tallowfit

from ._models import Model, model_values
from ._stdout_capture import captured_output

try:
    import numpy as np  # type: ignore[import-not-found, unused-ignore]
except ImportError:  # pragma: no cover - exercised by the suite without numpy
    np = None  # type: ignore[assignment, unused-ignore]

Report = Tuple[Tuple[float, ...], Tuple[Tuple[float, ...], ...], float, float,
               Callable[[], bytearray]]


def _deviation_table(rows: List[Any], model: int,
                     coefficients: Sequence[float]) -> Callable[[], bytearray]:
    """x, y, sigma, fitted, deviation per native row, as float64 row-major bytes."""
    def build() -> bytearray:
        if np is not None:
            native = np.array(rows, dtype=np.float64).reshape(-1, 4)
            table = np.empty((len(native), 5))
            table[:, :3] = native[:, :3]
            table[:, 3] = model_values(model, coefficients, native[:, 0])[0]
            table[:, 4] = native[:, 3]
            return bytearray(table.tobytes())
        fitted = model_values(model, coefficients, [row[0] for row in rows])[0]
        values = array("d")
        for row, value in zip(rows, fitted):
            values.extend((row[0], row[1], row[2], value, row[3]))
        return bytearray(values.tobytes())
    return build


def _report(fit_list: List[Any], model: int) -> Report:
    coefficients = tuple(fit_list[0])
    return (coefficients, tuple(tuple(row) for row in fit_list[1]), fit_list[2], fit_list[3],
            _deviation_table(fit_list[4], model, coefficients))


def _refuse_double_precision(double_precision: bool) -> None:
    if double_precision:
        raise ValueError("double precision needs the array engine (_curvefits_engine), "
                         "which is not available here")


def _rows(x: Any, y: Any, yunc: Any, rows: Optional[List[Any]]) -> List[Any]:
    if rows is not None:
        return rows
    columns = [c.tolist() if hasattr(c, "tolist") else list(c) for c in (x, y, yunc)]
    return list(zip(*columns))


def fit(x: Any, y: Any, yunc: Any, model: int, order: int, flags: int,
        double_precision: bool, rows: Optional[List[Any]] = None
        ) -> Tuple[int, Optional[str], Optional[Report]]:
    """optimizeModel over the rows (or the columns x, y, yunc)."""
    _refuse_double_precision(double_precision)
    points = _rows(x, y, yunc, rows)
    with captured_output() as parts:
        status, payload = tallowfit.optimizeModel(points, model, order, flags)
    report = None if payload is None else _report(payload, model)
    return status, "".join(parts) or None, report


def fit_dual(x: Any, y: Any, yunc: Any, threshold: float, lower_order: int, upper_order: int,
             flags: int, double_precision: bool, rows: Optional[List[Any]] = None
             ) -> Tuple[int, Optional[str], Optional[Tuple[Optional[Report], Report]]]:
    """optimizeDualModel over the rows (or the columns x, y, yunc)."""
    _refuse_double_precision(double_precision)
    points = _rows(x, y, yunc, rows)
    with captured_output() as parts:
        status, payload = tallowfit.optimizeDualModel(points, threshold, lower_order,
                                                      upper_order, flags)
    reports = None
    if payload is not None:
        fits = [_report(item, Model.LOG_LOG) for item in payload]
        reports = (fits[0] if len(fits) == 2 else None, fits[-1])
    return status, "".join(parts) or None, reports


def find_roots(coefficients: Any) -> Tuple[int, Optional[str],
                                           Optional[Tuple[bytearray, bytearray]]]:
    """findRoots over the coefficients (constant term first)."""
    listed = coefficients.tolist() if hasattr(coefficients, "tolist") else list(coefficients)
    with captured_output() as parts:
        status, payload = tallowfit.findRoots(listed)
    parts_out = None
    if payload is not None:
        roots = [complex(root) for root in payload]
        parts_out = (bytearray(array("d", [r.real for r in roots]).tobytes()),
                     bytearray(array("d", [r.imag for r in roots]).tobytes()))
    return status, "".join(parts) or None, parts_out
