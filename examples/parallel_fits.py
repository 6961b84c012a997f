"""Fits many independent data sets on several processes and checks that the
results are exactly those of a plain loop.

    python examples/parallel_fits.py [--count N] [--workers W] [--batch B] [--no-dask]

The data sets (10000 by default) are made from a fixed seed: each has 6 to 12
points on a LogLog, HalfPower or Polynomial curve with 2 % noise, and is fitted
with an order chosen by the module, half of them with the nonlinear refinement.
They are fitted three times:

1. serially, in this process;
2. with concurrent.futures.ProcessPoolExecutor, in batches;
3. with dask.distributed on a LocalCluster of worker processes, in batches.

The module keeps nothing between calls, so a fit gives the same result in any
process; the script compares every float of every result bit for bit (by its
hex form) and exits with status 1 if anything differs.
"""
import argparse
import concurrent.futures
import math
import random
import sys
import time

import example_env

tallowfit = example_env.import_tallowfit()

SEED = 1729
CURVES = (
    (1, lambda x: math.exp(0.3 + 0.8 * math.log(x) - 0.1 * math.log(x) ** 2)),  # LogLog
    (4, lambda x: 2.0 + 1.5 * math.sqrt(x)),                                       # HalfPower
    (6, lambda x: 1.0 + 0.5 * x - 0.02 * x * x),                                   # Polynomial
)


def make_jobs(count):
    """count argument tuples (points, modelId, order, flags) for optimizeModel."""
    rng = random.Random(SEED)
    jobs = []
    for index in range(count):
        model_id, curve = CURVES[index % len(CURVES)]
        size = rng.randint(6, 12)
        xs = sorted(rng.uniform(1.5, 20.0) for _ in range(size))
        points = []
        for x in xs:
            y = curve(x)
            y_unc = 0.02 * abs(y)
            points.append((x, y + rng.gauss(0.0, y_unc), y_unc))
        flags = 2 if index % 2 else 0
        jobs.append((points, model_id, 0, flags))
    return jobs


def fit_batch(jobs):
    """The work of one task: the fits of a batch of jobs, in order."""
    return [tallowfit.optimizeModel(*job) for job in jobs]


def batches(jobs, size):
    return [jobs[start:start + size] for start in range(0, len(jobs), size)]


def exact(value):
    """value with every float replaced by its hex form, so that == compares bits."""
    if isinstance(value, float):
        return value.hex()
    if isinstance(value, (list, tuple)):
        return [exact(item) for item in value]
    return value


def with_process_pool(jobs, workers, batch):
    with concurrent.futures.ProcessPoolExecutor(max_workers=workers) as pool:
        return [result for part in pool.map(fit_batch, batches(jobs, batch)) for result in part]


def with_dask(jobs, workers, batch):
    from dask.distributed import Client, LocalCluster

    with LocalCluster(n_workers=workers, threads_per_worker=1, processes=True,
                      dashboard_address=None) as cluster, Client(cluster) as client:
        futures = client.map(fit_batch, batches(jobs, batch), pure=False)
        return [result for part in client.gather(futures) for result in part]


def timed(label, run):
    start = time.perf_counter()
    results = run()
    print("%-34s %6.2f s" % (label, time.perf_counter() - start), flush=True)
    return results


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--count", type=int, default=10000, help="number of data sets")
    parser.add_argument("--workers", type=int, default=2, help="worker processes")
    parser.add_argument("--batch", type=int, default=250, help="data sets per task")
    parser.add_argument("--no-dask", action="store_true", help="skip the dask.distributed run")
    options = parser.parse_args()
    if not options.no_dask:
        example_env.require({"dask": "dask", "distributed": "distributed"})

    jobs = make_jobs(options.count)
    serial = timed("serial loop", lambda: fit_batch(jobs))
    statuses = {}
    for status, _ in serial:
        statuses[status] = statuses.get(status, 0) + 1
    print("fits: %d, by status: %s" % (len(serial), statuses))

    runs = [("ProcessPoolExecutor, %d workers" % options.workers, with_process_pool)]
    if not options.no_dask:
        runs.append(("dask LocalCluster, %d workers" % options.workers, with_dask))
    reference = exact(serial)
    differing = 0
    for label, run in runs:
        results = timed(label, lambda: run(jobs, options.workers, options.batch))
        same = exact(results) == reference
        print("  %s the serial results exactly" % ("equals" if same else "DIFFERS FROM"))
        differing += not same
    return 1 if differing else 0


if __name__ == "__main__":
    sys.exit(main())
