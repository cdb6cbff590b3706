#!/usr/bin/env python3
"""The Python module side by side with what a user would write instead.

    env -u OPENBLAS_CORETYPE -u OPENBLAS_L2_SIZE PYTHONPATH=build/release/python \\
        python3 bench/python_side_by_side.py [build/release] [repetitions]

Contenders run interleaved, one after the other in every repetition; the
table gives medians of wall time in seconds, as Markdown.
"""
import os
import pathlib
import statistics
import subprocess
import sys
import tempfile
import time

import numpy as np
import scipy
import scipy.stats

import convergence_suite as suite

build = pathlib.Path(sys.argv[1] if len(sys.argv) > 1 else "build/release").resolve()
repetitions = int(sys.argv[2]) if len(sys.argv) > 2 else 5


def numpy_jackknife(values, blocks=10):
    # The same estimator, vectorised: block sums by reduceat, leave-one-out
    # means, their spread.
    n = len(values)
    edges = np.arange(blocks) * n // blocks
    block_sums = np.add.reduceat(values, edges)
    sizes = np.diff(np.append(edges, n))
    total = block_sums.sum()
    left_out = (total - block_sums) / (n - sizes)
    return np.sqrt((blocks - 1) / blocks * np.sum((left_out - total / n) ** 2))


def scipy_bootstrap(values):
    result = scipy.stats.bootstrap((values,), np.mean, n_resamples=100, method="percentile", vectorized=True,
                                   confidence_level=0.68, random_state=np.random.default_rng(1))
    return result.confidence_interval


def run_program(name, directory):
    subprocess.run([str(build / "programs" / name)], cwd=directory, check=True, stdout=subprocess.DEVNULL)


def medians(contenders):
    times = {label: [] for label in contenders}
    for _ in range(repetitions):
        for label, call in contenders.items():
            start = time.perf_counter()
            call()
            times[label].append(time.perf_counter() - start)
    return {label: statistics.median(t) for label, t in times.items()}


rows = []
for n in (10**4, 10**5, 10**6):
    values = np.random.default_rng(n).random(n) ** 3
    t = medians({"ours": lambda: suite.bootstrap_interval(values), "scipy": lambda: scipy_bootstrap(values)})
    rows.append((f"`bootstrap_interval`, n = {n:.0e}", "`scipy.stats.bootstrap` (percentile, 100, vectorized)",
                 t["scipy"], t["ours"]))
    t = medians({"ours": lambda: suite.jackknife_error(values), "numpy": lambda: numpy_jackknife(values)})
    rows.append((f"`jackknife_error`, n = {n:.0e}", "NumPy blocked jackknife (`reduceat`)", t["numpy"], t["ours"]))

with tempfile.TemporaryDirectory() as directory:
    t = medians({"ours": lambda: suite.run("metropolis"), "program": lambda: run_program("metropolis", directory)})
rows.append(("`run('metropolis')`", "the program `metropolis` (whole process)", t["program"], t["ours"]))

print(f"NumPy {np.__version__}, SciPy {scipy.__version__}; medians of {repetitions} interleaved runs, seconds\n")
print("| what | the other | its time | ours | ratio |")
print("|---|---|---:|---:|---:|")
for what, other, theirs, ours in rows:
    print(f"| {what} | {other} | {theirs:.4g} | {ours:.4g} | {theirs / ours:.1f}× |")
