"""Graph clique-complex levels on seeded graphs: sparse random graphs (average
degree 4), preferential-attachment graphs (3 edges per new vertex) and a sparse
graph of 40,000 edges with a planted clique; each uncapped and with max_q = 3.
Prints call time, the time to materialise the result's objects (pickle round
trip) and their ratio."""

import random
from itertools import combinations

import korvane
from common import best_time, materialisation_time, print_table


def sparse_random(edge_count, seed):
    rng = random.Random(seed)
    n = edge_count // 2
    return [(rng.randrange(n), rng.randrange(n)) for _ in range(edge_count)]


def preferential_attachment(edge_count, seed, per_vertex=3):
    """Each new vertex links to `per_vertex` distinct earlier ones, chosen with
    probability proportional to their degree."""
    rng = random.Random(seed)
    ends = list(range(per_vertex))
    edges = []
    vertex = per_vertex
    while len(edges) < edge_count:
        targets = set()
        while len(targets) < per_vertex:
            targets.add(rng.choice(ends))
        for t in targets:
            edges.append((vertex, t))
            ends += (vertex, t)
        vertex += 1
    return edges


def with_planted_clique(edges, clique_size, seed):
    rng = random.Random(seed)
    vertices = sorted({v for e in edges for v in e})
    return edges + list(combinations(rng.sample(vertices, clique_size), 2))


def main():
    graphs = [(f"sparse random {m:,}", sparse_random(m, seed=m)) for m in (10_000, 40_000, 160_000)]
    graphs += [(f"pref. attachment {m:,}", preferential_attachment(m, seed=m)) for m in (10_000, 40_000, 160_000)]
    base = sparse_random(40_000, seed=7)
    graphs += [(f"planted {k}-clique", with_planted_clique(base, k, seed=k)) for k in (20, 30, 40)]

    rows = []
    for name, edges in graphs:
        for max_q in (None, 3):
            call, levels = best_time(lambda: korvane.py_find_hierarchical_q_components_within_graph(edges, max_q), repeat=5)
            materialise = materialisation_time(levels)
            output = sum(len(c) for level in levels for c in level)
            rows.append([name, f"{len(edges):,}", str(max_q), len(levels), f"{output:,}",
                         f"{call * 1e3:.1f}", f"{materialise * 1e3:.1f}", f"{call / materialise:.2f}"])
    print_table(["graph", "edges", "max_q", "levels", "output ids", "call ms", "materialise ms", "ratio"], rows)


if __name__ == "__main__":
    main()
