import resource
import sys

import numpy as np
import pytest

import convergence_suite as suite

values = suite.Generator(3).random(1001) ** 3


def test_jackknife_by_hand():
    n, blocks = len(values), 10
    edges = [b * n // blocks for b in range(blocks + 1)]
    total = values.sum()
    left_out = np.array([(total - values[e0:e1].sum()) / (n - (e1 - e0)) for e0, e1 in zip(edges, edges[1:])])
    by_hand = np.sqrt((blocks - 1) / blocks * ((left_out - total / n) ** 2).sum())
    assert suite.jackknife_error(values) == pytest.approx(by_hand, rel=1e-12)
    assert suite.jackknife_error([1.0, 3.0], blocks=2) == pytest.approx(1.0)


def test_running_mean_sums_in_order():
    assert np.array_equal(suite.running_mean(values), np.cumsum(values) / np.arange(1, len(values) + 1))
    assert suite.running_mean([1, 2, 3]).tolist() == [1.0, 1.5, 2.0]


def test_bootstrap_as_the_plan_says():
    # Draws sample-major: pair k * M + l of generator values (a, b) picks
    # resample l's k-th index floor(x n / 2^48), x = a 2^24 + b, unless
    # (x n) mod 2^48 falls below 2^48 mod n, which rejects the pair.
    n, m = len(values), 100
    a, b = suite.Generator(11).units(2 * n * m).astype(np.uint64).reshape(-1, 2).T
    p = ((a << np.uint64(24)) + b) * np.uint64(n)
    assert np.all(p % 2**48 >= 2**48 % n)  # nothing rejected at this seed
    index = (p >> np.uint64(48)).astype(np.int64).reshape(n, m)
    means = np.zeros(m)
    for row in values[index]:
        means = means + row
    ordered = np.sort(means / n)
    assert suite.bootstrap_interval(values, seed=11) == (ordered[16], ordered[84])
    assert suite.bootstrap_interval(values, seed=11, confidence_level=0.68) == (ordered[16], ordered[84])
    assert suite.bootstrap_interval(values, seed=11, lower_rank=0, upper_rank=99) == (ordered[0], ordered[99])
    with pytest.warns(DeprecationWarning):
        assert suite.bootstrap_interval(values, seed=11, lower=1, upper=100) == (ordered[0], ordered[99])


def test_non_contiguous_input_is_copied():
    wide = np.stack([values, -values], axis=1)
    assert suite.jackknife_error(wide[:, 0]) == suite.jackknife_error(values)
    assert suite.bootstrap_interval(values[::-1]) == suite.bootstrap_interval(values[::-1].copy())


@pytest.mark.parametrize("call,error", [
    (lambda: suite.jackknife_error([]), ValueError),
    (lambda: suite.running_mean(np.ones((2, 2))), ValueError),
    (lambda: suite.bootstrap_interval([1.0, np.nan]), ValueError),
    (lambda: suite.jackknife_error([1.0, 2.0], blocks=3), ValueError),
    (lambda: suite.jackknife_error([1.0, np.inf, 2.0], blocks=2), ValueError),
    (lambda: suite.jackknife_error(values, blocks=1), ValueError),
    (lambda: suite.bootstrap_interval(values, lower_rank=90, upper_rank=80), ValueError),
    (lambda: suite.bootstrap_interval(values, lower_rank=0, upper_rank=100), ValueError),
    (lambda: suite.bootstrap_interval(values, confidence_level=1.0), ValueError),
    (lambda: suite.bootstrap_interval(values, confidence_level=0.68, lower_rank=0, upper_rank=99), ValueError),
    (lambda: suite.bootstrap_interval(values, confidence_level=0.999999), ValueError),
    (lambda: suite.bootstrap_interval(values, threads=0), ValueError),
    (lambda: suite.bootstrap_interval(values, threads=1025), ValueError),
    (lambda: suite.bootstrap_interval(values, seed=True), TypeError),
    (lambda: suite.Generator(np.True_), TypeError),
    (lambda: suite.running_mean(["a", "b"]), TypeError),
    (lambda: suite.jackknife_error(object()), TypeError),
])
def test_wrong_input(call, error):
    with pytest.raises(error):
        call()


@pytest.mark.skipif(not sys.platform.startswith("linux"), reason="reads the resident size from /proc")
def test_memory_stays_flat_over_many_calls():
    def resident_pages():
        with open("/proc/self/statm") as f:
            return int(f.read().split()[1])

    def calls(count):
        for _ in range(count):
            suite.jackknife_error(values)
            suite.running_mean(values)
            suite.bootstrap_interval(values, resamples=20, lower_rank=1, upper_rank=18)
            suite.Generator(1).random(100)

    calls(1000)
    before = resident_pages()
    calls(10000)
    grown = (resident_pages() - before) * resource.getpagesize()
    assert grown < 2 * 2**20, f"resident memory grew by {grown} bytes over 10^4 calls"
