import _thread
import ast
import json
import re
import subprocess
import threading
import time
import warnings

import numpy as np
import pytest

import convergence_suite as suite
from conftest import build, checkout

PHI = 0.9
TAU_INT = (1 + PHI) / (2 * (1 - PHI))  # 9.5


def ar1_chain(n, seed, phi=PHI):
    # A stationary AR(1) chain of unit innovations: x_0 drawn from the
    # stationary law, x_i = phi x_{i-1} + e_i.
    e = np.random.default_rng(seed).standard_normal(n)
    x = np.empty(n)
    x[0] = e[0] / np.sqrt(1 - phi * phi)
    for i in range(1, n):
        x[i] = phi * x[i - 1] + e[i]
    return x


def exact_error_of_mean(n, phi=PHI):
    # Var(xbar) of the stationary AR(1) with innovations of variance 1,
    # in units of the chain's variance 1 / (1 - phi^2).
    in_units = ((1 + phi) / (1 - phi) - 2 * phi * (1 - phi**n) / (n * (1 - phi) ** 2)) / n
    return np.sqrt(in_units / (1 - phi * phi))


chain = ar1_chain(2**16, seed=20261209)


@pytest.mark.parametrize("values", [chain, chain.reshape(4, -1)], ids=["one chain", "four replicas"])
@pytest.mark.parametrize("method", ["gamma", "binning"])
def test_ar1_error_and_tau_int_within_their_stated_errors(method, values):
    r = suite.chain_error(values, method)
    assert r.method == method and r.count == chain.size
    assert abs(r.error - exact_error_of_mean(chain.size)) < 2 * r.error_of_error
    assert abs(r.tau_int - TAU_INT) < 2 * r.tau_int_error
    assert r.effective_samples == pytest.approx(chain.size / (2 * r.tau_int))
    if method == "gamma":
        assert r.replicas == values.ndim * 3 - 2 and r.rho[0] == 1 and len(r.rho) == len(r.gamma) > r.window > 0
    else:
        assert r.level_errors[r.level] == pytest.approx(r.error, rel=0.3) and r.lower < r.mean < r.upper


def test_block_bootstrap_details():
    r = suite.chain_error(chain[:4096], "block_bootstrap", block_scheme="moving", block_length=50, resamples=200,
                          seed=3, threads=2)
    assert (r.block_length, r.block_scheme, len(r.resample_means)) == (50, "moving", 200)
    assert r.resample_means.std(ddof=1) == pytest.approx(r.error, rel=1e-12)
    again = suite.chain_error(chain[:4096], "block_bootstrap", block_scheme="moving", block_length=50,
                              resamples=200, seed=3, threads=1)
    assert np.array_equal(again.resample_means, r.resample_means)


