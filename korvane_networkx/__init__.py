"""korvane as a networkx backend: ``k_clique_communities`` by exact clique
percolation in C++.

networkx finds this package through two entry points: ``networkx.backends``
(``korvane_networkx.interface:backend_interface``, loaded on the first call
dispatched to korvane) and ``networkx.backend_info`` (``get_info`` below,
called while networkx itself is imported). This module is therefore kept
free of imports: neither networkx nor the extension is loaded until a call
needs them.

Turn the backend on per call with ``backend="korvane"``, or for every call
with ``nx.config.backend_priority = ["korvane"]`` or the environment variable
``NETWORKX_BACKEND_PRIORITY=korvane`` (``NETWORKX_AUTOMATIC_BACKENDS`` in
older networkx releases).
"""

__all__ = ["get_info"]

_K_CLIQUE_NOTE = """\
Exact clique percolation in C++: korvane builds the k-clique communities of
one k alone, from the k-cliques where they are few, else from the maximal
cliques of at least k nodes. The communities of
each k are kept on the converted graph, so that a later call for the same k
on the same graph makes no new computation. Any hashable node labels;
directed graphs raise as in networkx, and multigraphs count each pair of
neighbours once. A precomputed ``cliques`` argument, or a ``k`` that is not a
real number, is left to networkx."""


def get_info():
    """What networkx's ``backend_info`` shows for korvane: the backend's name,
    where it comes from, and a note on each function it implements (networkx
    adds the note to that function's docstring)."""
    return {
        "backend_name": "korvane",
        "project": "korvane",
        "package": "korvane",
        "url": "https://example.org/korvane",
        "short_summary": "Exact q-connectivity and clique percolation in C++.",
        "functions": {
            # networkx 3.2 reads "extra_docstring", later releases "additional_docs".
            "k_clique_communities": {"additional_docs": _K_CLIQUE_NOTE, "extra_docstring": _K_CLIQUE_NOTE},
        },
    }
