"""q-components of a graph's clique complex, from the edge list to the levels."""

import random
import time
from collections import Counter
from itertools import combinations
from math import comb

import networkx as nx
import pytest
from hypothesis import given, settings, strategies as st

import korvane
from helpers import Child
from reference import UnionFind, reference_graph_levels

levels_of = korvane.py_find_hierarchical_q_components_within_graph

TRIANGLE_WITH_PENDANT = [(0, 1), (0, 2), (1, 2), (2, 3)]
TWO_TRIANGLES_ON_AN_EDGE = [(0, 1), (0, 2), (1, 2), (1, 3), (2, 3)]


@pytest.mark.parametrize(
    "edges, max_q, expected",
    [
        ([], None, []),
        ([], 0, []),
        ([], 5, []),
        (TRIANGLE_WITH_PENDANT, None, [[{0, 1, 2, 3}], [{0, 1, 2}, {2, 3}], [{0, 1, 2}]]),
        # A cap of 0 counts as 1: only single vertices, edges notwithstanding.
        (TRIANGLE_WITH_PENDANT, 0, [[{0}, {1}, {2}, {3}]]),
        (TRIANGLE_WITH_PENDANT, 1, [[{0}, {1}, {2}, {3}]]),
        # Below the clique number the top level lists each capped clique alone.
        (TRIANGLE_WITH_PENDANT, 2, [[{0, 1, 2, 3}], [{0, 1}, {0, 2}, {1, 2}, {2, 3}]]),
        (TRIANGLE_WITH_PENDANT, 3, [[{0, 1, 2, 3}], [{0, 1, 2}, {2, 3}], [{0, 1, 2}]]),
        (TRIANGLE_WITH_PENDANT, 2**64 - 1, [[{0, 1, 2, 3}], [{0, 1, 2}, {2, 3}], [{0, 1, 2}]]),
        (TWO_TRIANGLES_ON_AN_EDGE, None, [[{0, 1, 2, 3}], [{0, 1, 2, 3}], [{0, 1, 2}, {1, 2, 3}]]),
        # Every edge end is a vertex; a self-loop adds its vertex and no edge.
        ([(5, 5)], None, [[{5}]]),
        ([(5, 5), (5, 5)], 3, [[{5}]]),
        ([(0, 1), (7, 7), (1, 1)], None, [[{0, 1}, {7}], [{0, 1}]]),
        # Repeated edges, in either direction, count once.
        ([(1, 0), (0, 1), (0, 1)], None, [[{0, 1}], [{0, 1}]]),
        # Components within a level in ascending order of their vertex lists.
        ([(9, 8), (2**64 - 1, 3), (1, 4)], None, [[{1, 4}, {3, 2**64 - 1}, {8, 9}], [{1, 4}, {3, 2**64 - 1}, {8, 9}]]),
    ],
)
def test_worked_examples_in_their_fixed_order(edges, max_q, expected):
    assert levels_of(edges, max_q) == expected


def test_capped_top_level_lists_shared_cliques_once():
    # Two 4-cliques sharing the triangle {1, 2, 3}: 4 + 4 - 1 distinct triangles.
    edges = [e for block in ([0, 1, 2, 3], [1, 2, 3, 4]) for e in combinations(block, 2)]
    top = levels_of(edges, 3)[-1]
    assert [sorted(c) for c in top] == sorted(sorted(c) for c in {*combinations(range(4), 3), *combinations(range(1, 5), 3)})
    assert len(top) == 7


def planted_clique(vertex_count, clique_size, extra_edges, seed):
    rng = random.Random(seed)
    members = rng.sample(range(vertex_count), clique_size)
    edges = list(combinations(members, 2))
    edges += [tuple(rng.sample(range(vertex_count), 2)) for _ in range(extra_edges)]
    rng.shuffle(edges)
    return edges, sorted(members)


def test_planted_forty_clique():
    edges, members = planted_clique(200, 40, 300, seed=11)
    levels = levels_of(edges, None)
    assert len(levels) == 40
    assert levels[-1] == [set(members)]
    # The clique stays inside one component at every level.
    for level in levels:
        assert sum(set(members) <= component for component in level) == 1
    # Under a cap of 3 the top level lists its C(40, 3) triangles among the rest, each once.
    capped = levels_of(edges, 3)
    assert capped[:2] == levels[:2]
    triangles = {tuple(sorted(c)) for c in capped[2]}
    assert len(triangles) == len(capped[2])
    assert len([t for t in triangles if set(t) <= set(members)]) == comb(40, 3)


def as_multisets(levels):
    return [Counter(frozenset(c) for c in level) for level in levels]


