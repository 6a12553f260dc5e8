"""The type stub: complete, accepted by mypy --strict, and true to the module; the module's version."""

import importlib.metadata
import os
import subprocess
import sys
from pathlib import Path

import pytest

import korvane
import typed_usage

ROOT = Path(__file__).resolve().parent.parent


def run_mypy_tool(arguments, work_dir):
    """Run a mypy entry point on this checkout's stub and the module built from it; caches go to work_dir."""
    pytest.importorskip("mypy")
    module_dir = os.path.dirname(korvane.__file__)
    env = dict(os.environ, MYPYPATH=str(ROOT), PYTHONPATH=os.pathsep.join([module_dir, str(ROOT / "tests")]))
    return subprocess.run(
        [sys.executable, "-m", *arguments],
        capture_output=True,
        text=True,
        env=env,
        cwd=work_dir,
    )


def test_typed_usage_passes_strict_mypy(tmp_path):
    done = run_mypy_tool(["mypy", "--strict", str(ROOT / "tests" / "typed_usage.py")], tmp_path)
    assert done.returncode == 0, done.stdout + done.stderr


def test_stub_matches_the_runtime_module(tmp_path):
    # stubtest imports the module and compares every public name and every
    # parameter list (read from the text signatures) with the stub.
    done = run_mypy_tool(["mypy.stubtest", "korvane"], tmp_path)
    assert done.returncode == 0, done.stdout + done.stderr


def is_records(value):
    return type(value) is list and all(
        type(record) is tuple
        and type(record[0]) is tuple
        and type(record[0][0]) is int
        and type(record[0][1]) is list
        and all(type(v) is int for v in record[0][1])
        and type(record[1]) is float
        and type(record[2]) is float
        for record in value
    )


def is_levels(value):
    return type(value) is list and all(
        type(level) is list and all(type(c) is set and all(type(x) is int for x in c) for c in level) for level in value
    )


def test_results_have_the_declared_types():
    assert is_levels(typed_usage.simplicial_levels())
    assert is_levels(typed_usage.graph_levels(None))
    assert is_levels(typed_usage.graph_levels(2))
    assert typed_usage.persistence() and is_records(typed_usage.persistence())
    assert typed_usage.clique_percolation() == [["a", "b", "c"]]


def test_numpy_scalars_and_networkx_edge_views_run_as_typed():
    pytest.importorskip("numpy")
    pytest.importorskip("networkx")
    levels, records = typed_usage.numpy_scalars()
    # max_q = 2 caps the cliques at two vertices: the top level lists every edge.
    assert levels == [[{0, 1, 2}], [{0, 1}, {0, 2}, {1, 2}]]
    assert is_records(records) and records[0] == ((0, [1, 2]), 0.25, 0.5) and len(records) == 6
    levels, records = typed_usage.networkx_edge_views()
    assert levels == [[{0, 1, 2, 3}], [{0, 1, 2}, {2, 3}], [{0, 1, 2}]] and is_records(records)


def test_version_is_the_package_metadata():
    assert korvane.__version__ == importlib.metadata.version("korvane")
    assert "__version__" not in korvane.__all__
