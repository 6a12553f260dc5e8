"""korvane as networkx's backend for k_clique_communities: the same
communities as networkx's own function on any labels, the same errors at the
same moment, calls handed back to networkx, conversion and its cache, and the
ways to turn the backend on. networkx 3.2, the last release for Python 3.9
(Debian's PyPy), has no nx.config and no cache of converted graphs."""

import itertools
import math
import os
import subprocess
import sys
from collections.abc import Iterator

import networkx as nx
import pytest
from hypothesis import given, settings, strategies as st

import korvane
from korvane_networkx.interface import backend_interface

# networkx warns each time it reuses a converted graph from its cache.
pytestmark = pytest.mark.filterwarnings("ignore:Note. conversions to backend graphs:UserWarning")
needs_config = pytest.mark.skipif(not hasattr(nx, "config"), reason="this networkx has no nx.config")


def ours(G, k, **kwargs):
    return nx.community.k_clique_communities(G, k, backend="korvane", **kwargs)


def theirs(G, k, **kwargs):
    return nx.community.k_clique_communities.orig_func(G, k, **kwargs)


def same_communities(G, k, converted=None):
    """Our communities of G (or of its backend graph `converted`) are networkx's."""
    result = ours(G if converted is None else converted, k)
    assert isinstance(result, Iterator)
    found = list(result)
    assert all(type(c) is frozenset for c in found) and len(set(found)) == len(found)
    assert set(found) == set(theirs(G, k))


LABELS = [
    st.text(min_size=1, max_size=4),
    st.tuples(st.integers(0, 5), st.integers(0, 5)),
    st.one_of(st.integers(-3, 40), st.text(max_size=3), st.tuples(st.integers(0, 3), st.text(max_size=2)),
              st.frozensets(st.integers(0, 3), max_size=2), st.floats(allow_nan=False, allow_infinity=False)),
]


@st.composite
def labelled_graphs(draw):
    """Overlapping cliques of up to 7 nodes (above every k drawn), stray edges,
    self-loops and isolated nodes, labelled with strings, tuples or a mix, in
    a random order; a multigraph repeats some edges."""
    nodes = draw(st.lists(draw(st.sampled_from(LABELS)), max_size=14, unique=True))
    G = nx.MultiGraph() if draw(st.booleans()) else nx.Graph()
    G.add_nodes_from(nodes)
    if len(nodes) >= 2:
        for clique in draw(st.lists(st.lists(st.sampled_from(nodes), min_size=2, max_size=7, unique=True), max_size=5)):
            G.add_edges_from(itertools.combinations(clique, 2))
        G.add_edges_from(draw(st.lists(st.tuples(st.sampled_from(nodes), st.sampled_from(nodes)), max_size=20)))
    return G


@settings(max_examples=240, deadline=None)
@given(G=labelled_graphs(), first=st.integers(2, 7), descending=st.booleans())
def test_the_same_communities_as_networkx(G, first, descending):
    # Calls on one converted graph answer later k from what earlier ones
    # kept: each k's communities, and the first k found to have none.
    converted = backend_interface.convert_from_nx(G)
    later = range(7, 1, -1) if descending else range(2, 8)
    for k in [first, *later]:
        same_communities(G, k, converted)


