"""One korvane function over many graphs, spread over worker processes.

    python examples/many_graphs.py [--subjects N] [--days N] [--workers N]

A study often has one graph per subject, per day and per threshold. Here each
subject's contacts on each day form a random weighted graph (seeded, so the
output is reproducible), kept at three weight thresholds, and the structure
vector of every graph is computed by a pool of worker processes with
concurrent.futures. Each call is independent, so the work divides freely:

- korvane's functions pickle by reference (by module and name), so they can be
  handed to a pool as they are, like structure_vector below, which also shrinks
  what travels back to the parent process to a few numbers per graph;
- Executor.map returns the results in the order of its input, so they can be
  zipped with the keys;
- chunksize sends many small graphs to a worker at once, saving round trips.

A pool pays once each call takes tens of milliseconds or more: the small graphs
here take about a third of a millisecond each, less than starting the workers
costs, so they only show the mechanics.

The native computation releases the interpreter lock, so a ThreadPoolExecutor
also runs calls in parallel; the conversion of arguments and results holds the
lock, though, so processes scale better when the graphs are small and many.
"""

import argparse
import concurrent.futures
import random
import time

import korvane

PEOPLE = 40
CONTACT_PROBABILITY = 0.2
THRESHOLDS = (0.0, 0.4, 0.7)


def contacts(subject, day):
    """A random weighted contact graph: (u, v, strength) with strength in [0, 1)."""
    rng = random.Random(f"{subject}/{day}")
    return [
        (u, v, rng.random())
        for u in range(PEOPLE)
        for v in range(u + 1, PEOPLE)
        if rng.random() < CONTACT_PROBABILITY
    ]


def graphs(subjects, days):
    """{(subject, day, threshold): edges}: the edges at least as strong as the threshold, and a
    self-loop per person, so that people left without contacts stay in the graph as components of
    their own."""
    everyone = [(p, p) for p in range(PEOPLE)]
    result = {}
    for subject in range(subjects):
        for day in range(days):
            weighted = contacts(subject, day)
            for threshold in THRESHOLDS:
                result[subject, day, threshold] = everyone + [(u, v) for u, v, w in weighted if w >= threshold]
    return result


def structure_vector(edges):
    """Runs in a worker: the number of q-components per level q."""
    return [len(level) for level in korvane.py_find_hierarchical_q_components_within_graph(edges, None)]


def structure_vectors(graph_edges, workers):
    """The structure vector of every graph, computed by a pool of worker processes, in input order."""
    chunk = max(1, len(graph_edges) // (4 * workers))
    with concurrent.futures.ProcessPoolExecutor(max_workers=workers) as pool:
        return list(pool.map(structure_vector, graph_edges, chunksize=chunk))


def mean_vector(vectors):
    """The mean count per level, over vectors of any lengths (a missing level counts 0)."""
    length = max(len(v) for v in vectors)
    return [sum(v[q] for v in vectors if q < len(v)) / len(vectors) for q in range(length)]


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--subjects", type=int, default=4)
    parser.add_argument("--days", type=int, default=30)
    parser.add_argument("--workers", type=int, default=2)
    arguments = parser.parse_args()

    keyed = graphs(arguments.subjects, arguments.days)
    start = time.perf_counter()
    vectors = dict(zip(keyed, structure_vectors(list(keyed.values()), arguments.workers)))
    elapsed = time.perf_counter() - start
    print(
        f"{len(keyed)} graphs ({arguments.subjects} subjects x {arguments.days} days x {len(THRESHOLDS)} thresholds) "
        f"on {arguments.workers} worker processes in {elapsed:.2f} s"
    )
    print("subject  threshold  mean structure vector over the days (q = 0, 1, ...)")
    for subject in range(arguments.subjects):
        for threshold in THRESHOLDS:
            mean = mean_vector([vectors[subject, day, threshold] for day in range(arguments.days)])
            print(f"{subject:7}  {threshold:9.1f}  " + " ".join(f"{x:5.1f}" for x in mean))


if __name__ == "__main__":
    main()