def assert_matches_reference(edges, max_q):
    levels = levels_of(edges, max_q)
    for level in levels:
        lists = [sorted(c) for c in level]
        assert lists == sorted(lists), "components in ascending lexicographic order"
    assert as_multisets(levels) == as_multisets(reference_graph_levels(edges, max_q))


vertex_ids = st.sampled_from([0, 1, 2, 3, 5, 8, 13, 21, 2**40, 2**64 - 1])
small_graphs = st.lists(st.tuples(vertex_ids, vertex_ids), max_size=30)
caps = st.none() | st.integers(min_value=0, max_value=8)


@settings(max_examples=200, deadline=None)
@given(small_graphs, caps)
def test_matches_step_by_step_model(edges, max_q):
    assert_matches_reference(edges, max_q)


REAL_GRAPHS = {
    "karate club": nx.karate_club_graph(),
    "Florentine families": nx.florentine_families_graph(),
    "Les Miserables": nx.les_miserables_graph(),
}


# Les Miserables has a 10-clique, whose 2**10 subcliques make the model slow
# without a cap, so it runs capped only.
@pytest.mark.parametrize(
    "name, max_q",
    [("karate club", None), ("karate club", 2), ("Florentine families", None), ("Florentine families", 2),
     ("Les Miserables", 3), ("Les Miserables", 4)],
)
def test_matches_step_by_step_model_on_real_graphs(name, max_q):
    graph = nx.convert_node_labels_to_integers(REAL_GRAPHS[name], ordering="sorted")
    assert_matches_reference(list(graph.edges()), max_q)


# ---------------------------------------------------------------- dense graphs under a cap

def gnp(n, p, seed, ids=None):
    """G(n, p): each pair u < v kept with probability p, labelled by ids."""
    rng = random.Random(seed)
    ids = ids or list(range(n))
    return [(ids[u], ids[v]) for u in range(n) for v in range(u + 1, n) if rng.random() < p]


