#!/usr/bin/env python3
"""chain_errors side by side with what a user would reach for instead.

    /usr/bin/python3 bench/chain_side_by_side.py [--build build/release]
        [--sizes 1e6,1e7] [--phis 0.9,0.999] [--repetitions 3]

On AR(1) chains x' = phi x + e (tau_int = (1 + phi) / (2 (1 - phi))):
  - chain_errors --method gamma on the chain's .npy file, the whole process;
  - a vectorised NumPy Gamma method as a user would write it: the
    autocovariance by FFT, Wolff's window, his bias correction;
  - emcee.autocorr.integrated_time (Sokal's window, c = 5), whose tau is
    1 + 2 sum rho = 2 tau_int;
  - chain_errors --method binning on the .npy file (values per second) and
    on the chain as text, "%.17g" a line (megabytes per second of text).
Each contender runs in a process of its own, so that its peak resident
memory (ru_maxrss, from /usr/bin/time) is its own; the Python ones report
the time of the computation alone besides that of the whole process
(interpreter, imports, np.load). Every figure is the median of the
repetitions; the table is Markdown.
"""
import argparse
import json
import os
import pathlib
import platform
import resource
import statistics
import subprocess
import sys
import tempfile
import time

import numpy as np
import scipy.signal


def numpy_gamma(x, s_factor=1.5):
    """Wolff's Gamma method, vectorised: what a user would write."""
    n = len(x)
    deviations = x - x.mean()
    size = 1 << (2 * n - 1).bit_length()
    spectrum = np.fft.rfft(deviations, size)
    lags = n // 2
    gamma = np.fft.irfft(spectrum * np.conj(spectrum), size)[:lags] / (n - np.arange(lags))
    del spectrum
    tau_of_window = 0.5 + np.cumsum(gamma[1:]) / gamma[0]
    windows = np.arange(1, lags)
    with np.errstate(divide="ignore", invalid="ignore"):
        tau = np.where(tau_of_window > 0.5,
                       s_factor / np.log((2 * tau_of_window + 1) / (2 * tau_of_window - 1)), 1e-300)
        g = np.exp(-windows / tau) - tau / np.sqrt(windows * n)
    negative = np.flatnonzero(g < 0)
    window = int(windows[negative[0]] if len(negative) else windows[-1])
    c_f = gamma[0] + 2 * gamma[1:window + 1].sum()
    # Every Gamma(t) is biased by -C_F / N.
    gamma0 = gamma[0] + c_f / n
    c_f = c_f * (1 + (2 * window + 1) / n)
    return {"tau_int": c_f / (2 * gamma0), "error": float(np.sqrt(c_f / n)), "window": window}


def emcee_tau(x):
    import emcee
    tau = float(emcee.autocorr.integrated_time(x, c=5, tol=0, quiet=True)[0])
    return {"tau_int": tau / 2, "error": float(np.sqrt(x.var() * tau / len(x))), "window": None}


def worker(method, path):
    """One contender in a process of its own: prints its result as JSON."""
    x = np.load(path)
    start = time.perf_counter()
    result = numpy_gamma(x) if method == "numpy" else emcee_tau(x)
    result["compute_seconds"] = time.perf_counter() - start
    print(json.dumps(result))


def timed(command, stdin=None, cpu=False):
    """Wall seconds, peak resident kilobytes and standard output of a
    process; with `cpu`, its processor seconds (user and system) too."""
    with tempfile.NamedTemporaryFile("r") as usage:
        start = time.perf_counter()
        out = subprocess.run(["/usr/bin/time", "-f", "%M %U %S", "-o", usage.name] + command, stdin=stdin,
                             check=True, stdout=subprocess.PIPE, text=True).stdout
        seconds = time.perf_counter() - start
        peak, user, system = usage.read().split()[-3:]
        return (seconds, int(peak), out) + ((float(user) + float(system),) if cpu else ())


