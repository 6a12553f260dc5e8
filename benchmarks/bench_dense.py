"""Dense and hub workloads: dense random graphs with and without a cap,
persistence on complete graphs (random weights and point-cloud distances) and
on a large sparse random graph, co-occurrence documents with Zipf-distributed
terms and single-hub families.

Each row runs in a fresh subprocess, so that its peak resident memory (the
interpreter, input, call and result together) is its own. Beside each call it prints the
materialisation floor (`pickle.loads` of the result, timed like the call) and, for the
graph rows, what python-igraph needs on the same graph: `maximal_cliques()`
for an uncapped call and `cliques(min=S, max=S)` for a cap S. A row passes when
the call costs at most 3x its floor, or at most 2x the igraph time.

    python3 benchmarks/bench_dense.py [--only TEXT] [--timeout SECONDS] [--large]

The large sparse persistence row runs only with --large, and without a floor.

python-igraph is optional (`pip install igraph`); without it that column is empty.
"""

import argparse
import json
import math
import os
import pickle
import random
import resource
import subprocess
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from common import best_time, print_table  # noqa: E402


# ---------------------------------------------------------------- workloads


def dense_random(n, p, seed):
    rng = random.Random(seed)
    return [(u, v) for u in range(n) for v in range(u + 1, n) if rng.random() < p]


def complete_random_weights(n, seed):
    rng = random.Random(seed)
    return [(u, v, rng.random()) for u in range(n) for v in range(u + 1, n)]


def sparse_random_weights(n, m, seed):
    """m uniform edges on n vertices (self-loops and repeats kept), uniform weights."""
    rng = random.Random(seed)
    return [(rng.randrange(n), rng.randrange(n), rng.random()) for _ in range(m)]


def complete_point_cloud(n, seed):
    rng = random.Random(seed)
    points = [(rng.random(), rng.random()) for _ in range(n)]
    return [(u, v, math.dist(points[u], points[v])) for u in range(n) for v in range(u + 1, n)]


def zipf_documents(count, seed, vocabulary=20_000, exponent=1.1):
    """Documents of 5 to 40 distinct terms drawn with probability ~ 1 / rank**exponent."""
    rng = random.Random(seed)
    weights = [1.0 / (rank + 1) ** exponent for rank in range(vocabulary)]
    cumulative, total = [], 0.0
    for w in weights:
        total += w
        cumulative.append(total)
    documents = []
    for _ in range(count):
        length = rng.randint(5, 40)
        terms = set(rng.choices(range(vocabulary), cum_weights=cumulative, k=length))
        documents.append(sorted(terms))
    return documents


def single_hub(count):
    return [[0, i] for i in range(1, count + 1)]


def hub_with_triples(count, seed):
    """Every simplex holds the hub 0 and two random others out of 10,000."""
    rng = random.Random(seed)
    return [[0, *rng.sample(range(1, 10_001), 2)] for _ in range(count)]


# Rows that run only with --large, and print no floor: the result of the
# G(32000, 64000) filtration shares its vertex ints, but `pickle.loads` of it
# rebuilds some 238 million int objects, about 16 GB resident.
LARGE_ROWS = {"persistence G(32000, 64000) random max_q=None"}


def rows():
    """(name, kind, builder, max_q) for every row."""
    graphs = [(50, 0.8), (70, 0.7), (90, 0.6), (90, 0.7), (120, 0.5), (120, 0.6)]
    for n, p in graphs:
        for max_q in (None, 2, 3, 4):
            yield f"graph G({n}, {p}) max_q={max_q}", "graph", ("dense_random", n, p), max_q
    for n, p in [(120, 0.8)]:
        for max_q in (2, 3):
            yield f"graph G({n}, {p}) max_q={max_q}", "graph", ("dense_random", n, p), max_q
    for builder in ("complete_random_weights", "complete_point_cloud"):
        label = "random" if builder == "complete_random_weights" else "points"
        for n, max_q in [(90, 2), (300, 2), (90, 3), (40, 4), (60, 4), (20, None), (30, None), (40, None)]:
            yield f"persistence K{n} {label} max_q={max_q}", "persistence", (builder, n), max_q
    # A giant component that grows a vertex at a time, listed whole at each step.
    yield "persistence G(32000, 64000) random max_q=None", "persistence", ("sparse_random_weights", 32000, 64000), None
    for count in (8_000, 50_000):
        yield f"hierarchy Zipf {count:,} documents", "hierarchy", ("zipf_documents", count), None
    yield "hierarchy single hub 300,000", "hierarchy", ("single_hub", 300_000), None
    yield "hierarchy hub + 2 of 10,000, 300,000", "hierarchy", ("hub_with_triples", 300_000), None


def build(recipe):
    name, *arguments = recipe
    if name == "dense_random":
        n, p = arguments
        return dense_random(n, p, seed=n)
    if name in ("complete_random_weights", "complete_point_cloud"):
        (n,) = arguments
        return globals()[name](n, seed=n)
    if name == "sparse_random_weights":
        n, m = arguments
        return sparse_random_weights(n, m, seed=1)
    if name == "zipf_documents":
        (count,) = arguments
        return zipf_documents(count, seed=count)
    if name == "single_hub":
        return single_hub(*arguments)
    if name == "hub_with_triples":
        return hub_with_triples(arguments[0], seed=1)
    raise ValueError(name)


