"""Persistent q-components on seeded weighted graphs: sparse random graphs of
growing size (uniform edges on twice as many vertices as edges, uniform
weights), a preferential-attachment graph with uniform weights, the Les
Miserables co-appearance network (weights as given, then negated) and a dense
random 60-vertex graph. Prints call time, record count, output vertex ids, the
time to materialise the result's objects (pickle round trip) and their ratio."""

import random

import networkx as nx

import korvane
from common import best_time, materialisation_time, print_table


def sparse_random(edge_count, seed):
    rng = random.Random(seed)
    vertex_count = 2 * edge_count
    return [(rng.randrange(vertex_count), rng.randrange(vertex_count), rng.random()) for _ in range(edge_count)]


def preferential_attachment(vertex_count, degree, seed):
    rng = random.Random(seed)
    graph = nx.barabasi_albert_graph(vertex_count, degree, seed=seed)
    return [(u, v, rng.random()) for u, v in graph.edges()]


def les_miserables(sign):
    graph = nx.les_miserables_graph()
    index = {name: i for i, name in enumerate(sorted(graph))}
    return [(index[a], index[b], sign * float(w)) for a, b, w in graph.edges(data="weight")]


def dense_random(vertex_count, density, seed):
    rng = random.Random(seed)
    return [
        (u, v, rng.random())
        for u in range(vertex_count)
        for v in range(u + 1, vertex_count)
        if rng.random() < density
    ]


def cases():
    for count in (1_000, 4_000, 16_000, 64_000):
        yield f"sparse random, {count:,} edges", sparse_random(count, seed=count)
    yield "preferential attachment, 5,000 x 3", preferential_attachment(5_000, 3, seed=7)
    yield "Les Miserables", les_miserables(1.0)
    yield "Les Miserables, negated", les_miserables(-1.0)
    yield "dense random, 60 vertices, p = 0.5", dense_random(60, 0.5, seed=60)


def main():
    rows = []
    for name, edges in cases():
        call, records = best_time(lambda: korvane.py_calculate_persistent_q_components(edges, None))
        materialise = materialisation_time(records)
        output = sum(len(vertices) for (_, vertices), _, _ in records)
        rows.append(
            [
                name,
                f"{len(edges):,}",
                f"{len(records):,}",
                f"{output:,}",
                f"{call * 1e3:.1f}",
                f"{materialise * 1e3:.1f}",
                f"{call / materialise:.2f}",
            ]
        )
    print_table(["graph", "edges", "records", "output ids", "call ms", "materialise ms", "ratio"], rows)


if __name__ == "__main__":
    main()
