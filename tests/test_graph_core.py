"""The graph core without Python: the check program, a CMake target of the
project built here into a temporary directory, checks the union-find, the
clique registry, subclique enumeration, graph building and the read-out of a
level's classes, lists maximal cliques for comparison with networkx, and runs
the hub-aware join under any forest budget."""

import random
import shutil
import subprocess
import sys
from itertools import combinations, takewhile
from pathlib import Path

import networkx as nx
import pytest

import korvane
from helpers import planted_hubs, zipf_like

ROOT = Path(__file__).resolve().parent.parent


@pytest.fixture(scope="module")
def check_program(tmp_path_factory):
    cmake = shutil.which("cmake")
    if cmake is None:
        pytest.skip("cmake not found")
    build = tmp_path_factory.mktemp("core")
    configure = [cmake, "-S", str(ROOT), "-B", str(build), "-DKORVANE_CORE_CHECK=ON", "-DCMAKE_BUILD_TYPE=Release",
                 f"-DPython_EXECUTABLE={sys.executable}"]
    if shutil.which("ninja"):
        configure += ["-G", "Ninja"]
    subprocess.run(configure, check=True)
    subprocess.run([cmake, "--build", str(build), "--target", "graph_core_check"], check=True)
    return build / "graph_core_check"


def test_dsu_registry_subcliques_and_graph_building(check_program):
    done = subprocess.run([str(check_program), "examples"], capture_output=True, text=True)
    assert done.returncode == 0, done.stderr
    assert done.stdout == "ok\n"


def test_shared_kernels(check_program):
    done = subprocess.run([str(check_program), "kernels"], capture_output=True, text=True)
    assert done.returncode == 0, done.stderr
    assert done.stdout == "ok\n"


def native_cliques(program, edges):
    text = "".join(f"{u} {v}\n" for u, v in edges)
    out = subprocess.run([str(program), "cliques"], input=text, capture_output=True, text=True, check=True).stdout
    return [tuple(map(int, line.split())) for line in out.splitlines()]


def networkx_cliques(edges):
    graph = nx.Graph()
    graph.add_nodes_from(v for edge in edges for v in edge)
    graph.add_edges_from((u, v) for u, v in edges if u != v)
    return sorted(tuple(sorted(c)) for c in nx.find_cliques(graph))


def assert_same_cliques(program, edges):
    cliques = native_cliques(program, edges)
    assert all(list(c) == sorted(set(c)) for c in cliques), "each clique ascending, without repeats"
    assert sorted(cliques) == networkx_cliques(edges)


