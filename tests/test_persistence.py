"""Births and deaths of (q, vertex set) components over a weighted filtration."""

import itertools
import math
import pickle
import random
import time

import pytest
from hypothesis import given, settings, strategies as st

import korvane
from reference import reference_graph_levels, reference_persistence

persistence = korvane.py_calculate_persistent_q_components
NAN, INF = float("nan"), float("inf")


def by_death(records):
    """Consecutive records of equal death, each run sorted: the order inside a
    step is left out of the comparison."""
    runs = []
    for death, run in itertools.groupby(records, key=lambda r: r[2]):
        runs.append(sorted(run))
    return runs


@pytest.mark.parametrize(
    "edges, max_q, expected",
    [
        ([], None, []),
        ([(0, 1, NAN), (1, 2, INF), (2, 3, -INF)], None, []),
        ([(4, 9, 0.75)], None, [((0, [4, 9]), 0.75, 0.75), ((1, [4, 9]), 0.75, 0.75)]),
        (
            [(1, 2, 0.5), (2, 3, 0.2)],
            None,
            [
                ((0, [2, 3]), 0.2, 0.5),
                ((0, [1, 2, 3]), 0.5, 0.5),
                ((1, [1, 2]), 0.5, 0.5),
                ((1, [2, 3]), 0.2, 0.5),
            ],
        ),
        # A key found after the first of two equal weights but not after the second.
        (
            [(1, 2, 1.0), (2, 3, 1.0)],
            None,
            [
                ((0, [1, 2]), 1.0, 1.0),
                ((0, [1, 2, 3]), 1.0, 1.0),
                ((1, [1, 2]), 1.0, 1.0),
                ((1, [2, 3]), 1.0, 1.0),
            ],
        ),
        # The NaN edge adds neither its edge nor its vertices.
        (
            [(1, 2, 0.1), (3, 4, NAN), (2, 3, 0.3)],
            None,
            [
                ((0, [1, 2]), 0.1, 0.3),
                ((0, [1, 2, 3]), 0.3, 0.3),
                ((1, [1, 2]), 0.1, 0.3),
                ((1, [2, 3]), 0.3, 0.3),
            ],
        ),
        # A self-loop adds a lone vertex; a repeated edge changes nothing.
        (
            [(5, 5, 0.1), (5, 6, 0.2), (6, 5, 0.3)],
            None,
            [((0, [5]), 0.1, 0.2), ((0, [5, 6]), 0.2, 0.3), ((1, [5, 6]), 0.2, 0.3)],
        ),
    ],
)
def test_worked_examples_in_their_fixed_order(edges, max_q, expected):
    assert persistence(edges, max_q) == expected


def test_ties_keep_input_order_and_zero_signs_tie():
    forward = persistence([(1, 2, 0.0), (2, 3, -0.0)], None)
    backward = persistence([(2, 3, -0.0), (1, 2, 0.0)], None)
    assert forward[0][0] == (0, [1, 2])
    assert backward[0][0] == (0, [2, 3])
    # Each weight is reported as given, sign included.
    assert math.copysign(1, forward[0][1]) == 1 and math.copysign(1, forward[0][2]) == -1


def test_closing_a_triangle_raises_the_top_level_and_merges_the_old_one():
    edges = [(0, 1, 1.0), (1, 2, 2.0), (0, 2, 3.0)]
    assert persistence(edges, None) == [
        ((0, [0, 1]), 1.0, 2.0),
        # The edge (0, 2) is found at level 1 only inside the triangle's class.
        ((1, [0, 1]), 1.0, 3.0),
        ((1, [1, 2]), 2.0, 3.0),
        ((0, [0, 1, 2]), 2.0, 3.0),
        ((1, [0, 1, 2]), 3.0, 3.0),
        ((2, [0, 1, 2]), 3.0, 3.0),
    ]