# ---------------------------------------------------------------- one row, in its own process


def igraph_time(edges, max_q):
    try:
        import igraph
    except ImportError:
        return None
    n = 1 + max(max(u, v) for u, v, *_ in edges)
    graph = igraph.Graph(n=n, edges=[(u, v) for u, v, *_ in edges])
    if max_q is None:
        return best_time(graph.maximal_cliques)[0]
    size = max(max_q, 1)
    return best_time(lambda: graph.cliques(min=size, max=size))[0]


def call_and_floor(call, floor_of):
    """The best times of call() and of its floor, floor_of(result)() (None
    gives no floor), and the result. The two alternate run by run, the best of
    as many pairs as fit in about half a second (at least five; fewer for a
    call that alone takes longer): a call of a millisecond or less varies by
    tens of percent from moment to moment, and on a shared machine the ratio
    is only fair when both are timed at the same moments."""
    start = time.perf_counter()
    result = call()
    best_call = time.perf_counter() - start
    floor = floor_of(result)
    best_floor = float("inf")
    repeat = 0 if best_call >= 3 else 2 if best_call >= 0.5 else max(5, min(500, int(0.5 / max(best_call, 1e-6))))
    for run in range(repeat + 1):
        if floor is not None:
            best_floor = min(best_floor, best_time(floor, 1)[0])
        if run < repeat:
            best_call = min(best_call, best_time(call, 1)[0])
    return best_call, (None if floor is None else best_floor), result


def run_row(index):
    import korvane

    name, kind, recipe, max_q = list(rows())[index]
    data = build(recipe)
    if kind == "hierarchy":
        call = lambda: korvane.py_find_hierarchical_q_components(data)  # noqa: E731
    elif kind == "graph":
        call = lambda: korvane.py_find_hierarchical_q_components_within_graph(data, max_q)  # noqa: E731
    else:
        call = lambda: korvane.py_calculate_persistent_q_components(data, max_q)  # noqa: E731
    def floor_of(result):
        if name in LARGE_ROWS:
            return None
        pickled = pickle.dumps(result, protocol=pickle.HIGHEST_PROTOCOL)
        return lambda: pickle.loads(pickled)

    seconds, floor, result = call_and_floor(call, floor_of)
    if kind == "hierarchy":
        size = sum(len(c) for level in result for c in level)
    elif kind == "graph":
        size = sum(len(c) for level in result for c in level)
    else:
        size = sum(len(vertices) for (_, vertices), _, _ in result)
    peer = igraph_time(data, max_q) if kind != "hierarchy" else None
    peak = resource.getrusage(resource.RUSAGE_SELF).ru_maxrss / 1024
    print(json.dumps({"seconds": seconds, "floor": floor, "size": size, "inputs": len(data), "peer": peer, "peak": peak}))


# ---------------------------------------------------------------- the table


def milliseconds(seconds):
    return "" if seconds is None else f"{seconds * 1e3:.1f}"


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--only", default="", help="run the rows whose name contains this text")
    parser.add_argument("--timeout", type=float, default=120.0, help="seconds allowed per row")
    parser.add_argument("--large", action="store_true", help="also run the large rows")
    parser.add_argument("--row", type=int, help=argparse.SUPPRESS)
    arguments = parser.parse_args()
    if arguments.row is not None:
        run_row(arguments.row)
        return

    table = []
    for index, (name, *_) in enumerate(rows()):
        if arguments.only not in name or (name in LARGE_ROWS and not arguments.large):
            continue
        child = subprocess.Popen(
            [sys.executable, os.path.abspath(__file__), "--row", str(index)], stdout=subprocess.PIPE, text=True
        )
        try:
            output, _ = child.communicate(timeout=arguments.timeout)
        except subprocess.TimeoutExpired:
            child.kill()
            output = ""
        if child.returncode != 0 or not output:
            table.append([name, "", "", "failed" if child.returncode else "timeout", "", "", "", "", "NO"])
            print(" ", name, table[-1][3], file=sys.stderr, flush=True)
            continue
        row = json.loads(output)
        floor_ratio = None if row["floor"] is None else row["seconds"] / row["floor"] if row["floor"] > 0 else math.inf
        peer_ratio = row["seconds"] / row["peer"] if row["peer"] else None
        passes = (floor_ratio is not None and floor_ratio <= 3) or (peer_ratio is not None and peer_ratio <= 2)
        table.append(
            [
                name,
                f"{row['inputs']:,}",
                f"{row['size']:,}",
                milliseconds(row["seconds"]),
                milliseconds(row["floor"]),
                "" if floor_ratio is None else f"{floor_ratio:.2f}",
                "" if row["peer"] is None else f"{milliseconds(row['peer'])} ({peer_ratio:.2f})",
                f"{row['peak']:.0f}",
                "" if floor_ratio is None and peer_ratio is None else "yes" if passes else "NO",
            ]
        )
        print(" ", *table[-1], file=sys.stderr, flush=True)
    print_table(
        ["workload", "inputs", "output ids", "call ms", "floor ms", "x floor", "igraph ms (x)", "peak MB", "passes"],
        table,
    )


if __name__ == "__main__":
    main()
