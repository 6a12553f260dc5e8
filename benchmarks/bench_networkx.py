"""networkx's own k_clique_communities against the korvane backend
(nx.community.k_clique_communities(G, k, backend="korvane")).

Graphs: Holme-Kim graphs (nx.powerlaw_cluster_graph, 3 edges per new node,
triad formation 0.9) of 5,000 to 500,000 edges with tuple labels, random
geometric graphs, a dense G(120, 0.5), and the karate and Les Miserables
graphs; k = 3, 4 and 5, and "all": every k from 2 up to the first that yields
no community, one call each.

Columns: networkx's time (one run when it takes over a second, else the best
of a few; capped at 60 s and shown as "> 60 s"); the backend's time with the
conversion of the graph, then with the converted graph taken from networkx's
cache but without the communities earlier calls kept on it, so that the call is
computed afresh (for "all", the conversion is done once, by the first k, and
a later k may use what earlier ones found: no community from some k on); the
conversion alone; and the materialisation floor, `pickle.loads` of the result, timed alternately with
the call on the converted graph. Each side runs in a fresh process. Every
row's communities are checked equal to networkx's; where networkx ran out of
time, to those of korvane's uncapped graph levels, a separate route through
the maximal cliques.

    python3 benchmarks/bench_networkx.py [--only TEXT] [--timeout SECONDS]
"""

import argparse
import os
import pickle
import subprocess
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from common import best_time, print_table  # noqa: E402

KS = (3, 4, 5, "all")


def graphs():
    """(name, recipe) for every graph."""
    for edges in (5_000, 20_000, 100_000, 500_000):
        yield f"Holme-Kim {edges:,} edges", ("holme_kim", edges)
    yield "geometric 2,000 nodes, r = 0.05", ("geometric", 2_000, 0.05)
    yield "geometric 10,000 nodes, r = 0.03", ("geometric", 10_000, 0.03)
    yield "dense G(120, 0.5)", ("gnp", 120, 0.5)
    yield "karate club", ("karate",)
    yield "Les Miserables", ("les_miserables",)


def rows():
    return [(name, recipe, k) for name, recipe in graphs() for k in KS]