@pytest.mark.parametrize(
    "make",
    [nx.les_miserables_graph, nx.davis_southern_women_graph, nx.florentine_families_graph,
     lambda: nx.relabel_nodes(nx.powerlaw_cluster_graph(1500, 3, 0.9, seed=3), lambda v: (v // 100, f"n{v}")),
     lambda: nx.random_geometric_graph(300, 0.12, seed=5), lambda: nx.gnp_random_graph(40, 0.5, seed=1),
     lambda: nx.complete_graph(8).subgraph([0, 1, 2, 3, 5])],
    ids=["les miserables", "davis", "florentine", "holme-kim", "geometric", "dense", "view"],
)
def test_the_same_communities_on_named_graphs(make):
    G = make()
    for k in range(2, 8):
        same_communities(G, k)


@pytest.mark.parametrize(
    "k, expected",
    [(2.5, {frozenset(range(7))}), (4.5, {frozenset(range(5)), frozenset(range(2, 7))}), (5.1, set()),
     (math.inf, set()), (math.nan, set()), (10**30, set()), (2**64, set())],
)
def test_any_real_k_reads_as_networkx_reads_it(k, expected):
    G = nx.Graph([*itertools.combinations(range(5), 2), *itertools.combinations(range(2, 7), 2)])
    assert set(ours(G, k)) == set(theirs(G, k)) == expected


@pytest.mark.parametrize("make", [nx.Graph, nx.DiGraph, nx.MultiDiGraph])
def test_errors_are_raised_on_first_use_as_networkx_raises_them(make):
    G = make([(0, 1), (1, 2), (2, 0)])
    for call in (ours, theirs):
        for k in (1, -5, 1.99, True):  # k is checked first
            with pytest.raises(nx.NetworkXError, match="k must be greater than 1"):
                next(call(G, k))
        if G.is_directed():
            communities_of_G = call(G, 3)
            with pytest.raises(nx.NetworkXNotImplemented, match="not implemented for directed type"):
                next(communities_of_G)


class ClickList(list):
    """Cliques whose == compares element-wise, as a numpy array's does: no
    truth value to read."""

    def __eq__(self, other):
        return ClickList(item == other for item in self)

    def __bool__(self):
        raise ValueError("the truth value is ambiguous")


@pytest.fixture
def korvane_first():
    if not hasattr(nx, "config"):
        pytest.skip("this networkx has no nx.config")
    with nx.config(backend_priority=["korvane"]):
        yield


def test_calls_korvane_declines_are_left_to_networkx(korvane_first):
    G = nx.complete_graph(5)
    # Only two of the triangles, sharing no edge: networkx's answer from them.
    cliques = [[0, 1, 2], [2, 3, 4]]
    expected = {frozenset({0, 1, 2}), frozenset({2, 3, 4})}
    assert set(nx.community.k_clique_communities(G, 3, cliques=cliques)) == expected
    assert set(nx.community.k_clique_communities(G, 3, iter(cliques))) == expected
    assert set(nx.community.k_clique_communities(G, 3, ClickList(cliques))) == expected
    with pytest.raises((NotImplementedError, RuntimeError)):  # RuntimeError before networkx 3.3
        ours(G, 3, cliques=cliques)
    assert isinstance(backend_interface.can_run("k_clique_communities", (G,), {"k": "3"}), str)
    with pytest.raises(TypeError):
        next(nx.community.k_clique_communities(G, "3"))
    # A korvane graph is taken as it is, with no conversion.
    assert set(nx.community.k_clique_communities(backend_interface.convert_from_nx(G), 5)) == {frozenset(range(5))}


@pytest.mark.parametrize("make", [nx.Graph, nx.MultiGraph, nx.DiGraph, nx.MultiDiGraph])
def test_converting_back_gives_the_nodes_and_edges_the_backend_saw(make):
    G = make([("a", "b"), ("a", "b"), ("b", "a"), ("c", "c")])
    G.add_node("lone")
    back = backend_interface.convert_to_nx(backend_interface.convert_from_nx(G))
    assert type(back) is make and list(back) == ["a", "b", "c", "lone"]
    assert sorted(back.edges()) == sorted(set(G.edges()))  # one edge per pair of neighbours


@needs_config
def test_networkx_caches_the_converted_graph_until_the_graph_changes():
    G = nx.complete_graph(5)
    assert set(ours(G, 5)) == {frozenset(range(5))}
    assert len(G.__networkx_cache__["backends"]["korvane"]) == 1
    G.remove_edge(0, 1)  # networkx clears the cache on changes made through its methods
    assert set(ours(G, 5)) == set(theirs(G, 5)) == set()
    assert set(ours(G, 4)) == set(theirs(G, 4)) == {frozenset(range(5))}


@settings(max_examples=100, deadline=None)
@given(st.lists(st.tuples(st.integers(0, 9), st.integers(0, 9), st.integers(1, 4)), max_size=30))
def test_persistence_gives_the_communities_of_every_threshold(weighted):
    """The README's recipe for similarity weights: the records alive at -w
    are the communities of the edges of weight >= w, for every k, ties and
    all, with or without a cap; a closing edge makes the components left at
    the end die after it."""
    edges = [(u, v, -w) for u, v, w in weighted] + [(10, 11, 0)]
    for cap, ks in [(None, range(2, 7)), (4, range(2, 5))]:  # a cap K keeps every k up to K
        records = korvane.py_calculate_persistent_q_components(edges, cap)
        for threshold in range(1, 6):
            G = nx.Graph((u, v) for u, v, w in weighted if w >= threshold and u != v)
            for k in ks:
                alive = {frozenset(vs) for (q, vs), birth, death in records
                         if q == k - 2 and len(vs) >= k and birth <= -threshold < death}
                assert alive == set(theirs(G, k))


def test_backend_info_documents_the_function():
    assert "k_clique_communities" in nx.utils.backends.backend_info["korvane"]["functions"]
    assert "korvane" in nx.community.k_clique_communities.backends
    assert "korvane : Exact" in nx.community.k_clique_communities.__doc__
    assert "Exact clique percolation in C++" in nx.community.k_clique_communities.__doc__


def run_python(code, **environment):
    env = {key: value for key, value in os.environ.items() if not key.startswith("NETWORKX_")}
    return subprocess.run([sys.executable, "-c", code], env={**env, **environment},
                          capture_output=True, text=True, check=True).stdout


def test_importing_korvane_does_not_import_networkx():
    code = "import sys, korvane, korvane_networkx; print(sorted({'networkx', 'korvane'} & set(sys.modules)))"
    assert run_python(code) == "['korvane']\n"


# Prints how many times the call reached korvane.
DISPATCH = """
import korvane
import networkx as nx
calls, communities_of = [], korvane.clique_communities
korvane.clique_communities = lambda *arguments: calls.append(1) or communities_of(*arguments)
assert set(nx.community.k_clique_communities(nx.complete_graph(5), 4)) == {frozenset(range(5))}
print(len(calls))
"""


@pytest.mark.parametrize(
    "environment",
    [{}, pytest.param({"NETWORKX_BACKEND_PRIORITY": "korvane"}, marks=needs_config),
     {"NETWORKX_AUTOMATIC_BACKENDS": "korvane"}],
    ids=["default", "NETWORKX_BACKEND_PRIORITY", "NETWORKX_AUTOMATIC_BACKENDS"],
)
def test_environment_turns_the_backend_on(environment):
    assert run_python(DISPATCH, **environment) == ("1\n" if environment else "0\n")


def test_config_turns_the_backend_on(korvane_first):
    G = nx.complete_graph(5)
    assert set(nx.community.k_clique_communities(G, 4)) == {frozenset(range(5))}
    assert "korvane" in G.__networkx_cache__["backends"]
