"""Times tallowfit beside what its users would call instead (numpy.roots,
numpy.polynomial.polynomial.polyfit, scipy.optimize.curve_fit) on the same
jobs, and beside the floor of any call over a list of points (reading three
floats per point and building one 4-tuple per point). Writes the Markdown page
docs/performance.md. Run through bench/run.sh, which builds what it needs.

    python bench.py [--quick] [--out FILE]

Times are medians of repeated samples, each sample long enough for the clock;
ratios are the other tool's time divided by tallowfit's (above 1: tallowfit is
faster). Nothing here asserts a number.
"""
import argparse
import datetime
import gc
import json
import math
import os
import platform
import subprocess
import sys
import timeit
import warnings

import numpy as np
import scipy
from numpy.polynomial import polynomial as P
from scipy.optimize import curve_fit

import _floor
import tallowfit
from workloads import polynomial_coefficients, power_law_points

POLYNOMIAL, LOG_LOG = 6, 1
REFINE = 2
FIT_SIZES = (10, 100, 10 ** 4, 10 ** 5, 10 ** 6)
ROOT_DEGREES = (2, 5, 10, 24)
SCALING_SIZES = (10 ** 3, 10 ** 4, 10 ** 5, 10 ** 6, 10 ** 7)
START_LOAD = os.getloadavg()[0]


# -- timing -------------------------------------------------------------------

