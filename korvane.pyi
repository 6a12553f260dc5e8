from collections.abc import Iterator
from typing import Any, Protocol, SupportsFloat, SupportsIndex, TypeVar

__all__ = [
    "py_find_hierarchical_q_components",
    "py_calculate_persistent_q_components",
    "py_find_hierarchical_q_components_within_graph",
]

__version__: str

_T_co = TypeVar("_T_co", covariant=True)

class _ReadAsSequence(Protocol[_T_co]):
    """What an argument may be: iterable, with item access (a list, tuple, range,
    array row or a graph library's edge view), read once in order. Sets and
    one-shot iterators have no item access and are refused."""

    def __getitem__(self, key: Any, /) -> Any: ...
    def __iter__(self) -> Iterator[_T_co]: ...

class PanicException(BaseException):
    """An internal invariant of the native code failed."""

def py_find_hierarchical_q_components(
    py_simplices: _ReadAsSequence[_ReadAsSequence[SupportsIndex]],
) -> list[list[set[int]]]:
    """q-components of simplices, per level q ascending, as sets of simplex positions."""

def py_find_hierarchical_q_components_within_graph(
    edges: _ReadAsSequence[tuple[SupportsIndex, SupportsIndex]], max_q: SupportsIndex | None
) -> list[list[set[int]]]:
    """q-components of a graph's clique complex, per level q ascending, as vertex sets; max_q caps the clique size."""

def py_calculate_persistent_q_components(
    edges: _ReadAsSequence[tuple[SupportsIndex, SupportsIndex, SupportsFloat]], max_q: SupportsIndex | None
) -> list[tuple[tuple[int, list[int]], float, float]]:
    """((q, vertices), birth, death) of every component as weighted edges are added in ascending weight."""
