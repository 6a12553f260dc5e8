"""Two threads running independent calls at once, against one call alone and
two calls one after the other. The native computation runs without the
interpreter lock, so on a machine with two free cores the two threads finish in
about the time of one call; only the conversions in and out are serialised.
Inputs are seeded and chosen so that the computation, not the conversion,
dominates each call."""

import os
import random
import threading
import time

import korvane
from common import print_table


def random_complex(count, pool, size, seed):
    rng = random.Random(seed)
    return [rng.sample(range(pool), size) for _ in range(count)]


def random_graph(vertices, probability, seed, weighted=False):
    rng = random.Random(seed)
    edges = []
    for u in range(vertices):
        for v in range(u + 1, vertices):
            if rng.random() < probability:
                edges.append((u, v, rng.random()) if weighted else (u, v))
    return edges


def timed(run, repeat=3):
    best = float("inf")
    for _ in range(repeat):
        start = time.perf_counter()
        run()
        best = min(best, time.perf_counter() - start)
    return best


def in_two_threads(call):
    start = threading.Barrier(2)

    def worker():
        start.wait()
        call()

    def run():
        threads = [threading.Thread(target=worker) for _ in range(2)]
        for thread in threads:
            thread.start()
        for thread in threads:
            thread.join()

    return run


def main():
    simplices = random_complex(8_000, 120, 12, seed=1)
    graph_edges = random_graph(90, 0.45, seed=2)
    weighted_edges = random_graph(40, 0.35, seed=3, weighted=True)
    workloads = [
        ("hierarchy, 8,000 simplices of 12 from 120 vertices", lambda: korvane.py_find_hierarchical_q_components(simplices)),
        ("graph, G(90, 0.45)", lambda: korvane.py_find_hierarchical_q_components_within_graph(graph_edges, None)),
        ("persistence, G(40, 0.35)", lambda: korvane.py_calculate_persistent_q_components(weighted_edges, None)),
    ]
    rows = []
    for name, call in workloads:
        one = timed(call)
        sequence = timed(lambda: (call(), call()))
        threads = timed(in_two_threads(call))
        rows.append([name, f"{one * 1e3:.0f}", f"{sequence * 1e3:.0f}", f"{threads * 1e3:.0f}", f"{threads / one:.2f}"])
    print(f"{os.cpu_count()} cores")
    print_table(["workload", "one call ms", "two in sequence ms", "two threads ms", "threads / one"], rows)


if __name__ == "__main__":
    main()
