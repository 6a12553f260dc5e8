"""The community tree against the listed persistence records, on weighted
Holme-Kim graphs (m = 5, p = 0.5, uniform random weights) up to a million edges
and on random geometric graphs (weights the distances). Each call runs in a
child process of its own, which reports its best time of `--repeat`, the time
to materialise its result (a pickle round trip), its peak memory and the size
of its result: ids listed for the records, parent links plus added vertices for
the tree. The records are listed up to `--records-up-to` edges (250,000 edges
take about a minute and 16 GB), and the tree's size is given as a share of the
ids the records list where both ran.

    python benchmarks/bench_tree.py [--records-up-to N] [--repeat N] [--grouped]
"""

import argparse
import json
import math
import os
import pickle
import random
import subprocess
import sys
import tempfile

import networkx as nx

from common import print_table

CHILD = """
import json, pickle, resource, sys
sys.path.insert(0, {benchmarks!r})
import korvane
from common import best_time, materialisation_time
with open({path!r}, "rb") as f:
    edges = pickle.load(f)
function, ties, repeat = {function!r}, {ties!r}, {repeat}
if function == "tree":
    call = lambda: korvane.persistence_tree(edges, None, ties=ties)
else:
    call = lambda: korvane.py_calculate_persistent_q_components(edges, None)
seconds, result = best_time(call, repeat)
if function == "tree":
    size = sum(len(parents) + len(added) for *_, parents, added in result)
else:
    size = sum(len(vertices) for (_, vertices), _, _ in result)
peak = resource.getrusage(resource.RUSAGE_SELF).ru_maxrss * 1024
floor = materialisation_time(result, 1)
print(json.dumps(dict(seconds=seconds, floor=floor, peak=peak, records=len(result), size=size)))
"""


def holme_kim(edge_count, seed):
    graph = nx.powerlaw_cluster_graph(edge_count // 5, 5, 0.5, seed=seed)
    rng = random.Random(seed)
    return [(u, v, rng.random()) for u, v in graph.edges()]


def geometric(vertex_count, radius, seed):
    graph = nx.random_geometric_graph(vertex_count, radius, seed=seed)
    position = nx.get_node_attributes(graph, "pos")
    return [(u, v, math.dist(position[u], position[v])) for u, v in graph.edges()]


def cases():
    for edges in (25_000, 100_000, 250_000, 1_000_000):
        yield f"Holme-Kim, {edges:,} edges", holme_kim(edges, seed=edges)
    yield "random geometric, 20,000 x 0.02", geometric(20_000, 0.02, seed=1)
    yield "random geometric, 50,000 x 0.012", geometric(50_000, 0.012, seed=2)


def measure(edges, function, ties, repeat):
    with tempfile.NamedTemporaryFile(suffix=".pickle", delete=False) as f:
        pickle.dump(edges, f)
    try:
        source = CHILD.format(benchmarks=os.path.dirname(os.path.abspath(__file__)), path=f.name,
                              function=function, ties=ties, repeat=repeat)
        output = subprocess.run([sys.executable, "-c", source], capture_output=True, text=True, check=True).stdout
        return json.loads(output)
    finally:
        os.unlink(f.name)


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--records-up-to", type=int, default=100_000)
    parser.add_argument("--repeat", type=int, default=3)
    parser.add_argument("--grouped", action="store_true", help="the tree with ties='grouped'")
    arguments = parser.parse_args()
    ties = "grouped" if arguments.grouped else "separate"
    rows = []
    for name, edges in cases():
        runs = [("tree", measure(edges, "tree", ties, arguments.repeat))]
        if len(edges) <= arguments.records_up_to:
            runs.append(("records", measure(edges, "records", ties, 1)))
        listed = runs[-1][1]["size"] if runs[-1][0] == "records" else None
        for function, run in runs:
            share = f"{100 * run['size'] / listed:.2f}%" if function == "tree" and listed else ""
            rows.append([name, f"{len(edges):,}", function, f"{run['records']:,}", f"{run['size']:,}", share,
                         f"{run['seconds']:.2f}", f"{run['floor']:.2f}", f"{run['peak'] / 2**30:.2f}"])
    print_table(["graph", "edges", "function", "records", "size", "of listed", "call s", "floor s", "peak GB"], rows)


if __name__ == "__main__":
    main()
