"""The real-data example runs from end to end and reports what is known of its data sets."""

import importlib.util
import os
import subprocess
import sys
from pathlib import Path

import pytest

import korvane

SCRIPT = Path(__file__).resolve().parent.parent / "examples" / "real_data.py"


@pytest.fixture(scope="module")
def example(tmp_path_factory):
    """The example's output, run in an empty directory with its figures sent to ./figures."""
    work_dir = tmp_path_factory.mktemp("example")
    env = dict(os.environ, PYTHONPATH=os.path.dirname(korvane.__file__))
    done = subprocess.run([sys.executable, str(SCRIPT)], capture_output=True, text=True, env=env, cwd=work_dir)
    assert done.returncode == 0, done.stderr
    return done.stdout, work_dir / "figures"


def section(output, name):
    """The lines printed for one data set."""
    start = output.index(f"{name}: ") + len(name) + 2
    return output[start:].split("\n\n", 1)[0].splitlines()


def structure_vectors(lines):
    return [[int(x) for x in line.split()[1:]] for line in lines if line.strip().startswith("components")]


def test_data_files_hold_the_published_sizes(example):
    output, _ = example
    assert section(output, "Zachary's karate club")[0] == "34 members, 78 friendships"
    assert section(output, "Les Miserables")[0] == "77 characters, 254 co-appearing pairs"
    assert section(output, "Davis Southern Women")[0] == "18 women, 14 events"


def test_structure_vectors(example):
    output, _ = example
    assert structure_vectors(section(output, "Zachary's karate club")) == [[1, 14, 24, 3, 2]]
    assert structure_vectors(section(output, "Les Miserables")) == [[1, 26, 14, 16, 9, 7, 7, 3, 2, 2]]
    assert structure_vectors(section(output, "Davis Southern Women")) == [
        [1, 1, 1, 2, 1, 2, 1, 3, 2, 3, 2, 2, 1, 1],
        [1, 1, 1, 2, 3, 2, 5, 3],
    ]


def test_highest_levels_name_their_members(example):
    output, _ = example
    karate = section(output, "Zachary's karate club")
    # The club's only two 5-cliques share the four members 1 to 4.
    assert "    q = 4: {1, 2, 3, 4, 8}" in karate
    assert "           {1, 2, 3, 4, 14}" in karate
    davis = section(output, "Davis Southern Women")
    # Event 8 had the most guests, 14 women: alone at the top level.
    assert "    q = 13: {E8}" in davis


def test_longest_lived_components(example):
    output, _ = example
    les_miserables = section(output, "Les Miserables")
    table = les_miserables.index("    q      persistence   birth   death   members")
    # Valjean and Fauchelevent share 8 chapters (distance 1/8) and their edge
    # lies in no triangle until the ties of a single shared chapter arrive.
    assert les_miserables[table + 1].split() == ["1", "0.875", "0.125", "1.000", "{Valjean,", "Fauchelevent}"]
    assert any(line.split()[:5] == ["1-7", "0.667", "0.333", "1.000*", "{Fantine,"] for line in les_miserables)


def test_figures_or_how_to_get_them(example):
    output, figures = example
    if importlib.util.find_spec("matplotlib") is None:
        assert 'pip install "korvane[plot]"' in output
        assert not figures.exists()
        return
    names = ["karate_club_structure", "les_miserables_structure", "les_miserables_barcodes"]
    names.append("davis_southern_women_structure")
    for name in names:
        path = figures / f"{name}.png"
        assert f"Wrote {Path('figures') / path.name}" in output
        assert path.read_bytes().startswith(b"\x89PNG\r\n\x1a\n")
