import subprocess

import numpy as np
import pytest

import convergence_suite as suite
from conftest import build


def test_collect_reads_what_ensemble_collect_writes(tmp_path):
    subprocess.run([str(build / "programs" / "ensemble"), "metropolis_jackknife", "--replicas", "3", "--rows", "200",
                    "--updates-per-sample", "3", "--dir", str(tmp_path)], check=True, capture_output=True)
    written = (tmp_path / "aggregate.dat").read_bytes()
    table = suite.collect(tmp_path)
    assert (tmp_path / "aggregate.dat").read_bytes() == written
    expected = np.genfromtxt(tmp_path / "aggregate.dat", comments="#")
    assert table.dtype.names[:2] == ("N", "mean") and len(table) == len(expected)
    assert np.array_equal(table["N"], expected[:, 0])
    for c, name in enumerate(table.dtype.names[1:], start=1):
        assert np.array_equal(table[name], expected[:, c], equal_nan=True)


def test_collect_of_a_folder_without_tables(tmp_path):
    with pytest.raises(ValueError):
        suite.collect(tmp_path)