def build(recipe):
    import networkx as nx

    kind, *arguments = recipe
    if kind == "holme_kim":
        (edges,) = arguments
        G = nx.powerlaw_cluster_graph(edges // 3 + 3, 3, 0.9, seed=edges)
        return nx.relabel_nodes(G, {v: (v // 1000, v % 1000) for v in G})
    if kind == "geometric":
        n, radius = arguments
        return nx.random_geometric_graph(n, radius, seed=n)
    if kind == "gnp":
        n, p = arguments
        return nx.gnp_random_graph(n, p, seed=n)
    if kind == "karate":
        return nx.karate_club_graph()
    if kind == "les_miserables":
        return nx.les_miserables_graph()
    raise ValueError(kind)


def communities(G, k, **backend):
    """The communities for k, or for "all" a dict from each k to them."""
    import networkx as nx

    if k != "all":
        return set(nx.community.k_clique_communities(G, k, **backend))
    found, k = {}, 2
    while found.get(k - 1, True):
        found[k] = set(nx.community.k_clique_communities(G, k, **backend))
        k += 1
    return found


def timed(call, budget=1.0, most=5):
    """The best time of call() and its result: one run when it takes more
    than `budget` seconds, else as many as fit in it, at most `most`."""
    start = time.perf_counter()
    result = call()
    best = time.perf_counter() - start
    repeat = 0 if best >= budget else min(most - 1, int(budget / max(best, 1e-6)))
    for _ in range(repeat):
        result = None  # the previous result is freed before the clock starts
        seconds, result = best_time(call, 1)
        best = min(best, seconds)
    return best, result


# ---------------------------------------------------------------- one side of a row, in its own process


def run_networkx(index):
    _, recipe, k = rows()[index]
    G = build(recipe)
    return timed(lambda: communities(G, k, backend="networkx"))


def uncapped_communities(G, k):
    """The communities from korvane's uncapped graph levels, with the graph
    relabelled here rather than by the backend."""
    import korvane

    index = {v: i for i, v in enumerate(G)}
    labels = list(G)
    edges = [(index[u], index[v]) for u, v in G.edges()]
    levels = korvane.py_find_hierarchical_q_components_within_graph(edges, None)

    def level(k):
        kept = levels[k - 2] if len(levels) >= k - 1 else []
        return {frozenset(labels[v] for v in c) for c in kept if len(c) >= k}

    if k != "all":
        return level(k)
    found, k = {}, 2
    while found.get(k - 1, True):
        found[k] = level(k)
        k += 1
    return found


def run_korvane(index):
    import networkx as nx

    from korvane_networkx.graph import from_networkx

    nx.config.warnings_to_ignore.add("cache")
    _, recipe, k = rows()[index]
    G = build(recipe)

    def converted_and_called():
        G.__networkx_cache__.clear()
        return communities(G, k, backend="korvane")

    def on_the_converted_graph():
        for converted in G.__networkx_cache__["backends"]["korvane"].values():
            converted.communities, converted.empty_from = {}, None  # what earlier calls kept
        return communities(G, k, backend="korvane")

    full, result = timed(converted_and_called, most=7)
    conversion = timed(lambda: from_networkx(G), most=9)[0]
    pickled = pickle.dumps(result, protocol=pickle.HIGHEST_PROTOCOL)
    cached = floor = float("inf")
    for _ in range(5):  # the call on the converted graph and the floor, alternately
        cached = min(cached, timed(on_the_converted_graph, most=1)[0])
        floor = min(floor, best_time(lambda: pickle.loads(pickled), 1)[0])
    return {
        "nodes": G.number_of_nodes(),
        "edges": G.number_of_edges(),
        "full": full,
        "cached": cached,
        "conversion": conversion,
        "floor": floor,
        "result": result,
        "uncapped": uncapped_communities(G, k),
    }


# ---------------------------------------------------------------- the table


def run_side(side, index, timeout):
    """The side's pickled answer, or None when it ran out of time."""
    child = subprocess.Popen(
        [sys.executable, os.path.abspath(__file__), "--row", str(index), "--side", side], stdout=subprocess.PIPE
    )
    try:
        output, _ = child.communicate(timeout=timeout)
    except subprocess.TimeoutExpired:
        child.kill()
        child.communicate()
        return None
    if child.returncode != 0:
        raise RuntimeError(f"the {side} side of row {index} failed")
    return pickle.loads(output)


def milliseconds(seconds):
    return f"{seconds * 1e3:.2f}" if seconds < 0.01 else f"{seconds * 1e3:.1f}"


def duration(seconds):
    return f"{milliseconds(seconds)} ms" if seconds < 1 else f"{seconds:.2f} s"


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--only", default="", help="run the rows whose graph name contains this text")
    parser.add_argument("--timeout", type=float, default=60.0, help="seconds allowed to networkx per row")
    parser.add_argument("--row", type=int, help=argparse.SUPPRESS)
    parser.add_argument("--side", choices=["networkx", "korvane"], help=argparse.SUPPRESS)
    arguments = parser.parse_args()
    if arguments.row is not None:
        run = run_networkx if arguments.side == "networkx" else run_korvane
        sys.stdout.buffer.write(pickle.dumps(run(arguments.row)))
        return

    table, all_equal = [], True
    for index, (name, _, k) in enumerate(rows()):
        if arguments.only not in name:
            continue
        ours = run_side("korvane", index, None)
        theirs = run_side("networkx", index, arguments.timeout)
        if theirs is None:
            networkx_time = f"> {arguments.timeout:.0f} s"
            speed_up = f"> {arguments.timeout / ours['full']:.0f}"
            cached_speed_up = f"> {arguments.timeout / ours['cached']:.0f}"
            equal, checked = ours["result"] == ours["uncapped"], "uncapped"
        else:
            seconds, expected = theirs
            networkx_time = duration(seconds)
            speed_up = f"{seconds / ours['full']:.1f}"
            cached_speed_up = f"{seconds / ours['cached']:.1f}"
            equal, checked = ours["result"] == expected, "networkx"
        all_equal &= equal
        result = ours["result"]
        count = sum(map(len, result.values())) if k == "all" else len(result)
        table.append(
            [
                name,
                f"{ours['nodes']:,}",
                f"{ours['edges']:,}",
                f"all (2-{max(result)})" if k == "all" else k,
                f"{count:,}",
                networkx_time,
                milliseconds(ours["full"]),
                speed_up,
                milliseconds(ours["cached"]),
                cached_speed_up,
                milliseconds(ours["conversion"]),
                milliseconds(ours["floor"]),
                checked if equal else f"DIFFERS from {checked}",
            ]
        )
        print(" ", *table[-1], file=sys.stderr, flush=True)
    print_table(
        ["graph", "nodes", "edges", "k", "communities", "networkx", "korvane ms", "x", "converted ms", "x",
         "convert ms", "floor ms", "equal to"],
        table,
    )
    sys.exit(0 if all_equal else 1)


if __name__ == "__main__":
    main()
