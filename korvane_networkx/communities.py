"""k-clique communities (clique percolation, Palla et al. 2005) from
korvane's ``clique_communities``.

korvane computes the communities of one k alone: level k - 2 of its graph
q-components without the components of fewer than k nodes, from the
k-cliques where they are few, else from the maximal cliques of at least k
nodes. No other level is built.

The communities of each k are kept on the backend graph, which networkx
caches, so that a later call on the same graph for that k makes no korvane
call; once a k has none, no larger k has any (a community of (k+1)-cliques
holds k-cliques), and those calls make none either.
"""

import math
import operator

import networkx as nx

import korvane

from .graph import KorvaneGraph, collector_paused, from_networkx


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
    """The k-clique communities for k = size, as lists of ids: from what
    earlier calls on G kept, or from a new korvane call."""
    if G.empty_from is not None and size >= G.empty_from:
        return []
    found = G.communities.get(size)
    if found is None:
        found = G.communities[size] = korvane.clique_communities(G.indptr, G.indices, size)
        if not found and (G.empty_from is None or size < G.empty_from):
            G.empty_from = size
    return found
