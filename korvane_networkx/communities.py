"""k-clique communities (clique percolation, Palla et al. 2005) from
korvane's graph q-components.

At level q = k - 2 the q-components of a graph are the classes of its
cliques of at least k - 1 nodes, two cliques joined when they share k - 1
nodes. A class holding a k-clique covers exactly one k-clique community (a
(k-1)-clique that meets it lies inside one of its k-cliques); a class of a
lone (k-1)-clique has k - 1 nodes and is dropped. Cliques of more than k nodes
only add k-cliques that share k - 1 nodes with one another, so level k - 2 is
the same whether korvane caps the cliques at k nodes or not.

Which of the two calls runs: the capped call lists every k-clique on its own
at its top level, C(s, k) of them inside an s-clique, so on a graph with
cliques much larger than k it can cost far more than the uncapped call, which
works from the maximal cliques (as networkx's own function does). The cap is
used where that listing is known to stay small: for k = 2 (one entry per
edge), and where the degrees bound the k-cliques to at most CLIQUES_PER_EDGE
per edge (a node of degree d lies in at most C(d, k - 1) of them). Otherwise
the call is uncapped.

Either call gives more than one k: every level below a cap that binds is
whole, and without one every level is. The communities of each whole level
are kept on the backend graph, which networkx caches, so that a later call on
the same graph for such a k, or for a k above the clique number, makes no
korvane call at all.
"""

import math
import operator

import networkx as nx

import korvane

from .graph import KorvaneGraph, collector_paused, from_networkx

# The capped call lists each k-clique with its k ids. On Holme-Kim graphs,
# whose degree bound for triangles comes to 12-19 per edge (the true count
# about 0.7), and on dense random graphs, the capped call for k = 3 takes a
# half to a fifteenth of the uncapped one; where cliques are large (random
# geometric graphs) it can take up to three times as long.
CLIQUES_PER_EDGE = 20


def clique_size(k):
    """The clique size that k stands for, or None when no clique is that
    large. networkx keeps the cliques of at least k nodes and joins two that
    share at least k - 1; for a real k both are whole numbers of nodes, so
    they read as ceil(k) and ceil(k) - 1. An infinite or NaN k keeps no
    clique."""
    try:
        return operator.index(k)
    except TypeError:
        pass
    return math.ceil(k) if math.isfinite(k) else None


def k_clique_communities(G, k, cliques=None):
    """networkx's k_clique_communities on korvane: a generator of the
    k-clique communities of G, each a frozenset of G's nodes.

    As in networkx, nothing is checked or computed until the first item is
    asked for: a k below 2 then raises NetworkXError, and a directed graph
    NetworkXNotImplemented. Precomputed cliques are networkx's to use (the
    backend's can_run hands such calls back), so they raise
    NotImplementedError here, at once, where the dispatcher looks for it."""
    if cliques is not None:
        raise NotImplementedError("korvane finds the cliques itself; precomputed cliques are left to networkx")
    return _communities(G, k)


def _communities(G, k):
    if k < 2:
        raise nx.NetworkXError(f"k={k}, k must be greater than 1.")
    if not isinstance(G, KorvaneGraph):
        G = from_networkx(G)
    if G.directed:
        raise nx.NetworkXNotImplemented("not implemented for directed type")
    size = clique_size(k)
    labels = G.labels
    if size is None or size > len(labels):
        return
    with collector_paused():
        communities = [frozenset(map(labels.__getitem__, c)) for c in _community_ids(G, size)]
    yield from communities


def _community_ids(G, size):
    """The k-clique communities for k = size, as tuples of ids: from what
    earlier calls on G kept, or from a new korvane call."""
    if size - 2 >= len(G.communities) and G.clique_number is None:
        cap = size if _cap_is_cheap(G, size) else None
        levels = korvane.py_find_hierarchical_q_components_within_graph(G.arcs, cap)
        if cap is None or len(levels) < cap:  # no cap, or one that did not bind
            G.clique_number = whole = len(levels)
        else:
            whole = cap - 1  # the top level lists every cap-clique on its own
        G.communities = [[tuple(c) for c in level if len(c) >= q + 2] for q, level in enumerate(levels[:whole])]
    return G.communities[size - 2] if size - 2 < len(G.communities) else []


def _cap_is_cheap(G, size):
    if size == 2:
        return True
    # Each k-clique is counted once per member, among C(d, k - 1) choices of
    # that member's neighbours; arcs hold each edge twice.
    bound = sum(count * math.comb(degree, size - 1) for degree, count in G.degree_counts.items())
    return bound <= CLIQUES_PER_EDGE * size * len(G.arcs) // 2