def test_edges_inside_a_component_leave_its_key_alive():
    # The chord (0, 2) changes level 1 only; the level-0 key lives to the end.
    records = persistence([(0, 1, 1.0), (1, 2, 2.0), (2, 3, 3.0), (0, 2, 4.0)], None)
    assert ((0, [0, 1, 2, 3]), 3.0, 4.0) in records
    assert [key for key, _, death in records if death == 4.0 and key[0] == 0] == [(0, [0, 1, 2, 3])]


def test_the_largest_cap_is_no_cap():
    edges = [(u, v, (u * 7 + v) % 5) for u, v in itertools.combinations(range(6), 2)]
    assert persistence(edges, 2**64 - 1) == persistence(edges, None)


def test_the_same_vertex_set_at_two_levels_is_two_keys():
    records = persistence([(7, 8, 2.5)], None)
    assert [key for key, _, _ in records] == [(0, [7, 8]), (1, [7, 8])]


@pytest.mark.parametrize("max_q", [0, 1])
def test_a_cap_of_one_vertex_lists_every_vertex_alone_forever(max_q):
    edges = [(0, 1, 1.0), (1, 2, 2.0), (0, 2, 3.0)]
    assert persistence(edges, max_q) == [((0, [0]), 1.0, 3.0), ((0, [1]), 1.0, 3.0), ((0, [2]), 2.0, 3.0)]


def test_a_cap_keeps_every_capped_clique_alone_at_the_top():
    # With cliques of at most two vertices, level 1 is every edge on its own.
    edges = [(0, 1, 1.0), (1, 2, 2.0), (0, 2, 3.0), (2, 3, 4.0)]
    records = persistence(edges, 2)
    assert [r for r in records if r[0][0] == 1] == [
        ((1, [0, 1]), 1.0, 4.0),
        ((1, [0, 2]), 3.0, 4.0),
        ((1, [1, 2]), 2.0, 4.0),
        ((1, [2, 3]), 4.0, 4.0),
    ]
    assert persistence(edges, 9) == persistence(edges, None)


def test_order_within_a_step_is_by_level_then_vertex_list():
    # (1, [1, 2]) is born before (1, [0, 1]) and both die at 3.0; the survivors
    # come by level, then vertex list, whatever their birth.
    edges = [(1, 2, 1.0), (0, 1, 2.0), (8, 7, 2.5), (0, 2, 3.0)]
    assert persistence(edges, None) == [
        ((0, [1, 2]), 1.0, 2.0),
        ((1, [0, 1]), 2.0, 3.0),
        ((1, [1, 2]), 1.0, 3.0),
        ((0, [0, 1, 2]), 2.0, 3.0),
        ((0, [7, 8]), 2.5, 3.0),
        ((1, [0, 1, 2]), 3.0, 3.0),
        ((1, [7, 8]), 2.5, 3.0),
        ((2, [0, 1, 2]), 3.0, 3.0),
    ]


def test_large_vertex_ids_keep_their_order():
    top = 2**64 - 1
    assert persistence([(top, 0, 1.0), (top - 1, top, 2.0)], None) == [
        ((0, [0, top]), 1.0, 2.0),
        ((0, [0, top - 1, top]), 2.0, 2.0),
        ((1, [0, top]), 1.0, 2.0),
        ((1, [top - 1, top]), 2.0, 2.0),
    ]


WEIGHTS = st.one_of(
    st.sampled_from([0.0, -0.0, 0.5, 1.0, 2.0, NAN, INF, -INF]),
    st.integers(min_value=-3, max_value=3),
    st.floats(min_value=-4, max_value=4, allow_nan=False),
)


@settings(max_examples=200, deadline=None)
@given(
    edges=st.lists(
        st.tuples(st.integers(0, 6), st.integers(0, 6), WEIGHTS),
        max_size=18,
    ),
    max_q=st.one_of(st.none(), st.integers(0, 6)),
)
def test_matches_the_rerun_per_edge_on_random_graphs(edges, max_q):
    assert by_death(persistence(edges, max_q)) == by_death(reference_persistence(edges, max_q))


