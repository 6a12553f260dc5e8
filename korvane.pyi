from collections.abc import Hashable, Iterable, Iterator, Mapping
from typing import Any, Literal, Protocol, SupportsFloat, SupportsIndex, TypeVar

__all__ = [
    "py_find_hierarchical_q_components",
    "py_calculate_persistent_q_components",
    "py_find_hierarchical_q_components_within_graph",
]

__version__: str

_T_co = TypeVar("_T_co", covariant=True)
_L = TypeVar("_L", bound=Hashable)

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

# Clique percolation for one k, from compressed sparse rows. Outside __all__.

def clique_communities(
    indptr: _ReadAsSequence[SupportsIndex], indices: _ReadAsSequence[SupportsIndex], k: SupportsIndex
) -> list[list[int]]:
    """The k-clique communities of the graph whose vertex i has the neighbours
    indices[indptr[i]:indptr[i + 1]], as ascending vertex lists in ascending order."""

def adjacency_rows(adjacency: Mapping[_L, Iterable[_L]]) -> tuple[list[_L], list[int], list[int]]:
    """(labels, indptr, indices) of a mapping from each node to its neighbours, for
    clique_communities: node labels[i] has the neighbours labels[j] for j in
    indices[indptr[i]:indptr[i + 1]]."""

# The community tree: the persistence records without their repeated listing,
# and the queries that read it. Outside __all__.

_TreeRecord = tuple[int, float, float, tuple[int, ...], list[int]]

def persistence_tree(
    edges: _ReadAsSequence[tuple[SupportsIndex, SupportsIndex, SupportsFloat]],
    max_q: SupportsIndex | None,
    *,
    ties: Literal["separate", "grouped"] = "separate",
) -> list[_TreeRecord]:
    """(q, birth, death, parents, added) per record: its vertex set is the union of the
    parents' sets (earlier records) and its added vertices. ties="grouped" adds all edges
    of one weight in one step."""

def tree_vertices(tree: _ReadAsSequence[_TreeRecord], record: SupportsIndex) -> list[int]:
    """The vertex set of one record, ascending."""

def tree_alive(
    tree: _ReadAsSequence[_TreeRecord], q: SupportsIndex, weight: SupportsFloat
) -> list[tuple[int, list[int]]]:
    """(index, vertices) of the records at level q with birth <= weight < death."""

def tree_communities(
    tree: _ReadAsSequence[_TreeRecord], k: SupportsIndex, weight: SupportsFloat
) -> list[tuple[int, list[int]]]:
    """(index, vertices) of the k-clique communities of the edges of weight <= weight."""

def tree_records(tree: _ReadAsSequence[_TreeRecord]) -> list[tuple[tuple[int, list[int]], float, float]]:
    """The records of py_calculate_persistent_q_components, one per record of the tree."""
