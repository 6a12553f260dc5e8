"""clique_communities: the k-clique communities of a graph given as
compressed sparse rows, for one k, against the reference levels and against
korvane's own graph levels on larger graphs."""

import random
import re
from array import array
from itertools import combinations

import networkx as nx
import pytest
from hypothesis import given, settings, strategies as st

import korvane
from korvane_networkx.graph import _python_rows
from reference import reference_graph_levels


def rows(vertex_count, edges, both_ends=True):
    """The compressed sparse rows of `edges`, each listed from both ends or
    from its first end only."""
    neighbours = [[] for _ in range(vertex_count)]
    for u, v in edges:
        neighbours[u].append(v)
        if both_ends and u != v:
            neighbours[v].append(u)
    indptr = [0]
    for listed in neighbours:
        indptr.append(indptr[-1] + len(listed))
    return indptr, [v for listed in neighbours for v in listed]


def expected_communities(edges, k):
    """Level k - 2 of the reference levels, without the components of fewer
    than k vertices, as sorted lists in ascending order."""
    levels = reference_graph_levels(edges, None)
    if k - 2 >= len(levels):
        return []
    return sorted(sorted(c) for c in levels[k - 2] if len(c) >= k)


@st.composite
def graphs(draw):
    """Overlapping cliques of up to 7 vertices, stray edges, repeats and
    self-loops, over vertices 0 .. n-1 (some isolated)."""
    n = draw(st.integers(2, 14))
    vertex = st.integers(0, n - 1)
    edges = []
    for clique in draw(st.lists(st.lists(vertex, min_size=2, max_size=7, unique=True), max_size=5)):
        edges.extend(combinations(clique, 2))
    edges.extend(draw(st.lists(st.tuples(vertex, vertex), max_size=20)))
    return n, draw(st.permutations(edges))


@settings(max_examples=300, deadline=None)
@given(graph=graphs(), both_ends=st.booleans())
def test_the_reference_communities_for_every_k(graph, both_ends):
    n, edges = graph
    indptr, indices = rows(n, edges, both_ends)
    for k in range(2, 9):
        assert korvane.clique_communities(indptr, indices, k) == expected_communities(edges, k)


@pytest.mark.parametrize(
    "make",
    [lambda: nx.random_geometric_graph(400, 0.1, seed=2), lambda: nx.gnp_random_graph(60, 0.5, seed=3),
     lambda: nx.powerlaw_cluster_graph(3000, 3, 0.9, seed=4), lambda: nx.les_miserables_graph()],
    ids=["geometric", "dense", "holme-kim", "les miserables"],
)
def test_the_graph_levels_on_larger_graphs(make):
    G = nx.convert_node_labels_to_integers(make())
    indptr, indices = rows(G.number_of_nodes(), list(G.edges))
    levels = korvane.py_find_hierarchical_q_components_within_graph(list(G.edges), None)
    for k in range(2, len(levels) + 3):
        level = levels[k - 2] if k - 2 < len(levels) else []
        expected = sorted(sorted(c) for c in level if len(c) >= k)
        assert korvane.clique_communities(indptr, indices, k) == expected


@pytest.mark.parametrize(
    "make",
    [lambda: nx.gnp_random_graph(400, 0.3, seed=1), lambda: nx.random_geometric_graph(1000, 0.15, seed=1)],
    ids=["dense, small maximal cliques", "geometric, large maximal cliques"],
)
def test_communities_of_graphs_with_many_small_cliques(make):
    # Past a budget of k-cliques, the communities come from the maximal
    # cliques: for k = 3 through their edges where they are small, else
    # through the levels engine. Level k - 2 of the levels capped at k
    # vertices is the reference.
    G = make()
    indptr, indices = rows(G.number_of_nodes(), list(G.edges))
    for k in (3, 4):
        level = korvane.py_find_hierarchical_q_components_within_graph(list(G.edges), k)[k - 2]
        assert korvane.clique_communities(indptr, indices, k) == sorted(sorted(c) for c in level if len(c) >= k)


