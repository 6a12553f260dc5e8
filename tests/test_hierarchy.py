"""The q-component hierarchy of a list of simplices."""

import copy

import pytest
from hypothesis import given, settings, strategies as st

import korvane
from reference import reference_simplicial_levels

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
