# The module comes from the build tree: PYTHONPATH=build/<preset>/python, or
# SUITE_BUILD_DIR naming the build (default build/release).
import os
import pathlib
import sys

checkout = pathlib.Path(__file__).resolve().parents[2]
build = pathlib.Path(os.environ.get("SUITE_BUILD_DIR", checkout / "build" / "release"))
sys.path.append(str(build / "python"))
