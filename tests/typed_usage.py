"""Typed calls of every korvane function, checked by mypy --strict against the stub.

The functions here run for real in the typing tests, so the declared types are
also checked against the values the module returns. Each call in misuse() is
wrong in one way and must stay an error: --strict warns about an ignore that
no longer silences anything.
"""

from __future__ import annotations

from collections.abc import Sequence

import korvane


def simplicial_levels() -> list[list[set[int]]]:
    simplices: list[Sequence[int]] = [[0, 1, 2], (1, 2, 3), range(4, 5)]
    return korvane.py_find_hierarchical_q_components(simplices)


def graph_levels(max_q: int | None) -> list[list[set[int]]]:
    edges = [(0, 1), (0, 2), (1, 2), (2, 3)]
    return korvane.py_find_hierarchical_q_components_within_graph(edges, max_q)


def persistence() -> list[tuple[tuple[int, list[int]], float, float]]:
    records = korvane.py_calculate_persistent_q_components(edges=((1, 2, 0.5), (2, 3, 1)), max_q=None)
    longest = max((death - birth for _, birth, death in records), default=0.0)
    return [((q, vertices), birth, death) for (q, vertices), birth, death in records if death - birth == longest]


def internal_failure_is_not_an_exception(error: korvane.PanicException) -> BaseException:
    return error


def misuse() -> None:
    korvane.py_find_hierarchical_q_components("abc")  # type: ignore[arg-type]
    korvane.py_find_hierarchical_q_components([[0.5]])  # type: ignore[list-item]
    korvane.py_find_hierarchical_q_components_within_graph([[0, 1]], None)  # type: ignore[list-item]
    korvane.py_find_hierarchical_q_components_within_graph([(0, 1)])  # type: ignore[call-arg]
    korvane.py_find_hierarchical_q_components_within_graph([(0, 1)], 1.5)  # type: ignore[arg-type]
    korvane.py_calculate_persistent_q_components([(0, 1)], None)  # type: ignore[list-item]
    korvane.py_calculate_persistent_q_components([(0, 1, "heavy")], None)  # type: ignore[list-item]
    vertex_lists: list[list[int]] = korvane.py_find_hierarchical_q_components([])  # type: ignore[assignment]
    records: list[tuple[int, float, float]] = korvane.py_calculate_persistent_q_components([], 0)  # type: ignore[assignment]
    del vertex_lists, records
    exception: Exception = korvane.PanicException()  # type: ignore[assignment]
    del exception
