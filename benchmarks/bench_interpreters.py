"""The same seeded workloads under two interpreters, side by side.

    python3 benchmarks/bench_interpreters.py CPYTHON PYPY [--repeat N] [--rounds R]

CPYTHON and PYPY are interpreters (for example the python of two virtual
environments) that can each import korvane. Every workload runs in a
subprocess of its own under each, best of N calls (default 8) or of as many as fit in a
second (the first calls let PyPy's JIT warm up); the table gives both times
and their ratio, the second over the first, and the peak resident memory of
each subprocess (input, result and all) with its ratio: after the first call,
and after all of them. The two differ where a collector frees a dropped result
late (PyPy's frees it at its next major collection, once the heap has grown
by a share of what is alive, so the previous result and the next one can be
held together); the first is what one call of the module costs.

Each row runs R rounds (default 3), the two interpreters alternating, and
keeps each interpreter's fastest round with its memory: on a virtual machine
one process can run a memory-heavy row up to twice as slowly as the next.
"""

import argparse
import json
import os
import random
import resource
import subprocess

from common import best_time, print_table


def random_complex(count, seed):
    rng = random.Random(seed)
    pool = count // 4
    return [[rng.randrange(pool) for _ in range(rng.randint(2, 8))] for _ in range(count)]


def random_edges(vertex_count, edge_count, seed):
    rng = random.Random(seed)
    return [(rng.randrange(vertex_count), rng.randrange(vertex_count)) for _ in range(edge_count)]


def weighted(edges, seed):
    rng = random.Random(seed)
    return [(u, v, rng.random()) for u, v in edges]


def sparse_weighted_graph(vertex_count, edge_count, seed):
    rng = random.Random(seed)
    return [(rng.randrange(vertex_count), rng.randrange(vertex_count), rng.random()) for _ in range(edge_count)]


def preferential_attachment(vertex_count, per_vertex, seed):
    """Each new vertex links to `per_vertex` distinct earlier ones, chosen with
    probability proportional to their degree (a power-law degree sequence)."""
    rng = random.Random(seed)
    ends = list(range(per_vertex))
    edges = []
    for vertex in range(per_vertex, vertex_count):
        targets = set()
        while len(targets) < per_vertex:
            targets.add(rng.choice(ends))
        for target in sorted(targets):
            edges.append((vertex, target))
            ends += (vertex, target)
    return edges


def workloads():
    """(name, function name, make arguments) for every row."""
    return [
        ("hierarchy, 2,000 random simplices", "py_find_hierarchical_q_components",
         lambda: (random_complex(2_000, 1),)),
        ("hierarchy, 80,000 random simplices", "py_find_hierarchical_q_components",
         lambda: (random_complex(80_000, 2),)),
        ("graph levels, 150,000 edges on 30,000 vertices", "py_find_hierarchical_q_components_within_graph",
         lambda: (random_edges(30_000, 150_000, 3), None)),
        ("graph levels, same graph, max_q = 3", "py_find_hierarchical_q_components_within_graph",
         lambda: (random_edges(30_000, 150_000, 3), 3)),
        ("persistence, power law, 2,500 vertices", "py_calculate_persistent_q_components",
         lambda: (weighted(preferential_attachment(2_500, 3, 4), 5), None)),
        ("persistence, 2,000 edges on 4,000 vertices", "py_calculate_persistent_q_components",
         lambda: (weighted(random_edges(4_000, 2_000, 6), 7), None)),
        ("persistence, 16,000 edges on 32,000 vertices", "py_calculate_persistent_q_components",
         lambda: (weighted(random_edges(32_000, 16_000, 8), 9), None)),
        ("persistence, sparse G(16,000, 32,000)", "py_calculate_persistent_q_components",
         lambda: (sparse_weighted_graph(16_000, 32_000, 1), None)),
    ]


def measure(row, repeat):
    """Best call time of one workload in this interpreter, in seconds: best of
    `repeat` calls, or of as many as fit in about a second for short ones; and
    the peak resident memory of this process after the first call and after
    all of them, in bytes."""
    import korvane

    _, function, make_arguments = workloads()[row]
    arguments = make_arguments()
    best, spent, calls, first_peak = float("inf"), 0.0, 0, None
    while calls < repeat or (spent < 1.0 and calls < 1000):
        elapsed = best_time(lambda: getattr(korvane, function)(*arguments), 1)[0]
        best, spent, calls = min(best, elapsed), spent + elapsed, calls + 1
        if first_peak is None:
            first_peak = peak_memory()
    return {"time": best, "first_peak": first_peak, "peak": peak_memory()}


def peak_memory():
    return resource.getrusage(resource.RUSAGE_SELF).ru_maxrss * 1024


def run_under(interpreter, row, repeat):
    output = subprocess.run(
        [interpreter, os.path.abspath(__file__), "--measure", str(row), "--repeat", str(repeat)],
        check=True, stdout=subprocess.PIPE, text=True,
    ).stdout
    return json.loads(output)


def memory_columns(first, second, key):
    return f"{first[key] / 2**20:.0f}", f"{second[key] / 2**20:.0f}", f"{second[key] / first[key]:.2f}"


def label(interpreter):
    version = subprocess.run(
        [interpreter, "-c", "import platform; print(platform.python_implementation(), platform.python_version())"],
        check=True, stdout=subprocess.PIPE, text=True,
    ).stdout.strip()
    return version


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("first", nargs="?", help="the reference interpreter, for example CPython")
    parser.add_argument("second", nargs="?", help="the interpreter compared with it, for example PyPy")
    parser.add_argument("--repeat", type=int, default=8)
    parser.add_argument("--rounds", type=int, default=3)
    parser.add_argument("--rows", help="comma-separated row numbers (default: all)")
    parser.add_argument("--measure", type=int, help=argparse.SUPPRESS)
    options = parser.parse_args()
    if options.measure is not None:
        print(json.dumps(measure(options.measure, options.repeat)))
        return
    if options.first is None or options.second is None:
        parser.error("give two interpreters")
    rows = []
    chosen = range(len(workloads())) if options.rows is None else [int(r) for r in options.rows.split(",")]
    for row in chosen:
        name = workloads()[row][0]
        rounds = [(run_under(options.first, row, options.repeat), run_under(options.second, row, options.repeat))
                  for _ in range(max(1, options.rounds))]
        first = min((f for f, _ in rounds), key=lambda measured: measured["time"])
        second = min((s for _, s in rounds), key=lambda measured: measured["time"])
        rows.append([
            name,
            f"{first['time'] * 1e3:.1f}", f"{second['time'] * 1e3:.1f}", f"{second['time'] / first['time']:.2f}",
            *memory_columns(first, second, "first_peak"), *memory_columns(first, second, "peak"),
        ])
    first_name, second_name = label(options.first), label(options.second)
    print_table(["workload", f"{first_name} ms", f"{second_name} ms", "ratio",
                 f"{first_name} MiB, 1 call", f"{second_name} MiB, 1 call", "ratio",
                 f"{first_name} MiB, all calls", f"{second_name} MiB, all calls", "ratio"], rows)


if __name__ == "__main__":
    main()
