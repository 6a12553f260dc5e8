"""The backend's graph: a networkx graph's nodes as dense ids, and its
adjacency as the compressed sparse rows korvane reads."""

import gc
import sys
from contextlib import contextmanager
from itertools import accumulate, chain

import korvane


@contextmanager
def collector_paused():
    """Pauses the cyclic garbage collector while a large batch of new objects
    is made: none of them can be garbage yet, and each collection meanwhile
    would walk the whole heap, the input graph included. A collector that was
    already off stays off."""
    enabled = gc.isenabled()
    gc.disable()
    try:
        yield
    finally:
        if enabled:
            gc.enable()


class KorvaneGraph:
    """A networkx graph as korvane sees it.

    ``labels[i]`` is the node with id i, in networkx's node order. The
    adjacency is held as compressed sparse rows: node i has the neighbours
    ``indices[indptr[i]:indptr[i + 1]]``, in networkx's order, so each
    undirected edge is listed from both ends and a self-loop once. korvane
    reads a repeated edge once and ignores self-loops, so the rows go to it as
    they are. Parallel edges of a multigraph are one entry, and attributes are
    not kept, since clique percolation reads neither. ``communities`` maps
    each k computed on this graph to its communities, as lists of ids;
    ``empty_from`` is the smallest k known to have none (every larger k has
    none either), else None.
    """

    __networkx_backend__ = "korvane"
    __slots__ = ("labels", "indptr", "indices", "directed", "multigraph", "graph", "communities", "empty_from")

    def __init__(self, labels, indptr, indices, directed, multigraph, graph):
        self.labels = labels
        self.indptr = indptr
        self.indices = indices
        self.directed = directed
        self.multigraph = multigraph
        self.graph = graph
        self.communities = {}
        self.empty_from = None

    def __repr__(self):
        kind = ("Multi" if self.multigraph else "") + ("DiGraph" if self.directed else "Graph")
        return f"<KorvaneGraph of a {kind}: {len(self.labels)} nodes, {len(self.indices)} adjacency entries>"


def from_networkx(G, keep_graph_attributes=False):
    """Converts a networkx graph (any class or view) in one pass over its
    adjacency."""
    labels, indptr, indices = _rows(G._adj)
    return KorvaneGraph(
        labels,
        indptr,
        indices,
        G.is_directed(),
        G.is_multigraph(),
        dict(G.graph) if keep_graph_attributes else {},
    )


def _python_rows(adjacency):
    """korvane.adjacency_rows in Python: a dict lookup per entry, made by
    C-level iterators, with no Python-level loop and no tuple per edge. PyPy
    runs this faster than the native function, whose every object read
    crosses PyPy's C API emulation."""
    labels = list(adjacency)
    index = dict(zip(labels, range(len(labels))))
    neighbours = adjacency.values()
    with collector_paused():
        indices = list(map(index.__getitem__, chain.from_iterable(neighbours)))
    return labels, list(accumulate(map(len, neighbours), initial=0)), indices


_rows = korvane.adjacency_rows if sys.implementation.name == "cpython" else _python_rows


def to_networkx(graph):
    """A networkx graph of the same kind with the nodes and edges the backend
    saw (self-loops included; no attributes, no parallel edges)."""
    import networkx as nx

    if graph.directed:
        result = nx.MultiDiGraph() if graph.multigraph else nx.DiGraph()
    else:
        result = nx.MultiGraph() if graph.multigraph else nx.Graph()
    result.graph.update(graph.graph)
    labels, indptr, indices = graph.labels, graph.indptr, graph.indices
    result.add_nodes_from(labels)
    directed = graph.directed
    result.add_edges_from(
        (labels[i], labels[j])
        for i in range(len(labels))
        for j in indices[indptr[i] : indptr[i + 1]]
        if directed or i <= j
    )
    return result
