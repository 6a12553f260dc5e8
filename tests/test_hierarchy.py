"""The q-component hierarchy of a list of simplices."""

import copy
import pickle
import random
import time

import pytest
from itertools import combinations

from hypothesis import assume, given, settings, strategies as st

import korvane
from helpers import planted_hubs, zipf_like
from reference import UnionFind, reference_simplicial_levels

hierarchy = korvane.py_find_hierarchical_q_components


def as_sets(levels):
    return [sorted(sorted(c) for c in level) for level in levels]


def reference_sets(simplices):
    return [sorted(sorted(c) for c in level) for level in reference_simplicial_levels(simplices)]


@pytest.mark.parametrize(
    "simplices, expected",
    [
        ([], []),
        ([[], []], [[]]),
        ([[], [7]], [[{1}]]),
        ([[5, 6]], [[{0}], [{0}]]),
        ([[0, 1], [0, 1]], [[{0, 1}], [{0, 1}]]),
        ([[0, 1, 2], [1, 2, 3], [4]], [[{0, 1}, {2}], [{0, 1}], [{0}, {1}]]),
        ([[0, 1, 2, 3], [0, 1, 2, 4], [0, 5]], [[{0, 1, 2}], [{0, 1}, {2}], [{0, 1}], [{0}, {1}]]),
        # A chain whose ends share nothing is still one component.
        ([[0, 1], [1, 2], [2, 3], [9]], [[{0, 1, 2}, {3}], [{0}, {1}, {2}]]),
        # Repeated vertices inside a simplex count once.
        ([[3, 3, 3], [3, 4]], [[{0, 1}], [{1}]]),
    ],
)
def test_worked_examples_in_their_fixed_order(simplices, expected):
    assert hierarchy(simplices) == expected


def test_components_of_a_level_follow_their_smallest_index():
    # Simplex 0 joins 3 only at level 0; at level 1 the order is by smallest index.
    simplices = [[0, 1, 9], [5, 6, 7], [5, 6, 8], [0, 1, 2], [9, 5]]
    assert hierarchy(simplices) == [[{0, 1, 2, 3, 4}], [{0, 3}, {1, 2}, {4}], [{0}, {1}, {2}, {3}]]


def test_large_vertex_ids_and_any_sequence_type():
    top = 2**64 - 1
    expected = [[{0, 1, 2}], [{0, 1}, {2}], [{0}]]
    assert hierarchy([[top, top - 1], (top, top - 1), range(5, 6)]) == [[{0, 1}, {2}], [{0, 1}]]
    assert hierarchy(((0, 1, 2), [1, 2], range(2, 4))) == expected


def test_each_simplex_appears_once_per_level_up_to_its_dimension():
    simplices = [[i, i + 1, i + 2][: 1 + i % 3] for i in range(40)]
    levels = hierarchy(simplices)
    for index, simplex in enumerate(simplices):
        dimension = len(set(simplex)) - 1
        for q, level in enumerate(levels):
            hits = sum(index in component for component in level)
            assert hits == (1 if q <= dimension else 0)


def test_result_types_and_input_left_unchanged():
    simplices = [[0, 1, 2], (1, 2), [7]]
    before = copy.deepcopy(simplices)
    levels = hierarchy(simplices)
    assert simplices == before
    assert type(levels) is list
    for level in levels:
        assert type(level) is list
        for component in level:
            assert type(component) is set
            assert all(type(i) is int for i in component)


vertex = st.one_of(st.integers(0, 12), st.sampled_from([2**64 - 1, 2**64 - 2, 2**63]))
simplex = st.lists(vertex, max_size=6)


@settings(max_examples=300, deadline=None)
@given(st.lists(simplex, max_size=12))
def test_matches_the_level_by_level_definition(simplices):
    simplices = simplices + simplices[:2]  # repeated simplices
    levels = hierarchy(simplices)
    assert as_sets(levels) == reference_sets(simplices)
    for level in levels:
        smallest = [min(c) for c in level]
        assert smallest == sorted(smallest)


