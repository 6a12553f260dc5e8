from collections.abc import Sequence

__all__ = [
    "py_find_hierarchical_q_components",
    "py_calculate_persistent_q_components",
    "py_find_hierarchical_q_components_within_graph",
]

class PanicException(BaseException):
    """An internal invariant of the native code failed."""

def py_find_hierarchical_q_components(py_simplices: Sequence[Sequence[int]]) -> list[list[set[int]]]:
    """q-components of simplices, per level q ascending, as sets of simplex positions."""

def py_find_hierarchical_q_components_within_graph(edges: Sequence[tuple[int, int]], max_q: int | None) -> list[list[set[int]]]:
    """q-components of a graph's clique complex, per level q ascending, as vertex sets; max_q caps the clique size."""

def py_calculate_persistent_q_components(
    edges: Sequence[tuple[int, int, float]], max_q: int | None
) -> list[tuple[tuple[int, list[int]], float, float]]:
    """((q, vertices), birth, death) of every component as weighted edges are added in ascending weight."""
