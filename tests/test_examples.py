"""The examples run from end to end and report what is known of their data sets."""

import importlib.util
import math
import os
import subprocess
import sys
from pathlib import Path

import pytest

import korvane

EXAMPLES = Path(__file__).resolve().parent.parent / "examples"
SCRIPT = EXAMPLES / "real_data.py"
sys.path.insert(0, str(EXAMPLES))

import many_graphs  # noqa: E402
import persistence_figures  # noqa: E402
import q_summary  # noqa: E402


def run_example(script, *arguments, cwd, timeout=None):
    env = dict(os.environ, PYTHONPATH=os.path.dirname(korvane.__file__))
    command = [sys.executable, str(script), *arguments]
    done = subprocess.run(command, capture_output=True, text=True, env=env, cwd=cwd, timeout=timeout)
    assert done.returncode == 0, done.stderr
    return done.stdout


@pytest.fixture(scope="module")
def example(tmp_path_factory):
    """The example's output, run in an empty directory with its figures sent to ./figures."""
    work_dir = tmp_path_factory.mktemp("example")
    return run_example(SCRIPT, cwd=work_dir), work_dir / "figures"


def section(output, name):
    """The lines printed for one data set."""
    start = output.index(f"{name}: ") + len(name) + 2
    return output[start:].split("\n\n", 1)[0].splitlines()


def structure_vectors(lines, row="components"):
    """The numbers of every table row labelled row."""
    rows = [line.strip()[len(row) :].split() for line in lines if line.strip().startswith(row + " ")]
    return [[int(x) for x in numbers] for numbers in rows if all(x.isdigit() for x in numbers)]


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


def test_q_analysis_summary(example):
    output, _ = example
    for name in ["Zachary's karate club", "Les Miserables", "Davis Southern Women"]:
        lines = section(output, name)
        # The levels of the maximal cliques are the graph's levels.
        assert structure_vectors(lines, "Q") == structure_vectors(lines)
        assert structure_vectors(lines, "Q - 1") == [[x - 1 for x in v] for v in structure_vectors(lines)]
    karate = section(output, "Zachary's karate club")
    eccentric = karate.index("    eccentricity  q-top  q-bottom  simplex") + 1
    assert karate[eccentric].split() == ["2.000", "2", "0", "{25,", "26,", "32}"]
    davis = section(output, "Davis Southern Women")
    # E8 (14 women) shares 9 women with E9 and no more with any event: (13 - 8) / 9.
    assert davis[davis.index("    eccentricity  q-top  q-bottom  simplex") + 1].split() == ["0.556", "13", "8", "E8"]


def test_eccentricity_and_maximal_cliques():
    # A triangle and an edge hanging from it; a lone vertex shares a component with nothing.
    summary = q_summary.summarise([[0, 1, 2], [2, 3], [7]])
    assert summary.structure == [2, 2, 1] and summary.obstruction == [1, 1, 0]
    assert [(e.top, e.bottom, e.value) for e in summary.eccentricities] == [(2, 0, 2.0), (1, 0, 1.0), (0, -1, math.inf)]
    nx = pytest.importorskip("networkx")
    graph = nx.karate_club_graph()
    assert q_summary.maximal_cliques(graph.edges) == sorted(sorted(c) for c in nx.find_cliques(graph))


def test_many_graphs_in_processes_match_one_by_one(tmp_path):
    keyed = many_graphs.graphs(subjects=2, days=3)
    edges = list(keyed.values())
    serial = [many_graphs.structure_vector(e) for e in edges]
    assert many_graphs.structure_vectors(edges, workers=2) == serial
    # Workers that read their graphs from paths find the same.
    paths = many_graphs.write_graphs(keyed, tmp_path)
    assert many_graphs.structure_vectors(paths, 2, many_graphs.structure_vector_of_file) == serial
    # Everyone is a vertex at every threshold.
    assert all(sum(len(c) for c in korvane.py_find_hierarchical_q_components_within_graph(e, None)[0]) == 40 for e in edges)