def median_times(calls, samples, minimum_sample=0.05, clock=timeit.default_timer):
    """Median seconds of each (function, args) of calls over `samples`
    samples of as many calls as fill minimum_sample seconds. The samples are
    taken in turn, one of each call per round, so that a change in the load of
    a shared machine falls on every call alike and their ratios stay. Each call
    is timed as written, with no wrapper around it, and with the cycle
    collector on as in real use. clock: wall time by default; the process's
    CPU time leaves out the waits of a machine shared with other work."""
    timers = []
    for function, args in calls:
        names = ["a%d" % k for k in range(len(args))]
        namespace = dict(zip(names, args), f=function, gc=gc)
        timer = timeit.Timer("f(%s)" % ", ".join(names), setup="gc.enable()", timer=clock,
                             globals=namespace)
        once = timer.timeit(1)
        timers.append((timer, max(1, int(minimum_sample / max(once, 1e-9)))))
    times = [[] for _ in timers]
    for _ in range(samples):
        for (timer, loops), taken in zip(timers, times):
            taken.append(timer.timeit(loops) / loops)
    return [sorted(taken)[len(taken) // 2] for taken in times]


def samples_for(size):
    return 7 if size <= 10 ** 5 else 3


# -- the jobs -------------------------------------------------------------------

def columns(points):
    table = np.array(points, dtype=float)
    return table[:, 0], table[:, 1], table[:, 2]


def numpy_polynomial_fit(points):
    x, y, unc = columns(points)
    return P.polyfit(x, y, 2, w=1.0 / unc)


def loglog_curve(x, c0, c1, c2):
    t = np.log(x)
    return np.exp(c0 + t * (c1 + t * c2))


def loglog_jacobian(x, c0, c1, c2):
    t = np.log(x)
    y = np.exp(c0 + t * (c1 + t * c2))
    return np.stack([y, t * y, t * t * y], axis=1)


def scipy_loglog_fit(points):
    """The refined LogLog fit as a scipy user writes it: the same linear seed
    (weighted polyfit of ln y on ln x), then curve_fit with the analytic
    Jacobian and absolute uncertainties."""
    x, y, unc = columns(points)
    seed = P.polyfit(np.log(x), np.log(y), 2, w=y / unc)
    return curve_fit(loglog_curve, x, y, p0=seed, sigma=unc, absolute_sigma=True,
                     jac=loglog_jacobian)


def require_success(result):
    if result[0] != 0:
        raise RuntimeError("tallowfit refused a benchmark job: status %d" % result[0])
    return result


# -- measurements ---------------------------------------------------------------

def roots_rows():
    rows = []
    for degree in ROOT_DEGREES:
        coefficients = polynomial_coefficients(degree)
        highest_first = coefficients[::-1]  # numpy's order, made outside the timing
        require_success(tallowfit.findRoots(coefficients))
        ours, theirs, floor = median_times([(tallowfit.findRoots, (coefficients,)),
                                            (np.roots, (highest_first,)),
                                            (_floor.solveRoots, (coefficients,))], 9)
        rows.append((degree, ours, theirs, floor))
    return rows


def fit_rows():
    rows = []
    for size in FIT_SIZES:
        points = power_law_points(size)
        require_success(tallowfit.optimizeModel(points, POLYNOMIAL, 3, 0))
        require_success(tallowfit.optimizeModel(points, LOG_LOG, 3, REFINE))
        n = samples_for(size)
        rows.append(tuple([size] + median_times([
            (tallowfit.optimizeModel, (points, POLYNOMIAL, 3, 0)),
            (numpy_polynomial_fit, (points,)),
            (tallowfit.optimizeModel, (points, LOG_LOG, 3, REFINE)),
            (scipy_loglog_fit, (points,)),
            (_floor.walkPoints, (points,)),
            (_floor.walkAndBuild, (points,)),
        ], n)))
    return rows


def refinement_share(size):
    """Times of a refined LogLog fit and of the same fit without refinement."""
    points = power_law_points(size)
    refined, linear = median_times([(tallowfit.optimizeModel, (points, LOG_LOG, 3, REFINE)),
                                    (tallowfit.optimizeModel, (points, LOG_LOG, 3, 0))], 5)
    return refined, linear


JOBS = {
    "polynomial": "tallowfit.optimizeModel(points, %d, 3, 0)" % POLYNOMIAL,
    "loglog": "tallowfit.optimizeModel(points, %d, 3, %d)" % (LOG_LOG, REFINE),
    "floor": "_floor.walkAndBuild(points)",
}

MEMORY_PROBE = r"""
import gc, sys, time
sys.path[:0] = %(path)r
import _floor, bench, tallowfit
def rss_kib(field):
    with open("/proc/self/status") as status:
        for line in status:
            if line.startswith(field + ":"):
                return int(line.split()[1])
def job(points):
    return %(job)s
job(bench.power_law_points(100))  # first-call costs of the code itself
points = bench.power_law_points(%(size)d)
gc.collect()  # the objects of the imports are all examined once, not during the call
with open("/proc/self/clear_refs", "w") as refs:
    refs.write("5")  # the high-water mark restarts from the present size
before = rss_kib("VmRSS")
started = time.perf_counter()
result = job(points)
first = time.perf_counter() - started
peak, held = rss_kib("VmHWM") - before, rss_kib("VmRSS") - before
del result
started = time.perf_counter()
result = job(points)
again = time.perf_counter() - started
print(first, again, peak, held)
"""


def scaling_row(size, job):
    """(first call s, repeated call s, peak extra KiB, KiB held by the result)
    of one job in a fresh interpreter, so that earlier jobs leave no memory
    behind; each figure the median of three runs."""
    here = os.path.dirname(os.path.abspath(__file__))
    script = MEMORY_PROBE % {"path": [here], "size": size, "job": JOBS[job]}
    runs = []
    for _ in range(3):
        output = subprocess.check_output([sys.executable, "-c", script])
        runs.append(tuple(float(v) for v in output.split()))
    return tuple(sorted(column)[len(column) // 2] for column in zip(*runs))


# -- the page -------------------------------------------------------------------

def fmt_time(seconds):
    if seconds < 1e-3:
        return "%.3g us" % (seconds * 1e6)
    if seconds < 1.0:
        return "%.3g ms" % (seconds * 1e3)
    return "%.3g s" % seconds


def fmt_ratio(value):
    return "%.1fx" % value if value < 100 else "%.0fx" % value


def fmt_size(size):
    return "10^%d" % round(math.log10(size)) if size >= 1000 else str(size)


def machine_lines():
    model = "unknown"
    with open("/proc/cpuinfo") as info:
        for line in info:
            if line.startswith("model name"):
                model = line.split(":", 1)[1].strip()
                break
    with open("/proc/meminfo") as info:
        memory = int(info.readline().split()[1]) / 1024.0 / 1024.0
    compiler = subprocess.check_output(["g++", "--version"]).decode().splitlines()[0]
    try:
        blas = np.show_config(mode="dicts")["Build Dependencies"]["blas"]["name"]
    except Exception:  # older numpy: no dictionary form
        blas = "unknown"
    return [
        "- CPU: %s, %d logical cores, %.0f GiB memory" % (model, os.cpu_count(), memory),
        "- OS: %s %s (%s)" % (platform.system(), platform.release(), platform.machine()),
        "- Python %s; numpy %s (BLAS: %s); scipy %s" % (
            platform.python_version(), np.__version__, blas, scipy.__version__),
        "- tallowfit built Release by %s (-O2, no fast-math, no FMA contraction)" % compiler,
        "- measured %s; load average %.1f at the start of the run (times of a shared"
        " machine move with it, instruction counts do not)" % (
            datetime.datetime.utcnow().strftime("%Y-%m-%d %H:%M UTC"), START_LOAD),
    ]


def write_page(out, roots, fits, shares, scaling):
    lines = []
    add = lines.append
    add("# Performance")
    add("")
    add("Generated by `bench/run.sh` (do not edit by hand; the prose lives in `bench/bench.py`).")
    add("Each time is the median of repeated samples, taken in turn with those of the calls it")
    add("is compared with, so that the load of the machine falls on them alike; a ratio is the")
    add("other tool's time divided by tallowfit's, so above 1x tallowfit is faster. Python 3")
    add("module, one thread.")
    add("")
    add("## Machine")
    add("")
    lines.extend(machine_lines())
    add("")
    add("## Roots: `findRoots(c)` beside `numpy.roots(c[::-1])`")
    add("")
    add("| degree | findRoots | numpy.roots | ratio | C floor | findRoots / floor |")
    add("|---:|---:|---:|---:|---:|---:|")
    for degree, ours, theirs, floor in roots:
        add("| %d | %s | %s | %s | %s | %.2fx |" % (degree, fmt_time(ours), fmt_time(theirs),
                                                 fmt_ratio(theirs / ours), fmt_time(floor), ours / floor))
    add("")
    add("Each is given a Python list of floats and returns all roots; numpy.roots builds the")
    add("companion matrix and calls LAPACK's Hessenberg eigenvalue routine. The C floor")
    add("(`bench/floor_module.cpp`) is GSL's `gsl_poly_complex_solve`, the same method in C")
    add("(balancing and the double-shift QR of the companion matrix), called as findRoots is:")
    add("the list read into doubles, its workspace kept between calls of one degree, the roots")
    add("returned as a list of complex numbers. findRoots / floor is the time of findRoots")
    add("over the floor's, so at most 1x is as fast.")
    add("")
    add("## Fits over a list of (x, y, yUnc) tuples")
    add("")
    add("Polynomial: `optimizeModel(points, 6, 3, 0)` beside `polyfit(x, y, 2, w=1/yUnc)`,")
    add("the conversion `numpy.array(points)` included. LogLog refined:")
    add("`optimizeModel(points, 1, 3, 2)` beside `curve_fit` of exp(c0 + c1 t + c2 t^2), t = ln x,")
    add("from the same weighted linear seed in log space, analytic Jacobian, `absolute_sigma`.")
    add("tallowfit returns more than either: covariance, reduced chi-square, average error")
    add("and one (x, y, yUnc, deviation) tuple per point.")
    add("")
    add("| points | Polynomial | polyfit | ratio | LogLog refined | curve_fit | ratio |")
    add("|---:|---:|---:|---:|---:|---:|---:|")
    for size, poly, polyfit, loglog, scipy_fit, walk, floor in fits:
        add("| %s | %s | %s | %s | %s | %s | %s |" % (
            fmt_size(size), fmt_time(poly), fmt_time(polyfit), fmt_ratio(polyfit / poly),
            fmt_time(loglog), fmt_time(scipy_fit), fmt_ratio(scipy_fit / loglog)))
    add("")
    add("## The floor")
    add("")
    add("The least any call over the list must do, in C (`bench/floor_module.cpp`): the walk")
    add("reads three floats from each point tuple; walk + build also makes the list of one")
    add("4-tuple of new floats per point that a fit returns. Per point, and the whole")
    add("Polynomial call as a multiple of each:")
    add("")
    add("| points | walk | walk + build | Polynomial | Polynomial / walk | Polynomial / (walk + build) |")
    add("|---:|---:|---:|---:|---:|---:|")
    for size, poly, polyfit, loglog, scipy_fit, walk, floor in fits:
        add("| %s | %.3g ns | %.3g ns | %.3g ns | %.1fx | %.1fx |" % (
            fmt_size(size), walk / size * 1e9, floor / size * 1e9, poly / size * 1e9,
            poly / walk, poly / floor))
    add("")
    add("## Scaling of one fit")
    add("")
    add("Each job in a fresh interpreter: the first call after the point list is built,")
    add("then the same call again. Peak memory is the process's high-water mark during")
    add("the first call above its size before it (the point list already built); the")
    add("result (lists, floats, tuples) stays after the call and is part of the peak.")
    add("The floor's walk + build is measured the same way.")
    add("")
    add("| points | Polynomial first / again | peak | result | LogLog refined first / again | peak | floor first / again |")
    add("|---:|---:|---:|---:|---:|---:|---:|")
    for size, poly, loglog, floor in scaling:
        per_point = lambda seconds: seconds / size * 1e9
        add("| %s | %.0f / %.0f ns | %.0f B | %.0f B | %.0f / %.0f ns | %.0f B | %.0f / %.0f ns |" % (
            fmt_size(size), per_point(poly[0]), per_point(poly[1]), poly[2] * 1024.0 / size,
            poly[3] * 1024.0 / size, per_point(loglog[0]), per_point(loglog[1]),
            loglog[2] * 1024.0 / size, per_point(floor[0]), per_point(floor[1])))
    add("")
    add("Times and memory are per point. At 10^3 points the memory figures are within")
    add("the page granularity of the measurement.")
    add("")
    lines.extend(instruction_lines())
    lines.extend(cost_section(roots, fits, shares, scaling))
    with open(out, "w") as target:
        target.write("\n".join(lines) + "\n")


def replace_section(out, heading, lines):
    """lines in place of the page's section under heading, or, the first
    time, before its targets: the other benchmarks' sections of the page."""
    with open(out) as source:
        page = source.read().rstrip("\n").split("\n")
    if heading in page:
        start = page.index(heading)
        end = next((k for k in range(start + 1, len(page)) if page[k].startswith("## ")), len(page))
    else:
        start = end = next((k for k, line in enumerate(page) if line == "## Targets"), len(page))
    with open(out, "w") as target:
        target.write("\n".join(page[:start] + lines + [""] * (end < len(page)) + page[end:]) + "\n")


def instruction_lines():
    """The instruction counts of bench/instructions.json, before and now."""
    with open(os.path.join(os.path.dirname(os.path.abspath(__file__)), "instructions.json")) as f:
        counts = json.load(f)
    lines = [
        "## Instructions per call",
        "",
        "Counted by valgrind's callgrind (`bench/run.sh --instructions`), which the load of",
        "the machine cannot move: the mean of four calls after a warm-up call, from the",
        "entry function's start to its return. Each run of `bench/run.sh` fails when a",
        "job takes more than 2% over the record in `bench/instructions.json`. Before: the",
        "tree before the last five items of the list at the end of this page.",
        "",
        "| job | before | now | change |",
        "|---|---:|---:|---:|",
    ]
    for job in sorted(counts["record"], key=counts["record"].get):
        before, now = counts["before"][job], counts["record"][job]
        lines.append("| %s | %d | %d | %+.1f%% |" % (job, before, now, 100.0 * (now - before) / before))
    return lines + [""]


def target_rows(roots, fits, scaling):
    """(target, measured, met) for each goal set for this module."""
    by_degree = dict((row[0], row) for row in roots)
    by_size = dict((row[0], row) for row in fits)
    large = [row for row in fits if row[0] >= 10 ** 4]
    small = [row for row in fits if row[0] <= 100]
    ratio = lambda row, ours, theirs: row[theirs] / row[ours]
    worst_large = min(ratio(row, 1, 2) for row in large)
    worst_loglog = min(ratio(row, 3, 4) for row in fits)
    worst_small_loglog = min(ratio(row, 3, 4) for row in small)
    million = by_size[max(by_size)]
    worst_floor = max(by_size[size][1] / by_size[size][6] for size in (10 ** 4, 10 ** 5))
    return [
        ("findRoots >= 50x numpy.roots at degree 2",
         fmt_ratio(by_degree[2][2] / by_degree[2][1]), by_degree[2][2] / by_degree[2][1] >= 50),
        ("findRoots >= 3x numpy.roots at degree 24",
         fmt_ratio(by_degree[24][2] / by_degree[24][1]), by_degree[24][2] / by_degree[24][1] >= 3),
        ("findRoots within 1.15x of the C floor at degree 24",
         "%.2fx" % (by_degree[24][1] / by_degree[24][3]), by_degree[24][1] / by_degree[24][3] <= 1.15),
        ("Polynomial >= 10x polyfit at 10 points",
         fmt_ratio(ratio(by_size[10], 1, 2)), ratio(by_size[10], 1, 2) >= 10),
        ("Polynomial >= 3x polyfit from 10^4 points", "%s (worst)" % fmt_ratio(worst_large),
         worst_large >= 3),
        ("Polynomial call <= 1.3x the floor's walk + build at 10^4 and 10^5 points",
         "%.1fx (worst)" % worst_floor, worst_floor <= 1.3),
        ("Polynomial call <= 12x the bare walk per point at %s" % fmt_size(million[0]),
         fmt_ratio(million[1] / million[5]), million[1] / million[5] <= 12),
        ("LogLog refined faster than curve_fit at every size", "%s (worst)" % fmt_ratio(worst_loglog),
         worst_loglog > 1),
        ("LogLog refined >= 10x curve_fit up to 100 points",
         "%s (worst)" % fmt_ratio(worst_small_loglog), worst_small_loglog >= 10),
    ] + flatness_rows(scaling)


def flatness_rows(scaling):
    """Largest over smallest per-point figure across the sizes: time of the
    repeated call, and peak memory from 10^4 points (below that the page size
    blurs it)."""
    rows = []
    sizes = "%s to %s" % (fmt_size(scaling[0][0]), fmt_size(scaling[-1][0]))
    for name, column in (("Polynomial", 1), ("LogLog refined", 2)):
        for call, index in (("first call", 0), ("repeated call", 1)):
            times = [row[column][index] / row[0] for row in scaling]
            rows.append(("%s time per point flat, %s, %s" % (name, call, sizes),
                         "%.2f max/min" % (max(times) / min(times)),
                         max(times) / min(times) <= 1.5))
        peaks = [row[column][2] / row[0] for row in scaling if row[0] >= 10 ** 4]
        rows.append(("%s peak memory per point flat, %s" % (name, sizes),
                     "%.2f max/min" % (max(peaks) / min(peaks)), max(peaks) / min(peaks) <= 1.5))
    return rows


def cost_section(roots, fits, shares, scaling):
    size, refined, linear = shares
    by_size = dict((row[0], row) for row in fits)
    by_degree = dict((row[0], row) for row in roots)
    million = by_size[max(by_size)]
    lines = [
        "## Targets",
        "",
        "| target | measured | met |",
        "|---|---:|:---:|",
    ]
    for target, measured, met in target_rows(roots, fits, scaling):
        lines.append("| %s | %s | %s |" % (target, measured, "yes" if met else "no"))
    lines += [
        "",
        "Where a target is missed, the profile (perf, at the time of writing) says why:",
        "",
        "- **Roots of high degree.** 88% of a degree-24 call is the double-shift QR",
        "  iteration, 4% the balancing. Each step of the bulge chase is a dependent chain of",
        "  eight divisions and a square root (about 80 cycles) before the row and column",
        "  updates can start, and the next step needs their results: the iteration is",
        "  bound by that latency. The arithmetic is prescribed operation by operation, so",
        "  the divisions cannot become multiplications by a reciprocal, nor the steps be",
        "  blocked as LAPACK blocks them. GSL's solver, the same method in C, takes",
        "  %.2fx findRoots' time at degree 24 (the C floor above): the method, not its" % (
            by_degree[24][3] / by_degree[24][1]),
        "  code, sets the time. Small degrees are dominated by the fixed cost of",
        "  the call, which is where tallowfit gains most.",
        "- **Roots of low degree.** The margin at degree 2 (%s in this run: the noisiest figure) is all" % (
            "met" if by_degree[2][2] / by_degree[2][1] >= 50 else "missed"),
        "  fixed cost: the interpreter's call and argument tuple, the status int, the 2-tuple",
        "  and the list",
        "  (44% of the time in the interpreter), three working arrays and the companion",
        "  rows allocated zero-filled and released (20% in malloc and free), and clearing",
        "  the accrued floating-point flags, which has to wait for every pending SSE",
        "  operation (9%); the root finding itself is under 15%.",
        "- **Polynomial fits of many points.** polyfit returns three numbers; tallowfit also",
        "  returns one 4-tuple of new floats per point. At %s points building those tuples" % (
            fmt_size(million[0])),
        "  alone (the floor's walk + build, %.0f ns per point) is %.0f%% of the whole call and" % (
            million[6] / million[0] * 1e9, 100.0 * million[6] / million[1]),
        "  %.1fx the time of numpy's whole fit, conversion included: no implementation" % (
            million[6] / million[2]),
        "  that returns the same list can be 3x faster than polyfit there. The bare walk is",
        "  a lower bound that no fit returning per-point results approaches: the",
        "  allocation of the result objects and the page faults of that much new memory",
        "  (a third of the time in the kernel) dominate at that size. At %s points the" % fmt_size(10 ** 5),
        "  floor's walk + build takes %.0f ns a point and the whole call %.0f: the fit's own" % (
            by_size[10 ** 5][6] * 1e4, by_size[10 ** 5][1] * 1e4),
        "  passes (validation with the range, the transformation, the sums, the curve and",
        "  the statistics: about 18 ns a point, at 10^4 and at 10^5 points alike) come on",
        "  top, so 1.3x the floor leaves them 0.3x of it; the call builds its result list",
        "  for less than the floor does (the last two items at the end of this page).",
        "- **Refined fits.** The Levenberg-Marquardt loop ends only after 10 steps that",
        "  improve the chi-square by less than 1e-4, so a refined fit makes at least 12",
        "  curvature passes over the points (the start pass and 11 trial passes; the",
        "  benchmark's fits make exactly 12 at every size, 13 exp calls per point in all",
        "  with the chi-square pass), each evaluating the model with its derivatives at",
        "  every point. What depends on x alone (ln x and its powers for LogLog) is",
        "  computed once per point for the whole fit, so a pass costs one exp per point",
        "  from the C library, one point at a time, plus the curvature sums. Counted by",
        "  callgrind in a refined call of 10^3 points: the passes' sums take 24%, their",
        "  exp 20%, the rest of the model 8%, ln x and its powers computed once 13%, the",
        "  result objects 15%. exp cannot be replaced by a vectorised one that may round",
        "  differently. curve_fit needs fewer passes and evaluates exp on whole arrays",
        "  with numpy's vectorised routines, so the margin narrows as the points grow;",
        "  at 10^5 points a pass reads 3.2 MB (below), more than the 2 MiB second-level",
        "  cache, and the ratio there moves with the load of this shared machine. Measured at",
        "  %s points: the refined fit takes %s, the same fit without refinement %s, so" % (
            fmt_size(size), fmt_time(refined), fmt_time(linear)),
        "  the refinement is %.0f%% of the call. At 100 points the 12 passes alone take" % (
            100.0 * (refined - linear) / refined),
        "  about as long as a tenth of curve_fit's call, so 10x there is out of reach.",
        "- **Time per point across sizes.** The first call, which takes fresh memory for",
        "  its working vectors and result objects, costs about the same per point at every",
        "  size. A repeated call on 10^3 points finds the points and the freed result",
        "  objects of the last call in the CPU caches, one on 10^6 points streams them",
        "  from memory: the floor's repeated call grows the same way, so that growth is",
        "  the memory system's, not the fit's. The refined LogLog fit reads its points'",
        "  y and yUnc as single-precision values and their records (ln x, ln x, (ln x)^2:",
        "  32 bytes a point in all) on each of its 12 passes: from the second-level cache",
        "  up to about 6 x 10^4 points, from the third beyond; no narrower record keeps",
        "  the bits, as each of the three is a different library result. Its time per",
        "  point grows beyond for the same reason. Other work on the machine shows as outliers",
        "  here first (each size is the median of three fresh processes).",
        "",
        "## What was done to get here",
        "",
        "Every change keeps every result bit: `bench/golden.py` replays a seeded series of",
        "4,212 calls (every model, order, flag combination, malformed input, up to 10^5",
        "points) against the committed record `bench/golden_record.txt` in the test suite.",
        "",
        "- Points and coefficients that are exact floats or ints are read directly to the",
        "  value `PyArg_Parse` gives (double to single for the points); anything else still",
        "  goes through `PyArg_Parse`, with its messages and statuses.",
        "- Every vector that holds one entry per point is sized once; the valid points are",
        "  the caller's own vector when no point is dropped, not a copy.",
        "- The per-point result tuples are untracked by the cycle collector as soon as they",
        "  hold their floats, so the collections that a long run of new tuples triggers",
        "  find nothing to traverse.",
        "- The root finder clears the accrued floating-point flags in the SSE register and",
        "  rewrites the x87 environment only when its status holds a flag.",
        "- The zeroth power in a model's derivatives is 1 without a pow call.",
        "- The refinement computes what its model takes from x alone once per point and",
        "  keeps it for every pass: ln x and the powers of ln x (LogLog), the powers of",
        "  1/x (LogInverse), ln(c0/x) and its powers (LogRatio, whose c0 is held). The",
        "  passes would compute these again by the same library calls on the same",
        "  arguments, so the values are the same bits. Up to 8 coefficients; 64 bytes a",
        "  point at most. Each point's weight 1/yUnc^2 is likewise computed once.",
        "- The adjusted coefficients are listed once per fit instead of testing the mask",
        "  for every point, and a pass keeps the sums of up to four adjusted coefficients",
        "  in registers, each sum still taking the same terms in the same order.",
        "- The average error and the deviations share one evaluation of the curve per",
        "  point.",
        "- What a model computes from x alone (ln x and its powers, the powers of 1/x,",
        "  ln(c0/x) and its powers, sqrt(x) and its powers) is computed once per point",
        "  for the whole fit, into records that every pass reads: the transformation to",
        "  the linear fit's space (ln x, ln(c0/x) and sqrt(x) are its t), the refinement",
        "  and the data-space chi-square. The records are released when the fit ends; at",
        "  most 8 coefficients, 64 bytes a point. The average error and the deviations",
        "  take the curve's values from the chi-square pass over the same points (8",
        "  bytes a point), so the curve is evaluated once per point after the fit, not",
        "  twice.",
        "- A refinement pass reads y and yUnc as single-precision values, which every",
        "  point the module reads is (8 bytes a point instead of 16 for y and a stored",
        "  weight); the weight 1/yUnc^2 is computed from them in each pass, the same",
        "  operations on the same values.",
        "- The linear fit keeps the normal-equation sums of up to four adjusted",
        "  coefficients in registers, as the refinement does, and the driver's linear",
        "  fit skips the transformed-space residual sums that no figure reads. A fit",
        "  without refinement does not copy the points back to data space.",
        "- The power series (the Polynomial model, and the linear fits of HalfPower and",
        "  RootPolynomial) is evaluated inline in the linear fit and the chi-square pass:",
        "  its derivatives are the powers of x as successive products and its value is",
        "  Horner's rule, as its model function computes them. Without a call per point",
        "  the linear fit's sums stay in registers. The validation takes the range in the",
        "  same walk and calls nothing before the first refused point; every per-point",
        "  vector is sized once and written in place, not grown, so no pass over the",
        "  points makes a call that the values do not need.",
        "- The deviations' floats and tuples go into their new tuples and list directly,",
        "  and the list is kept out of the cycle collector's sight while it fills and",
        "  tracked once full: each collection that the new tuples trigger used to visit",
        "  every item placed so far.",
        "",
    ]
    return lines


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--out", default="docs/performance.md")
    parser.add_argument("--quick", action="store_true", help="scaling up to 10^6 points only")
    arguments = parser.parse_args()
    warnings.simplefilter("ignore")
    roots = roots_rows()
    sys.stderr.write("roots done\n")
    fits = fit_rows()
    sys.stderr.write("fits done\n")
    shares = (10 ** 5,) + refinement_share(10 ** 5)
    sizes = [s for s in SCALING_SIZES if not arguments.quick or s <= 10 ** 6]
    scaling = []
    for size in sizes:
        scaling.append((size, scaling_row(size, "polynomial"), scaling_row(size, "loglog"),
                        scaling_row(size, "floor")))
        sys.stderr.write("scaling %d done\n" % size)
    write_page(arguments.out, roots, fits, shares, scaling)
    sys.stderr.write("wrote %s\n" % arguments.out)
    return 0


if __name__ == "__main__":
    sys.exit(main())