@settings(max_examples=40, deadline=None)
@given(
    vertex_count=st.integers(4, 8),
    density=st.sampled_from([0.6, 0.8, 1.0]),
    seed=st.integers(0, 2**32 - 1),
    max_q=st.one_of(st.none(), st.integers(0, 7)),
)
def test_matches_the_rerun_per_edge_on_dense_graphs(vertex_count, density, seed, max_q):
    # Dense graphs give many maximal cliques per edge and overlapping new facets.
    rng = random.Random(seed)
    edges = [
        (u, v, rng.randint(0, 8) / 4) if rng.random() < 0.5 else (v, u, rng.randint(0, 8) / 4)
        for u, v in itertools.combinations(range(vertex_count), 2)
        if rng.random() < density
    ]
    rng.shuffle(edges)
    assert by_death(persistence(edges, max_q)) == by_death(reference_persistence(edges, max_q))


@pytest.mark.parametrize("max_q", [None, 3])
def test_long_filtrations_match_the_rerun_per_edge(max_q):
    # A path laid in order makes ever larger components die one after another,
    # enough dead vertex sets to be compacted away; short chords add triangles
    # and 4-cliques on top.
    rng = random.Random(5)
    n = 150
    path = [(i, i + 1, i / n) for i in range(n)]
    chords = [(i, i + rng.randint(2, 3), rng.random()) for i in rng.sample(range(n), 90)]
    edges = path + chords
    assert persistence(edges, max_q) == reference_persistence(edges, max_q)


def random_weighted_graph(rng, vertex_count, edge_count):
    weights = rng.sample(range(10 * edge_count), edge_count)
    return [(rng.randrange(vertex_count), rng.randrange(vertex_count), w / 7) for w in weights]


@settings(max_examples=30, deadline=None)
@given(seed=st.integers(0, 2**32 - 1), max_q=st.one_of(st.none(), st.integers(0, 5)))
def test_edge_order_and_order_preserving_relabelling_change_nothing(seed, max_q):
    # With distinct weights the input order is irrelevant, and ids only matter
    # through their order.
    rng = random.Random(seed)
    edges = random_weighted_graph(rng, 25, 90)
    records = persistence(edges, max_q)
    shuffled = rng.sample(edges, len(edges))
    assert persistence(shuffled, max_q) == records
    relabel = lambda x: 3 * x + 2**40
    moved = [(relabel(u), relabel(v), w) for u, v, w in edges]
    assert persistence(moved, max_q) == [((q, [relabel(x) for x in vs]), b, d) for (q, vs), b, d in records]


@pytest.mark.parametrize("seed", range(4))
def test_survivors_are_the_components_of_the_whole_graph(seed):
    rng = random.Random(seed)
    edges = random_weighted_graph(rng, 30, 110)
    # A final self-loop on a present vertex changes nothing, so every record
    # that dies at its weight is a survivor.
    end = max(w for _, _, w in edges) + 1
    records = persistence(edges + [(edges[0][0], edges[0][0], end)], None)
    survivors = [key for key, _, death in records if death == end]
    levels = reference_graph_levels([(u, v) for u, v, _ in edges], None)
    assert survivors == sorted((q, sorted(c)) for q, level in enumerate(levels) for c in level)


# ---------------------------------------------------------------------------
# Caps on dense graphs: every clique of at most the cap counts, and the top
# level lists every cap-sized clique alone.


def complete_graph(n, weights):
    return [(u, v, weights(u, v)) for u, v in itertools.combinations(range(n), 2)]


def point_cloud(n, seed):
    rng = random.Random(seed)
    points = [(rng.random(), rng.random()) for _ in range(n)]
    return lambda u, v: math.dist(points[u], points[v])


def random_weights(seed, values=None):
    rng = random.Random(seed)
    return lambda u, v: rng.random() if values is None else rng.choice(values)


