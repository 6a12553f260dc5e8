"""One korvane function over many graphs, spread over worker processes or a Dask cluster.

    python examples/many_graphs.py [--subjects N] [--days N] [--workers N]
                                   [--dask [ADDRESS]] [--paths [DIRECTORY]]

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

With --dask the same study runs on a Dask cluster (pip install
'dask[distributed]', or '.[examples]'): without an address on a LocalCluster of
--workers worker processes on this machine, with one (tcp://host:8786) on the
workers of that scheduler, which must have korvane installed. The table is the
same either way:

- client.map sends a function and its arguments to the workers with
  cloudpickle: a function of an importable module goes by reference, and so
  must be importable on the workers; one defined in the script that is run
  (__main__, as here) goes by value, with its code;
- client.gather returns the results in the order of the futures, which is the
  order of the input;
- every task costs the scheduler about a millisecond, so small graphs go in
  batches, as chunksize does for the pool.

The edge lists travel from the client inside the tasks. A graph too large for
that is read by the worker itself: with --paths every graph is written to a
file of its own first (into DIRECTORY, or a temporary directory) and only the
paths are sent. On a real cluster DIRECTORY must be one that every worker sees
at the same path (a shared file system), and in a study the files are usually
there already.

A pool pays once each call takes tens of milliseconds or more: the small graphs
here take about a third of a millisecond each, less than starting the workers
costs, so they only show the mechanics.

The native computation releases the interpreter lock, so a ThreadPoolExecutor
also runs calls in parallel; the conversion of arguments and results holds the
lock, though, so processes scale better when the graphs are small and many.
"""

import argparse
import concurrent.futures
import contextlib
import os
import random
import tempfile
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


def write_edges(path, edges):
    """One edge per line, its two ends separated by a space."""
    with open(path, "w", encoding="ascii") as file:
        file.writelines(f"{u} {v}\n" for u, v in edges)


def read_edges(path):
    """The edges of a file written by write_edges, as the tuples korvane takes."""
    with open(path, encoding="ascii") as file:
        return [(int(u), int(v)) for u, v in (line.split() for line in file)]


def structure_vector_of_file(path):
    """Runs in a worker: the structure vector of the graph stored at path, so that only the path
    travels to the worker."""
    return structure_vector(read_edges(path))


def write_graphs(keyed, directory):
    """Writes every graph to a file of its own in directory; returns their absolute paths in the
    order of the keys."""
    os.makedirs(directory, exist_ok=True)
    paths = []
    for subject, day, threshold in keyed:
        path = os.path.abspath(os.path.join(directory, f"subject{subject}-day{day}-threshold{threshold}.edges"))
        write_edges(path, keyed[subject, day, threshold])
        paths.append(path)
    return paths


def structure_vectors(items, workers, function=structure_vector):
    """function of every item (an edge list, or a path with structure_vector_of_file), computed by
    a pool of worker processes, in input order."""
    chunk = max(1, len(items) // (4 * workers))
    with concurrent.futures.ProcessPoolExecutor(max_workers=workers) as pool:
        return list(pool.map(function, items, chunksize=chunk))


def each(batch, function):
    """Runs in a worker: function of every item of a batch, in order."""
    return [function(item) for item in batch]


def structure_vectors_on_dask(client, items, function=structure_vector, timeout=None):
    """function of every item, computed by the workers of a dask.distributed Client, in input
    order. Items go in batches, four per worker thread. Raises TimeoutError when the results are
    not all there after timeout seconds (None waits for ever); an error in a task is raised here."""
    from distributed import wait

    threads = sum(client.nthreads().values())
    chunk = max(1, len(items) // (4 * max(1, threads)))
    batches = [items[i : i + chunk] for i in range(0, len(items), chunk)]
    futures = client.map(each, batches, function=function)
    try:
        wait(futures, timeout=timeout)
        return [result for batch in client.gather(futures) for result in batch]
    finally:
        client.cancel(futures)


def local_cluster(workers):
    """A LocalCluster of worker processes with one thread each, reachable on this machine only and
    without a dashboard."""
    from distributed import LocalCluster

    return LocalCluster(n_workers=workers, threads_per_worker=1, processes=True, host="127.0.0.1", dashboard_address=None)


@contextlib.contextmanager
def dask_client(address, workers, timeout=60):
    """A Client of the scheduler at address, or (address "") of a LocalCluster of its own, closed
    on leaving. Tasks sent to a scheduler without workers would wait for ever, so this waits up to
    timeout seconds for a first worker and raises TimeoutError if none comes."""
    from distributed import Client

    with contextlib.ExitStack() as stack:
        if not address:
            address = stack.enter_context(local_cluster(workers))
        client = stack.enter_context(Client(address, timeout=timeout))
        client.wait_for_workers(1, timeout=timeout)
        yield client


def mean_vector(vectors):
    """The mean count per level, over vectors of any lengths (a missing level counts 0)."""
    length = max(len(v) for v in vectors)
    return [sum(v[q] for v in vectors if q < len(v)) / len(vectors) for q in range(length)]


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--subjects", type=int, default=4)
    parser.add_argument("--days", type=int, default=30)
    parser.add_argument("--workers", type=int, default=2, help="worker processes of the pool or the LocalCluster")
    parser.add_argument(
        "--dask",
        nargs="?",
        const="",
        metavar="ADDRESS",
        help="run on a Dask cluster: the scheduler at ADDRESS, or a LocalCluster of --workers processes",
    )
    parser.add_argument(
        "--paths",
        nargs="?",
        const="",
        metavar="DIRECTORY",
        help="write the graphs to files in DIRECTORY (a temporary one by default) and send the workers their paths",
    )
    arguments = parser.parse_args()
    if arguments.workers < 1:
        parser.error("--workers must be at least 1")
    if arguments.dask is not None:
        try:
            import distributed  # noqa: F401
        except ImportError:
            parser.error("--dask needs dask.distributed: pip install 'dask[distributed]'")

    keyed = graphs(arguments.subjects, arguments.days)
    with contextlib.ExitStack() as stack:
        items, function, source = list(keyed.values()), structure_vector, ""
        if arguments.paths is not None:
            directory = arguments.paths or stack.enter_context(tempfile.TemporaryDirectory())
            items, function = write_graphs(keyed, directory), structure_vector_of_file
            source = f", read by the workers from {directory}"
        if arguments.dask is None:
            where = f"{arguments.workers} worker processes"
            start = time.perf_counter()
            results = structure_vectors(items, arguments.workers, function)
        else:
            client = stack.enter_context(dask_client(arguments.dask, arguments.workers))
            where = f"{len(client.nthreads())} Dask workers at {client.scheduler.address}"
            start = time.perf_counter()
            results = structure_vectors_on_dask(client, items, function)
        elapsed = time.perf_counter() - start
    vectors = dict(zip(keyed, results))
    print(
        f"{len(keyed)} graphs ({arguments.subjects} subjects x {arguments.days} days x {len(THRESHOLDS)} thresholds) "
        f"on {where}{source} in {elapsed:.2f} s"
    )
    print("subject  threshold  mean structure vector over the days (q = 0, 1, ...)")
    for subject in range(arguments.subjects):
        for threshold in THRESHOLDS:
            mean = mean_vector([vectors[subject, day, threshold] for day in range(arguments.days)])
            print(f"{subject:7}  {threshold:9.1f}  " + " ".join(f"{x:5.1f}" for x in mean))


if __name__ == "__main__":
    main()