def random_edges(rng, n, density):
    edges = [(u, v) for u in range(n) for v in range(u + 1, n) if rng.random() < density]
    edges += [(v, v) for v in rng.sample(range(n + 3), 2)]  # self-loops, possibly on new vertices
    edges += [(v, u) for u, v in edges[: len(edges) // 4]]  # repeats, reversed
    rng.shuffle(edges)
    return edges


def overlapping_cliques_with_noise():
    rng = random.Random(1)
    edges = {(u, v) for block in (range(0, 75), range(40, 115)) for u in block for v in block if u < v}
    edges |= {tuple(sorted(rng.sample(range(130), 2))) for _ in range(300)}
    return sorted(edges)


def native_lines(program, edges, *args):
    text = "".join(f"{u} {v}\n" for u, v in edges)
    done = subprocess.run([str(program), *map(str, args)], input=text, capture_output=True, text=True, check=True)
    return done.stdout.splitlines()


def native_small_cliques(program, edges, max_size):
    return [tuple(map(int, line.split())) for line in native_lines(program, edges, "small", max_size)]


def brute_force_small_cliques(edges, max_size):
    adjacent = {frozenset(e) for e in edges if e[0] != e[1]}
    vertices = sorted({v for e in edges for v in e})
    return sorted(
        subset
        for size in range(1, max_size + 1)
        for subset in combinations(vertices, size)
        if all(frozenset(pair) in adjacent for pair in combinations(subset, 2))
    )


def test_small_cliques_match_brute_force(check_program):
    # Every clique of at most S vertices exactly once, ascending; S = 1 and 2
    # skip the bitset rows, and an S above the clique number changes nothing.
    # The fixed-size listing gives the cliques of exactly S vertices (S = 0:
    # the empty clique), and the counting walk tallies every size up to S, the
    # last one from candidate bits.
    rng = random.Random(77)
    for trial in range(60):
        n = rng.randint(1, 13)
        edges = random_edges(rng, n, rng.random())
        max_size = rng.randint(1, 7)
        cliques = native_small_cliques(check_program, edges, max_size)
        assert all(list(c) == sorted(set(c)) for c in cliques)
        expected = brute_force_small_cliques(edges, max_size)
        assert sorted(cliques) == expected, (edges, max_size)
        counts = [str(sum(len(c) == k for c in expected)) for k in range(1, max_size + 1)]
        assert native_lines(check_program, edges, "count", max_size, 10**9) == counts, (edges, max_size)
        size = rng.randint(0, max_size)
        sized = [tuple(map(int, line.split())) for line in native_lines(check_program, edges, "sized", size)]
        assert sorted(sized) == ([c for c in expected if len(c) == size] if size else [()]), (edges, size)


@pytest.mark.parametrize(("clique_size", "max_size"), [(70, 3), (24, 5)])
def test_small_cliques_on_large_neighbourhoods(check_program, clique_size, max_size):
    # A 70-clique gives bitset rows of two words; sparse vertices hanging off a
    # clique have few later neighbours next to long lists: rows read both ways.
    graph = nx.barabasi_albert_graph(300, 2, seed=3)
    graph.add_edges_from(combinations(range(200, 200 + clique_size), 2))
    edges = list(graph.edges())
    # enumerate_all_cliques lists cliques by ascending size: stop past the cap.
    listed = takewhile(lambda c: len(c) <= max_size, nx.enumerate_all_cliques(graph))
    expected = sorted(tuple(sorted(c)) for c in listed)
    assert sorted(native_small_cliques(check_program, edges, max_size)) == expected


def test_counting_walk_stops_at_the_first_refusal(check_program):
    # K8 up to 4 vertices: 1 call per clique of 1, 2 or 3 vertices and 1 per
    # 3-clique with candidates left to extend it: 8 + 28 + 56 + 35.
    edges = list(combinations(range(8), 2))
    full = native_lines(check_program, edges, "count", 4, 10**9)
    assert full == ["8", "28", "56", "70"]
    for stop in (1, 9, 100):
        lines = native_lines(check_program, edges, "count", 4, stop)
        assert lines[0] == f"stopped {stop}"
        assert sum(map(int, lines[1:])) < sum(map(int, full))
    assert native_lines(check_program, edges, "count", 4, 128) == full
    assert native_lines(check_program, edges, "count", 4, 127)[0] == "stopped 127"


def test_maximal_cliques_match_networkx_on_random_graphs(check_program):
    rng = random.Random(2024)
    for trial in range(120):
        n = rng.randint(1, 40)
        assert_same_cliques(check_program, random_edges(rng, n, rng.random()))


@pytest.mark.parametrize(
    "edges",
    [
        pytest.param([], id="empty"),
        pytest.param([(4, 4)], id="self-loop only"),
        pytest.param([(u, v) for u in range(90) for v in range(u + 1, 90)], id="K90 spans two bitset words"),
        pytest.param(overlapping_cliques_with_noise(), id="two 75-cliques sharing 35 vertices, plus noise"),
    ],
)
def test_maximal_cliques_on_edge_shapes(check_program, edges):
    assert_same_cliques(check_program, edges)


def test_maximal_cliques_around_a_hub(check_program):
    # A vertex adjacent to most others: neighbourhoods far smaller than its
    # degree, where its neighbours are found by search rather than by walking.
    graph = nx.barabasi_albert_graph(2000, 3, seed=5)
    graph.add_edges_from((0, v) for v in range(1, 2000, 2))
    assert_same_cliques(check_program, list(graph.edges()))


@pytest.mark.parametrize(
    "graph",
    [nx.karate_club_graph(), nx.les_miserables_graph(), nx.florentine_families_graph()],
    ids=["karate club", "Les Miserables", "Florentine families"],
)
def test_maximal_cliques_match_networkx_on_real_graphs(check_program, graph):
    graph = nx.convert_node_labels_to_integers(graph, ordering="sorted")
    assert_same_cliques(check_program, list(graph.edges()))


def native_hub_levels(program, simplices, budget):
    text = "".join(" ".join(map(str, simplex)) + "\n" for simplex in simplices)
    out = subprocess.run([str(program), "hubs", str(budget)], input=text, capture_output=True, text=True,
                         check=True).stdout
    return [[set(map(int, members.split())) for members in line.split("; ")] if line else []
            for line in out.splitlines()]


@pytest.mark.parametrize(
    "simplices",
    [
        zipf_like(random.Random(21), 1500, vocabulary=3000, sizes=(10, 40), exponent=1.3),
        zipf_like(random.Random(22), 1200, vocabulary=400, sizes=(5, 25)),
        [[0, 1] + [2 + t for t in d] for d in zipf_like(random.Random(23), 1000, vocabulary=300, sizes=(2, 15))],
        planted_hubs(random.Random(24), 1500, hubs=5, pool=300, others=(2, 6)),
        # Documents that share a few terms nobody else has, beside Zipf ones.
        [d + [5000 + i // 3, 6000 + i // 3] if i < 300 else d
         for i, d in enumerate(zipf_like(random.Random(25), 1000, vocabulary=800, sizes=(4, 20), exponent=1.1))],
    ],
    ids=["zipf wide middle", "zipf", "stop words", "planted hubs", "shared rare terms"],
)
def test_hub_join_pairs_what_its_forests_cannot_afford(check_program, simplices):
    # Without budget for spanning forests, every mid-frequency and rare list is
    # paired one by one as classes form; a small budget mixes both ways. The
    # levels are those of the module, whose own join is checked against the
    # definition elsewhere.
    expected = [[set(c) for c in level] for level in korvane.py_find_hierarchical_q_components(simplices)]
    for budget in (0, 3):
        assert native_hub_levels(check_program, simplices, budget) == expected, budget