def test_chunked_binning_is_one_shot_bit_for_bit():
    one_shot = suite.chain_error(chain, "binning")
    chunked = suite.BinningAnalysis()
    for piece in np.split(chain, [1, 1000, 1024, 5000, 40000]):
        chunked.add(piece)
    r = chunked.result()
    assert chunked.count == chain.size
    assert (r.mean, r.error, r.tau_int, r.level) == (one_shot.mean, one_shot.error, one_shot.tau_int, one_shot.level)
    assert np.array_equal(r.level_errors, one_shot.level_errors)
    # Merged analyses are replicas, as the rows of a 2-D array.
    first, second = suite.BinningAnalysis(), suite.BinningAnalysis()
    first.add(chain[: chain.size // 2])
    second.add(chain[chain.size // 2:])
    first.merge(second)
    both = suite.chain_error(chain.reshape(2, -1), "binning")
    assert (first.result().error, first.result().tau_int) == (both.error, both.tau_int)


def test_the_numbers_of_the_chain_errors_program(tmp_path):
    program = next((p for p in (build / "programs" / "chain_errors", build / "chains" / "chain_errors")
                    if p.exists()), None)
    if program is None:
        pytest.skip("the chain_errors program is not built")
    np.savetxt(tmp_path / "chain.txt", chain[:8192], fmt="%.17g")
    reports = json.loads(subprocess.run([str(program), str(tmp_path / "chain.txt"), "--method", "all", "--format",
                                         "json"], check=True, capture_output=True, text=True).stdout)
    for report in reports:
        if report["method"] in ("gamma", "binning"):
            r = suite.chain_error(chain[:8192], report["method"])
            assert report.get("window", r.window) == r.window and report.get("level", r.level) == r.level
            assert float(report["error"]) == pytest.approx(r.error, rel=0.05)


def test_correlated_input_warns_and_independent_does_not():
    with pytest.warns(RuntimeWarning, match="chain_error"):
        suite.bootstrap_interval(chain[:4000])
    with pytest.warns(RuntimeWarning, match="tau_int"):
        suite.jackknife_error(chain[:4000], blocks=100)
    independent = np.random.default_rng(5).standard_normal(4000)
    with warnings.catch_warnings():
        warnings.simplefilter("error")
        suite.bootstrap_interval(independent)
        suite.jackknife_error(independent, blocks=100)
        # Few long blocks are fine on a correlated chain.
        suite.jackknife_error(chain, blocks=10)


@pytest.mark.parametrize("call,error", [
    (lambda: suite.chain_error([1.0, np.nan, 2.0]), ValueError),
    (lambda: suite.chain_error([1.0]), ValueError),
    (lambda: suite.chain_error(np.ones(100)), ValueError),
    (lambda: suite.chain_error(np.zeros((2, 2, 2))), ValueError),
    (lambda: suite.chain_error(chain.reshape(2, -1), "block_bootstrap"), ValueError),
    (lambda: suite.chain_error(chain, "jackknife"), ValueError),
    (lambda: suite.chain_error(chain, s_factor=0.0), ValueError),
    (lambda: suite.chain_error(chain, lag_sums="slow"), ValueError),
    (lambda: suite.chain_error(chain, "binning", confidence=1.5), ValueError),
    (lambda: suite.chain_error(chain, "binning", block_length=4), TypeError),
    (lambda: suite.chain_error(chain, "block_bootstrap", seed=True), TypeError),
    (lambda: suite.chain_error(np.array(["a", "b"])), TypeError),
    (lambda: suite.BinningAnalysis().result(), ValueError),
    (lambda: suite.BinningAnalysis().add(np.ones((2, 2))), ValueError),
])
def test_bad_chains_and_options(call, error):
    with pytest.raises(error):
        call()


def test_stubs_and_version_match_the_module():
    project = (checkout / "CMakeLists.txt").read_text()
    assert suite.__version__ == re.search(r"project\(convergence_suite VERSION ([0-9.]+)", project).group(1)
    stub = (build / "python" / "convergence_suite.pyi").read_text()
    tree = ast.parse(stub)
    stubbed = {node.name for node in tree.body if isinstance(node, (ast.FunctionDef, ast.ClassDef))}
    stubbed |= {node.target.id for node in tree.body if isinstance(node, ast.AnnAssign)}
    public = {name for name in dir(suite) if not name.startswith("_")} | {"__version__"}
    assert stubbed == public
    for cls in ("Generator", "ChainError", "BinningAnalysis"):
        members = {n.name for n in next(c for c in tree.body if getattr(c, "name", "") == cls).body
                   if isinstance(n, ast.FunctionDef)}
        assert members - {"__init__"} == {m for m in vars(getattr(suite, cls)) if not m.startswith("_") or
                                          m in ("__copy__", "__deepcopy__", "__eq__")} - {"__init__"}


def test_ctrl_c_stops_a_long_analysis():
    # Seconds of resampling (single-value blocks: a draw for every value of
    # every resample); a simulated Ctrl-C 0.2 s into it must reach Python
    # at once, and the module stays usable.
    values = np.random.default_rng(1).standard_normal(100000)
    threading.Timer(0.2, _thread.interrupt_main).start()
    start = time.monotonic()
    with pytest.raises(KeyboardInterrupt):
        suite.chain_error(values, "block_bootstrap", block_length=1, resamples=6000, threads=1)
    assert time.monotonic() - start < 1.5
    assert suite.chain_error(chain[:1000]).count == 1000
