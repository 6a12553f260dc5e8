"""Uncapped graph levels on dense random graphs G(n, p) (seeded with n, each
pair kept with probability p), against python-igraph's maximal_cliques() on the
same graph, measured in the same run (igraph is a peer, not a dependency)."""

import random

import igraph

import korvane
from common import best_time, print_table


def dense_random(n, p, seed):
    rng = random.Random(seed)
    return [(u, v) for u in range(n) for v in range(u + 1, n) if rng.random() < p]


def main():
    rows = []
    for n, p in [(50, 0.7), (70, 0.7), (90, 0.7), (60, 0.8), (100, 0.6), (120, 0.5)]:
        edges = dense_random(n, p, n)
        graph = igraph.Graph(n=n, edges=edges)
        cliques_time, cliques = best_time(graph.maximal_cliques)
        call, levels = best_time(lambda: korvane.py_find_hierarchical_q_components_within_graph(edges, None))
        rows.append([f"G({n}, {p})", f"{len(cliques):,}", len(levels), f"{cliques_time * 1e3:.1f}",
                     f"{call * 1e3:.1f}", f"{call / cliques_time:.2f}"])
    print_table(["graph", "maximal cliques", "levels", "igraph ms", "call ms", "ratio"], rows)


if __name__ == "__main__":
    main()