@pytest.mark.parametrize("max_q", [0, 1, 2, 3, 4, 5])
@pytest.mark.parametrize(
    "edges",
    [
        complete_graph(7, random_weights(1)),
        complete_graph(7, random_weights(2, values=[0.5, 1.0, 1.5])),  # many ties
        complete_graph(7, lambda u, v: 1.0),  # every edge at one weight
        complete_graph(7, point_cloud(7, 3)),
        complete_graph(6, random_weights(4))[::-1] + [(6, 7, 0.25), (7, 8, 0.3), (6, 8, 2.0)],
    ],
    ids=["random", "tied", "all-equal", "point-cloud", "with-a-late-triangle"],
)
def test_capped_complete_graphs_match_the_rerun_per_edge(edges, max_q):
    assert persistence(edges, max_q) == reference_persistence(edges, max_q)


@pytest.mark.parametrize("max_q", [3, 4, 7, 8])
def test_large_clique_among_sparse_edges_matches_the_rerun_per_edge(max_q):
    # An 8-clique among a few sparse edges: caps 3 and 4 take the small
    # cliques, caps 7 and 8 (many lower cliques, few at the top) the maximal
    # ones; both must agree with the model.
    rng = random.Random(max_q)
    clique = rng.sample(range(20), 8)
    edges = [(a, b, rng.random()) for a, b in itertools.combinations(clique, 2)]
    edges += [(rng.randrange(20), rng.randrange(20), rng.random()) for _ in range(10)]
    assert persistence(edges, max_q) == reference_persistence(edges, max_q)


def split_by_cap(records, cap):
    below = [r for r in records if r[0][0] <= cap - 2]
    top = sorted(r for r in records if r[0][0] == cap - 1)
    return below, top


@settings(max_examples=40, deadline=None)
@given(
    vertex_count=st.integers(6, 13),
    density=st.sampled_from([0.5, 0.8, 1.0]),
    seed=st.integers(0, 2**32 - 1),
    cap=st.integers(2, 6),
    ties=st.booleans(),
)
def test_levels_below_a_cap_do_not_depend_on_it(vertex_count, density, seed, cap, ties):
    # Below the top, level q only sees the (q+1)- and (q+2)-cliques, so a cap
    # leaves it as the uncapped call has it; the top level holds each
    # cap-sized clique alone, born with its last edge and alive to the end.
    rng = random.Random(seed)
    edges = [
        (u, v, rng.randint(0, 5) / 2 if ties else rng.random())
        for u, v in itertools.combinations(range(vertex_count), 2)
        if rng.random() < density
    ]
    if not edges:
        return
    capped = persistence(edges, cap)
    below, top = split_by_cap(capped, cap)
    assert below == split_by_cap(persistence(edges, None), cap)[0]

    order = sorted(range(len(edges)), key=lambda i: edges[i][2])
    step_of = {frozenset(edges[i][:2]): step for step, i in reversed(list(enumerate(order)))}
    end = edges[order[-1]][2]
    expected = []
    for clique in itertools.combinations(range(vertex_count), cap):
        steps = [step_of.get(frozenset(pair)) for pair in itertools.combinations(clique, 2)]
        if None not in steps:
            expected.append(((cap - 1, list(clique)), edges[order[max(steps)]][2], end))
    assert top == sorted(expected)


def best_time(call, repeat=3):
    best = float("inf")
    for _ in range(repeat):
        start = time.perf_counter()
        result = call()
        best = min(best, time.perf_counter() - start)
    return best, result


@pytest.mark.parametrize("max_q", [2, 3])
def test_a_cap_bounds_the_work_on_a_complete_graph(max_q):
    # Every clique of K_60 holds the two ends of its last edge; the work must
    # follow the small cliques, not the maximal cliques of the growing graph.
    edges = complete_graph(60, random_weights(60))
    call, records = best_time(lambda: persistence(edges, max_q))
    materialise, _ = best_time(lambda: pickle.loads(pickle.dumps(records)))
    # Typically 0.2 to 1 times the cost of building the result's objects.
    assert call < 10 * max(materialise, 1e-3)