def test_any_sequence_of_ints_is_read():
    # Two triangles on an edge, then a pendant vertex 4 and an isolated 5.
    indptr, indices = rows(6, [(0, 1), (0, 2), (1, 2), (1, 3), (2, 3), (3, 4)])
    expected = [[0, 1, 2, 3]]
    for kind in (list, tuple, lambda x: array("l", x), lambda x: array("I", x), range):
        made = kind(indptr) if kind is not range else indptr
        assert korvane.clique_communities(made, kind(indices) if kind is not range else indices, 3) == expected
    for typecode in "bBhHiIlLqQ":
        assert korvane.clique_communities(array(typecode, indptr), memoryview(array(typecode, indices)), 3) == expected
    assert korvane.clique_communities(range(0, 1), range(0), 2) == []
    assert korvane.clique_communities([0] * 7, [], 2) == []
    assert korvane.clique_communities(indptr, indices, k=2) == [[0, 1, 2, 3, 4]]
    assert korvane.clique_communities(indptr, indices, True + True) == [[0, 1, 2, 3, 4]]
    assert korvane.clique_communities(indptr, indices, 4) == []
    assert korvane.clique_communities(indptr, indices, 2**70) == []


@pytest.mark.parametrize(
    "indptr, indices, k, error, message",
    [
        ([0, 1, 2], [1, 0], 1, ValueError, "k must be at least 2, not 1"),
        ([0, 1, 2], [1, 0], -(2**70), ValueError, "k must be at least 2, not -1180591620717411303424"),
        ([0, 1, 2], [1, 0], 2.0, TypeError, ""),
        ([], [], 2, ValueError, "indptr is empty"),
        ([1, 2], [0, 1], 2, ValueError, "indptr must start at 0"),
        ([0, 2, 1], [1, 0], 2, ValueError, "never decrease"),
        ([0, 1, 2], [1, 0, 0], 2, ValueError, "end at len(indices)"),
        ([0, 1, 2], [1, 2], 2, ValueError, "indices[1] is 2, which is no vertex: there are 2"),
        ([0, 1, 2], [1, -1], 2, OverflowError, ""),
        ([0, 1, 2], [1, "0"], 2, TypeError, ""),
        ([0, 1, 2], [1, 0.0], 2, TypeError, ""),
        ([0, 1, 2], array("l", [1, -1]), 2, OverflowError, "negative"),
        ([0, 1, 2], array("d", [1, 0]), 2, TypeError, ""),
        ("012", [1, 0], 2, TypeError, "str"),
        (None, [1, 0], 2, TypeError, ""),
    ],
)
def test_bad_input_raises(indptr, indices, k, error, message):
    with pytest.raises(error, match=re.escape(message) or None):
        korvane.clique_communities(indptr, indices, k)


def test_numpy_and_scipy_arrays_are_read():
    np = pytest.importorskip("numpy")
    scipy_sparse = pytest.importorskip("scipy.sparse")
    G = nx.convert_node_labels_to_integers(nx.les_miserables_graph())
    A = scipy_sparse.csr_array(nx.to_scipy_sparse_array(G))
    indptr, indices = rows(G.number_of_nodes(), list(G.edges))
    for k in range(2, 8):
        expected = korvane.clique_communities(indptr, indices, k)
        assert korvane.clique_communities(A.indptr, A.indices, k) == expected
        # A strided view, and unsigned and other widths.
        assert korvane.clique_communities(np.repeat(A.indptr, 2)[::2], A.indices.astype(np.uint16), k) == expected
    with pytest.raises(OverflowError, match="negative"):
        korvane.clique_communities(np.array([0, 1, 2]), np.array([1, -1]), 2)


def test_a_list_changed_while_it_is_read():
    class Shrinking(int):
        def __index__(self):
            del indices[1:]
            return int(self)

    indices = [Shrinking(1), 0, 0, 0]
    with pytest.raises(ValueError, match="end at len"):
        korvane.clique_communities([0, 1, 2], indices, 2)