def test_many_graphs_script(tmp_path):
    lines = run_example(EXAMPLES / "many_graphs.py", "--subjects", "2", "--days", "2", cwd=tmp_path).splitlines()
    assert lines[0].startswith("12 graphs (2 subjects x 2 days x 3 thresholds) on 2 worker processes")
    assert len(lines) == 2 + 2 * 3


# Generous bounds in seconds on a Dask run, so that a cluster that stops answering fails its test
# instead of hanging the suite; a run takes a few seconds.
DASK_TIMEOUT = 120


@pytest.fixture(scope="module")
def dask_client():
    """A Client of a LocalCluster of two worker processes on the loopback interface, shut down
    after the module's tests."""
    distributed = pytest.importorskip("distributed")
    cluster = many_graphs.local_cluster(workers=2)
    try:
        client = distributed.Client(cluster, timeout=DASK_TIMEOUT)
        try:
            client.wait_for_workers(2, timeout=DASK_TIMEOUT)
            yield client
        finally:
            client.close(timeout=DASK_TIMEOUT)
    finally:
        cluster.close(timeout=DASK_TIMEOUT)


def test_many_graphs_on_dask_match_one_by_one(dask_client, tmp_path):
    # 25 graphs on two single-threaded workers go in batches of three, the last of one.
    keyed = dict(list(many_graphs.graphs(subjects=3, days=3).items())[:25])
    edges = list(keyed.values())
    serial = [many_graphs.structure_vector(e) for e in edges]
    assert many_graphs.structure_vectors_on_dask(dask_client, edges, timeout=DASK_TIMEOUT) == serial
    # Workers that read their graphs from paths find the same.
    paths = many_graphs.write_graphs(keyed, tmp_path / "graphs")
    on_dask = many_graphs.structure_vectors_on_dask(
        dask_client, paths, many_graphs.structure_vector_of_file, timeout=DASK_TIMEOUT
    )
    assert on_dask == serial
    # korvane's own functions travel to the workers as they are, and come back with equal results.
    weighted = [(u, v, (u * 7 + v) % 5 / 4) for u, v in edges[0] if u != v]
    calls = [
        (korvane.py_find_hierarchical_q_components, [[0, 1, 2], [2, 3], [5]]),
        (korvane.py_find_hierarchical_q_components_within_graph, edges[0], None),
        (korvane.py_calculate_persistent_q_components, weighted, 2),
    ]
    futures = [dask_client.submit(function, *arguments) for function, *arguments in calls]
    assert [f.result(timeout=DASK_TIMEOUT) for f in futures] == [function(*arguments) for function, *arguments in calls]
    # A call refused on a worker raises its own error here.
    with pytest.raises(TypeError):
        many_graphs.structure_vectors_on_dask(dask_client, [edges[0], [[0, 1]]], timeout=DASK_TIMEOUT)


def test_many_graphs_script_on_dask_prints_the_pool_table(dask_client, tmp_path):
    script = EXAMPLES / "many_graphs.py"
    size = ("--subjects", "2", "--days", "3")
    pool = run_example(script, *size, cwd=tmp_path).splitlines()
    # On the scheduler of the test's cluster, the function defined in the script goes by value.
    address = dask_client.scheduler.address
    on_cluster = run_example(script, *size, "--dask", address, cwd=tmp_path, timeout=DASK_TIMEOUT).splitlines()
    assert on_cluster[0].startswith(f"18 graphs (2 subjects x 3 days x 3 thresholds) on 2 Dask workers at {address} in ")
    assert on_cluster[1:] == pool[1:]
    # On a LocalCluster of the script's own, the workers reading the graphs from files.
    local = run_example(script, *size, "--dask", "--paths", "graphs", cwd=tmp_path, timeout=DASK_TIMEOUT).splitlines()
    assert " on 2 Dask workers at tcp://127.0.0.1:" in local[0] and ", read by the workers from graphs in " in local[0]
    assert local[1:] == pool[1:]
    assert len(list((tmp_path / "graphs").iterdir())) == 18


