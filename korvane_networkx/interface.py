"""The object networkx's dispatcher loads through the ``networkx.backends``
entry point: the functions korvane implements, the conversions to and from
networkx graphs, and ``can_run``, which hands back the calls korvane does not
take."""

import numbers
import operator

from .communities import k_clique_communities
from .graph import KorvaneGraph, from_networkx, to_networkx

_MISSING = object()


def _argument(args, kwargs, position, name):
    return args[position] if len(args) > position else kwargs.get(name, _MISSING)


def _is_real(value):
    try:
        operator.index(value)
    except TypeError:
        return isinstance(value, numbers.Real)
    return True


class BackendInterface:
    """korvane's networkx backend."""

    k_clique_communities = staticmethod(k_clique_communities)

    @staticmethod
    def convert_from_nx(
        graph,
        *,
        edge_attrs=None,
        node_attrs=None,
        preserve_edge_attrs=False,
        preserve_node_attrs=False,
        preserve_graph_attrs=False,
        name=None,
        graph_name=None,
    ):
        """The backend graph of a networkx graph. Node and edge attributes are
        never needed (no implemented function reads them); the graph's own
        attributes are kept when networkx asks, as it does when it caches the
        result on the original graph."""
        if isinstance(graph, KorvaneGraph):
            return graph
        return from_networkx(graph, keep_graph_attributes=bool(preserve_graph_attrs))

    @staticmethod
    def convert_to_nx(obj, *, name=None):
        """A backend graph back as a networkx graph; results pass unchanged."""
        return to_networkx(obj) if isinstance(obj, KorvaneGraph) else obj

    @staticmethod
    def can_run(name, args, kwargs):
        """True, or the reason a call is left to networkx: precomputed cliques,
        or a k that is no real number (networkx compares it as it is)."""
        if name != "k_clique_communities":
            return False
        cliques = _argument(args, kwargs, 2, "cliques")
        if cliques is not None and cliques is not _MISSING:  # by identity: an array has no truth value
            return "precomputed cliques are left to networkx"
        k = _argument(args, kwargs, 1, "k")
        if k is not _MISSING and not _is_real(k):
            return f"k={k!r} is not a real number; left to networkx"
        return True


backend_interface = BackendInterface()
