"""The backend's graph: a networkx graph's nodes as dense ids, and its
adjacency as the edge list korvane reads."""

import gc
from collections import Counter
from contextlib import contextmanager
from itertools import chain, repeat


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

    ``labels[i]`` is the node with id i, in networkx's node order. ``arcs``
    holds ``(i, j)`` for every entry j in the adjacency of i: each undirected
    edge twice, once per direction, and a self-loop once as ``(i, i)``.
    korvane reads a repeated edge once and a self-loop as a vertex without an
    edge, so the list goes to it as it is, with no pass to drop either; a
    node without edges is not in it (it belongs to no clique of two or more
    nodes). Parallel edges of a multigraph are one entry, and attributes are
    not kept, since clique percolation reads neither. ``degree_counts`` maps
    each degree (adjacency entries, a self-loop counting once) to the number
    of nodes that have it. ``communities[q]`` lists, as tuples of ids, the
    k-clique communities for k = q + 2 of every level q that a korvane call
    on this graph has shown whole; ``clique_number`` is the size of the
    largest clique once a call has shown it, else None.
    """

    __networkx_backend__ = "korvane"
    __slots__ = ("labels", "arcs", "degree_counts", "directed", "multigraph", "graph", "communities", "clique_number")

    def __init__(self, labels, arcs, degree_counts, directed, multigraph, graph):
        self.labels = labels
        self.arcs = arcs
        self.degree_counts = degree_counts
        self.directed = directed
        self.multigraph = multigraph
        self.graph = graph
        self.communities = []
        self.clique_number = None

    def __repr__(self):
        kind = ("Multi" if self.multigraph else "") + ("DiGraph" if self.directed else "Graph")
        return f"<KorvaneGraph of a {kind}: {len(self.labels)} nodes, {len(self.arcs)} adjacency entries>"


def from_networkx(G, keep_graph_attributes=False):
    """Converts a networkx graph (any class or view) in one pass over its
    adjacency. The id of a neighbour is found by a dict lookup, and the pairs
    are made by C-level iterators, with no Python-level loop per entry."""
    adjacency = G._adj
    labels = list(adjacency)
    index = dict(zip(labels, range(len(labels))))
    neighbours = adjacency.values()
    degrees = list(map(len, neighbours))
    with collector_paused():
        arcs = list(
            zip(
                chain.from_iterable(map(repeat, range(len(labels)), degrees)),
                map(index.__getitem__, chain.from_iterable(neighbours)),
            )
        )
    return KorvaneGraph(
        labels,
        arcs,
        Counter(degrees),
        G.is_directed(),
        G.is_multigraph(),
        dict(G.graph) if keep_graph_attributes else {},
    )


def to_networkx(graph):
    """A networkx graph of the same kind with the nodes and edges the backend
    saw (self-loops included; no attributes, no parallel edges)."""
    import networkx as nx

    if graph.directed:
        result = nx.MultiDiGraph() if graph.multigraph else nx.DiGraph()
    else:
        result = nx.MultiGraph() if graph.multigraph else nx.Graph()
    result.graph.update(graph.graph)
    labels = graph.labels
    result.add_nodes_from(labels)
    directed = graph.directed
    result.add_edges_from((labels[i], labels[j]) for i, j in graph.arcs if directed or i <= j)
    return result