def test_figures_or_how_to_get_them(example):
    output, figures = example
    if importlib.util.find_spec("matplotlib") is None:
        assert "pip install '.[plot]'" in output
        assert not figures.exists()
        return
    names = ["karate_club_structure", "les_miserables_structure", "les_miserables_barcodes", "les_miserables_diagram"]
    names.append("davis_southern_women_structure")
    for name in names:
        path = figures / f"{name}.png"
        assert f"Wrote {Path('figures') / path.name}" in output
        assert path.read_bytes().startswith(b"\x89PNG\r\n\x1a\n")
    # The structure chart is 6 inches wide, at 200 dots per inch by default.
    assert int.from_bytes((figures / "karate_club_structure.png").read_bytes()[16:20], "big") == 6 * 200


@pytest.mark.parametrize("form, magic", [("svg", b"<?xml"), ("pdf", b"%PDF-")])
def test_figure_formats(tmp_path, form, magic):
    pytest.importorskip("matplotlib")
    run_example(SCRIPT, "--format", form, "--figures", "out", cwd=tmp_path)
    for path in ["karate_club_structure", "les_miserables_barcodes", "les_miserables_diagram"]:
        assert (tmp_path / "out" / f"{path}.{form}").read_bytes().startswith(magic)


def test_barcodes_run_survivors_to_infinity_and_skip_empty_levels():
    pytest.importorskip("matplotlib")
    import matplotlib

    matplotlib.use("Agg")
    from matplotlib import pyplot

    records = [((0, [1, 2]), 0.5, 1.0), ((1, [1, 2]), 1.0, 1.0), ((0, [1, 2, 3]), 1.0, 1.0), ((2, [4, 5, 6]), 0.2, 1.0)]
    bars = persistence_figures.bars_of(records, survivors={2, 3})
    assert [bar.death for bar in bars] == [1.0, 1.0, math.inf, math.inf]
    figure = persistence_figures.barcodes("test", bars, str, "weight", most_shown=10)
    # Level 1 holds a record of zero length only: no panel. Level 0 draws its survivor born at the end.
    titles = [ax.get_title() for ax in figure.axes]
    assert titles == ["q = 0: 2 bars (1 to \u221e); 0 of zero length", "q = 2: 1 bar (1 to \u221e); 0 of zero length"]
    assert [ax.get_yticklabels()[0].get_text() for ax in figure.axes] == ["1, 2, 3", "4, 5, 6"]
    pyplot.close(figure)


@pytest.mark.parametrize("form, magic", [("png", b"\x89PNG"), ("svg", b"<?xml"), ("pdf", b"%PDF-")])
def test_community_tree_draws_the_les_miserables_dendrogram(tmp_path, form, magic):
    output = run_example(EXAMPLES / "community_tree.py", "--format", form, "--output", "out", cwd=tmp_path)
    assert "3-clique communities at some threshold" in output
    if importlib.util.find_spec("matplotlib") is None:
        assert "pip install '.[plot]'" in output
        return
    assert (tmp_path / "out" / f"les_miserables_3_clique_tree.{form}").read_bytes().startswith(magic)


def test_community_tree_communities_are_those_of_the_thresholded_graph():
    import community_tree
    import networkx as nx

    edges, names = community_tree.les_miserables()
    tree = korvane.persistence_tree(edges, None, ties="grouped")
    for k in (3, 4):
        kept = community_tree.communities(tree, k)
        for threshold in (-8, -4, -2):
            graph = nx.Graph((u, v) for u, v, w in edges if w <= threshold)
            expected = sorted(sorted(c) for c in nx.community.k_clique_communities(graph, k))
            alive = [i for i in kept if tree[i][1] <= threshold < tree[i][2]]
            assert sorted(sorted(kept[i]) for i in alive) == expected
