"""The companion's array engine (built for Python 3 only) and the engine call that carries a classic entry's call."""
import array

try:
    import _curvefits_engine as engine
except ImportError:
    engine = None


def doubles(items):
    """items as an array of doubles when all are plain numbers a double holds, else None."""
    plain = all(type(v) is float or type(v) in (int, bool) and abs(v) < 2 ** 1023 for v in items)
    return array.array("d", items) if plain else None


def engine_call(function, args):
    """[the engine's function, its arguments...] for a classic call; None when arrays cannot carry it."""
    if function == "findRoots":
        column = doubles(args[0]) if len(args) == 1 and type(args[0]) is list else None
        return None if column is None else [engine.find_roots, column]
    dual = function == "optimizeDualModel"
    rows = args[0] if len(args) == 4 + dual and function.startswith("optimize") else None
    shaped = type(rows) is list and all(type(p) in (tuple, list) and len(p) == 3 for p in rows)
    xyu = [doubles([p[i] for p in rows]) for i in range(3)] if shaped else [None]
    if None in xyu or (dual and doubles(args[1:2]) is None) or not all(
            type(v) is int and -2 ** 31 <= v < 2 ** 31 for v in args[1 + dual:]):
        return None
    return [engine.fit_dual if dual else engine.fit] + xyu + list(args[1:]) + [False]
