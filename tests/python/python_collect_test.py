import subprocess
import sys

import numpy as np
import pytest

import convergence_suite as suite
from conftest import build


@pytest.mark.skipif(sys.platform == "win32", reason="holds the lock with fcntl")
def test_collect_reads_what_ensemble_collect_writes(tmp_path):
    subprocess.run([str(build / "programs" / "ensemble"), "metropolis_jackknife", "--replicas", "3", "--rows", "200",
                    "--updates-per-sample", "3", "--dir", str(tmp_path)], check=True, capture_output=True)
    written = (tmp_path / "aggregate.dat").read_bytes()
    # While another process holds the folder's lock, collect refuses, as
    # `ensemble collect` does.
    holder = subprocess.Popen([sys.executable, "-c", """
import fcntl, sys
with open(sys.argv[1], "a") as lock:
    fcntl.lockf(lock, fcntl.LOCK_EX)
    print("held", flush=True)
    sys.stdin.read()
""", str(tmp_path / "study.lock")], stdin=subprocess.PIPE, stdout=subprocess.PIPE, text=True)
    try:
        assert holder.stdout.readline() == "held\n"
        with pytest.raises(RuntimeError, match="in use"):
            suite.collect(tmp_path)
    finally:
        holder.communicate("")
    table = suite.collect(tmp_path)
    assert (tmp_path / "aggregate.dat").read_bytes() == written
    expected = np.genfromtxt(tmp_path / "aggregate.dat", comments="#")
    assert table.dtype.names[:2] == ("N", "mean") and len(table) == len(expected)
    assert np.array_equal(table["N"], expected[:, 0])
    # The file's numbers are the table's rounded to 8 digits; the table
    # keeps every digit.
    reals = table.dtype.names[1:]
    for c, name in enumerate(reals, start=1):
        assert np.array_equal(np.array([float(f"{v:.8g}") for v in table[name]]), expected[:, c], equal_nan=True)
    assert not np.array_equal(table["mean"], expected[:, 1])
    # coverage.tsv's rows, every digit kept; the jackknife is the one method.
    coverage = suite.coverage(tmp_path)
    written = np.genfromtxt(tmp_path / "coverage.tsv", names=True, dtype=None, encoding="utf-8")
    assert coverage.dtype.names == written.dtype.names and len(coverage) == len(written)
    assert set(coverage["method"]) == {"jackknife"} and np.array_equal(coverage["N"], written["N"])
    assert np.array_equal(coverage["coverage"], table["coverage"][-len(coverage):], equal_nan=True)
    assert np.allclose(coverage["mean_error_over_spread"], written["mean_error_over_spread"], rtol=1e-7)


def test_collect_of_a_folder_without_tables(tmp_path):
    # A folder with nothing of a study is refused,
    with pytest.raises(ValueError):
        suite.collect(tmp_path)
    # and leaves the folder as it was: no lock file behind.
    assert list(tmp_path.iterdir()) == []
