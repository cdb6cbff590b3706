#!/usr/bin/env python3
"""The Metropolis estimate with its jackknife error band, from Python.

Runs metropolis_jackknife for a few seeds with one update between samples
(K = 1: strongly correlated samples) and with a thousand (K = 1000: nearly
independent ones), and plots the running mean with a band of one jackknife
error around it, against the exact expectation.

    PYTHONPATH=build/release/python python3 examples/python/jackknife_band.py [figure.png]
"""
import sys

import matplotlib
import matplotlib.pyplot as plt
import numpy as np

import convergence_suite as suite

exact = 2.4313142  # <128 x^3 y^2 z> under exp(-(x^2 + y^2 + z^2)) on the unit cube
seeds = [1, 2, 3]
figure_path = sys.argv[1] if len(sys.argv) > 1 else "jackknife_band.png"

figure, axes = plt.subplots(1, 2, figsize=(9, 3.6), sharey=True)
for ax, updates in zip(axes, [1, 1000]):
    for seed in seeds:
        table = suite.run("metropolis_jackknife", seed=seed, updates_per_sample=updates)
        n, mean, error = table["samples"], table["mean"], table["jackknife_error"]
        line, = ax.plot(n, mean, lw=0.8, label=f"seed {seed}")
        ax.fill_between(n[1:], (mean - error)[1:], (mean + error)[1:], color=line.get_color(), alpha=0.2, lw=0)
    ax.axhline(exact, color="black", lw=0.8, ls="--", label="exact")
    ax.set_xscale("log")
    ax.set_xlabel("samples N")
    ax.set_title(f"K = {updates} updates per sample")
axes[0].set_ylabel("running mean ± jackknife error")
axes[0].set_ylim(exact - 0.6, exact + 0.6)
axes[1].legend(loc="lower right", fontsize="small")
figure.tight_layout()
figure.savefig(figure_path, dpi=80)
print(f"{figure_path}: {len(seeds)} seeds at K = 1 and K = 1000 (matplotlib {matplotlib.__version__})")
