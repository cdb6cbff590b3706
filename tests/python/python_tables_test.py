# run() gives the programs' tables byte for byte once formatted as they are.
import hashlib
import math
import os
import signal
import subprocess
import sys
import time

import pytest

import convergence_suite as suite
from conftest import build, checkout


def table_bytes(table):
    # The table writer's formats: "%i", then "\t%f" per value; a non-finite
    # value as the writer spells it whatever the sign of a NaN.
    def real(x):
        if math.isnan(x):
            return "-nan"
        return "%f" % x
    lines = ["\t".join(["%i" % row[0]] + [real(x) for x in list(row)[1:]]) + "\n" for row in table.tolist()]
    return "".join(lines).encode()


def reference_checksums():
    sums = {}
    for line in (checkout / "tests/reference/checksums.sha256").read_text().splitlines():
        if line and not line.startswith("#"):
            digest, name = line.split()
            sums[name] = digest
    return sums


def experiment_list():
    rows = [l.split("\t") for l in (checkout / "experiments.tsv").read_text().splitlines()
            if l and not l.startswith("#")]
    return [(r[0], r[1], [c.split(":")[0] for c in r[6].split(",")]) for r in rows]


@pytest.mark.parametrize("name,table_file,columns", experiment_list())
def test_default_tables_match_the_reference(name, table_file, columns):
    table = suite.run(name)
    assert list(table.dtype.names) == columns
    assert hashlib.sha256(table_bytes(table)).hexdigest() == reference_checksums()[table_file]


@pytest.mark.parametrize("name,options", [
    ("metropolis_bootstrap", dict(seed=987654, rows=300, updates_per_sample=7)),
    ("montecarlo1d", dict(seed=900000000, rows=2000)),
    ("quadrature", dict(rows=17)),
])
def test_other_options_match_the_program(tmp_path, name, options):
    out = tmp_path / "table"
    args = [str(build / "programs" / name), "--output", str(out)]
    for key, value in options.items():
        args += ["--" + key.replace("_", "-"), str(value)]
    subprocess.run(args, check=True, cwd=tmp_path, stdout=subprocess.DEVNULL)
    assert table_bytes(suite.run(name, **options)) == out.read_bytes()


def test_bad_runs_raise_value_error():
    for name, options in [("nonesuch", {}), ("quadrature", dict(seed=3)), ("metropolis", dict(rows=0)),
                          ("metropolis", dict(seed=-1)), ("quadrature", dict(rows=31)),
                          ("montecarlo3d", dict(updates_per_sample=5))]:
        with pytest.raises(ValueError):
            suite.run(name, **options)
    with pytest.raises(TypeError):
        suite.run("metropolis", seed=True)


@pytest.mark.skipif(not sys.platform.startswith("linux"), reason="sends SIGINT, counts threads in /proc")
def test_ctrl_c_stops_a_long_run():
    # A minute's run; Ctrl-C a second into it must reach Python within half a
    # second, with the run's threads gone and the interpreter still usable.
    child = subprocess.Popen([sys.executable, "-c", """
import os, signal, time
import convergence_suite as suite
signal.signal(signal.SIGINT, signal.default_int_handler)  # even where SIGINT was ignored
print("started", flush=True)
try:
    suite.run("metropolis_bootstrap", rows=40000)
except KeyboardInterrupt:
    print(time.monotonic(), len(os.listdir("/proc/self/task")), flush=True)
print(suite.run("quadrature", rows=3)["intervals"].tolist(), flush=True)
"""], stdout=subprocess.PIPE, text=True, env=dict(os.environ, PYTHONPATH=os.pathsep.join(sys.path)))
    try:
        assert child.stdout.readline() == "started\n"
        time.sleep(1.0)
        sent = time.monotonic()
        child.send_signal(signal.SIGINT)
        output, _ = child.communicate(timeout=10)
    finally:
        child.kill()
    interrupted, after = output.splitlines()
    reached, threads = interrupted.split()
    assert float(reached) - sent < 0.5 and threads == "1"
    assert after == "[2, 4, 8]" and child.returncode == 0


def test_import_without_numpy_says_so():
    blocked = subprocess.run([sys.executable, "-c", "import sys; sys.modules['numpy'] = None; import convergence_suite"],
                             capture_output=True, text=True, env=dict(os.environ, PYTHONPATH=os.pathsep.join(sys.path)))
    assert blocked.returncode != 0 and "convergence_suite needs NumPy" in blocked.stderr