@pytest.mark.parametrize(
    "n, weights", [(30, random_weights(30)), (50, point_cloud(50, 51))], ids=["random", "point-cloud"]
)
def test_dropping_swallowed_facets_keeps_every_level(n, weights):
    # Filling in K_30 with random weights, or K_50 with a point cloud's
    # distances (whose cliques grow more orderly), swallows tens of thousands
    # of facet vertices, enough to drop the swallowed facets several times
    # over. Levels 0 to 2 must still be those of the small-clique engine, and
    # at the end every level is the whole vertex set.
    edges = complete_graph(n, weights)
    uncapped = persistence(edges, None)
    assert split_by_cap(uncapped, 4)[0] == split_by_cap(persistence(edges, 4), 4)[0]
    end = max(w for _, _, w in edges)
    assert [key for key, _, death in uncapped if death == end][-n:] == [(q, list(range(n))) for q in range(n)]


def complete_minus_matching(n, missing, seed, values=None):
    """K_n without `missing` disjoint edges, randomly weighted: near the end the
    common neighbourhood of an edge has about 2**missing heavily overlapping
    maximal cliques."""
    rng = random.Random(seed)
    order = rng.sample(range(n), n)
    gone = {frozenset(order[2 * i : 2 * i + 2]) for i in range(missing)}
    weight = random_weights(seed, values)
    return [(u, v, weight(u, v)) for u, v in itertools.combinations(range(n), 2) if frozenset((u, v)) not in gone]


@pytest.mark.parametrize("max_q", [None, 5])
@pytest.mark.parametrize(
    "edges",
    [
        complete_minus_matching(12, 5, 1),
        complete_minus_matching(12, 4, 2, values=[0.25, 0.5, 0.75]),  # ties
        complete_minus_matching(11, 3, 3)[::-1],
    ],
    ids=["random", "tied", "reversed"],
)
def test_many_overlapping_new_facets_match_the_rerun_per_edge(edges, max_q):
    # The new facets of a late edge overlap in every way; they are joined
    # through a spanning forest of their overlaps rather than pair by pair.
    assert persistence(edges, max_q) == reference_persistence(edges, max_q)


def test_a_giant_component_growing_a_vertex_at_a_time_matches_the_rerun_per_edge():
    # A 450-vertex path laid in order lists every prefix as a dying key, about
    # 100,000 dead ids: enough to slide the live sets down in place. Triangles
    # on it and a late 6-clique swallow facets on the way.
    rng = random.Random(11)
    n = 450
    edges = [(i, i + 1, i / n) for i in range(n)]
    edges += [(i, i + 2, rng.random()) for i in rng.sample(range(n - 1), 60)]
    edges += [(a, b, 1 + rng.random()) for a, b in itertools.combinations(range(200, 206), 2)]
    assert persistence(edges, None) == reference_persistence(edges, None)


# ---------------------------------------------------------------------------
# Graphs of at most 256 vertices keep their adjacency as bitset rows of one to
# four words; larger ones work on neighbour lists. Padding a filtration with
# vertices that only self-loops add moves it between those routes, and across
# word boundaries, without changing its own records.


def padded(edges, count, below):
    """`edges` after `count` self-loops on new vertices, ids below the graph's
    or above them; the self-loops come first and add lone vertices only."""
    shift = count if below else 0
    start = (count if not below else 0) + 1 + max(max(u, v) for u, v, _ in edges)
    first = min(w for *_, w in edges) - 1
    pads = [(x, x, first) for x in (range(count) if below else range(start, start + count))]
    return pads + [(u + shift, v + shift, w) for u, v, w in edges], shift


def unpadded(records, shift, vertex_count):
    """The records of the graph's own vertices, under their own ids."""
    kept = lambda vs: all(shift <= x < shift + vertex_count for x in vs)
    return [((q, [x - shift for x in vs]), b, d) for (q, vs), b, d in records if kept(vs)]


DENSE_FILTRATIONS = {
    "random": complete_graph(12, random_weights(7)),
    "point-cloud": complete_graph(12, point_cloud(12, 8)),
    "tied": complete_graph(11, random_weights(9, values=[0.25, 0.5, 0.75])),
    "overlapping": complete_minus_matching(12, 5, 10),
}


