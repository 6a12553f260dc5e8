"""Two threads running independent calls at once, against one call alone, two
calls one after the other, and two processes running one call each. The native
computation runs without the interpreter lock, so on a machine with two free
cores the two threads finish in about the time of one call; only the
conversions in and out are serialised. The two processes share nothing and
show what the machine itself allows. Inputs are seeded and chosen so that the
computation, not the conversion, dominates each call. Needs fork (Linux)."""

import multiprocessing
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


def in_two_processes(call):
    context = multiprocessing.get_context("fork")

    def run():
        start = context.Barrier(3)

        def worker():
            start.wait()
            call()

        processes = [context.Process(target=worker) for _ in range(2)]
        for process in processes:
            process.start()
        start.wait()
        for process in processes:
            process.join()

    return run


def main():
    simplices = random_complex(8_000, 120, 12, seed=1)
    graph_edges = random_graph(70, 0.6, seed=2)
    weighted_edges = random_graph(60, 0.5, seed=3, weighted=True)
    workloads = [
        ("hierarchy, 8,000 simplices of 12 from 120 vertices", lambda: korvane.py_find_hierarchical_q_components(simplices)),
        ("graph, G(70, 0.6)", lambda: korvane.py_find_hierarchical_q_components_within_graph(graph_edges, None)),
        (
            "persistence, G(60, 0.5), 20 calls",
            lambda: [korvane.py_calculate_persistent_q_components(weighted_edges, None) for _ in range(20)],
        ),
    ]
    rows = []
    for name, call in workloads:
        one = timed(call)
        sequence = timed(lambda: (call(), call()))
        threads = timed(in_two_threads(call))
        processes = timed(in_two_processes(call))
        rows.append(
            [name]
            + [f"{t * 1e3:.0f}" for t in (one, sequence, threads, processes)]
            + [f"{threads / one:.2f}", f"{processes / one:.2f}"]
        )
    print(f"{os.cpu_count()} cores")
    print_table(
        ["workload", "one ms", "two in sequence", "two threads", "two processes", "threads / one", "processes / one"],
        rows,
    )


if __name__ == "__main__":
    main()