@settings(max_examples=100, deadline=None)
@given(st.lists(simplex, max_size=12))
def test_tuples_and_ranges_read_like_lists(simplices):
    as_tuples = tuple(tuple(s) for s in simplices)
    assert hierarchy(as_tuples) == hierarchy(simplices)
    runs = [range(len(s), 2 * len(s)) for s in simplices]
    assert hierarchy(runs) == hierarchy([list(r) for r in runs])


# Families with hub vertices: a few vertices sit in most of the simplices, which
# sends the levels through the hub-aware route once the sets are numerous enough.


def levels_by_definition(simplices):
    """The levels in their documented order, straight from the definition: the
    overlap of every pair is counted once, and level q joins the pairs sharing at
    least q+1 vertices among the simplices with at least q+1 vertices."""
    sets = [set(s) for s in simplices]
    if not sets:
        return []
    pairs_by_overlap = {}
    for a, b in combinations(range(len(sets)), 2):
        pairs_by_overlap.setdefault(len(sets[a] & sets[b]), []).append((a, b))
    levels = []
    for q in range(max(len(s) for s in sets)):
        classes = UnionFind(i for i, s in enumerate(sets) if len(s) > q)
        for overlap, pairs in pairs_by_overlap.items():
            if overlap > q:
                for a, b in pairs:
                    classes.union(a, b)
        levels.append(sorted(map(set, classes.classes()), key=min))
    return levels or [[]]


