"""Graph clique-complex levels of dense graphs under a small cap: seeded G(n, p)
(each pair u < v kept with probability p) and complete graphs K_n, with max_q
= 2, 3 and 4. Prints call time, the time to materialise the result's objects
(pickle round trip), python-igraph's time to list the cliques of max_q
vertices when it is installed, and the ratios."""

import random
from itertools import combinations

import korvane
from common import best_time, materialisation_time, print_table

try:
    import igraph
except ImportError:
    igraph = None


def gnp(n, p, seed):
    rng = random.Random(seed)
    return [(u, v) for u in range(n) for v in range(u + 1, n) if rng.random() < p]


def main():
    graphs = [(f"G({n}, {p})", gnp(n, p, seed=n)) for n in (50, 70, 120) for p in (0.5, 0.7, 0.8)]
    graphs += [(f"K_{n}", list(combinations(range(n), 2))) for n in (50, 80, 120)]
    rows = []
    for name, edges in graphs:
        for max_q in (2, 3, 4):
            repeat = 5 if len(edges) * max_q < 20_000 else 2
            call, levels = best_time(lambda: korvane.py_find_hierarchical_q_components_within_graph(edges, max_q), repeat)
            materialise = materialisation_time(levels, repeat)
            row = [name, max_q, f"{len(levels[-1]):,}", f"{call * 1e3:.1f}", f"{materialise * 1e3:.1f}",
                   f"{call / materialise:.2f}"]
            if igraph is not None:
                graph = igraph.Graph(edges=edges)
                listing = best_time(lambda: graph.cliques(min=max_q, max=max_q), repeat)[0]
                row += [f"{listing * 1e3:.1f}", f"{call / listing:.2f}"]
            rows.append(row)
    headers = ["graph", "max_q", "top cliques", "call ms", "materialise ms", "ratio"]
    if igraph is not None:
        headers += ["igraph ms", "vs igraph"]
    print_table(headers, rows)


if __name__ == "__main__":
    main()