def test_large_random_graph_matches_networkx_cliques():
    rng = random.Random(7)
    G = nx.gnm_random_graph(300, 3000, seed=rng.randrange(2**32))
    indptr, indices = rows(300, list(G.edges))
    for k in (3, 4, 5):
        expected = sorted(sorted(c) for c in nx.community.k_clique_communities(G, k))
        assert korvane.clique_communities(indptr, indices, k) == expected


class Label:
    """A label equal to another object of its class with the same value,
    hashing alike, but never the same object."""

    def __init__(self, value):
        self.value = value

    def __eq__(self, other):
        return isinstance(other, Label) and other.value == self.value

    def __hash__(self):
        return hash(self.value)


@settings(max_examples=200, deadline=None)
@given(
    edges=st.lists(st.tuples(st.integers(0, 9), st.integers(0, 9)), max_size=30),
    kind=st.sampled_from(["tuple", "str", "Label", "mixed"]),
    rows_as=st.sampled_from([dict, list, set, tuple]),
)
def test_adjacency_rows_read_labels_by_identity_or_equality(edges, kind, rows_as):
    # Each neighbour is a fresh, equal object half of the time; rows_as is
    # the type of each node's neighbours.
    make = {"tuple": lambda v: (v, str(v)), "str": lambda v: "n" + str(v) * 3, "Label": Label,
            "mixed": lambda v: v if v % 3 == 0 else (str(v) if v % 3 == 1 else Label(v))}[kind]
    labels = {v: make(v) for v in sorted({v for edge in edges for v in edge})}
    neighbours = {v: {} for v in labels}
    for u, v in edges:
        for a, b in ((u, v), (v, u)):
            neighbours[a].setdefault(b, labels[b] if (a + b) % 2 else make(b))
    adjacency = {labels[v]: rows_as(dict.fromkeys(row.values())) for v, row in neighbours.items()}
    for row_of in adjacency.values():
        assert all(n in adjacency for n in row_of)
    order = list(labels)
    expected_indptr, expected_indices = [0], []
    for v in order:
        expected_indices += [order.index(labels_key(labels, n)) for n in adjacency[labels[v]]]
        expected_indptr.append(len(expected_indices))
    found = korvane.adjacency_rows(adjacency)
    assert found == ([labels[v] for v in order], expected_indptr, expected_indices)
    assert all(a is b for a, b in zip(found[0], adjacency))
    # The networkx backend's conversion in Python, which it takes on PyPy.
    assert _python_rows(adjacency) == found


def labels_key(labels, neighbour):
    return next(v for v, label in labels.items() if label == neighbour)


def test_adjacency_rows_of_graph_views_and_odd_mappings():
    G = nx.complete_graph(6).subgraph([0, 2, 3, 5])
    assert korvane.adjacency_rows(G._adj) == ([0, 2, 3, 5], [0, 3, 6, 9, 12], [1, 2, 3, 0, 2, 3, 0, 1, 3, 0, 1, 2])
    assert korvane.adjacency_rows({}) == ([], [0], [])
    assert korvane.adjacency_rows({"a": "a"}) == (["a"], [0, 1], [0])
    with pytest.raises(KeyError, match="'b'"):
        korvane.adjacency_rows({"a": ["b"]})
    with pytest.raises(TypeError, match="not iterable"):
        korvane.adjacency_rows({"a": 1})
    for not_a_mapping in ([[1]], "ab", 5, None):
        with pytest.raises(TypeError, match="adjacency must be a mapping"):
            korvane.adjacency_rows(not_a_mapping)


def test_adjacency_changed_by_a_neighbour_lookup():
    class Meddling(Label):
        __hash__ = Label.__hash__

        def __eq__(self, other):
            adjacency.pop(Label(2), None)
            row.pop(Label(2), None)
            return super().__eq__(other)

    # The lookup of Meddling(3) by equality drops node 2 from the mapping and
    # from the row being read.
    adjacency = {Label(1): {}, Label(2): {}, Label(3): {}}
    row = adjacency[Label(1)]
    row[Meddling(3)] = None
    row[Label(2)] = None
    with pytest.raises(RuntimeError, match="changed size during iteration"):
        korvane.adjacency_rows(adjacency)