def sparse_random_edges(edge_count, seed):
    rng = random.Random(seed)
    return [(rng.randrange(edge_count // 2), rng.randrange(edge_count // 2)) for _ in range(edge_count)]


def preferential_edges(edge_count, seed):
    """Each new vertex links to 3 earlier ones, chosen in proportion to their degree."""
    rng = random.Random(seed)
    ends, edges = [0, 1, 2], []
    while len(edges) < edge_count:
        vertex = len(ends) // 2 + 3
        for target in set(rng.choice(ends) for _ in range(3)):
            edges.append((vertex, target))
            ends += (vertex, target)
    return edges


@st.composite
def dense_graphs(draw):
    n = draw(st.integers(min_value=1, max_value=11))
    # Large, unordered ids: the levels must come out in the order of the ids.
    ids = draw(st.lists(vertex_ids | st.integers(0, 2**64 - 1), min_size=n, max_size=n, unique=True))
    edges = gnp(n, draw(st.sampled_from([0.5, 0.7, 0.9, 1.0])), draw(st.integers(0, 2**32)), ids)
    loops = draw(st.lists(st.sampled_from(ids), max_size=2))
    return edges + [(v, v) for v in loops] if edges or loops else [(ids[0], ids[0])]


@settings(max_examples=150, deadline=None)
@given(dense_graphs(), st.none() | st.integers(min_value=0, max_value=6))
def test_dense_graphs_match_step_by_step_model(edges, max_q):
    assert_matches_reference(edges, max_q)


def test_complete_graphs_at_every_cap():
    for n in range(1, 10):
        edges = list(combinations(range(n), 2)) or [(0, 0)]
        for max_q in [None, *range(7)]:
            assert_matches_reference(edges, max_q)


# The inputs below are picked so that each way of listing the cliques wins the
# choice: the cliques of at most max_q vertices when the facets are many, the
# facets when the cliques below the cap far outnumber those at the cap.

def test_many_facets_under_a_small_cap():
    # About 27,000 4-cliques: more than the first budget of the choice, and far
    # fewer than the work of the 3,000 overlapping facets.
    assert_matches_reference(gnp(50, 0.7, seed=50), 4)


def test_one_facet_under_a_cap_near_its_size():
    # 6,435 cliques of at most 6 vertices against one facet of 14.
    assert_matches_reference(list(combinations(range(14), 2)), 6)


def test_cap_just_below_a_planted_clique():
    # Listing every clique of at most 27 vertices of a 30-clique (2**30 of them)
    # would never end; its 27-subsets are 4,060.
    edges, members = planted_clique(300, 30, 600, seed=30)
    uncapped = levels_of(edges, None)
    capped = levels_of(edges, 27)
    assert len(uncapped) == 30 and len(capped) == 27
    assert capped[:26] == uncapped[:26]
    assert capped[26] == [set(c) for c in combinations(members, 27)]


def test_dense_graph_lists_every_triangle():
    # G(70, 0.7) under a cap of 3: the top level is every triangle alone, ascending.
    edges = gnp(70, 0.7, seed=70)
    levels = levels_of(edges, 3)
    triangles = []
    for clique in nx.enumerate_all_cliques(nx.Graph(edges)):
        if len(clique) > 3:
            break
        if len(clique) == 3:
            triangles.append(sorted(clique))
    assert len(triangles) == 18151
    assert [sorted(c) for c in levels[2]] == sorted(triangles)
    assert levels[:2] == [[set(range(70))], [set(range(70))]]


def test_hub_with_triangles_under_caps():
    # A hub joined to 400 leaves, every third pair of consecutive leaves
    # linked, and a dense corner: the hub is in every triangle.
    rng = random.Random(5)
    edges = [(0, leaf) for leaf in range(1, 401)] + [(leaf, leaf + 1) for leaf in range(1, 400, 3)]
    edges += [(u, v) for u in range(1, 13) for v in range(u + 1, 13) if rng.random() < 0.8]
    for max_q in (2, 3, 4):
        assert_matches_reference(edges, max_q)


@pytest.mark.parametrize("edges", [sparse_random_edges(20_000, seed=3), preferential_edges(20_000, seed=4)],
                         ids=["sparse random", "preferential attachment"])
def test_capped_levels_agree_with_uncapped_ones_below_the_cap(edges):
    # Below the cap the levels do not depend on it; at the cap every clique of
    # max_q vertices stands alone.
    uncapped = levels_of(edges, None)
    for max_q in (2, 3):
        capped = levels_of(edges, max_q)
        assert capped[: max_q - 1] == uncapped[: max_q - 1]
        if len(uncapped) > max_q:
            assert len(capped[-1]) == len({frozenset(c) for c in capped[-1]})
            assert all(len(c) == max_q for c in capped[-1])
        else:
            assert capped == uncapped


INTERRUPTIBLE_DENSE_CALL = """
import random, korvane
rng = random.Random(1)
edges = [(u, v) for u in range(400) for v in range(u + 1, 400) if rng.random() < 0.9]
try:
    print("calling", flush=True)
    korvane.py_find_hierarchical_q_components_within_graph(edges, 9)
except KeyboardInterrupt:
    print("interrupted", flush=True)
else:
    print("finished", flush=True)
"""


def test_ctrl_c_interrupts_a_capped_dense_call():
    with Child(INTERRUPTIBLE_DENSE_CALL) as child:
        assert child.read_line() == "calling\n"
        line, latency = child.interrupt(0.5)
        assert line == "interrupted\n"
        assert latency < 0.5
        assert child.process.wait(timeout=10) == 0


# ---- Dense graphs, uncapped: levels from the maximal cliques through the adjacency ----
#
# The step-by-step model lists every clique, which is hopeless on dense graphs,
# so these tests take their oracle from networkx's maximal cliques and a
# brute-force comparison of every pair of them.


def union_of_classes(facets, classes):
    """Each class of facet positions as the union of its facets' vertices."""
    return [frozenset().union(*(facets[i] for i in members)) for members in classes.classes()]


def facet_model_levels(edges):
    """Level q: the maximal cliques with at least q+1 vertices, two joined when
    they share at least q+1 vertices (every pair compared), each class as the
    union of its cliques' vertices."""
    graph = nx.Graph()
    graph.add_edges_from(edges)
    facets = [frozenset(c) for c in nx.find_cliques(graph)]
    if not facets:
        return []
    levels = []
    for q in range(max(map(len, facets))):
        present = [f for f in facets if len(f) >= q + 1]
        classes = UnionFind(range(len(present)))
        for i, j in combinations(range(len(present)), 2):
            if len(present[i] & present[j]) >= q + 1:
                classes.union(i, j)
        levels.append(union_of_classes(present, classes))
    return levels


def assert_matches_facet_model(edges):
    levels = levels_of(edges, None)
    for level in levels:
        lists = [sorted(c) for c in level]
        assert lists == sorted(lists), "components in ascending lexicographic order"
    assert as_multisets(levels) == as_multisets(facet_model_levels(edges))


def dense_random(n, p, seed):
    rng = random.Random(seed)
    return [(u, v) for u in range(n) for v in range(u + 1, n) if rng.random() < p]


def complete_multipartite(*parts):
    labels = [k for k, size in enumerate(parts) for _ in range(size)]
    return [(u, v) for u, v in combinations(range(len(labels)), 2) if labels[u] != labels[v]]


def dense_core_in_sparse_graph(core, p, tail, seed):
    """A dense random core on 0..core-1 inside a sparse random graph that reaches
    it, with scattered triangles of its own."""
    rng = random.Random(seed)
    edges = dense_random(core, p, seed)
    n = core + tail
    edges += [(rng.randrange(n), rng.randrange(core, n)) for _ in range(2 * tail)]
    for _ in range(tail // 4):
        a, b, c = rng.sample(range(n), 3)
        edges += [(a, b), (b, c), (a, c)]
    return edges


@pytest.mark.parametrize(
    "edges",
    [
        pytest.param(dense_random(12, 0.8, 1), id="G(12, 0.8)"),
        pytest.param(complete_multipartite(3, 3, 3, 3), id="Moon-Moser, 12 vertices"),
        pytest.param(complete_multipartite(1, 2, 3, 4), id="complete multipartite, unequal parts"),
        pytest.param(dense_core_in_sparse_graph(10, 0.8, 30, 3), id="dense core in a sparse graph"),
    ],
)
def test_dense_graphs_uncapped_match_step_by_step_model(edges):
    assert_matches_reference(edges, None)


@pytest.mark.parametrize(
    "edges",
    [
        *(pytest.param(dense_random(n, p, n), id=f"G({n}, {p})") for n, p in [(25, 0.8), (35, 0.7), (45, 0.5)]),
        pytest.param(complete_multipartite(3, 3, 3, 3, 3, 3), id="Moon-Moser, 18 vertices"),
        pytest.param(complete_multipartite(2, 3, 3, 4, 5), id="complete multipartite, unequal parts"),
        pytest.param(dense_core_in_sparse_graph(25, 0.75, 300, 5), id="dense core in a sparse graph"),
        pytest.param(dense_random(30, 0.7, 2) + [(u + 30, v + 30) for u, v in dense_random(30, 0.7, 4)]
                     + [(0, 30), (1, 31)], id="two dense blocks joined by edges"),
        # 68 vertices: local ids span two bitset words.
        pytest.param(dense_random(68, 0.3, 6), id="G(68, 0.3)"),
    ],
)
def test_dense_graphs_match_facet_model(edges):
    assert_matches_facet_model(edges)


@settings(max_examples=60, deadline=None)
@given(st.integers(min_value=3, max_value=22), st.floats(min_value=0.3, max_value=0.95), st.integers(0, 2**32))
def test_random_dense_graphs_match_facet_model(n, p, seed):
    # Small or sparse inputs count overlaps; dense ones go through the
    # adjacency; both must give the same levels.
    assert_matches_facet_model(dense_random(n, p, seed))


def test_dense_graph_costs_about_its_maximal_cliques():
    # G(70, 0.7) has about 30,000 maximal cliques; counting the overlaps of every
    # pair sharing a vertex took seconds, while listing the cliques in pure Python
    # takes well under one. PyPy's JIT lists them about as fast as the call, so
    # the bound leaves room for a busy machine.
    import time

    edges = dense_random(70, 0.7, 70)
    graph = nx.Graph(edges)
    start = time.perf_counter()
    sizes = [len(c) for c in nx.find_cliques(graph)]
    listing = time.perf_counter() - start
    start = time.perf_counter()
    levels = levels_of(edges, None)
    call = time.perf_counter() - start
    assert len(sizes) > 20_000
    assert len(levels) == max(sizes)
    assert call < 3 * listing


def subset_model_levels(edges):
    """The facet model by shared subsets instead of pairs: at level q, every
    (q+1)-subset of a facet joins the facet to the first facet holding it."""
    facets = [frozenset(c) for c in nx.find_cliques(nx.Graph(edges))]
    levels = []
    for q in range(max(map(len, facets))):
        present = [f for f in facets if len(f) >= q + 1]
        classes = UnionFind(range(len(present)))
        first_holder = {}
        for i, f in enumerate(present):
            for subset in combinations(sorted(f), q + 1):
                classes.union(i, first_holder.setdefault(subset, i))
        levels.append(union_of_classes(present, classes))
    return levels


def test_thousands_of_facets_per_graph_match_subset_model():
    # About 2,700 maximal cliques, several hundred through each vertex: the
    # lookups of one vertex run through long probe sequences of its table.
    edges = dense_random(45, 0.7, 45)
    assert as_multisets(levels_of(edges, None)) == as_multisets(subset_model_levels(edges))