@pytest.mark.parametrize(
    "simplices",
    [
        [[0, i] for i in range(1, 300)],
        [[0, i, i + 1] for i in range(1, 300)],
        # Two hubs in every simplex: each level up to 1 ties everything.
        [[0, 1, 2 + i % 50, 100 + i] for i in range(300)],
        # One hub and chains of shared pairs around it.
        [[0, i // 3, 1000 + i // 5, 2000 + i % 7] for i in range(400)],
        planted_hubs(random.Random(1), 400, hubs=4, pool=40),
        planted_hubs(random.Random(2), 500, hubs=7, pool=500, others=(2, 6)),
        zipf_like(random.Random(3), 400, vocabulary=60, sizes=(2, 12)),
        zipf_like(random.Random(4), 400, vocabulary=400, sizes=(5, 25)),
        # Every document holds the same two stop words: each term's documents share them.
        [[0, 1] + [2 + t for t in d] for d in zipf_like(random.Random(5), 400, vocabulary=300, sizes=(2, 15))],
        # Far more mid-frequency terms than fit the bitmasks, and long documents.
        zipf_like(random.Random(6), 450, vocabulary=3000, sizes=(10, 40), exponent=1.3),
        # Copies of one document among others: every term's copies agree on everything.
        [list(range(12))] * 150 + zipf_like(random.Random(8), 250, vocabulary=300, sizes=(3, 15)),
        # Pairs of documents that also share three terms no other document has.
        [d + [1000 + 3 * (i // 2) + k for k in range(3)] if i < 80 else d
         for i, d in enumerate(zipf_like(random.Random(7), 400, vocabulary=500, sizes=(4, 20), exponent=1.1))],
    ],
    ids=["star", "fan", "two hubs", "hub and chains", "hubs small pool", "hubs large pool", "zipf dense", "zipf",
         "zipf with stop words", "zipf wide middle", "copies", "twins sharing rare terms"],
)
def test_hub_families_match_the_definition_in_order(simplices):
    assert hierarchy(simplices) == levels_by_definition(simplices)


@settings(max_examples=20, deadline=None)
@given(st.integers(0, 2**32), st.integers(1, 9), st.integers(5, 200), st.integers(300, 450))
def test_random_families_with_planted_hubs(seed, hubs, pool, count):
    rng = random.Random(seed)
    simplices = planted_hubs(rng, count, hubs, pool, others=(0, 5))
    # Repeated simplices and empty ones ride along.
    simplices += simplices[:20] + [[]] * 3
    rng.shuffle(simplices)
    assert hierarchy(simplices) == levels_by_definition(simplices)


def goes_through_hubs(simplices):
    """Whether the incidence counts are skewed enough for the hub-aware join."""
    degree = {}
    for simplex in simplices:
        for v in set(simplex):
            degree[v] = degree.get(v, 0) + 1
    return sum(d * d for d in degree.values()) > 64 * sum(degree.values())


# Skewed term frequencies: a few terms in nearly every document, a band of
# mid-frequency terms that pairs share in many combinations, and a long tail of
# rare ones, with documents long enough that pairs join at many levels.
@settings(max_examples=25, deadline=None)
@given(
    st.integers(0, 2**32),
    st.integers(100, 1000),
    st.floats(1.3, 2.0),
    st.integers(300, 400),
    st.integers(12, 30),
)
def test_zipf_families_match_the_definition(seed, vocabulary, exponent, count, longest):
    rng = random.Random(seed)
    simplices = zipf_like(rng, count, vocabulary, (1 + longest // 3, longest), exponent)
    simplices += [simplices[0], []]
    rng.shuffle(simplices)
    assume(goes_through_hubs(simplices))
    assert hierarchy(simplices) == levels_by_definition(simplices)


# Small groups of documents share a few terms found nowhere else on top of their
# common ones: an overlap counts every shared term, however rare, so such a
# group stays together up to the level its whole overlap reaches.
@settings(max_examples=15, deadline=None)
@given(st.integers(0, 2**32), st.integers(200, 800), st.integers(1, 4))
def test_documents_sharing_rare_terms_match_the_definition(seed, vocabulary, most_shared):
    rng = random.Random(seed)
    simplices = zipf_like(rng, 350, vocabulary, (4, 20), exponent=1.1)
    fresh = vocabulary
    for _ in range(40):
        terms = list(range(fresh, fresh + rng.randint(1, most_shared)))
        fresh += len(terms)
        for i in rng.sample(range(len(simplices)), rng.randint(2, 4)):
            simplices[i] = simplices[i] + terms
    assume(goes_through_hubs(simplices))
    assert hierarchy(simplices) == levels_by_definition(simplices)


def alike_in_frequent_terms(rng, count, templates, vocabulary):
    """Each document takes one of a few sets of frequent terms and adds a few
    terms of skewed frequency, so that many documents holding a mid-frequency
    term agree on all their heavier terms."""
    frequent = [rng.sample(range(40), rng.randint(2, 12)) for _ in range(templates)]
    return [rng.choice(frequent) + [40 + int(vocabulary ** rng.random()) for _ in range(rng.randint(1, 6))]
            for _ in range(count)]


@settings(max_examples=20, deadline=None)
@given(st.integers(0, 2**32), st.integers(1, 6), st.integers(50, 2000), st.integers(300, 400))
def test_documents_alike_in_frequent_terms_match_the_definition(seed, templates, vocabulary, count):
    rng = random.Random(seed)
    simplices = alike_in_frequent_terms(rng, count, templates, vocabulary)
    assume(goes_through_hubs(simplices))
    assert hierarchy(simplices) == levels_by_definition(simplices)


def test_a_single_hub_in_every_simplex_is_linear():
    simplices = [[0, i] for i in range(1, 300_000)]
    start = time.perf_counter()
    levels = hierarchy(simplices)
    call = time.perf_counter() - start
    start = time.perf_counter()
    pickle.loads(pickle.dumps(levels))
    materialise = time.perf_counter() - start
    assert levels[0] == [set(range(len(simplices)))]
    assert levels[1] == [{i} for i in range(len(simplices))]
    # Counting every overlap through the hub takes minutes; building the result
    # dominates a linear route.
    assert call < 10 * materialise + 1.0
