"""Typed calls of every korvane function, checked by mypy --strict against the stub.

The functions here run for real in the typing tests, so the declared types are
also checked against the values the module returns; numpy and networkx are
imported where they are used, so that the rest runs without them. Each call in misuse() is
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


def numpy_scalars() -> tuple[list[list[set[int]]], list[tuple[tuple[int, list[int]], float, float]]]:
    # Ids and max_q may be any integer the interpreter can index with, weights anything float() reads.
    import numpy as np

    a, b, c = np.int64(0), np.int64(1), np.uint32(2)
    levels = korvane.py_find_hierarchical_q_components_within_graph([(a, b), (b, c), (a, c)], np.int64(2))
    simplices = korvane.py_find_hierarchical_q_components(np.array([[0, 1, 2], [1, 2, 3]]))
    assert simplices == [[{0, 1}], [{0, 1}], [{0}, {1}]]
    records = korvane.py_calculate_persistent_q_components(
        [(a, b, np.float64(0.5)), (b, c, np.float32(0.25)), (a, c, 0.75)], np.uint8(3)
    )
    return levels, records


def networkx_edge_views() -> tuple[list[list[set[int]]], list[tuple[tuple[int, list[int]], float, float]]]:
    import networkx as nx

    graph: nx.Graph[int] = nx.Graph()
    graph.add_weighted_edges_from([(0, 1, 0.5), (1, 2, 0.25), (0, 2, 0.75), (2, 3, 1.0)])
    levels = korvane.py_find_hierarchical_q_components_within_graph(graph.edges, None)
    weighted = [(u, v, float(w)) for u, v, w in graph.edges(data="weight", default=1.0)]
    return levels, korvane.py_calculate_persistent_q_components(weighted, None)


def clique_percolation() -> list[list[str]]:
    adjacency = {"a": ["b", "c"], "b": ["a", "c"], "c": ["a", "b", "d"], "d": ["c"]}
    labels, indptr, indices = korvane.adjacency_rows(adjacency)
    first: str = labels[0]
    del first
    return [[labels[v] for v in c] for c in korvane.clique_communities(indptr, indices, 3)]


def internal_failure_is_not_an_exception(error: korvane.PanicException) -> BaseException:
    return error


def misuse() -> None:
    import networkx as nx

    korvane.py_find_hierarchical_q_components("abc")  # type: ignore[arg-type]
    korvane.py_find_hierarchical_q_components([[0.5]])  # type: ignore[list-item]
    korvane.py_find_hierarchical_q_components([{0, 1}])  # type: ignore[list-item]
    korvane.py_find_hierarchical_q_components_within_graph(iter([(0, 1)]), None)  # type: ignore[arg-type]
    graph: nx.Graph[int] = nx.Graph([(0, 1)])
    korvane.py_calculate_persistent_q_components(graph.edges(data="weight"), None)  # type: ignore[arg-type]
    korvane.py_find_hierarchical_q_components_within_graph([[0, 1]], None)  # type: ignore[list-item]
    korvane.py_find_hierarchical_q_components_within_graph([(0, 1)])  # type: ignore[call-arg]
    korvane.py_find_hierarchical_q_components_within_graph([(0, 1)], 1.5)  # type: ignore[arg-type]
    korvane.py_calculate_persistent_q_components([(0, 1)], None)  # type: ignore[list-item]
    korvane.py_calculate_persistent_q_components([(0, 1, "heavy")], None)  # type: ignore[list-item]
    vertex_lists: list[list[int]] = korvane.py_find_hierarchical_q_components([])  # type: ignore[assignment]
    records: list[tuple[int, float, float]] = korvane.py_calculate_persistent_q_components([], 0)  # type: ignore[assignment]
    del vertex_lists, records
    korvane.clique_communities([0], [], 2.5)  # type: ignore[arg-type]
    korvane.adjacency_rows([("a", "b")])  # type: ignore[arg-type]
    exception: Exception = korvane.PanicException()  # type: ignore[assignment]
    del exception