def processor():
    try:
        for line in open("/proc/cpuinfo"):
            if line.startswith("model name"):
                return line.split(":", 1)[1].strip()
    except OSError:
        pass
    return platform.processor() or platform.machine()


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--build", default="build/release")
    parser.add_argument("--sizes", default="1e6,1e7")
    parser.add_argument("--phis", default="0.9,0.999")
    parser.add_argument("--repetitions", type=int, default=3)
    parser.add_argument("--worker", nargs=2, help=argparse.SUPPRESS)
    arguments = parser.parse_args()
    if arguments.worker:
        worker(*arguments.worker)
        return

    build = pathlib.Path(arguments.build).resolve()
    program = str(build / "programs" / "chain_errors")
    simd = build / "tools" / "simd_target"
    simd_path = subprocess.run([str(simd)], stdout=subprocess.PIPE, text=True).stdout.strip() if simd.exists() else "?"
    print(f"processor: {processor()}, {os.cpu_count()} cores; the library's SIMD path: {simd_path}; "
          f"load average at the start: {os.getloadavg()[0]:.1f}")
    print(f"medians of {arguments.repetitions}; time: the whole process, wall / processor (user + system), in "
          "brackets the computation alone (wall); memory: peak resident\n")
    print("| N | phi | exact tau_int | contender | tau_int | error of the mean | window | time (s): wall / cpu | "
          "peak memory (MB) |")
    print("|---|---|---|---|---|---|---|---|---|")
    throughput = []
    rng = np.random.default_rng(2004)
    with tempfile.TemporaryDirectory() as folder:
        for size in (int(float(s)) for s in arguments.sizes.split(",")):
            noise = rng.standard_normal(size)
            for phi in (float(p) for p in arguments.phis.split(",")):
                chain = scipy.signal.lfilter([1.0], [1.0, -phi], noise)
                npy = pathlib.Path(folder) / "chain.npy"
                np.save(npy, chain)
                del chain
                rows = {}
                runs = {"chain_errors": [program, "--method", "gamma", "--format", "json", str(npy)],
                        "chain_errors binning": [program, "--method", "binning", "--format", "json", str(npy)],
                        "NumPy Γ-method": [sys.executable, __file__, "--worker", "numpy", str(npy)],
                        "emcee": [sys.executable, __file__, "--worker", "emcee", str(npy)]}
                for _ in range(arguments.repetitions):
                    for label, command in runs.items():
                        seconds, peak, out, processor_seconds = timed(command, cpu=True)
                        result = json.loads(out)
                        rows.setdefault(label, []).append((seconds, peak, result, processor_seconds))
                exact = (1 + phi) / (2 * (1 - phi))
                for label, runs_of_label in rows.items():
                    seconds = statistics.median(r[0] for r in runs_of_label)
                    peak = statistics.median(r[1] for r in runs_of_label) / 1024
                    result = runs_of_label[-1][2]
                    window = result.get("window", result.get("level"))
                    window = "-" if window is None else (f"level {window}" if "level" in result else window)
                    compute = [r[2]["compute_seconds"] for r in runs_of_label if "compute_seconds" in r[2]]
                    cpu = statistics.median(r[3] for r in runs_of_label)
                    time_text = (f"{seconds:.3g} / {cpu:.3g}" +
                                 (f" ({statistics.median(compute):.3g})" if compute else ""))
                    print(f"| {size:.0e} | {phi} | {exact:.1f} | {label} | {float(result['tau_int']):.4g} | "
                          f"{float(result['error']):.3g} | {window} | {time_text} | {peak:.0f} |")
                    if label == "chain_errors binning":
                        throughput.append(f"binning of {size:.0e} values from .npy (phi {phi}): "
                                          f"{size / seconds / 1e6:.0f} million values/s, {peak:.0f} MB")
                sys.stdout.flush()
            # Text: the chain of the last phi, a value per line with 17 digits.
            text = pathlib.Path(folder) / "chain.txt"
            np.savetxt(text, np.load(npy), fmt="%.17g")
            megabytes = text.stat().st_size / 1e6
            times, peaks, processor_times = [], [], []
            for _ in range(arguments.repetitions):
                with open(text, "rb") as lines:
                    seconds, peak, _, processor_seconds = timed([program, "--method", "binning", "-"], stdin=lines,
                                                                cpu=True)
                times.append(seconds)
                peaks.append(peak)
                processor_times.append(processor_seconds)
            seconds = statistics.median(times)
            throughput.append(f"text of {size:.0e} lines ({megabytes:.0f} MB, '%.17g') on standard input, binning: "
                              f"{megabytes / seconds:.0f} MB/s of wall time, "
                              f"{megabytes / max(statistics.median(processor_times), 0.01):.0f} MB/s of processor time, "
                              f"{statistics.median(peaks) / 1024:.0f} MB")
            text.unlink()
    print()
    for line in throughput:
        print(f"- {line}")
    print(f"\nload average at the end: {os.getloadavg()[0]:.1f}")
    own = resource.getrusage(resource.RUSAGE_CHILDREN).ru_maxrss / 1024
    print(f"\n(largest child process: {own:.0f} MB)")


if __name__ == "__main__":
    main()