@pytest.mark.parametrize("max_q", [None, 7])
@pytest.mark.parametrize("name", sorted(DENSE_FILTRATIONS))
def test_every_row_width_and_the_lists_agree_with_the_rerun_per_edge(name, max_q):
    edges = DENSE_FILTRATIONS[name]
    expected = reference_persistence(edges, max_q)
    assert persistence(edges, max_q) == expected
    vertex_count = 1 + max(max(u, v) for u, v, _ in edges)
    # One full word; the graph across the first and the second word boundary;
    # four words; past 256 vertices, the lists.
    for count, below in [(64 - vertex_count, False), (58, True), (120, True), (188, False), (250, True)]:
        padded_edges, shift = padded(edges, count, below)
        records = unpadded(persistence(padded_edges, max_q), shift, vertex_count)
        assert records == expected, (count, below)


@settings(max_examples=25, deadline=None)
@given(
    vertex_count=st.integers(5, 12),
    density=st.sampled_from([0.6, 0.9]),
    seed=st.integers(0, 2**32 - 1),
    max_q=st.one_of(st.none(), st.integers(4, 8)),
    padding=st.sampled_from([(58, True), (124, True), (200, False), (250, True)]),
)
def test_rows_and_lists_agree_on_random_dense_graphs(vertex_count, density, seed, max_q, padding):
    # The same graph one word below a boundary, straddling one, or on the
    # lists: the routes must find the same cores and links.
    rng = random.Random(seed)
    edges = [
        (u, v, rng.randint(0, 6) / 3)
        for u, v in itertools.combinations(range(vertex_count), 2)
        if rng.random() < density
    ]
    if not edges:
        return
    vertex_count = 1 + max(max(u, v) for u, v, _ in edges)
    padded_edges, shift = padded(edges, *padding)
    expected = reference_persistence(edges, max_q)
    assert unpadded(persistence(padded_edges, max_q), shift, vertex_count) == expected


def closing_edge_over_cores(cores, extra=()):
    """Vertices 0 and 1 joined to every vertex of each core (a clique), the
    cores joined to each other only by the `extra` edges; the edge (0, 1)
    comes last, its common neighbourhood being the cores."""
    edges = []
    for core in cores:
        edges += [(a, b) for a, b in itertools.combinations(core, 2)]
        edges += [(end, x) for end in (0, 1) for x in core]
    edges += list(extra)
    rng = random.Random(len(edges))
    return [(a, b, rng.random()) for a, b in edges] + [(0, 1, 2.0)]


@pytest.mark.parametrize(
    "cores, extra, merged_at_1",
    [
        ([(2, 3), (4, 5)], (), True),  # level 1 joins the two cores' classes
        ([(2, 3, 4), (5, 6, 7, 8)], (), True),  # and levels 2, 3 only gain the new facets
        ([(2, 3), (4, 5, 6), (7,)], [(3, 4)], True),  # cores touching by an edge, and a lone vertex
        ([(2, 3, 4, 5), (5, 6, 7, 8)], (), False),  # cores sharing one vertex join at level 2
        ([(2, 3, 4, 5, 6)], (), False),  # one core: only levels 5 and 6 change
    ],
    ids=["two-disjoint", "disjoint-sizes", "mixed", "sharing-one", "one-core"],
)
def test_an_edge_closing_over_several_cores_matches_the_rerun_per_edge(cores, extra, merged_at_1):
    # Between levels 1 and |K| a new facet {u, v} + K lies in one old class,
    # but at level 1 disjoint cores are joined only through the new edge.
    edges = closing_edge_over_cores(cores, extra)
    records = persistence(edges, None)
    assert records == reference_persistence(edges, None)
    vertices = sorted({x for core in cores for x in core} | {0, 1})
    assert (((1, vertices), 2.0, 2.0) in records) == merged_at_1
